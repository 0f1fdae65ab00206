// kv480t commission walking a site with one adapter: three simulated collectors behind one
// path (a symbolic link) that the test re-points from one to the next as a technician moves
// the adapter, the prompts answered on stdin or --auto's unplug and plug, Ctrl+C and the
// same command continuing, another plan's report refused, and --dry-run.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
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
using Json = nlohmann::json;

// Three factory collectors, "Pump 1" to "Pump 3" (stations 11 to 13), all on one link.
struct Site {
    Site() {
        kvprofile::Profile profile;
        profile.settings = kvproto::filtered(kvtest::settingsToSend(false), {});
        EXPECT_TRUE(kvprofile::writeProfileFile((dir / "pumps.json").string(), profile, nullptr));
        for (int i = 0; i < 3; ++i) collectors.push_back(kvtest::collectorHolding({}));
        writePlan("site.csv");
    }
    // The link to collector `i`; -1: to nothing, -2: no link.
    void point(int i) {
        fs::remove(link);
        if (i == -2) return;
        const fs::path target = i < 0 ? dir / "nothing" : fs::path(collectors[i]->slavePath());
        fs::create_symlink(target, dir / "link.new");
        fs::rename(dir / "link.new", link);
    }
    std::string writePlan(const std::string& name, const std::string& station3 = "13") {
        std::ofstream(dir / name) << "label,port,station,profile\nPump 1," << link.string()
                                  << ",11,pumps.json\nPump 2," << link.string()
                                  << ",12,pumps.json\nPump 3," << link.string() << "," << station3
                                  << ",pumps.json\n";
        return (dir / name).string();
    }
    std::vector<std::string> command(std::vector<std::string> extra = {}) const {
        std::vector<std::string> args{"commission",   (dir / "site.csv").string(),
                                      "--report",     report.string(),
                                      "--timeout-ms", "800"};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }
    std::string prompt(int i) const {
        return "Connect \"Pump " + std::to_string(i + 1) + "\" (station " + std::to_string(11 + i) +
               ") to " + link.string() + ", then press Enter (s: skip, q: stop)\n";
    }
    bool commissioned(int i) const {
        return collectors[i]->state().number("rs485.address") == 11 + i &&
               collectors[i]->state().text("ad1.urv") == kvtest::collectorValue("ad1.urv").heldA;
    }
    Json reportJson() const {
        return Json::parse(kvtest::fileContents(report / "report.json"), nullptr, false);
    }
    std::string continueLine(const fs::path& folder) const {
        return "to continue: kv480t commission " + (dir / "site.csv").string() + " --report " +
               folder.string() + "\n";
    }

    kvtest::TestFolder folder{"kv480t-walk"};
    const fs::path& dir = folder.path();
    const fs::path link = dir / "adapter";
    const fs::path report = dir / "report";
    std::vector<std::unique_ptr<kvsim::Collector>> collectors;
};

constexpr const char* kEnd = nullptr;  // stdin ends instead of an answer

