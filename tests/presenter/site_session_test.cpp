// The site walk's rules: a plan's collectors plugged in turn behind the window's one open
// port (simulated collectors answering on the fake clock), Next and Skip through the plan, and
// the report kept in its folder as rows finish.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "FakeWindow.h"
#include "FolderSnapshot.h"
#include "presenter/SiteSession.h"
#include "sim/Device.h"
#include "site/Plan.h"

namespace {

using Values = std::vector<std::pair<const char*, const char*>>;

// The plan's profile writes AIN1; each row adds its station address.
const Values kAin1{{"ad1.urv", "000222"}, {"ad1.lrv", "000011"}, {"ad1.start", "00002"}};

kvsite::Plan planOf(const std::string& text) {
    const auto profile = [](const std::string&) {
        kvprofile::ReadResult read;
        read.profile.emplace();
        for (const auto& [name, value] : kAin1) (void)read.profile->settings.set(name, value);
        return read;
    };
    kvsite::PlanCheck check = kvsite::parsePlan(text, "/site/walk.csv", {}, profile);
    EXPECT_TRUE(check.ok());
    return std::move(check.plan);
}

const std::string kPlan =
    "label;port;station;profile\nPump house 1;/dev/ttyUSB1;1;pumps.json\n"
    "Pump house 2;/dev/ttyUSB2;2;pumps.json\nTank north;/dev/ttyUSB3;3;pumps.json\n";

// A collector at the factory's values but `values`.
kvsim::Device collector(Values values, kvsim::DeviceOptions options = {}) {
    kvsim::DeviceState state = kvsim::factoryDefaults();
    for (const auto& [name, value] : values) state.set(name, value);
    return kvsim::Device(state, std::move(options));
}

class FakeSiteView : public kvpresenter::SiteView {
public:
    bool portOpen() const override { return open; }
    std::string portName() const override { return "/dev/ttyADAPTER"; }
    void changed() override {}
    std::string reportWritten(const kvsite::Report&, const std::string&) override {
        ++reports;
        return pdfError;
    }
    bool open = true;
    int reports = 0;
    std::string pdfError;
};

// The window with its Profile group and a site walk over it; `plugged` is the collector that
// answers on the port (none: silence).
struct SiteRig : kvtest::ProfileRig {
    explicit SiteRig(const std::filesystem::path& folder, const std::string& plan = kPlan) {
        site.open(planOf(plan), folder.string());
    }
    // The event loop for `ms`: the frames sent meanwhile, by the word after '#'; `hook` may
    // change the answer to the nth frame.
    std::string run(std::function<void(int n, std::string& reply)> hook = {}) {
        std::string words;
        ProfileRig::run(5000, [&](const std::string& frame) {
            words += (words.empty() ? "" : " ") + frame.substr(7, frame.find_first_of(":#", 7) - 7);
            if (pressWriteAllOnSets && frame.starts_with("KORVEL#")) profile.writeAllOrCancel();
            std::string reply = plugged ? plugged->receive(frame, kvsim::Millis{0}) : "";
            if (hook)
                hook(static_cast<int>(std::count(words.begin(), words.end(), ' ')) + 1, reply);
            return reply;
        });
        return words;
    }
    std::string states() const {
        std::string out;
        for (std::size_t i = 0; i < site.size(); ++i) out += (i ? "|" : "") + site.stateWords(i);
        return out;
    }
    kvsim::Device* plugged = nullptr;
    bool pressWriteAllOnSets = false;  // Write All is pressed while a set command is answered
    FakeSiteView siteView;
    kvpresenter::SiteSession site{profile, siteView, "9.9"};
};

TEST(SiteWalk, NextAndSkipWalkThePlanOnTheOnePortAndKeepTheReport) {
    kvtest::TestFolder folder("site-walk");
    SiteRig rig(folder.path() / "report");
    rig.pressWriteAllOnSets = true;  // neither cancels a row nor starts Write All
    kvsim::Device factory = collector({});
    kvsim::Device ain1Done = collector(kAin1);
    Values planned = kAin1;
    planned.emplace_back("rs485.address", "002");
    kvsim::Device asPlanned = collector(planned);
    const struct {
        bool skip;
        kvsim::Device* plugged;
        std::size_t row;  // the row Next runs or Skip skips
        std::string frames, states, result;
        std::size_t written;
    } steps[] = {
        // Only AIN1 differs: the station address is the factory's 001 already.
        {false, &factory, 0, "CHEACK1 AIN1 CHEACK1", "done|to do|to do", "ok", 1},
        {true, nullptr, 1, "", "done|skipped|to do", "", 0},
        // AIN1 is as planned: only the station address goes out.
        {false, &ain1Done, 2, "CHEACK1 ST CHEACK1", "done|skipped|done", "ok", 1},
        // The skipped row comes round, its collector silent, then again as planned.
        {false, nullptr, 1, "CHEACK1", "done|failed|done", "no answer", 0},
        {false, &asPlanned, 1, "CHEACK1", "done|done|done", "already as planned", 0},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.frames + " " + s.states);
        ASSERT_EQ(rig.site.nextRow(), s.row);
        rig.plugged = s.plugged;
        const kvproto::CollectorSettings held =
            s.plugged ? s.plugged->state().settings() : kvproto::CollectorSettings{};
        if (s.skip) {
            rig.site.skip();
        } else {
            rig.site.next();
            EXPECT_EQ(rig.site.stateWords(s.row), "running");
            EXPECT_FALSE(rig.site.canRunNext());
            // Nor is the plan, the folder or the row changed meanwhile.
            rig.site.skip();
            rig.site.open(planOf("port;station;profile\n/dev/ttyUSB9;9;pumps.json\n"), "/x");
            EXPECT_EQ(rig.site.chooseFolder("/y"),
                      "A row is running: choose the folder once it is done.");
        }
        EXPECT_EQ(rig.run(), s.frames);
        EXPECT_EQ(rig.states(), s.states);
        EXPECT_EQ(rig.site.resultWords(s.row), s.result);
        const kvsite::PlanRow& row = rig.site.plan().rows[s.row];
        EXPECT_TRUE(rig.site.status().starts_with(row.label + " (station " + row.station +
                                                  "): " + (s.skip ? "skipped" : s.result)))
            << rig.site.status();
        EXPECT_EQ(rig.view.status, "") << "the row speaks in its dialog, not on the status line";
        EXPECT_EQ(rig.siteView.reports, &s - steps + 1) << "the report after every row";
        if (s.skip) continue;
        const kvsite::RowOutcome& outcome = *rig.site.record()->outcome(s.row);
        EXPECT_EQ(outcome.result.written, s.written);
        EXPECT_EQ(outcome.result.port, "/dev/ttyADAPTER") << "the window's port, not the plan's";
        EXPECT_EQ(outcome.beforeRead, s.plugged != nullptr);
        if (!s.plugged) continue;
        // Before: the collector as it was plugged in; after: the plan.
        EXPECT_TRUE(kvops::compare(held, outcome.before).empty());
        EXPECT_TRUE(kvops::compare(outcome.planned, outcome.after).empty());
        EXPECT_TRUE(kvops::compare(outcome.planned, s.plugged->state().settings()).empty());
    }
    EXPECT_EQ(rig.site.nextHint(), "Every row is done.");
    EXPECT_EQ(rig.messages.boxes, std::vector<std::string>{"Parameter Query Timeout!"});
    // The folder holds the rows as the command line's report does.
    const kvsite::ReportRead read =
        kvsite::parseReportJson(kvtest::fileContents(folder.path() / "report" / "report.json"));
    ASSERT_EQ(read.report.rows.size(), 3u) << read.error;
    EXPECT_EQ(read.report.rows[0].before.get("ad1.urv"), "000100");
    EXPECT_EQ(read.report.rows[0].after.get("ad1.urv"), "000222");
    EXPECT_EQ(read.report.rows[1].state, kvsite::RowState::Done);
    // A row's read is another collector's, maybe: Report...'s "before" is the window's own.
    rig.profile.report("/site/sheet.html");
    rig.run();
    ASSERT_EQ(rig.view.reports.size(), 1u);
    EXPECT_EQ(rig.view.reports[0].second.before.get("rs485.address"), "002");
    rig.site.open(planOf(kPlan), "/z");  // another plan opened starts afresh
    EXPECT_EQ(rig.states(), "to do|to do|to do");
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
    }
    const struct {
        std::string plan;
        bool refused;
        std::string states;
        std::size_t next;
    } cases[] = {
        {kPlan, false, "done|skipped|to do", 1},
        {"label;port;station;profile\nWell 7;/dev/ttyUSB1;7;pumps.json\n", true, "to do", 0},
    };
    for (const auto& c : cases) {
        const auto before = kvtest::folderSnapshot(report);
        SiteRig rig(folder.path() / "default", c.plan);
        EXPECT_EQ(rig.site.chooseFolder(report.string()).empty(), !c.refused);
        EXPECT_EQ(rig.site.folder(), (c.refused ? folder.path() / "default" : report).string());
        EXPECT_EQ(rig.states(), c.states);
        EXPECT_EQ(rig.site.nextRow(), c.next);
        if (c.refused) {
            EXPECT_EQ(kvtest::folderSnapshot(report), before);
        }
        EXPECT_FALSE(std::filesystem::exists(folder.path() / "default"));
    }
}

