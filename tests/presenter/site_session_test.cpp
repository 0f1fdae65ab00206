// The site walk's rules: a plan's collectors plugged in turn behind the window's one open
// port (simulated collectors answering on the fake clock), Next and Skip through the plan, and
// the report kept in its folder as rows finish.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "FakeWindow.h"
#include "FolderSnapshot.h"
#include "presenter/SiteSession.h"
#include "sim/Device.h"
#include "site/Plan.h"

namespace {

using Strings = std::vector<std::string>;

// The plan's profile writes AIN1; each row adds its station address.
constexpr std::array<std::pair<const char*, const char*>, 3> kAin1{
    {{"ad1.urv", "000222"}, {"ad1.lrv", "000011"}, {"ad1.start", "00002"}}};

kvsite::Plan planOf(const std::string& text, const std::string& path = "/site/walk.csv") {
    const auto profile = [](const std::string&) {
        kvprofile::ReadResult read;
        read.profile.emplace();
        for (const auto& [name, value] : kAin1)
            EXPECT_FALSE(read.profile->settings.set(name, value));
        return read;
    };
    kvsite::PlanCheck check = kvsite::parsePlan(text, path, {}, profile);
    EXPECT_TRUE(check.ok()) << (check.ok() ? "" : check.problems.front());
    return std::move(check.plan);
}

const std::string kPlan =
    "label;port;station;profile\n"
    "Pump house 1;/dev/ttyUSB1;1;pumps.json\n"
    "Pump house 2;/dev/ttyUSB2;2;pumps.json\n"
    "Tank north;/dev/ttyUSB3;3;pumps.json\n";

// A collector at the factory's values but `values`.
kvsim::Device collector(std::vector<std::pair<const char*, const char*>> values) {
    kvsim::DeviceState state = kvsim::factoryDefaults();
    for (const auto& [name, value] : values) state.set(name, value);
    return kvsim::Device(state);
}

class FakeSiteView : public kvpresenter::SiteView {
public:
    bool portOpen() const override { return open; }
    std::string portName() const override { return "/dev/ttyADAPTER"; }
    void changed() override {}
    std::string reportWritten(const kvsite::Report& report, const std::string&) override {
        rowsWritten.push_back(report.rows.size());
        return pdfError;
    }
    bool open = true;
    std::vector<std::size_t> rowsWritten;
    std::string pdfError;
};

// The window with its Profile group and a site walk over it; `plugged` is the collector that
// answers on the port (none: silence).
struct SiteRig : kvtest::ProfileRig {
    explicit SiteRig(const std::filesystem::path& folder, const std::string& plan = kPlan) {
        site.open(planOf(plan), folder.string());
    }
    // The event loop for `ms`; the words of the frames sent meanwhile.
    Strings run(int ms = 4000) {
        Strings words;
        ProfileRig::run(ms, [&](const std::string& frame) {
            words.push_back(frame.substr(0, frame.find(':')));
            return plugged ? plugged->receive(frame, kvsim::Millis{0}) : std::string();
        });
        return words;
    }
    Strings states() const {
        Strings out;
        for (std::size_t i = 0; i < site.size(); ++i) out.push_back(site.stateWords(i));
        return out;
    }
    kvsim::Device* plugged = nullptr;
    FakeSiteView siteView;
    kvpresenter::SiteSession site{profile, siteView, "9.9"};
};

const std::string kRead = "PPPPPP#CHEACK1#";

TEST(SiteWalk, NextAndSkipWalkThePlanOnTheOnePortAndKeepTheReport) {
    kvtest::TestFolder folder("site-walk");
    const std::filesystem::path reportFolder = folder.path() / "report";
    SiteRig rig(reportFolder);
    kvsim::Device factory = collector({});
    kvsim::Device ain1Done =
        collector({{"ad1.urv", "000222"}, {"ad1.lrv", "000011"}, {"ad1.start", "00002"}});
    kvsim::Device asPlanned = collector({{"ad1.urv", "000222"},
                                         {"ad1.lrv", "000011"},
                                         {"ad1.start", "00002"},
                                         {"rs485.address", "002"}});
    const struct {
        const char* step;
        bool skip;
        kvsim::Device* plugged;
        std::size_t row;  // the row Next runs or Skip skips
        Strings frames;
        Strings states;
        std::string result;
        std::size_t written;
    } steps[] = {
        // Only AIN1 differs: the station address is the factory's 001 already.
        {"row 1: AIN1 written",
         false,
         &factory,
         0,
         {kRead, "KORVEL#AIN1", kRead},
         {"done", "to do", "to do"},
         "ok",
         1},
        {"row 2 skipped", true, nullptr, 1, {}, {"done", "skipped", "to do"}, "", 0},
        // AIN1 is as planned: only the station address goes out.
        {"row 3: the station address written",
         false,
         &ain1Done,
         2,
         {kRead, "KORVEL#ST", kRead},
         {"done", "skipped", "done"},
         "ok",
         1},
        {"the skipped row comes round, its collector silent",
         false,
         nullptr,
         1,
         {kRead},
         {"done", "failed", "done"},
         "no answer",
         0},
        {"the failed row again, now as planned",
         false,
         &asPlanned,
         1,
         {kRead},
         {"done", "done", "done"},
         "already as planned",
         0},
    };
    std::size_t recorded = 0;
    for (const auto& s : steps) {
        SCOPED_TRACE(s.step);
        ASSERT_EQ(rig.site.nextRow(), s.row);
        ASSERT_TRUE(rig.site.canRunNext()) << rig.site.nextHint();
        rig.plugged = s.plugged;
        const kvproto::CollectorSettings held =
            s.plugged ? s.plugged->state().settings() : kvproto::CollectorSettings{};
        if (s.skip) {
            rig.site.skip();
        } else {
            rig.site.next();
            EXPECT_EQ(rig.site.stateWords(s.row), "running");
            EXPECT_TRUE(rig.profile.busy()) << "the Profile group is busy while a row runs";
            EXPECT_FALSE(rig.site.canRunNext());
            rig.profile.writeAllOrCancel();  // neither cancels the row nor starts Write All
        }
        EXPECT_EQ(rig.run(), s.frames);
        EXPECT_FALSE(rig.site.running());
        EXPECT_EQ(rig.states(), s.states);
        EXPECT_EQ(rig.site.resultWords(s.row), s.result);
        const std::string said =
            rig.site.plan().rows[s.row].label + " (station " + rig.site.plan().rows[s.row].station +
            "): " + (s.skip ? "skipped" : s.result.substr(0, s.result.find(':')));
        EXPECT_TRUE(rig.site.status().starts_with(said)) << rig.site.status();
        EXPECT_EQ(rig.view.status, "") << "the row speaks in its dialog, not on the status line";
        EXPECT_EQ(rig.siteView.rowsWritten.size(), ++recorded) << "the report after every row";
        if (s.skip) continue;
        const kvsite::RowOutcome* outcome = rig.site.record()->outcome(s.row);
        ASSERT_TRUE(outcome);
        EXPECT_EQ(outcome->result.written, s.written);
        EXPECT_EQ(outcome->result.port, "/dev/ttyADAPTER") << "the window's port, not the plan's";
        EXPECT_EQ(outcome->label, rig.site.plan().rows[s.row].label);
        if (s.plugged) {
            // Before: the collector as it was plugged in; after: the plan.
            EXPECT_TRUE(kvops::compare(held, outcome->before).empty());
            EXPECT_TRUE(outcome->beforeRead && outcome->afterRead);
            EXPECT_TRUE(kvops::compare(outcome->planned, outcome->after).empty());
            EXPECT_TRUE(kvops::compare(outcome->planned, s.plugged->state().settings()).empty());
        } else {
            EXPECT_FALSE(outcome->beforeRead);
        }
    }
    EXPECT_EQ(rig.site.nextRow(), std::nullopt);
    EXPECT_EQ(rig.site.nextHint(), "Every row is done.");
    EXPECT_EQ(rig.messages.boxes, Strings{"Parameter Query Timeout!"});
    // The folder holds the rows as the command line's report does.
    const std::string csv = kvtest::fileContents(reportFolder / "report.csv");
    for (const char* text : {"Pump house 1", "Pump house 2", "Tank north", "already as planned"})
        EXPECT_NE(csv.find(text), std::string::npos) << text;
    const kvsite::ReportRead read =
        kvsite::parseReportJson(kvtest::fileContents(reportFolder / "report.json"));
    ASSERT_TRUE(read.error.empty()) << read.error;
    ASSERT_EQ(read.report.rows.size(), 3u);
    EXPECT_EQ(read.report.rows[0].before.get("ad1.urv"), "000100");
    EXPECT_EQ(read.report.rows[0].after.get("ad1.urv"), "000222");
}

TEST(SiteWalk, AFolderIsContinuedWhenItHoldsThisPlansReportAndRefusedForAnother) {
    kvtest::TestFolder folder("site-walk");
    const std::filesystem::path report = folder.path() / "report";
    {
        SiteRig first(report);
        kvsim::Device factory = collector({});
        first.plugged = &factory;
        first.site.next();
        first.run();
        first.site.skip();
        ASSERT_EQ(first.states(), (Strings{"done", "skipped", "to do"}));
    }
    const std::string otherPlan = "label;port;station;profile\nWell 7;/dev/ttyUSB1;7;pumps.json\n";
    const struct {
        const char* name;
        std::string plan;
        bool refused;
        Strings states;
        std::optional<std::size_t> next;
    } cases[] = {
        {"the same plan continues", kPlan, false, {"done", "skipped", "to do"}, 1},
        {"another plan is refused", otherPlan, true, {"to do"}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto before = kvtest::folderSnapshot(report);
        SiteRig rig(folder.path() / "default", c.plan);
        const std::string error = rig.site.chooseFolder(report.string());
        EXPECT_EQ(!error.empty(), c.refused) << error;
        EXPECT_EQ(rig.site.folder(), (c.refused ? folder.path() / "default" : report).string());
        EXPECT_EQ(rig.states(), c.states);
        EXPECT_EQ(rig.site.nextRow(), c.next);
        if (c.refused) {
            EXPECT_EQ(kvtest::folderSnapshot(report), before) << "nothing written";
        }
        EXPECT_FALSE(std::filesystem::exists(folder.path() / "default"));
    }
}

TEST(SiteWalk, NextNeedsTheOpenPortAndAClosingPortEndsTheRowAsFailed) {
    kvtest::TestFolder folder("site-walk");
    const struct {
        const char* name;
        int closeAfterFrames;  // the port closes once this many frames went out
        Strings frames;
        std::string step;
    } cases[] = {
        {"during the first read", 1, {kRead}, "reading what the collector holds"},
        {"during the write", 2, {kRead, "KORVEL#ST"}, "ST"},
        {"during the read-back", 4, {kRead, "KORVEL#ST", "KORVEL#AIN1", kRead}, "read-back"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SiteRig rig(folder.path() / c.name);
        kvsim::Device factory = collector({});
        rig.plugged = &factory;
        rig.siteView.open = false;
        EXPECT_FALSE(rig.site.canRunNext());
        EXPECT_EQ(rig.site.nextHint(),
                  "Open the port the collectors are plugged into to run a row.");
        rig.site.next();
        EXPECT_TRUE(rig.serial.written.empty());
        rig.siteView.open = true;
        rig.site.skip();  // row 1; row 2 writes AIN1 and the station address
        rig.site.next();
        Strings frames;
        rig.ProfileRig::run(4000, [&](const std::string& frame) {
            frames.push_back(frame.substr(0, frame.find(':')));
            if (static_cast<int>(frames.size()) == c.closeAfterFrames) {
                rig.session.portClosed();
                rig.profile.portClosed();
                rig.siteView.open = false;
                rig.site.portChanged();
                return std::string();
            }
            return factory.receive(frame, kvsim::Millis{0});
        });
        EXPECT_EQ(frames, c.frames);
        EXPECT_EQ(rig.states(), (Strings{"skipped", "failed", "to do"}));
        EXPECT_EQ(rig.site.resultWords(1), "port error");
        EXPECT_EQ(rig.site.record()->outcome(1)->result.step, c.step);
        EXPECT_FALSE(rig.profile.busy());
        EXPECT_FALSE(rig.site.canRunNext());
    }
}

}  // namespace