TEST(SiteWalk, PromptsInOrderAnsweredOnStdin) {
    const struct {
        const char* name;
        std::vector<std::pair<int, const char*>> prompts;  // the row asked for, the answer
        std::vector<const char*> states;
        int exitCode;
    } cases[] = {
        {"enter, skip, enter", {{0, ""}, {1, "s"}, {2, ""}}, {"done", "skipped", "done"}, 6},
        {"q stops", {{0, ""}, {1, "q"}}, {"done", "to do", "to do"}, 6},
        {"other words ask again",
         {{0, " "}, {1, "next"}, {1, "\r"}, {2, ""}},
         {"done", "done", "done"},
         0},
        {"the end of stdin stops", {{0, "s"}, {1, kEnd}}, {"skipped", "to do", "to do"}, 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Site site;
        kvtest::Kv480tSession run(site.command());
        std::map<int, std::size_t> asked;
        for (const auto& [row, answer] : c.prompts) {
            ASSERT_TRUE(run.waitForErr(site.prompt(row), ++asked[row])) << run.sofar().err;
            site.point(row);
            if (answer == kEnd)
                run.closeInput();
            else
                run.write(std::string(answer) + "\n");
        }
        const kvtest::ProcessRun end = run.finish();
        EXPECT_EQ(end.exitCode, c.exitCode) << describe(end);
        std::size_t prompts = 0;  // none beyond those answered
        for (auto at = end.err.find("Connect \""); at != std::string::npos;
             at = end.err.find("Connect \"", at + 1))
            ++prompts;
        EXPECT_EQ(prompts, c.prompts.size()) << end.err;
        const Json report = site.reportJson();
        ASSERT_FALSE(report.is_discarded());
        for (int row = 0; row < 3; ++row) {
            EXPECT_EQ(report["collectors"][row]["state"], c.states[row]) << row;
            EXPECT_EQ(site.commissioned(row), std::string(c.states[row]) == "done") << row;
        }
        EXPECT_EQ(end.err.find(site.continueLine(site.report)) != std::string::npos,
                  c.exitCode == 6)
            << end.err;
    }
}

TEST(SiteWalk, InterruptedAndContinuedIntoOneReport) {
    Site site;
    // The first run in the default folder, stopped by Ctrl+C at the second prompt.
    std::vector<std::string> first = site.command();
    first.erase(first.begin() + 2, first.begin() + 4);  // no --report
    kvtest::Kv480tSession run(first);
    ASSERT_TRUE(run.waitForErr(site.prompt(0))) << run.sofar().err;
    site.point(0);
    run.write("\n");
    ASSERT_TRUE(run.waitForErr(site.prompt(1))) << run.sofar().err;
    run.signal(SIGINT);
    const kvtest::ProcessRun stopped = run.finish();
    EXPECT_EQ(stopped.exitCode, 6) << describe(stopped);
    const std::string marker = "kv480t: stopped: 1 of 3 rows done; to continue: ";
    const auto at = stopped.err.find(marker);
    ASSERT_NE(at, std::string::npos) << stopped.err;
    const std::string tail = stopped.err.substr(at + marker.size());
    const std::string again = tail.substr(0, tail.find('\n'));
    const fs::path folder = again.substr(again.find(" --report ") + 10);
    EXPECT_EQ(folder.parent_path(), site.dir);
    EXPECT_EQ("to continue: " + again + "\n", site.continueLine(folder));
    const Json before = Json::parse(kvtest::fileContents(folder / "report.json"));
    EXPECT_EQ(before["collectors"][0]["state"], "done");
    EXPECT_EQ(before["collectors"][0]["after"]["rs485.address"], "011");
    EXPECT_EQ(before["collectors"][1]["state"], "to do");
    EXPECT_TRUE(site.commissioned(0));
    EXPECT_FALSE(site.commissioned(1));

    // The same command continues: the first row is not asked for again.
    std::vector<std::string> same = site.command();
    same[3] = folder.string();
    kvtest::Kv480tSession rest(same);
    for (const int row : {1, 2}) {
        ASSERT_TRUE(rest.waitForErr(site.prompt(row))) << rest.sofar().err;
        site.point(row);
        rest.write("\n");
    }
    const kvtest::ProcessRun done = rest.finish();
    EXPECT_EQ(done.exitCode, 0) << describe(done);
    EXPECT_EQ(done.err.find(site.prompt(0)), std::string::npos) << done.err;
    const Json after = Json::parse(kvtest::fileContents(folder / "report.json"));
    EXPECT_EQ(after["collectors"][0], before["collectors"][0]);  // kept as it was
    for (int row = 0; row < 3; ++row) {
        EXPECT_TRUE(site.commissioned(row)) << row;
        EXPECT_EQ(after["collectors"][row]["state"], "done");
        EXPECT_EQ(after["collectors"][row]["before"]["rs485.address"], "001");
        EXPECT_EQ(after["collectors"][row]["after"]["rs485.address"],
                  "01" + std::to_string(row + 1));
    }
    const std::string csv = kvtest::fileContents(folder / "report.csv");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 4) << csv;
}

