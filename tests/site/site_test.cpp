// The site plan's checks, one row of the table per rule, and the report's escaping of text
// that comes from outside.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "CollectorValues.h"
#include "site/Plan.h"
#include "site/Report.h"

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
        {"port twice",
         "port,station,profile\n/dev/a,1,full.json\n/dev/a,2,full.json\n",
         {"row 3, column port: /dev/a is already the port of row 2"}},
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
    EXPECT_NE(html.find("&quot;&lt;\\x01\\xFF&quot;"), std::string::npos);
    const std::string csv = kvsite::reportCsv(report);
    EXPECT_NE(csv.find(",\"'=HYPERLINK(\"\"x\"\")\","), std::string::npos) << csv;
    EXPECT_NE(csv.find(",not understood,0,"), std::string::npos) << csv;
    EXPECT_NE(kvsite::reportJson(report).find("\\\\xFF"), std::string::npos);
}

}  // namespace
