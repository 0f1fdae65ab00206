// kv480t commission as a child process against simulated collectors: a site of five, one
// already as planned and one silent, its lines, what the collectors hold afterwards, and the
// report's three files as a checker and a spreadsheet reader see them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "CollectorValues.h"
#include "FolderSnapshot.h"
#include "Kv480tProcess.h"
#include "SimulatedCollector.h"
#include "profile/Profile.h"

namespace {

namespace fs = std::filesystem;
using kvtest::describe;
using kvtest::kv480t;

using kvtest::shell;

class Commission : public ::testing::Test {
protected:
    void SetUp() override {
        kvprofile::Profile profile;
        profile.settings = kvproto::filtered(kvtest::settingsToSend(false), {});
        ASSERT_TRUE(kvprofile::writeProfileFile((dir / "pumps.json").string(), profile, nullptr));
    }
    std::string writePlan(const std::string& text) {
        std::ofstream((dir / "site.csv").string(), std::ios::binary) << text;
        return (dir / "site.csv").string();
    }

    kvtest::TestFolder folder{"kv480t-commission"};
    const fs::path& dir = folder.path();
};

TEST_F(Commission, FiveCollectorsReportFourOkAndOneSilent) {
    kvproto::CollectorSettings planned = kvtest::settingsToSend(false);
    ASSERT_FALSE(planned.set("rs485.address", "5"));
    kvsim::CollectorOptions silent;
    silent.silent = true;
    const std::vector<std::unique_ptr<kvsim::Collector>> collectors = [&] {
        std::vector<std::unique_ptr<kvsim::Collector>> c;
        c.push_back(kvtest::collectorHolding(planned));                       // already as planned
        c.push_back(kvtest::collectorHolding(kvtest::settingsToSend(true)));  // set B
        c.push_back(kvtest::collectorHolding({}));                            // factory values
        c.push_back(kvtest::collectorHolding({}));
        c.push_back(kvtest::collectorHolding({}, silent));
        return c;
    }();
    const struct {
        const char* label;
        const char* station;
        const char* override;  // ad1.urv
        const char* result;
    } rows[] = {{"Pump house 1", "5", "", "already as planned"},
                {"Pump house 2", "6", "30", "ok"},
                {"<b>Tank</b>", "007", "", "ok"},
                {"=1+2", "8", "", "ok"},
                {"Well; east", "9", "", "no answer"}};
    std::string plan = "\xEF\xBB\xBFlabel;port;station;profile;ad1.urv\r\n";
    for (std::size_t i = 0; i < collectors.size(); ++i)
        plan += std::string("\"") + rows[i].label + "\";" + collectors[i]->slavePath() + ";" +
                rows[i].station + ";pumps.json;" + rows[i].override + "\r\n";
    const fs::path report = dir / "report";
    const kvtest::ProcessRun run =
        kv480t({"commission", writePlan(plan), "--report", report.string(), "--operator", "A. Tech",
                "--timeout-ms", "800"});
    EXPECT_EQ(run.exitCode, 4) << describe(run);
    for (std::size_t i = 0; i < collectors.size(); ++i) {
        SCOPED_TRACE(rows[i].label);
        const std::string line =
            std::string(rows[i].label) + " " + collectors[i]->slavePath() + " " + rows[i].result;
        EXPECT_NE(run.out.find(line), std::string::npos) << run.out;
        if (i < 4) {
            EXPECT_EQ(collectors[i]->state().number("rs485.address"), std::stoi(rows[i].station));
            EXPECT_EQ(collectors[i]->state().text("ad1.lrv"),
                      kvtest::collectorValue("ad1.lrv").heldA);
        }
    }
    EXPECT_EQ(collectors[1]->state().text("ad1.urv"), "000030");
    EXPECT_EQ(collectors[2]->state().text("ad1.urv"), kvtest::collectorValue("ad1.urv").heldA);

    // The page passes Debian's HTML checker and shows every collector, labels as text.
    const kvtest::ProcessRun tidy =
        shell("tidy -q -e -utf8 '" + (report / "report.html").string() + "'", dir / "tidy.out");
    EXPECT_EQ(tidy.exitCode, 0) << "tidy (scripts/setup installs it):\n" << tidy.out;
    const std::string html = kvtest::slurp(report / "report.html");
    for (const char* shown : {"Pump house 1", "Pump house 2", "&lt;b&gt;Tank&lt;/b&gt;", "=1+2",
                              "Well; east", "A. Tech", "site.csv"})
        EXPECT_NE(html.find(shown), std::string::npos) << shown;
    EXPECT_EQ(html.find("<b>Tank"), std::string::npos);
    EXPECT_EQ(html.find("src="), std::string::npos);  // nothing from outside the page

    // The CSV as Python's csv module reads it: one row per collector, formulas kept as text.
    const kvtest::ProcessRun csv = shell(
        "python3 -c 'import csv,json,sys; print(json.dumps(list(csv.reader(open(sys.argv[1], "
        "encoding=\"utf-8-sig\", newline=\"\")))))' '" +
            (report / "report.csv").string() + "'",
        dir / "csv.out");
    ASSERT_EQ(csv.exitCode, 0) << csv.out;
    const nlohmann::json table = nlohmann::json::parse(csv.out);
    ASSERT_EQ(table.size(), 6u) << csv.out;
    EXPECT_EQ(table[0], nlohmann::json({"label", "port", "station", "profile", "result",
                                        "differences", "time", "tool version"}));
    for (std::size_t i = 0; i < collectors.size(); ++i) {
        const nlohmann::json& row = table[i + 1];
        EXPECT_EQ(row[0], (i == 3 ? "'" : "") + std::string(rows[i].label));
        EXPECT_EQ(row[1], collectors[i]->slavePath());
        EXPECT_EQ(row[2], rows[i].station);
        EXPECT_EQ(row[3], "pumps.json");
        EXPECT_EQ(row[4], rows[i].result);
        EXPECT_EQ(row[5], "0");
        EXPECT_EQ(row[7], KV480T_VERSION);
    }

    // The JSON holds the before and after values by name.
    const nlohmann::json doc = nlohmann::json::parse(kvtest::slurp(report / "report.json"));
    const nlohmann::json& second = doc.at("collectors").at(1);
    EXPECT_EQ(second.at("before").at("ad1.urv"), kvtest::collectorValue("ad1.urv").heldB);
    EXPECT_EQ(second.at("after").at("ad1.urv"), "000030");
    EXPECT_EQ(second.at("after").at("rs485.address"), "006");
    EXPECT_TRUE(doc.at("collectors").at(4).at("after").is_null());
}

TEST_F(Commission, APlanWithProblemsSendsNothing) {
    auto collector = kvtest::collectorHolding({});
    const std::uint64_t frames = collector->framesHandled();
    const std::string port = collector->slavePath();
    const kvtest::ProcessRun run =
        kv480t({"commission",
                writePlan("port,station,profile,colour\n" + port + ",1,pumps.json,red\n" + port +
                          ",1,gone.json,\n"),
                "--report", (dir / "report").string()});
    EXPECT_EQ(run.exitCode, 2) << describe(run);
    EXPECT_NE(run.err.find("row 1, column colour: unknown column"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("row 3, column station: 1 is already the station address of row 2"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("row 3, column profile: "), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(dir / "report"));
    EXPECT_EQ(collector->framesHandled(), frames);
}

}  // namespace
