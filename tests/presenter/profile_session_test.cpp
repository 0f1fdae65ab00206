// The Profile group's rules: Write All, Verify and Report over the session, on the fake clock,
// against the simulated collector's answers.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "FakeWindow.h"
#include "sim/Device.h"

namespace {

using kvtest::ProfileRig;

kvproto::CollectorSettings settingsOf(std::vector<std::pair<const char*, const char*>> values) {
    kvproto::CollectorSettings settings;
    for (const auto& [name, value] : values) EXPECT_FALSE(settings.set(name, value)) << name;
    return settings;
}

// AIN1 and AIN2, none of them the factory's.
const kvproto::CollectorSettings kTwoInputs = settingsOf({{"ad1.urv", "000222"},
                                                          {"ad1.lrv", "000011"},
                                                          {"ad1.start", "00002"},
                                                          {"ad2.urv", "000333"},
                                                          {"ad2.lrv", "000012"},
                                                          {"ad2.start", "00003"}});

// A rig with kTwoInputs loaded and a collector that answers by `options`; `sentAt` keeps
// when each frame reached it.
struct WriteAllRig : ProfileRig {
    explicit WriteAllRig(kvsim::DeviceOptions options = {}, bool loaded = true)
        : device(kvsim::factoryDefaults(), std::move(options)) {
        if (loaded) profile.load(kTwoInputs, "/site/two.json", "two.json");
    }
    void run(int ms, bool silent = false) {
        ProfileRig::run(ms, [&](const std::string& frame) {
            sentAt.push_back(static_cast<int>((clock.now() - start).count()));
            frames.push_back(frame.substr(0, frame.find(':')));
            if (frame.starts_with("PPPPPP#CHEACK1#")) statusAtListing = view.status;
            const std::string reply = device.receive(frame, kvsim::Millis{0});
            return silent ? std::string() : reply;
        });
    }
    kvsim::Device device;
    std::vector<int> sentAt;          // ms after the start
    std::vector<std::string> frames;  // up to the first ':'
    std::string statusAtListing;      // the status line once the listing was asked for
    std::chrono::milliseconds start = clock.now();
};

TEST(WriteAll, PacedByTheAnswersAndJudgedByTheReadBackWhichFillsNoField) {
    kvsim::DeviceOptions kept;
    kept.keptWords.insert("AIN1");
    kvsim::DeviceOptions silent;
    silent.setAnswer = kvsim::SetAnswer::None;
    const struct {
        const char* name;
        kvsim::DeviceOptions options;
        std::vector<int> sentAt;
        std::vector<std::string> answers;  // what each answer began with
        std::string status;
        std::vector<std::string> highlighted;
    } cases[] = {
        {"answered",
         {},
         {1, 2, 3},
         {"AIN1 answered: OK:AIN1:", "AIN2 answered: OK:AIN2:"},
         "Write All done: 2 settings written; the collector holds all 6 values.",
         {}},
        // The first set waits its whole second, the next only kPacedAnswerTime.
        {"no answers",
         silent,
         {1, 1003, 1155},
         {"AIN1: no answer", "AIN2: no answer"},
         "Write All done: 2 settings written (2 without an answer); the collector holds all 6 "
         "values.",
         {}},
        {"AIN1 kept",
         kept,
         {1, 2, 3},
         {"AIN1 answered: OK:AIN1:", "AIN2 answered: OK:AIN2:"},
         "Write All: 2 settings written, but the read-back differs: 3 differ: ad1.urv 000100 on "
         "the collector, 000222 written; ad1.lrv 000000 on the collector, 000011 written; "
         "ad1.start 00000 on the collector, 00002 written",
         {"AD1H", "AD1L", "AD1LD"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteAllRig rig(c.options);
        rig.profile.writeAllOrCancel();
        EXPECT_EQ(rig.view.caption, "Cancel");
        rig.run(2000);
        EXPECT_FALSE(rig.profile.busy());
        EXPECT_EQ(rig.view.caption, "Write All");
        EXPECT_EQ(rig.frames,
                  (std::vector<std::string>{"KORVEL#AIN1", "KORVEL#AIN2", "PPPPPP#CHEACK1#"}));
        EXPECT_EQ(rig.sentAt, c.sentAt);
        EXPECT_EQ(rig.statusAtListing, "Write All: 2 settings sent, reading them back ...");
        ASSERT_EQ(rig.view.answers.size(), c.answers.size());
        for (std::size_t i = 0; i < c.answers.size(); ++i)
            EXPECT_TRUE(rig.view.answers[i].starts_with(c.answers[i])) << rig.view.answers[i];
        EXPECT_EQ(rig.view.status, c.status);
        EXPECT_EQ(rig.view.problemShown, !c.highlighted.empty());
        EXPECT_EQ(rig.view.highlighted, c.highlighted);
        EXPECT_EQ(rig.controls.text("AD1H"), "000222") << "a read-back compares only";
        EXPECT_EQ(rig.device.state().number("ad2.urv"), 333);
        EXPECT_TRUE(rig.messages.boxes.empty());
    }
}

// The next command goes out at the clock's next tick, once the answer has been shown.
TEST(WriteAll, TheNextCommandWaitsForTheTickAfterTheAnswer) {
    WriteAllRig rig;
    rig.profile.writeAllOrCancel();
    rig.receive(rig.device.receive(rig.serial.written.at(0), kvsim::Millis{0}));
    EXPECT_TRUE(rig.controls.text("Memo8").starts_with("OK:AIN1:"));
    EXPECT_EQ(rig.serial.written.size(), 1u);
    ASSERT_TRUE(rig.clockTimer.enabled());
    EXPECT_EQ(rig.clockTimer.interval(), 0);
    rig.clockTimer.fire();
    EXPECT_EQ(rig.serial.written.size(), 2u);
}

TEST(WriteAll, StopsWhereThePortTheLineOrTheTechnicianEndsIt) {
    const struct {
        const char* name;
        std::function<void(WriteAllRig&)> stop;  // after AIN1 went out, before its answer
        std::string status;
        bool problem;
    } cases[] = {
        {"the port refuses the next frame", [](WriteAllRig& rig) { rig.serial.open = false; },
         "Write All stopped at 2 of 2 (AIN2): " + std::string(kvpresenter::kNotSentStatus), true},
        {"the line hangs up", [](WriteAllRig& rig) { rig.session.lineHungUp(); },
         "Write All stopped at 1 of 2 (AIN1): the line hung up", true},
        {"the port closes", [](WriteAllRig& rig) { rig.profile.portClosed(); },
         "Write All stopped after 0 of 2: the port closed.", true},
        {"Cancel", [](WriteAllRig& rig) { rig.profile.writeAllOrCancel(); },
         "Write All cancelled after 0 of 2.", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteAllRig rig;
        rig.profile.writeAllOrCancel();
        ASSERT_EQ(rig.serial.written.size(), 1u);
        c.stop(rig);
        rig.run(3000, true);
        EXPECT_FALSE(rig.profile.busy());
        EXPECT_EQ(rig.view.caption, "Write All");
        EXPECT_EQ(rig.view.status, c.status);
        EXPECT_EQ(rig.view.problemShown, c.problem);
        EXPECT_EQ(rig.serial.written.size(), 1u) << "nothing more went out";
    }
}

// Every setting went out, but the port takes no listing request: Write All says what it sent
// and why it could not read back, as a problem.
TEST(WriteAll, AReadBackThePortRefusesIsReported) {
    WriteAllRig rig;
    rig.profile.writeAllOrCancel();
    rig.ProfileRig::run(3000, [&](const std::string& frame) {
        if (frame.starts_with("KORVEL#AIN2")) rig.serial.open = false;
        return rig.device.receive(frame, kvsim::Millis{0});
    });
    EXPECT_FALSE(rig.profile.busy());
    EXPECT_EQ(rig.view.status,
              "Write All: 2 settings sent, but the listing could not be asked for: " +
                  std::string(kvpresenter::kNotSentStatus));
    EXPECT_TRUE(rig.view.problemShown);
}

TEST(WriteAll, ABadFieldSendsNothing) {
    WriteAllRig rig;
    rig.controls.setText("AD2L", "-.5x");
    rig.profile.writeAllOrCancel();
    EXPECT_FALSE(rig.profile.busy());
    EXPECT_EQ(rig.messages.boxes.size(), 1u);
    EXPECT_TRUE(rig.serial.written.empty());
}

TEST(Verify, ComparesTheListingWithTheProfileOrTheFieldsAndChangesNoField) {
    const kvproto::CollectorSettings factoryAin1 =
        settingsOf({{"ad1.urv", "000100"}, {"ad1.lrv", "000000"}, {"ad1.start", "00000"}});
    const struct {
        const char* name;
        std::optional<kvproto::CollectorSettings> profile;  // none: the fields
        bool silent;
        std::string status;
        std::vector<std::string> highlighted;
    } cases[] = {
        {"as in the profile",
         factoryAin1,
         false,
         "Verified: the collector holds all 3 values in the profile.",
         {}},
        {"one differs",
         settingsOf({{"ad1.urv", "000120"}, {"ad1.lrv", "000000"}, {"ad1.start", "00000"}}),
         false,
         "1 differ: ad1.urv 000100 on the collector, 000120 in the profile",
         {"AD1H"}},
        {"the fields",
         std::nullopt,
         false,
         "1 differ: ad1.urv 000100 on the collector, 000222 in the window",
         {"AD1H"}},
        {"no answer", factoryAin1, true, "Verify: the collector did not answer.", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteAllRig rig({}, c.profile.has_value());
        if (c.profile) {
            rig.profile.load(*c.profile, "p.json", "p.json");
        } else {  // the fields hold what the collector holds, but for one
            rig.session.readParametersClick();
            rig.run(500);
            ASSERT_EQ(rig.controls.text("AD1H"), "000100");
            rig.controls.setText("AD1H", "000222");
        }
        const auto fields = rig.controls.snapshot();
        rig.profile.verify();
        EXPECT_EQ(rig.view.status, "Verify: reading the collector's parameters ...");
        rig.run(4000, c.silent);
        EXPECT_FALSE(rig.profile.busy());
        EXPECT_EQ(rig.view.status, c.status);
        EXPECT_EQ(rig.view.highlighted, c.highlighted);
        auto after = rig.controls.snapshot();
        for (const char* buffer : {"Memo8", "discomm"}) after[buffer] = fields.at(buffer);
        EXPECT_EQ(after, fields);
    }
}

TEST(Report, SavesTheLastVerifyAndVerifiesFirstWhenTheCollectorMayHaveChanged) {
    WriteAllRig rig;
    const auto answer = [&](const std::string& frame) {
        return rig.device.receive(frame, kvsim::Millis{0});
    };
    rig.profile.report("sheet.html");  // no Verify yet: one first
    rig.run(500);
    ASSERT_EQ(rig.view.reports.size(), 1u);
    const kvpresenter::VerifiedRow& row = rig.view.reports[0].second;
    EXPECT_EQ(rig.view.reports[0].first, "sheet.html");
    EXPECT_EQ(row.port, "/dev/ttyTEST");
    EXPECT_EQ(row.profile, "two.json");
    EXPECT_EQ(row.differences.size(), 6u);
    EXPECT_TRUE(row.beforeRead);
    EXPECT_EQ(rig.view.status, kvproto::describeDifferences(row.differences, "in the profile") +
                                   " Report saved to sheet.html.");
    const std::size_t frames = rig.serial.written.size();

    rig.profile.report("again.html");  // still current: saved at once
    EXPECT_EQ(rig.serial.written.size(), frames);
    EXPECT_EQ(rig.view.reports.size(), 2u);

    ASSERT_TRUE(rig.session.setButtonClick("AD1SET"));  // the collector may change
    rig.ProfileRig::run(500, answer);
    rig.profile.report("after.html");
    rig.ProfileRig::run(500, answer);
    ASSERT_EQ(rig.view.reports.size(), 3u);
    EXPECT_EQ(rig.serial.written.size(), frames + 2) << "the Set, then a Verify";
    EXPECT_EQ(rig.view.reports[2].second.differences.size(), 3u) << "AIN1 written";
    EXPECT_EQ(rig.view.reports[2].second.before.get("ad1.urv"), "000100") << "the first read";
}

}  // namespace
