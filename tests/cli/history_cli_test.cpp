// kv480t's history end to end: the real program against the simulated collector, its history
// in a file of the test's own. Every write leaves its "before" (committed before its first set
// frame) and its write entry; restore brings the collector back and is undone in turn; diff,
// show, export and import; a history a newer version wrote is refused without stopping the
// command.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "Kv480tProcess.h"
#include "profile/Profile.h"
#include "sim/Collector.h"

namespace {

using kvtest::describe;
using kvtest::kv480t;
using kvtest::ProcessRun;
using Json = nlohmann::json;

class HistoryFolder {
public:
    HistoryFolder()
        : dir_(std::filesystem::temp_directory_path() /
               ("kv480t-history-test-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    ~HistoryFolder() { std::filesystem::remove_all(dir_); }
    std::string file(const std::string& name = "history.db") const { return (dir_ / name).string(); }

private:
    std::filesystem::path dir_;
};

std::unique_ptr<kvsim::Collector> startedCollector() {
    auto collector = std::make_unique<kvsim::Collector>();
    collector->start();
    return collector;
}

// The history's entries (kv480t history --json).
std::vector<Json> entries(const std::string& history) {
    const ProcessRun r = kv480t({"history", "--history", history, "--json"});
    EXPECT_EQ(r.exitCode, 0) << describe(r);
    return Json::parse(r.out.empty() ? "[]" : r.out).get<std::vector<Json>>();
}

std::string kindsOf(const std::vector<Json>& list) {
    std::string out;
    for (const Json& e : list)
        out += (out.empty() ? "" : " ") + e.at("kind").get<std::string>() + ":" +
               e.at("what").get<std::string>();
    return out;
}

// "2026-12-09 10:00:00.123" from the entry's "2026-12-09T10:00:00.123Z".
std::string asLogTime(const Json& entry) {
    std::string time = entry.at("time").get<std::string>();
    time[10] = ' ';
    time.pop_back();
    return time;
}

// The time of the first row of the log that sent a set frame ("KORVEL#...").
std::string firstSetFrameTime(const std::string& log) {
    std::istringstream rows(kvtest::slurp(log));
    for (std::string row; std::getline(rows, row);) {
        std::vector<std::string> columns;
        std::istringstream fields(row);
        for (std::string f; std::getline(fields, f, '\t');) columns.push_back(f);
        if (columns.size() > 5 && columns[3] == "TX" && columns[5].starts_with("KORVEL#"))
            return columns[1];
    }
    return {};
}

TEST(Kv480tHistory, EveryWriteLeavesItsBeforeFirstAndItsWriteEntry) {
    HistoryFolder folder;
    const std::string history = folder.file();
    auto collector = startedCollector();
    const std::string port = collector->slavePath();
    struct Case {
        std::vector<std::string> command;
        std::string kinds;  // the entries it adds
        std::string result;
    };
    const std::vector<Case> cases = {
        // The other values of ST's frame are read first: that listing is the before.
        {{"set", "rs485.baud=4800"}, "listing:read before:set listing:read write:set", "done"},
        {{"reset", "--yes"}, "listing:read before:reset write:reset", "sent"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command[0]);
        const std::size_t had = entries(history).size();
        const std::string log = folder.file(c.command[0] + ".log");
        std::vector<std::string> args = c.command;
        args.insert(args.end(), {"--port", port, "--history", history, "--log", log,
                                 "--operator", "anna"});
        const ProcessRun r = kv480t(args, false, {"TZ=UTC"});
        ASSERT_EQ(r.exitCode, 0) << describe(r);
        std::vector<Json> all = entries(history);
        ASSERT_GT(all.size(), had);
        const std::vector<Json> added(all.begin() + static_cast<long>(had), all.end());
        EXPECT_EQ(kindsOf(added), c.kinds);
        const Json& before = added[added.size() - (c.result == "sent" ? 2 : 3)];
        const Json& write = added.back();
        EXPECT_EQ(write.at("result"), c.result);
        EXPECT_EQ(write.at("before"), before.at("id"));
        EXPECT_EQ(write.at("operator"), "anna");
        EXPECT_EQ(write.at("port"), port);
        // Committed before the first set frame went out (the log's times are UTC here).
        const std::string sent = firstSetFrameTime(log);
        ASSERT_FALSE(sent.empty()) << kvtest::slurp(log);
        EXPECT_LE(asLogTime(before), sent);
    }
}

// commission's --operator names the report's operator and the history's both.
TEST(Kv480tHistory, CommissionRecordsItsRowsWithItsOperator) {
    HistoryFolder folder;
    auto collector = startedCollector();
    kvprofile::Profile profile;
    for (const auto& [name, value] :
         {std::pair{"ad1.urv", "33"}, {"ad1.lrv", "0"}, {"ad1.start", "0"}})
        ASSERT_FALSE(profile.settings.set(name, value));
    ASSERT_TRUE(kvprofile::writeProfileFile(folder.file("p.json"), profile, nullptr));
    std::ofstream(folder.file("site.csv")) << "port,station,profile,label\n"
                                           << collector->slavePath() << ",12,p.json,Pump\n";
    const ProcessRun r = kv480t({"commission", folder.file("site.csv"), "--report",
                                 folder.file("report"), "--operator", "maria", "--history",
                                 folder.file()});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    const std::vector<Json> all = entries(folder.file());
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.back().at("kind"), "write");
    EXPECT_EQ(all.back().at("what"), "commission");
    for (const Json& e : all) EXPECT_EQ(e.at("operator"), "maria") << e.dump();
}

TEST(Kv480tHistory, RestoreBringsTheCollectorBackAndIsUndoneInTurn) {
    HistoryFolder folder;
    const std::string history = folder.file();
    auto collector = startedCollector();
    const std::string port = collector->slavePath();
    const kvsim::DeviceState original = collector->state();
    ProcessRun r = kv480t({"set", "--port", port, "--history", history, "rs485.baud=4800",
                           "ad1.urv=33", "rs485.address=77"});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    const kvsim::DeviceState changed = collector->state();
    ASSERT_NE(changed, original);
    const std::int64_t before = entries(history).end()[-3].at("id").get<std::int64_t>();

    // The station address only with its flag: the collector's address is left as it is.
    r = kv480t({"diff", std::to_string(before), "--port", port, "--history", history});
    EXPECT_EQ(r.exitCode, 1) << describe(r);
    EXPECT_NE(r.out.find("rs485.baud"), std::string::npos) << r.out;
    r = kv480t({"restore", std::to_string(before), "--port", port, "--history", history});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_NE(r.err.find("rs485.address left out"), std::string::npos) << r.err;
    EXPECT_EQ(collector->state().text("rs485.address"), changed.text("rs485.address"));
    r = kv480t({"restore", std::to_string(before), "--port", port, "--history", history,
                "--include-station"});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(collector->state(), original);
    r = kv480t({"diff", std::to_string(before), "--port", port, "--history", history});
    EXPECT_EQ(r.exitCode, 0) << describe(r);

    // The restores were recorded: the first one's before brings the whole change back.
    const std::vector<Json> all = entries(history);
    const auto restored = std::find_if(all.begin(), all.end(), [](const Json& e) {
        return e.at("kind") == "write" && e.at("what") == "restore";
    });
    ASSERT_NE(restored, all.end());
    EXPECT_EQ(restored->at("result"), "done");
    const std::string undo = restored->at("before").dump();
    r = kv480t({"restore", undo, "--port", port, "--history", history, "--include-station"});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(collector->state(), changed);
    r = kv480t({"diff", std::to_string(before), undo, "--history", history, "--json"});
    EXPECT_EQ(r.exitCode, 1) << describe(r);
    EXPECT_EQ(Json::parse(r.out).at("differences").size(), 3u) << r.out;
}

TEST(Kv480tHistory, ListsByStationPortAndTimeAndShowsOneWhole) {
    HistoryFolder folder;
    const std::string history = folder.file();
    auto collector = startedCollector();
    const std::string port = collector->slavePath();
    ASSERT_EQ(kv480t({"read", "--port", port, "--history", history}).exitCode, 0);
    const std::vector<Json> all = entries(history);
    ASSERT_EQ(all.size(), 1u);
    const std::string station = all[0].at("station").get<std::string>();
    struct Case {
        std::vector<std::string> filter;
        std::size_t count;
        int exitCode;
    };
    const std::vector<Case> cases = {
        {{"--station", station}, 1, 0},
        {{"--station", "0" + station}, 1, 0},
        {{"--station", "250"}, 0, 0},
        {{"--port", port}, 1, 0},
        {{"--port", "/dev/elsewhere"}, 0, 0},
        {{"--since", "2000-01-01"}, 1, 0},
        {{"--since", "2000-01-01 23:59:59"}, 1, 0},
        {{"--since", "2000-01-01 24:00"}, 0, 2},
        {{"--since", "2999-01-01 00:00Z"}, 0, 0},
        {{"--since", "2026-02-30"}, 0, 2},
        {{"--since", "yesterday"}, 0, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.filter[0] + " " + c.filter[1]);
        std::vector<std::string> args = {"history", "--history", history, "--json"};
        args.insert(args.end(), c.filter.begin(), c.filter.end());
        const ProcessRun r = kv480t(args);
        ASSERT_EQ(r.exitCode, c.exitCode) << describe(r);
        if (c.exitCode == 0) {
            EXPECT_EQ(Json::parse(r.out).size(), c.count) << r.out;
        }
    }
    ProcessRun r = kv480t({"history", "show", all[0].at("id").dump(), "--history", history});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_NE(r.out.find("rs485.baud = "), std::string::npos) << r.out;
    r = kv480t({"history", "show", "999", "--history", history});
    EXPECT_EQ(r.exitCode, 2) << describe(r);
}

TEST(Kv480tHistory, ExportImportTwiceAddsNothingTheSecondTime) {
    HistoryFolder folder;
    auto collector = startedCollector();
    const std::string port = collector->slavePath();
    ASSERT_EQ(kv480t({"set", "--port", port, "--history", folder.file("a.db"), "ad1.urv=33"})
                  .exitCode,
              0);
    const std::vector<Json> exported = entries(folder.file("a.db"));
    ProcessRun r = kv480t({"history", "export", folder.file("h.jsonl"), "--history",
                           folder.file("a.db")});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    for (const char* expected : {"imported 4 entries", "imported 0 entries"}) {
        r = kv480t({"history", "import", folder.file("h.jsonl"), "--history",
                    folder.file("b.db")});
        ASSERT_EQ(r.exitCode, 0) << describe(r);
        EXPECT_NE(r.out.find(expected), std::string::npos) << r.out;
    }
    EXPECT_EQ(entries(folder.file("b.db")), exported);
}

TEST(Kv480tHistory, ANewerOrAbsentHistoryLeavesTheCommandsWorking) {
    HistoryFolder folder;
    auto collector = startedCollector();
    const std::string port = collector->slavePath();
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(folder.file("newer.db").c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, "PRAGMA user_version = 99", nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
    }
    ProcessRun r = kv480t({"set", "--port", port, "--history", folder.file("newer.db"),
                           "ad1.urv=33"});
    EXPECT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_NE(r.err.find("newer version of kv480t-config"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("history is off for this run"), std::string::npos) << r.err;
    EXPECT_EQ(collector->state().text("ad1.urv"), "000033");
    r = kv480t({"history", "--history", folder.file("newer.db")});
    EXPECT_EQ(r.exitCode, 7) << describe(r);

    // Off, or a command that records nothing: no file is made.
    r = kv480t({"set", "--port", port, "--history", folder.file("off.db"), "--no-history",
                "ad1.urv=34"});
    EXPECT_EQ(r.exitCode, 0) << describe(r);
    r = kv480t({"test", "--port", port, "--history", folder.file("test.db")});
    EXPECT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_FALSE(std::filesystem::exists(folder.file("off.db")));
    EXPECT_FALSE(std::filesystem::exists(folder.file("test.db")));
}

}  // namespace
