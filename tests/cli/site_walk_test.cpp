// kv480t commission walking a site with one adapter: three simulated collectors behind one
// path (a symbolic link) that the test re-points from one to the next as a technician moves
// the adapter; prompts answered on stdin, --auto's unplug and plug, Ctrl+C and the same
// command continuing, another plan's report refused, --dry-run.
#include <gtest/gtest.h>

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

// Three factory collectors, "Pump 1" to "Pump 3" (stations 11 to 13), on one link.
struct Site {
    Site() {
        kvprofile::Profile profile;
        profile.settings = kvproto::filtered(kvtest::settingsToSend(false), {});
        EXPECT_TRUE(kvprofile::writeProfileFile((dir / "pumps.json").string(), profile, nullptr));
        for (int i = 0; i < 3; ++i) collectors.push_back(kvtest::collectorHolding({}));
        writePlan("site.csv");
    }
    void point(int i) {  // -1: at nothing, -2: no link
        fs::remove(link);
        if (i == -2) return;
        fs::create_symlink(i < 0 ? dir / "nothing" : fs::path(collectors[i]->slavePath()),
                           dir / "link.new");
        fs::rename(dir / "link.new", link);
    }
    std::string writePlan(const std::string& name) {
        std::ofstream out(dir / name);
        out << "label,port,station,profile\n";
        for (int i = 0; i < 3; ++i)
            out << "Pump " << i + 1 << "," << link.string() << ",1" << i + 1 << ",pumps.json\n";
        return (dir / name).string();
    }
    std::vector<std::string> command(const std::string& report, const char* extra = nullptr) {
        std::vector<std::string> args{"commission", (dir / "site.csv").string(), "--report",
                                      report};
        if (extra) args.emplace_back(extra);
        return args;
    }
    std::string prompt(int i) const {
        return "Connect \"Pump " + std::to_string(i + 1) + "\" (station 1" + std::to_string(i + 1) +
               ") to " + link.string() + ", then press Enter (s: skip, q: stop)\n";
    }
    bool commissioned(int i) const {
        return collectors[i]->state().number("rs485.address") == 11 + i &&
               collectors[i]->state().text("ad1.urv") == kvtest::collectorValue("ad1.urv").heldA;
    }
    std::string continueLine(const std::string& report) const {
        return "to continue: kv480t commission " + (dir / "site.csv").string() + " --report " +
               report + "\n";
    }

    kvtest::TestFolder folder{"kv480t-walk"};
    const fs::path& dir = folder.path();
    const fs::path link = dir / "adapter";
    const std::string report = (dir / "report").string();
    std::vector<std::unique_ptr<kvsim::Collector>> collectors;
};

Json reportJson(const std::string& folder) {
    return Json::parse(kvtest::fileContents(fs::path(folder) / "report.json"), nullptr, false);
}

constexpr const char* kEnd = nullptr;  // stdin ends instead of an answer