// Row 2 of the plan (the station address and AIN1 to write) on a factory collector, where
// something goes wrong at the `at`th frame.
TEST(SiteWalk, ARowThatDoesNotEndAsPlannedIsFailedWithWhereAndWhy) {
    kvtest::TestFolder folder("site-walk");
    enum class Event { PortCloses, PortRefusesTheNext, Silence, Garbled, None };
    kvsim::DeviceOptions keepsAin1;
    keepsAin1.keptWords.insert("AIN1");
    const std::string all = "CHEACK1 ST AIN1 CHEACK1";
    const struct {
        Event event;
        int at;
        std::string frames, result, step, reason;
        kvsim::DeviceOptions options = {};
    } cases[] = {
        {Event::PortCloses, 1, "CHEACK1", "port error", "reading what the collector holds",
         "the port was closed"},
        {Event::PortCloses, 2, "CHEACK1 ST", "port error", "ST", "the port was closed"},
        {Event::PortCloses, 4, all, "port error", "read-back", "the port was closed"},
        {Event::PortRefusesTheNext, 2, "CHEACK1 ST", "port error", "AIN1",
         "(1 commands written before)"},
        {Event::PortRefusesTheNext, 3, "CHEACK1 ST AIN1", "port error", "read-back", ""},
        {Event::Silence, 4, all, "no answer", "read-back", ""},
        {Event::Garbled, 4, all, "not understood", "read-back", ""},
        {Event::None, 0, all, "differs: 3", "", "", keepsAin1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.frames + " " + c.result + " " + c.step);
        SiteRig rig(folder.path() / std::to_string(&c - cases));
        kvsim::Device device = collector({}, c.options);
        rig.plugged = &device;
        rig.site.skip();  // row 1
        rig.site.next();
        const std::string frames = rig.run([&](int n, std::string& reply) {
            if (n < c.at) return;
            if (c.event == Event::PortCloses) {
                rig.session.portClosed();
                rig.profile.portClosed();
                rig.siteView.open = false;
                rig.plugged = nullptr;
                reply.clear();
            }
            if (c.event == Event::PortRefusesTheNext) rig.serial.open = false;
            if (c.event == Event::Silence) reply.clear();
            if (c.event == Event::Garbled) reply.replace(reply.find("000222"), 6, "00x222");
        });
        EXPECT_EQ(frames, c.frames);
        EXPECT_EQ(rig.states(), "skipped|failed|to do");
        EXPECT_EQ(rig.site.resultWords(1), c.result);
        const kvsite::RowOutcome& outcome = *rig.site.record()->outcome(1);
        EXPECT_EQ(outcome.result.step, c.step);
        EXPECT_NE(outcome.result.error.text.find(c.reason), std::string::npos);
        EXPECT_EQ(outcome.afterRead, c.event == Event::None);
        EXPECT_TRUE(rig.site.problem());
        EXPECT_FALSE(rig.profile.busy());
        EXPECT_EQ(rig.view.status, "");
        EXPECT_EQ(rig.site.canRunNext(), rig.siteView.open);
        EXPECT_EQ(rig.site.nextRow(), 2u) << "a failed row comes round again after the others";
    }
}

