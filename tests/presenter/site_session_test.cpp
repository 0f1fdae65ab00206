// The site walk's rules: a plan's collectors plugged in turn behind the window's one open
// port (simulated collectors answering on the fake clock), Next and Skip through the plan, and
// the report kept in its folder as rows finish.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
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
            if (pressWriteAllOnSets && frame.starts_with("KORVEL#")) profile.writeAllOrCancel();
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
    bool pressWriteAllOnSets = false;  // Write All is pressed while a set command is answered
    FakeSiteView siteView;
    kvpresenter::SiteSession site{profile, siteView, "9.9"};
};

const std::string kRead = "PPPPPP#CHEACK1#";

TEST(SiteWalk, NextAndSkipWalkThePlanOnTheOnePortAndKeepTheReport) {
    kvtest::TestFolder folder("site-walk");
    const std::filesystem::path reportFolder = folder.path() / "report";
    SiteRig rig(reportFolder);
    rig.pressWriteAllOnSets = true;
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
            // Nor is the plan, the folder or the row changed meanwhile.
            rig.site.skip();
            rig.site.open(planOf("port;station;profile\n/dev/ttyUSB9;9;pumps.json\n"), "/x");
            EXPECT_EQ(rig.site.size(), 3u);
            EXPECT_EQ(rig.site.chooseFolder((folder.path() / "other").string()),
                      "A row is running: choose the folder once it is done.");
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
    // Another plan opened starts afresh.
    rig.site.open(planOf(kPlan), (folder.path() / "next").string());
    EXPECT_EQ(rig.states(), (Strings{"to do", "to do", "to do"}));
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

// Row 2 of the plan (AIN1 and the station address to write) on a factory collector, where
// something goes wrong at the `at`th frame.
TEST(SiteWalk, ARowThatDoesNotEndAsPlannedIsFailedWithWhereAndWhy) {
    kvtest::TestFolder folder("site-walk");
    enum class Event { PortCloses, PortRefusesTheNext, Silence, Garbled, None };
    kvsim::DeviceOptions keepsAin1;
    keepsAin1.keptWords.insert("AIN1");
    const struct {
        const char* name;
        Event event;
        int at;
        Strings frames;  // sent by the row
        std::string result, step, reason;
        kvsim::DeviceOptions options = {};
    } cases[] = {
        {"the port closes during the first read",
         Event::PortCloses,
         1,
         {kRead},
         "port error",
         "reading what the collector holds",
         "the port was closed"},
        {"the port closes during the write",
         Event::PortCloses,
         2,
         {kRead, "KORVEL#ST"},
         "port error",
         "ST",
         "the port was closed"},
        {"the port closes during the read-back",
         Event::PortCloses,
         4,
         {kRead, "KORVEL#ST", "KORVEL#AIN1", kRead},
         "port error",
         "read-back",
         "the port was closed"},
        {"the port refuses a set command",
         Event::PortRefusesTheNext,
         2,
         {kRead, "KORVEL#ST"},
         "port error",
         "AIN1",
         "(1 commands written before)"},
        {"the port refuses the read-back",
         Event::PortRefusesTheNext,
         3,
         {kRead, "KORVEL#ST", "KORVEL#AIN1"},
         "port error",
         "read-back",
         ""},
        {"no read-back",
         Event::Silence,
         4,
         {kRead, "KORVEL#ST", "KORVEL#AIN1", kRead},
         "no answer",
         "read-back",
         ""},
        {"a read-back with a value that cannot be read",
         Event::Garbled,
         4,
         {kRead, "KORVEL#ST", "KORVEL#AIN1", kRead},
         "not understood",
         "read-back",
         ""},
        {"the collector keeps AIN1",
         Event::None,
         0,
         {kRead, "KORVEL#ST", "KORVEL#AIN1", kRead},
         "differs: 3",
         "",
         "",
         keepsAin1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SiteRig rig(folder.path() / c.name);
        kvsim::Device device(kvsim::factoryDefaults(), c.options);
        rig.site.skip();  // row 1
        rig.site.next();
        Strings frames;
        rig.ProfileRig::run(5000, [&](const std::string& frame) {
            frames.push_back(frame.substr(0, frame.find(':')));
            const int n = static_cast<int>(frames.size());
            std::string reply = device.receive(frame, kvsim::Millis{0});
            if (n < c.at) return reply;
            switch (c.event) {
                case Event::PortCloses:
                    rig.session.portClosed();
                    rig.profile.portClosed();
                    rig.siteView.open = false;
                    rig.site.portChanged();
                    return std::string();
                case Event::PortRefusesTheNext:
                    rig.serial.open = false;
                    return reply;
                case Event::Silence:
                    return std::string();
                case Event::Garbled:
                    return reply.replace(reply.find("000222"), 6, "00x222");
                case Event::None:
                    return reply;
            }
            return reply;
        });
        EXPECT_EQ(frames, c.frames);
        EXPECT_EQ(rig.states(), (Strings{"skipped", "failed", "to do"}));
        EXPECT_EQ(rig.site.resultWords(1), c.result);
        const kvsite::RowOutcome& outcome = *rig.site.record()->outcome(1);
        EXPECT_EQ(outcome.result.step, c.step);
        EXPECT_NE(outcome.result.error.text.find(c.reason), std::string::npos)
            << outcome.result.error.text;
        EXPECT_EQ(outcome.afterRead, c.event == Event::None);
        EXPECT_TRUE(rig.site.problem());
        EXPECT_FALSE(rig.profile.busy());
        EXPECT_EQ(rig.view.status, "");
        EXPECT_EQ(rig.site.canRunNext(), rig.siteView.open);
        EXPECT_EQ(rig.site.nextRow(), 2u) << "a failed row comes round again after the others";
    }
}

TEST(SiteWalk, NextSendsNothingWhileThePortIsClosedTheGroupBusyOrTheFolderRefusesTheReport) {
    kvtest::TestFolder folder("site-walk");
    std::ofstream(folder.path() / "file") << "x";
    const struct {
        const char* name;
        std::filesystem::path reportFolder;
        std::function<void(SiteRig&)> before;
        std::string says;
        Strings written;  // frames sent
    } cases[] = {
        {"port closed",
         folder.path() / "a",
         [](SiteRig& rig) { rig.siteView.open = false; },
         "",
         {}},
        {"the Profile group verifies",
         folder.path() / "b",
         [](SiteRig& rig) { rig.profile.verify(); },
         "The Profile group is busy: run the row once it is done.",
         {kRead}},
        {"a folder that cannot be made",
         folder.path() / "file" / "report",
         [](SiteRig&) {},
         (folder.path() / "file" / "report").string(),
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SiteRig rig(c.reportFolder);
        c.before(rig);
        rig.site.next();
        EXPECT_FALSE(rig.site.running());
        EXPECT_EQ(rig.states(), (Strings{"to do", "to do", "to do"}));
        EXPECT_NE(rig.site.status().find(c.says), std::string::npos) << rig.site.status();
        Strings written;
        for (const std::string& frame : rig.serial.written)
            written.push_back(frame.substr(0, frame.find(':')));
        EXPECT_EQ(written, c.written);
    }
}

// After the record is rewritten, a PDF the view could not write, or a folder that no longer
// takes the report, is said as a problem.
TEST(SiteWalk, AReportThatCannotBeWrittenAfterARowIsSaid) {
    kvtest::TestFolder folder("site-walk");
    const struct {
        const char* name;
        std::string pdfError;
        bool folderGone;
        std::string says;
        bool problem;
    } cases[] = {
        {"the PDF", "report.pdf: cannot be written (disk full)", false,
         "Pump house 2 (station 2): skipped. report.pdf: cannot be written (disk full)", true},
        {"the folder", "", true,
         "Pump house 2 (station 2): skipped. The report could not be written: ", true},
        {"neither", "", false, "Pump house 2 (station 2): skipped.", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::filesystem::path report = folder.path() / c.name;
        SiteRig rig(report);
        rig.site.skip();
        rig.siteView.pdfError = c.pdfError;
        if (c.folderGone) {
            std::filesystem::remove_all(report);
            std::ofstream(report) << "not a folder";
        }
        rig.site.skip();
        EXPECT_TRUE(rig.site.status().starts_with(c.says)) << rig.site.status();
        EXPECT_EQ(rig.site.problem(), c.problem);
    }
}

// A site row's first read is another collector's, maybe: Report...'s "before" stays the
// window's own first read.
TEST(SiteWalk, ARowsReadIsNotReportsBefore) {
    kvtest::TestFolder folder("site-walk");
    SiteRig rig(folder.path() / "report");
    kvsim::Device factory = collector({});
    rig.plugged = &factory;
    rig.site.next();
    rig.run();
    rig.profile.report("/site/sheet.html");
    rig.run();
    ASSERT_EQ(rig.view.reports.size(), 1u);
    EXPECT_EQ(rig.view.reports[0].second.before.get("ad1.urv"), "000222");
}

}  // namespace