TEST(SiteWalk, AutoWaitsForUnplugAndPlug) {
    Site site;
    site.point(0);
    kvtest::Kv480tSession run(site.command({"--auto"}));
    const std::string waiting = "kv480t: " + site.link.string() + ": waiting for \"Pump ";
    ASSERT_TRUE(run.waitForErr("a collector answers: commissioning \"Pump 1\"")) << run.sofar().err;
    // Pump 2: the link removed, then to the next collector; Pump 3: the link to nothing first.
    for (const auto& [row, gone] : {std::pair{1, -2}, std::pair{2, -1}}) {
        const std::string name =
            waiting + std::to_string(row + 1) + "\" (station 1" + std::to_string(row + 1) + "): ";
        ASSERT_TRUE(run.waitForErr(name + "unplug the collector now connected")) << run.sofar().err;
        EXPECT_TRUE(site.commissioned(row - 1));
        site.point(gone);
        ASSERT_TRUE(run.waitForErr(name + "connect it; waiting until a collector answers"))
            << run.sofar().err;
        site.point(row);
    }
    const kvtest::ProcessRun end = run.finish();
    EXPECT_EQ(end.exitCode, 0) << describe(end);
    for (int row = 0; row < 3; ++row) EXPECT_TRUE(site.commissioned(row)) << row;
    EXPECT_EQ(end.err.find("Connect "), std::string::npos) << end.err;
}

TEST(SiteWalk, AnotherPlansReportIsRefused) {
    Site site;
    site.point(0);
    kvtest::Kv480tSession run(site.command());
    ASSERT_TRUE(run.waitForErr(site.prompt(0))) << run.sofar().err;
    run.write("q\n");
    ASSERT_EQ(run.finish().exitCode, 6);
    const auto report = kvtest::folderSnapshot(site.report);
    const struct {
        const char* name;
        std::string plan;
        const char* why;
    } cases[] = {
        {"another file", site.writePlan("other.csv"),
         "holds the report of another plan (site.csv)"},
        {"another station", site.writePlan("site.csv", "14"),
         "holds the report of another plan: its row 4 is \"Pump 3\" (station 13)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::uint64_t frames = site.collectors[0]->framesHandled();
        std::vector<std::string> args = site.command();
        args[1] = c.plan;
        const kvtest::ProcessRun refused = kvtest::kv480t(args);
        EXPECT_EQ(refused.exitCode, 2) << describe(refused);
        EXPECT_NE(refused.err.find("kv480t: " + site.report.string() + ": " + c.why),
                  std::string::npos)
            << refused.err;
        EXPECT_EQ(kvtest::folderSnapshot(site.report), report);
        EXPECT_EQ(site.collectors[0]->framesHandled(), frames);
    }
}

TEST(SiteWalk, DryRunNamesTheDifferencesAndWritesNothing) {
    Site site;
    const std::string port = site.collectors[0]->slavePath();
    kvproto::CollectorSettings planned = kvproto::filtered(kvtest::settingsToSend(false), {});
    ASSERT_FALSE(planned.set("rs485.address", "11"));
    const auto held = kvtest::collectorHolding(planned);
    const struct {
        const char* name;
        std::string port;
        int exitCode;
        std::vector<std::string> shown;
    } cases[] = {
        {"factory collector",
         port,
         1,
         {"Pump " + port + " would change ", "\n  ad1.urv ", " \u2192 20\n",
          "\n  rs485.address ", " 001 \u2192 11\n"}},
        {"as planned",
         held->slavePath(),
         0,
         {"Pump " + held->slavePath() + " already as planned (nothing to write)\n"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::ofstream(site.dir / "one.csv")
            << "label,port,station,profile\nPump," << c.port << ",11,pumps.json\n";
        const auto values = [&] {
            std::vector<std::string> out;
            for (const kvtest::CollectorValue& v : kvtest::kCollectorValues)
                out.push_back(site.collectors[0]->state().text(v.name));
            return out;
        };
        const std::vector<std::string> before = values();
        const auto entries = kvtest::folderSnapshot(site.dir);
        const kvtest::ProcessRun run =
            kvtest::kv480t({"commission", (site.dir / "one.csv").string(), "--dry-run"});
        EXPECT_EQ(run.exitCode, c.exitCode) << describe(run);
        for (const std::string& shown : c.shown)
            EXPECT_NE(run.out.find(shown), std::string::npos) << run.out;
        EXPECT_EQ(kvtest::folderSnapshot(site.dir), entries);  // no report folder
        EXPECT_EQ(values(), before);                           // nothing written
    }
}

}  // namespace