TEST(SiteWalk, PromptsInOrderAnsweredOnStdin) {
    const struct {
        const char* name;
        std::vector<std::pair<int, const char*>> prompts;  // the row asked for, the answer
        std::vector<const char*> states;
        int exitCode;
        const char* folder = "report";  // the report's, as the continue line quotes it
    } cases[] = {
        {"enter, skip, enter", {{0, ""}, {1, "s"}, {2, ""}}, {"done", "skipped", "done"}, 6},
        {"q stops", {{0, ""}, {1, "q"}}, {"done", "to do", "to do"}, 6, "it's done"},
        {"other words ask again",
         {{0, " "}, {1, "next"}, {1, "\r"}, {2, ""}},
         {"done", "done", "done"},
         0},
        {"the end of stdin stops", {{0, "s"}, {1, kEnd}}, {"skipped", "to do", "to do"}, 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Site site;
        const std::string folder = (site.dir / c.folder).string();
        kvtest::Kv480tSession run(site.command(folder));
        std::map<int, std::size_t> asked;
        for (const auto& [row, answer] : c.prompts) {
            ASSERT_TRUE(run.waitForErr(site.prompt(row), ++asked[row])) << run.sofar().err;
            site.point(row);
            answer == kEnd ? run.closeInput() : run.write(std::string(answer) + "\n");
        }
        const kvtest::ProcessRun end = run.finish();
        EXPECT_EQ(end.exitCode, c.exitCode) << describe(end);
        EXPECT_EQ(kvtest::Kv480tSession::occurrences(end.err, "Connect \""), c.prompts.size());
        const Json report = reportJson(folder);
        for (int row = 0; row < 3; ++row) {
            EXPECT_EQ(report["collectors"][row]["state"], c.states[row]) << row;
            EXPECT_EQ(site.commissioned(row), std::string(c.states[row]) == "done") << row;
        }
        const std::string word = folder.find('\'') == std::string::npos
                                     ? folder
                                     : "'" + site.dir.string() + "/it'\\''s done'";
        EXPECT_EQ(end.err.find(site.continueLine(word)) != std::string::npos, c.exitCode == 6)
            << end.err;
    }
}

TEST(SiteWalk, InterruptedContinuedIntoOneReportAndNotAnotherPlans) {
    Site site;
    // In the default folder, stopped by Ctrl+C at the second prompt.
    std::vector<std::string> first = site.command("");
    first.erase(first.begin() + 2, first.end());
    kvtest::Kv480tSession run(first);
    ASSERT_TRUE(run.waitForErr(site.prompt(0))) << run.sofar().err;
    site.point(0);
    run.write("\n");
    ASSERT_TRUE(run.waitForErr(site.prompt(1))) << run.sofar().err;
    run.signal(SIGINT);
    const kvtest::ProcessRun stopped = run.finish();
    EXPECT_EQ(stopped.exitCode, 6) << describe(stopped);
    const auto at = stopped.err.find("kv480t: stopped: 1 of 3 rows done; ");
    ASSERT_NE(at, std::string::npos) << stopped.err;
    const std::string line = stopped.err.substr(at, stopped.err.find('\n', at) - at);
    const std::string folder = line.substr(line.find(" --report ") + 10);
    EXPECT_EQ(fs::path(folder).parent_path(), site.dir);
    EXPECT_NE(stopped.err.find(site.continueLine(folder)), std::string::npos);
    const Json before = reportJson(folder);
    EXPECT_EQ(before["collectors"][0]["after"]["rs485.address"], "011");
    EXPECT_EQ(before["collectors"][1]["state"], "to do");

    // The same command continues; the first row is not asked for again.
    kvtest::Kv480tSession rest(site.command(folder));
    for (const int row : {1, 2}) {
        ASSERT_TRUE(rest.waitForErr(site.prompt(row))) << rest.sofar().err;
        site.point(row);
        rest.write("\n");
    }
    const kvtest::ProcessRun done = rest.finish();
    EXPECT_EQ(done.exitCode, 0) << describe(done);
    EXPECT_EQ(done.err.find(site.prompt(0)), std::string::npos) << done.err;
    const Json after = reportJson(folder);
    EXPECT_EQ(after["collectors"][0], before["collectors"][0]);  // kept as it was
    for (int row = 0; row < 3; ++row) {
        EXPECT_TRUE(site.commissioned(row)) << row;
        EXPECT_EQ(after["collectors"][row]["before"]["rs485.address"], "001");
        EXPECT_EQ(after["collectors"][row]["after"]["rs485.address"],
                  "01" + std::to_string(row + 1));
    }

    // Another plan (another file name) is refused: nothing sent, the report as it was.
    const auto kept = kvtest::folderSnapshot(folder);
    std::vector<std::string> other = site.command(folder);
    other[1] = site.writePlan("other.csv");
    const std::uint64_t frames = site.collectors[2]->framesHandled();
    const kvtest::ProcessRun refused = kvtest::kv480t(other);
    EXPECT_EQ(refused.exitCode, 2) << describe(refused);
    EXPECT_NE(
        refused.err.find("kv480t: " + folder + ": holds the report of another plan (site.csv)"),
        std::string::npos)
        << refused.err;
    EXPECT_EQ(kvtest::folderSnapshot(folder), kept);
    EXPECT_EQ(site.collectors[2]->framesHandled(), frames);
}

TEST(SiteWalk, AutoWaitsForUnplugAndPlug) {
    Site site;
    site.point(0);
    kvtest::Kv480tSession run(site.command(site.report, "--auto"));
    ASSERT_TRUE(run.waitForErr("a collector answers: commissioning \"Pump 1\"")) << run.sofar().err;
    // Pump 2: the link removed, then to the next collector; Pump 3: the link to nothing first.
    for (const auto& [row, gone] : {std::pair{1, -2}, std::pair{2, -1}}) {
        const std::string name = "kv480t: " + site.link.string() + ": waiting for \"Pump " +
                                 std::to_string(row + 1) + "\" (station 1" +
                                 std::to_string(row + 1) + "): ";
        ASSERT_TRUE(run.waitForErr(name + "unplug the collector now connected")) << run.sofar().err;
        EXPECT_TRUE(site.commissioned(row - 1));
        site.point(gone);
        ASSERT_TRUE(run.waitForErr(name + "connect it; waiting until a collector answers"));
        site.point(row);
    }
    const kvtest::ProcessRun end = run.finish();
    EXPECT_EQ(end.exitCode, 0) << describe(end);
    for (int row = 0; row < 3; ++row) EXPECT_TRUE(site.commissioned(row)) << row;
    EXPECT_EQ(end.err.find("Connect "), std::string::npos) << end.err;
}

TEST(SiteWalk, DryRunNamesTheDifferencesAndWritesNothing) {
    Site site;
    kvproto::CollectorSettings planned = kvproto::filtered(kvtest::settingsToSend(false), {});
    ASSERT_FALSE(planned.set("rs485.address", "11"));
    const auto held = kvtest::collectorHolding(planned);
    const std::string factory = site.collectors[0]->slavePath();
    const struct {
        std::string port;
        int exitCode;
        std::vector<std::string> shown;
    } cases[] = {
        {factory,
         1,
         {"Pump " + factory + " would change ", "\n  ad1.urv ", " \u2192 20\n",
          "\n  rs485.address ", " 001 \u2192 11\n"}},
        {held->slavePath(),
         0,
         {"Pump " + held->slavePath() + " already as planned (nothing to write)\n"}},
    };
    for (const auto& c : cases) {
        std::ofstream(site.dir / "one.csv")
            << "label,port,station,profile\nPump," << c.port << ",11,pumps.json\n";
        const auto values = [&] {
            std::vector<std::string> out;
            for (const kvtest::CollectorValue& v : kvtest::kCollectorValues)
                out.push_back(site.collectors[0]->state().text(v.name));
            return out;
        };
        const std::vector<std::string> before = values();
        const auto files = kvtest::folderSnapshot(site.dir);
        const kvtest::ProcessRun run =
            kvtest::kv480t({"commission", (site.dir / "one.csv").string(), "--dry-run"});
        EXPECT_EQ(run.exitCode, c.exitCode) << describe(run);
        for (const std::string& shown : c.shown)
            EXPECT_NE(run.out.find(shown), std::string::npos) << run.out;
        EXPECT_EQ(kvtest::folderSnapshot(site.dir), files);  // no report folder
        EXPECT_EQ(values(), before);                         // nothing written
    }
}

}  // namespace
