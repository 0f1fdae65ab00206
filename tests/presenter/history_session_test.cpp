// What the window's presenters record into the line's history, on the fake clock against
// the simulated collector, with a journal that commits only when the test says (as the
// window's, on a thread of its own, does): Write All reads first when it must and sends
// nothing until its "before" is kept; the technician's Set buttons and Parameter
// Initialization go out at once; a restore brings the collector back and is itself a write.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "FakeWindow.h"
#include "TestJournal.h"
#include "ops/LineHistory.h"
#include "sim/Device.h"

namespace {

struct HistoryRig : kvtest::ProfileRig {
    HistoryRig() {
        history.setJournal(&journal, {"anna", "kv480t-config test"});
        history.opened("/dev/ttyTEST", "");
        session.setHistory(&history);
        journal.deferred = true;
    }
    // `ms` of the event loop, the collector answering; the journal commits at every step.
    void run(int ms) {
        for (int i = 0; i < ms; ++i) {
            ProfileRig::run(1, [&](const std::string& frame) {
                sent.push_back(frame.substr(0, frame.find(':')));
                return device.receive(frame, kvsim::Millis{0});
            });
            journal.later();
        }
    }
    void setField(const char* control, const char* value) { controls.setText(control, value); }

    kvtest::TestJournal journal;
    kvops::LineHistory history;
    kvsim::Device device{kvsim::factoryDefaults()};
    std::vector<std::string> sent;  // up to the first ':'
};

TEST(WindowHistory, WriteAllReadsFirstAndSendsNothingUntilItsBeforeIsKept) {
    struct Case {
        const char* name;
        bool readBefore;     // Read Parameters pressed before Write All
        bool failJournal;
        std::vector<std::string> sent;
        std::string kinds;
        std::string status;  // how it begins
    };
    const std::vector<Case> cases = {
        {"nothing read since the port opened", false, false,
         {"PPPPPP#CHEACK1#", "KORVEL#AIN1", "PPPPPP#CHEACK1#"},
         "listing:read before:Write All listing:read write:Write All", "Write All done"},
        {"read already", true, false,
         {"PPPPPP#CHEACK1#", "KORVEL#AIN1", "PPPPPP#CHEACK1#"},
         "listing:read before:Write All listing:read write:Write All", "Write All done"},
        {"the history cannot keep it", true, true, {"PPPPPP#CHEACK1#"}, "",
         "Write All: nothing was written: the history could not keep"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HistoryRig rig;
        if (c.readBefore) {
            rig.session.readParametersClick(false);
            rig.run(1000);
        }
        if (c.failJournal) rig.journal.failWith = {kvops::ErrorCode::HistoryFailed, 0, "disk full"};
        // AIN1 only, ad1.urv not the factory's.
        kvproto::CollectorSettings oneInput;
        for (const auto& [name, value] :
             {std::pair{"ad1.urv", "000222"}, {"ad1.lrv", "000000"}, {"ad1.start", "00000"}})
            ASSERT_FALSE(oneInput.set(name, value));
        rig.profile.load(oneInput, "/site/one.json", "one.json");
        const std::size_t committedBefore = rig.journal.entries.size();
        rig.profile.writeAllOrCancel();
        // Whatever was read, no set frame goes out while the before waits for its commit.
        rig.ProfileRig::run(400, [&](const std::string& frame) {
            rig.sent.push_back(frame.substr(0, frame.find(':')));
            return rig.device.receive(frame, kvsim::Millis{0});
        });
        for (const std::string& frame : rig.sent) EXPECT_FALSE(frame.starts_with("KORVEL#"));
        rig.run(3000);
        EXPECT_FALSE(rig.profile.busy());
        EXPECT_TRUE(rig.view.status.starts_with(c.status)) << rig.view.status;
        EXPECT_EQ(std::vector<std::string>(rig.sent.end() - static_cast<long>(std::min(
                                                                  rig.sent.size(), c.sent.size())),
                                           rig.sent.end()),
                  c.sent);
        if (c.failJournal) continue;
        const std::vector<kvops::HistoryEntry>& e = rig.journal.entries;
        ASSERT_GE(e.size(), committedBefore);
        EXPECT_EQ(rig.journal.kinds(), c.kinds);
        const kvops::HistoryEntry& write = e.back();
        EXPECT_EQ(write.result, "done");
        EXPECT_EQ(write.before, e[1].id);
        ASSERT_EQ(write.frames.size(), 1u);
        EXPECT_TRUE(write.frames[0].frame.starts_with("KORVEL#AIN1:"));
        EXPECT_TRUE(write.frames[0].answer && write.frames[0].answer->starts_with("OK:AIN1"));
        EXPECT_EQ(write.readBack.get("ad1.urv"), "000222");
    }
}

TEST(WindowHistory, SetButtonsAndParameterInitializationGoOutAtOnce) {
    struct Case {
        const char* name;
        const char* button;  // "" Parameter Initialization
        bool readFirst;
        std::string what;
        std::string beforeNote;
    };
    const std::vector<Case> cases = {
        {"Set, nothing read", "AD1SET", false, "Set AIN1",
         "no listing was read since the port was opened"},
        {"Set after a read", "AD1SET", true, "Set AIN1", ""},
        {"Parameter Initialization", "", true, "Parameter Initialization", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HistoryRig rig;
        rig.setField("AD1H", "000222");
        rig.setField("AD1L", "000000");
        rig.setField("AD1LD", "00000");
        if (c.readFirst) {
            rig.session.readParametersClick(false);
            rig.run(1000);
        }
        const std::size_t had = rig.sent.size();
        if (*c.button)
            rig.session.setButtonClick(c.button);
        else
            rig.session.parameterInitializationClick();
        // The frame went out in the click, before any commit.
        EXPECT_EQ(rig.serial.written.size(), had + 1);
        rig.run(4000);
        const std::vector<kvops::HistoryEntry>& e = rig.journal.entries;
        ASSERT_GE(e.size(), 2u);
        const kvops::HistoryEntry& before = e[e.size() - 2];
        const kvops::HistoryEntry& write = e.back();
        EXPECT_EQ(before.kind, kvops::EntryKind::Before);
        EXPECT_EQ(before.what, c.what);
        EXPECT_EQ(before.note, c.beforeNote);
        EXPECT_EQ(write.what, c.what);
        EXPECT_EQ(write.result, "sent");
        EXPECT_EQ(write.before, before.id);
        ASSERT_EQ(write.frames.size(), 1u);
        EXPECT_EQ(write.frames[0].frame, rig.serial.written.back());
        EXPECT_TRUE(write.frames[0].answer.has_value());
    }
}

TEST(WindowHistory, RestoreBringsTheStateBackAndIsRecordedAsAWrite) {
    HistoryRig rig;
    rig.session.readParametersClick(false);
    rig.run(1000);
    const kvsim::DeviceState original = rig.device.state();
    rig.setField("AD1H", "000222");
    rig.setField("AD1L", "000000");
    rig.setField("AD1LD", "00000");
    rig.session.setButtonClick("AD1SET");
    rig.run(2000);
    ASSERT_NE(rig.device.state(), original);
    ASSERT_TRUE(rig.history.undoPoint() && rig.history.undoPoint()->state);

    std::optional<kvpresenter::WriteOutcome> outcome;
    ASSERT_TRUE(rig.profile.restore(*rig.history.undoPoint()->state, {true, false}, "Undo",
                                    [&](const kvpresenter::WriteOutcome& o) { outcome = o; }));
    rig.run(4000);
    ASSERT_TRUE(outcome);
    EXPECT_FALSE(outcome->error) << outcome->error.text;
    EXPECT_EQ(outcome->written, 1u);
    EXPECT_TRUE(outcome->differences.empty());
    EXPECT_EQ(rig.device.state(), original);
    EXPECT_EQ(rig.journal.entries.back().what, "Undo");
    EXPECT_EQ(rig.journal.entries.back().result, "done");

    // Nothing differs any more: nothing is written.
    outcome.reset();
    const std::size_t sent = rig.serial.written.size();
    ASSERT_TRUE(rig.profile.restore(original.settings(), {true, false}, "restore",
                                    [&](const kvpresenter::WriteOutcome& o) { outcome = o; }));
    rig.run(2000);
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->written, 0u);
    EXPECT_EQ(rig.serial.written.size(), sent + 1) << "only the listing";
}

}  // namespace

namespace {

// Cancel while Write All reads the listing first: nothing is written, nothing recorded but the
// listing. Verify in progress is no Write All to cancel.
TEST(WindowHistory, CancelWhileTheListingIsReadFirstWritesNothing) {
    kvproto::CollectorSettings oneInput;
    for (const auto& [name, value] :
         {std::pair{"ad1.urv", "000222"}, {"ad1.lrv", "000000"}, {"ad1.start", "00000"}})
        ASSERT_FALSE(oneInput.set(name, value));
    HistoryRig rig;
    rig.profile.load(oneInput, "/site/one.json", "one.json");
    rig.profile.writeAllOrCancel();
    ASSERT_EQ(rig.serial.written, std::vector<std::string>{"PPPPPP#CHEACK1#"});
    EXPECT_EQ(rig.view.caption, "Cancel");
    EXPECT_EQ(rig.view.status, "Write All: reading what the collector holds first ...");
    rig.profile.writeAllOrCancel();
    EXPECT_FALSE(rig.profile.busy());
    EXPECT_EQ(rig.view.caption, "Write All");
    EXPECT_EQ(rig.view.status, "Write All cancelled after 0 of 1.");
    rig.run(3000);
    EXPECT_EQ(rig.serial.written.size(), 1u) << "no set frame";
    EXPECT_EQ(rig.journal.kinds(), "listing:read");

    rig.profile.verify();
    ASSERT_TRUE(rig.profile.busy());
    rig.profile.writeAllOrCancel();  // busy verifying: nothing to cancel, nothing started
    EXPECT_TRUE(rig.profile.busy());
    rig.run(3000);
    EXPECT_TRUE(rig.view.status.starts_with("1 differ: ad1.urv")) << rig.view.status;
    EXPECT_EQ(rig.serial.written.size(), 2u);
}

}  // namespace
