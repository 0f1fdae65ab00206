// The site plan's checks, one row of the table per rule, and the report's escaping of text
// that comes from outside.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "CollectorValues.h"
#include "FolderSnapshot.h"
#include "site/Plan.h"
#include "site/Report.h"
#include "site/SiteRecord.h"

namespace {

// Profiles by path: "full.json" holds set A's configuration, "no-ad1.json" the same without
// the AIN1 values, and any other name cannot be read.
kvprofile::ReadResult readProfile(const std::string& path) {
    kvprofile::ReadResult read;
    if (path == "/site/full.json" || path == "/site/no-ad1.json") {
        read.profile.emplace();
        read.profile->settings = kvproto::filtered(kvtest::settingsToSend(false), {true, true});
        if (path.ends_with("no-ad1.json"))
            for (const char* name : {"ad1.urv", "ad1.lrv", "ad1.start"})
                read.profile->settings.erase(name);
    } else {
        read.error = path + ": cannot be read (No such file or directory)";
    }
    return read;
}

struct PlanCase {
    const char* name;
    std::string text;
    std::vector<std::string> problems;  // each a part of one message, in order
    std::size_t rows = 0;               // when there is no problem
    bool allowDuplicates = false;
};

TEST(SitePlan, ChecksEveryRowAndColumn) {
    const std::string bom = "\xEF\xBB\xBF";
    const PlanCase cases[] = {
        {"commas", "port,station,profile\n/dev/a,1,full.json\n/dev/b,2,full.json\n", {}, 2},
        {"semicolons, CR LF, label",
         "label;port;station;profile\r\nP1;/dev/a;1;full.json\r\n",
         {},
         1},
        {"byte order mark", bom + "port,station,profile\n/dev/a,1,full.json\n", {}, 1},
        {"quoted separators, quotes and a line break",
         "port,station,profile,label\n/dev/a,1,full.json,\"Tank, \"\"north\"\"\nroof\"\n"
         "/dev/b,2,full.json,x\n",
         {},
         2},
        {"blank rows skipped", "port,station,profile\n\n/dev/a,1,full.json\n,,\n", {}, 1},
        {"override completed by the profile",
         "port,station,profile,ad1.urv\n/dev/a,1,full.json,25\n",
         {},
         1},
        {"override of a command the profile lacks",
         "port,station,profile,ad1.urv\n/dev/a,1,no-ad1.json,25\n",
         {"row 2, column ad1.urv: ad1.urv: ad1.urv, ad1.lrv, ad1.start go to the collector "
          "together"}},
        {"unknown column",
         "port,station,profile,colour\n/dev/a,1,full.json,red\n",
         {"row 1, column colour: unknown column"}},
        {"station as a parameter column",
         "port,station,profile,rs485.address\n",
         {"row 1, column rs485.address: the station address has its own column"}},
        {"missing column", "port,profile\n/dev/a,full.json\n", {"row 1, column station: missing"}},
        {"missing profile",
         "port,station,profile\n/dev/a,1,gone.json\n",
         {"row 2, column profile: /site/gone.json: cannot be read"}},
        {"refused value",
         "port,station,profile,ad1.urv\n/dev/a,1,full.json,2x\n",
         {"row 2, column ad1.urv: ad1.urv: \"2x\" is not accepted"}},
        {"station out of range",
         "port,station,profile\n/dev/a,0,full.json\n/dev/b,248,full.json\n",
         {"row 2, column station: rs485.address: \"0\" is not accepted (a whole number from 1 "
          "to 247, 1 to 6 digits)",
          "row 3, column station: rs485.address: \"248\" is not accepted"}},
        {"inverted range",
         "port,station,profile,ad1.urv\n/dev/a,1,full.json,-5\n",
         {"row 2, column ad1.urv: ad1.urv: -5 is not above ad1.lrv"}},
        {"network port out of range",
         "port,station,profile\nrfc2217://127.0.0.1:99999,1,full.json\n",
         {"row 2, column port: rfc2217://127.0.0.1:99999: not a network port: the port must be 1 "
          "to 65535 (99999 given)"}},
        {"port shared by rows",
         "port,station,profile\n/dev/a,1,full.json\n/dev/a,2,full.json\n",
         {},
         2},
        {"parameter column twice",
         "port,station,profile,ad1.urv,ad1.urv\n/dev/a,1,full.json,25,30\n",
         {"row 1, column ad1.urv: given twice"}},
        {"port column twice",
         "port,station,port,profile\n/dev/a,1,/dev/b,full.json\n",
         {"row 1, column port: given twice"}},
        {"station twice, by value",
         "port,station,profile\n/dev/a,12,full.json\n/dev/b,012,full.json\n",
         {"row 3, column station: 012 is already the station address of row 2"}},
        {"station twice, allowed",
         "port,station,profile\n/dev/a,12,full.json\n/dev/b,12,full.json\n",
         {},
         2,
         true},
        {"empty cells",
         "port,station,profile\n,,\n/dev/b,,\n",
         {"row 3, column station: empty", "row 3, column profile: empty"}},
        {"cell beyond the header",
         "port,station,profile\n/dev/a,1,full.json,extra\n",
         {"row 2, column #4: a cell beyond the header's 3 columns"}},
        {"row numbers count records",
         "port,station,profile,label\n/dev/a,1,full.json,\"a\nb\"\n/dev/b,x,full.json,\n",
         {"row 3, column station"}},
        {"not UTF-8",
         "port,station,profile,label\n/dev/a,1,full.json,Stra\xDF"
         "e\n",
         {"not UTF-8 text"}},
        {"no rows", "port,station,profile\n", {"no collector in the plan"}},
        {"empty file", "", {"empty: a plan starts with a header row"}},
    };
    for (const PlanCase& c : cases) {
        SCOPED_TRACE(c.name);
        const kvsite::PlanCheck check =
            kvsite::parsePlan(c.text, "/site/plan.csv", {c.allowDuplicates}, readProfile);
        ASSERT_EQ(check.problems.size(), c.problems.size())
            << (check.problems.empty() ? "" : check.problems.front());
        for (std::size_t i = 0; i < c.problems.size(); ++i) {
            EXPECT_TRUE(check.problems[i].starts_with("/site/plan.csv: ")) << check.problems[i];
            EXPECT_NE(check.problems[i].find(c.problems[i]), std::string::npos)
                << check.problems[i];
        }
        EXPECT_EQ(check.plan.rows.size(), c.problems.empty() ? c.rows : 0);
    }
}

// What a row writes: the profile's configuration, its station and its overrides; never the
// profile's own station address or counter bases.
TEST(SitePlan, RowWritesProfileStationAndOverrides) {
    const kvsite::PlanCheck check = kvsite::parsePlan(
        "port;station;profile;label;ad1.urv;pin1.base\n/dev/a;7;full.json;\"Tank; north\";25;\n"
        "/dev/b;8;full.json;;;42\n",
        "/site/plan.csv", {}, readProfile);
    ASSERT_TRUE(check.ok()) << check.problems.front();
    const kvsite::PlanRow& a = check.plan.rows.at(0);
    EXPECT_EQ(a.label, "Tank; north");
    EXPECT_EQ(a.planned.get("rs485.address"), "7");
    EXPECT_EQ(a.planned.get("ad1.urv"), "25");
    EXPECT_EQ(a.planned.get("ad1.lrv"), "4");  // from the profile
    EXPECT_FALSE(a.planned.has("pin1.base"));
    EXPECT_EQ(check.plan.rows.at(1).planned.get("pin1.base"), "42");  // asked for by its column
    EXPECT_EQ(check.plan.rows.at(1).planned.get("ad1.urv"), "20");
    EXPECT_EQ(check.plan.name, "plan.csv");
}

TEST(SiteReport, OutsideTextIsEscapedWhereItLands) {
    kvsite::Report report;
    report.site = "a<b>.csv";
    report.operatorName = "<i>A&B</i>";
    report.toolVersion = "1.2.0";
    kvsite::RowOutcome row;
    row.label = "<b>Tank</b>";
    row.profile = "=HYPERLINK(\"x\")";
    row.station = "3";
    row.result.port = "/dev/x";
    row.result.error = {kvops::ErrorCode::NotUnderstood, 0, "the collector answered \"<\x01\xFF\""};
    report.rows.push_back(row);
    const std::string html = kvsite::reportHtml(report);
    EXPECT_NE(html.find("&lt;b&gt;Tank&lt;/b&gt;"), std::string::npos);
    EXPECT_EQ(html.find("<b>"), std::string::npos);
    EXPECT_NE(html.find("a&lt;b&gt;.csv"), std::string::npos);
    EXPECT_NE(html.find("<td>&lt;i&gt;A&amp;B&lt;/i&gt;</td>"), std::string::npos);
    EXPECT_EQ(html.find("<i>"), std::string::npos);
    EXPECT_NE(html.find("&quot;&lt;\\x01\\xFF&quot;"), std::string::npos);
    const std::string csv = kvsite::reportCsv(report);
    EXPECT_NE(csv.find(",\"'=HYPERLINK(\"\"x\"\")\","), std::string::npos) << csv;
    EXPECT_NE(csv.find(",not understood,0,"), std::string::npos) << csv;
    EXPECT_NE(kvsite::reportJson(report).find("\\\\xFF"), std::string::npos);
}

// A frame carries all the values of its command, so a command goes whole once one of its
// values differs; the others stay unwritten (a counter base would restart its count).
TEST(SiteCommission, WritesOnlyTheSetCommandsThatDiffer) {
    const kvproto::CollectorSettings held = kvtest::settingsToSend(false);  // counter bases too
    const struct {
        const char* name;
        std::vector<std::pair<const char*, const char*>> planned;  // changed from what is held
        std::vector<std::string> written;
    } cases[] = {
        {"nothing differs", {}, {}},
        {"the same value written otherwise", {{"ad1.urv", "20.000"}, {"pin1.base", "0123"}}, {}},
        {"a range, the counter bases equal",
         {{"ad1.urv", "30"}},
         {"ad1.urv", "ad1.lrv", "ad1.start"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        kvproto::CollectorSettings planned = held;
        for (const auto& [name, value] : c.planned) ASSERT_FALSE(planned.set(name, value));
        std::vector<std::string> written;
        for (const auto& [parameter, value] : kvsite::settingsToWrite(planned, held).entries()) {
            written.emplace_back(parameter->name);
            EXPECT_EQ(value, *planned.get(*parameter));
        }
        EXPECT_EQ(written, c.written);
    }
}

// A report of every kind of row: done, failed on a port, differing, skipped, to do.
kvsite::Report everyKindOfRow() {
    kvsite::Report report;
    report.site = report.plan =
        "S\xC3\xBC"
        "d.csv";
    report.operatorName = "A. Tech";
    report.toolVersion = "1.2.0";
    report.startedMs = 1765290000123;
    report.finishedMs = 1765290060456;
    const auto row = [&](std::size_t number, kvsite::RowState state) {
        kvsite::RowOutcome out;
        out.row = number;
        out.state = state;
        out.label =
            "Pumpenhaus S\xC3\xBC"
            "d " +
            std::to_string(number);
        out.station = std::to_string(number + 10);
        out.profile = "pumps.json";
        out.result.port = "/dev/ttyUSB0";
        out.result.where = "in the plan";
        out.planned = kvproto::filtered(kvtest::settingsToSend(false), {true, false});
        if (state == kvsite::RowState::ToDo) return out;
        out.startedMs = report.startedMs + static_cast<std::int64_t>(number) * 1000;
        out.finishedMs = out.startedMs + 2345;
        return out;
    };
    kvsite::RowOutcome done = row(2, kvsite::RowState::Done);
    done.before = kvtest::settingsToSend(true);
    done.after = done.planned;
    done.beforeRead = done.afterRead = true;
    done.result.written = 9;
    kvsite::RowOutcome failed = row(3, kvsite::RowState::Failed);
    failed.result.error = {kvops::ErrorCode::PortNotFound, 2, "No such file or directory",
                           kvsys::ErrorSource::Errno, "Error opening serial port"};
    failed.result.step = "opening";
    kvsite::RowOutcome differs = row(4, kvsite::RowState::Failed);
    differs.before = differs.after = kvtest::settingsToSend(true);
    differs.beforeRead = differs.afterRead = true;
    differs.result.differences = {{kvproto::findParameter("ad1.urv"), "20", "7.2500"},
                                  {kvproto::findParameter("ad2.urv"), "1.6", std::nullopt}};
    differs.result.notes = {"a note \x01"};
    kvsite::RowOutcome skipped = row(5, kvsite::RowState::Skipped);
    skipped.result.error = {kvops::ErrorCode::NoAnswer, 0, "no answer within 800 ms"};
    report.rows = {done, failed, differs, skipped, row(6, kvsite::RowState::ToDo)};
    return report;
}

TEST(SiteReport, ReadsBackWhatItWrote) {
    const kvsite::Report report = everyKindOfRow();
    const std::string json = kvsite::reportJson(report);
    const kvsite::ReportRead read = kvsite::parseReportJson(json);
    ASSERT_EQ(read.error, "");
    EXPECT_EQ(kvsite::reportJson(read.report), json);
    EXPECT_EQ(kvsite::reportCsv(read.report), kvsite::reportCsv(report));
    EXPECT_EQ(kvsite::reportHtml(read.report), kvsite::reportHtml(report));
    ASSERT_EQ(read.report.rows.size(), report.rows.size());
    for (std::size_t i = 0; i < report.rows.size(); ++i)
        EXPECT_EQ(read.report.rows[i].before, report.rows[i].before) << i;
    const auto changed = [&](const std::string& from, const std::string& to) {
        std::string text = json;
        const auto at = text.find(from);
        return at == std::string::npos ? "" : text.replace(at, from.size(), to);
    };
    const struct {
        const char* name;
        std::string text;
        const char* error;
    } refused[] = {
        {"not JSON", "{\"format\":", "not JSON"},
        {"another format", R"({"format": "kv480t-profile", "version": 1})", "not a site report"},
        {"unknown parameter", changed("\"ad1.urv\": ", "\"ad9.urv\": "), "unknown parameter"},
        {"row number missing", changed("\"row\": 2,", ""), "no \"row\""},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.text.empty());
        EXPECT_NE(kvsite::parseReportJson(c.text).error.find(c.error), std::string::npos)
            << kvsite::parseReportJson(c.text).error;
    }
}

TEST(SiteRecord, KeepsTheSiteAcrossRunsAndRefusesAnotherPlans) {
    const auto plan = [](const std::string& name, const std::string& rows) {
        const kvsite::PlanCheck check = kvsite::parsePlan("label,port,station,profile\n" + rows,
                                                          "/site/" + name, {}, readProfile);
        EXPECT_TRUE(check.ok()) << check.problems.front();
        return check.plan;
    };
    const std::string rows = "A,/dev/a,1,full.json\nB,/dev/a,2,full.json\nC,/dev/b,3,full.json\n";
    const kvsite::Plan site = plan("plan.csv", rows);
    kvtest::TestFolder folder("site-record");
    const std::string dir = (folder.path() / "report").string();
    kvsite::SiteRecord::Opened first =
        kvsite::SiteRecord::open(site, dir, {"plan.csv", "A. Tech", "1.2.0", 1000});
    ASSERT_TRUE(first.record) << first.error;
    EXPECT_EQ(first.record->count(kvsite::RowState::ToDo), 3u);
    EXPECT_TRUE(std::filesystem::exists(folder.path() / "report" / "report.html"));
    kvsite::RowOutcome a = kvsite::outcomeOf(site.rows[0]);
    a.before = kvtest::settingsToSend(true);
    a.after = a.planned;
    a.beforeRead = a.afterRead = true;
    kvsite::RowOutcome b = kvsite::outcomeOf(site.rows[1]);
    b.result.error = {kvops::ErrorCode::NoAnswer, 0, "no answer within 800 ms"};
    EXPECT_EQ(first.record->record(0, a), "");
    EXPECT_EQ(first.record->record(1, b), "");
    EXPECT_EQ(first.record->skip(2), "");
    first.record.reset();

    kvsite::SiteRecord::Opened again = kvsite::SiteRecord::open(site, dir, {"x", "", "1.3.0", 5});
    ASSERT_TRUE(again.record) << again.error;
    const kvsite::RowState states[] = {kvsite::RowState::Done, kvsite::RowState::Failed,
                                       kvsite::RowState::Skipped};
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(again.record->state(i), states[i]) << i;
    ASSERT_NE(again.record->outcome(0), nullptr);
    EXPECT_EQ(again.record->outcome(0)->before, a.before);
    EXPECT_EQ(again.record->report().operatorName, "A. Tech");
    EXPECT_EQ(again.record->report().startedMs, 1000);
    again.record.reset();

    const auto kept = kvtest::folderSnapshot(dir);
    const struct {
        const char* name;
        kvsite::Plan plan;
        const char* why;
    } others[] = {
        {"another file", plan("other.csv", rows), "holds the report of another plan (plan.csv)"},
        {"a row fewer", plan("plan.csv", "A,/dev/a,1,full.json\n"),
         "holds the report of a plan of 3"},
        {"another station",
         plan("plan.csv", "A,/dev/a,1,full.json\nB,/dev/a,2,full.json\nC,/dev/b,4,full.json\n"),
         "holds the report of another plan: its row 4 is \"C\" (station 3)"},
    };
    for (const auto& c : others) {
        SCOPED_TRACE(c.name);
        const kvsite::SiteRecord::Opened refused = kvsite::SiteRecord::open(c.plan, dir, {});
        EXPECT_EQ(refused.record, nullptr);
        EXPECT_NE(refused.error.find(dir + ": "), std::string::npos) << refused.error;
        EXPECT_NE(refused.error.find(c.why), std::string::npos) << refused.error;
        EXPECT_EQ(kvtest::folderSnapshot(dir), kept);
    }
    std::filesystem::remove(folder.path() / "report" / "report.json");
    EXPECT_NE(kvsite::SiteRecord::open(site, dir, {}).error.find("without its report.json"),
              std::string::npos);
}

}  // namespace