// Nothing is sent while the port is closed or the Profile group busy, nor when the report's
// folder cannot be made; a report (or its PDF) that cannot be written after a row is said.
TEST(SiteWalk, WhatStopsARowOrItsReportIsSaid) {
    kvtest::TestFolder folder("site-walk");
    std::ofstream(folder.path() / "file") << "x";
    const std::string blocked = (folder.path() / "file" / "report").string();
    const std::filesystem::path b = folder.path() / "b";
    const struct {
        std::function<void(SiteRig&)> before;
        std::string says;
        std::string frames, states;
        std::string folder = "a";
    } cases[] = {
        {[](SiteRig& rig) { rig.siteView.open = false; }, "", "", "to do|to do|to do"},
        {[](SiteRig& rig) { rig.profile.verify(); },
         "The Profile group is busy: run the row once it is done.", "CHEACK1", "to do|to do|to do"},
        {[](SiteRig&) {}, blocked, "", "to do|to do|to do", blocked},
        {[](SiteRig& rig) { rig.siteView.pdfError = "report.pdf: disk full"; },
         "Pump house 1 (station 1): no answer: reading what the collector holds: no answer "
         "within 3000 ms. report.pdf: disk full",
         "CHEACK1", "failed|to do|to do"},
        {[&b](SiteRig& rig) {
             rig.site.skip();
             std::filesystem::remove_all(b);
             std::ofstream(b) << "not a folder";
         },
         "Pump house 2 (station 2): no answer: reading what the collector holds: no answer "
         "within 3000 ms. The report could not be written: ",
         "CHEACK1", "skipped|failed|to do", "b"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.says);
        SiteRig rig(folder.path() / c.folder);
        c.before(rig);
        rig.site.next();
        EXPECT_EQ(rig.run(), c.frames);
        EXPECT_EQ(rig.states(), c.states);
        EXPECT_NE(rig.site.status().find(c.says), std::string::npos) << rig.site.status();
        EXPECT_EQ(rig.site.problem(), !c.says.empty());
    }
}

}  // namespace
