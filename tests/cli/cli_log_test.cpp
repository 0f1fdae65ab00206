// kv480t --log FILE against the simulated collector: the rows the window's "Traffic" page
// shows, written to the file as tab-separated text or, for a .csv name, CSV.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "FolderSnapshot.h"
#include "Kv480tProcess.h"
#include "profile/Profile.h"
#include "protocol/Frames.h"
#include "protocol/SetCommands.h"
#include "sim/Collector.h"
#include "sim/DeviceState.h"
#include "traffic/TrafficFormat.h"

namespace {

namespace fs = std::filesystem;

using kvtest::describe;
using kvtest::slurp;

// kv480t's exit code; stdout and stderr are printed when an expectation fails.
int kv480t(const std::vector<std::string>& args, kvtest::ProcessRun* run = nullptr) {
    kvtest::ProcessRun r = kvtest::kv480t(args);
    if (run) *run = r;
    return r.exitCode;
}

std::vector<std::vector<std::string>> split(const std::string& text, const std::string& lineEnd,
                                            char separator) {
    std::vector<std::vector<std::string>> rows;
    std::size_t at = 0;
    for (std::size_t end; (end = text.find(lineEnd, at)) != std::string::npos;
         at = end + lineEnd.size()) {
        std::vector<std::string> fields;
        std::istringstream line(text.substr(at, end - at));
        for (std::string field; std::getline(line, field, separator);) fields.push_back(field);
        if (text[end - 1] == separator) fields.emplace_back();
        rows.push_back(fields);
    }
    EXPECT_EQ(at, text.size()) << "text after the last line end";
    return rows;
}

class Kv480tLog : public ::testing::Test {
protected:
    kvtest::TestFolder folder{"kv480t-log"};
    const fs::path& dir = folder.path();
};

TEST_F(Kv480tLog, ReadWritesOpenedTxRxClosedRows) {
    kvsim::Collector collector;
    collector.start();
    const std::string port = collector.slavePath();
    const fs::path log = dir / "read.log";
    kvtest::ProcessRun run;
    ASSERT_EQ(kv480t({"read", "--port", port, "--log", log.string()}, &run), 0) << describe(run);

    const auto rows = split(slurp(log), "\n", '\t');
    ASSERT_GE(rows.size(), 5u) << slurp(log);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"port", "time", "ms since open", "kind", "length",
                                                 "data"}));
    EXPECT_EQ(rows[1][3] + " " + rows[1][5], "EVENT opened " + port + ", 9600 baud 8N1");
    EXPECT_EQ(rows[2][3] + " " + rows[2][4] + " " + rows[2][5], "TX 15 PPPPPP#CHEACK1#");
    EXPECT_EQ(rows.back()[3] + " " + rows.back()[5], "EVENT closed");
    std::string received;
    long previous = 0;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].size(), 6u) << i;
        EXPECT_EQ(rows[i][0], port) << i;
        const long ms = std::stol(rows[i][2]);
        EXPECT_GE(ms, previous) << i;
        previous = ms;
        if (i > 2 && i + 1 < rows.size()) {
            EXPECT_EQ(rows[i][3], "RX") << i;
            received += rows[i][5];
        }
    }
    EXPECT_EQ(received, kvtraffic::escapedText(kvsim::parameterText(collector.state())));
}

TEST_F(Kv480tLog, CsvByNameAndTheRowsOfFailures) {
    kvsim::CollectorOptions options;
    options.silent = true;
    kvsim::Collector collector(options);
    collector.start();
    const fs::path csv = dir / "test.csv";
    EXPECT_EQ(
        kv480t({"test", "-p", collector.slavePath(), "--timeout-ms", "200", "--log", csv.string()}),
        4);
    const auto records = split(slurp(csv), "\r\n", ',');
    ASSERT_EQ(records.size(), 5u) << slurp(csv);
    EXPECT_EQ(records[0][5], "data");
    EXPECT_EQ(records[1].back(), " 9600 baud 8N1\"") << "a field with a comma is quoted";
    EXPECT_EQ(records[2][3] + " " + records[2][5], "TX PPPPPP#VAR#");
    EXPECT_EQ(records[3][5], "time-out: no answer within 200 ms");
    EXPECT_EQ(records[4][5], "closed");

    const fs::path log = dir / "missing.txt";
    EXPECT_EQ(kv480t({"query", "-p", (dir / "no-such-port").string(), "--log", log.string()}), 3);
    const auto rows = split(slurp(log), "\n", '\t');
    ASSERT_EQ(rows.size(), 2u) << slurp(log);
    EXPECT_TRUE(rows[1][5].starts_with("not opened " + (dir / "no-such-port").string() + ": "))
        << rows[1][5];

    EXPECT_EQ(
        kv480t({"test", "-p", collector.slavePath(), "--log", (dir / "no/such/dir.txt").string()}),
        2);
}

// A log that names a stream (here the command's own standard output, appended to by the
// shell) is written into it as rows come, after what is there: never replaced.
TEST_F(Kv480tLog, AStreamIsAppendedToNotReplaced) {
    kvsim::Collector collector;
    collector.start();
    const fs::path out = dir / "out.txt";
    const kvtest::ProcessRun run =
        kvtest::shell("(echo first; '" KV480T_PATH "' test --port '" + collector.slavePath() +
                          "' --log /dev/stdout) >> '" + out.string() + "'",
                      dir / "shell.txt");
    ASSERT_EQ(run.exitCode, 0) << run.out;
    const std::string text = slurp(out);
    EXPECT_TRUE(text.starts_with("first\nport\ttime\t")) << text;
    EXPECT_NE(text.find("\tTX\t11\tPPPPPP#VAR#\n"), std::string::npos) << text;
    const std::string version = kvsim::versionText(collector.state());
    EXPECT_TRUE(text.ends_with(version.substr(0, version.size() - 2) + "\n")) << text;
    for (const auto& entry : fs::directory_iterator(dir))
        EXPECT_EQ(entry.path().string().find(".tmp-"), std::string::npos) << entry.path();
}

// find takes --log like every command that talks to a collector.
TEST_F(Kv480tLog, FindWritesTheTestOfEveryPortTried) {
    kvsim::Collector collector;
    collector.start();
    const fs::path log = dir / "find.log";
    kvtest::ProcessRun run;
    ASSERT_EQ(
        kv480t({"find", "--named-only", "--port", collector.slavePath(), "--log", log.string()},
               &run),
        0)
        << describe(run);
    const auto rows = split(slurp(log), "\n", '\t');
    ASSERT_EQ(rows.size(), 5u) << slurp(log);
    EXPECT_EQ(rows[2][0] + " " + rows[2][3] + " " + rows[2][5],
              collector.slavePath() + " TX PPPPPP#VAR#");
    EXPECT_EQ(rows[3][3], "RX");
}

// The profile commands log their traffic too: each frame they send is a TX row, in order.
TEST_F(Kv480tLog, ProfileCommandsWriteTheirFramesToTheLog) {
    kvsim::Collector collector;
    collector.start();
    const std::string port = collector.slavePath();
    kvprofile::Profile profile;
    ASSERT_FALSE(profile.settings.set("ad3.coefficient", "7"));
    const std::string file = (dir / "profile.json").string();
    ASSERT_TRUE(kvprofile::writeProfileFile(file, profile, nullptr));
    const std::string read(kvproto::kReadParametersFrame);
    const std::string set = kvproto::buildSetFrame(
        kvproto::setCommandFor(*kvproto::findParameter("ad3.coefficient")), profile.settings);
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> sent;  // the TX rows' data
    };
    // A write reads first what the collector holds (its before in the history), unless the
    // history is off.
    const std::vector<Case> cases = {
        {{"save", "--port", port, (dir / "saved.json").string()}, {read}},
        {{"apply", "--port", port, file}, {read, set, read}},
        {{"apply", "--port", port, file, "--no-history"}, {set, read}},
        {{"verify", "--port", port, file}, {read}},
        {{"set", "--port", port, "ad3.coefficient=7"}, {read, set, read}},
    };
    for (const Case& c : cases) {
        const fs::path log = dir / (c.args[0] + ".log");
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--log", log.string()});
        kvtest::ProcessRun run;
        EXPECT_EQ(kv480t(args, &run), 0) << c.args[0] << "\n" << describe(run);
        std::vector<std::string> sent;
        for (const auto& row : split(slurp(log), "\n", '\t'))
            if (row.size() == 6 && row[3] == "TX") sent.push_back(row[5]);
        EXPECT_EQ(sent, c.sent) << c.args[0] << "\n" << slurp(log);
    }
}

// Several ports, one file: every row names the port it passed on, and each port's rows are
// its whole exchange.
TEST_F(Kv480tLog, SeveralPortsShareOneFileAndEveryRowNamesItsPort) {
    kvsim::Collector first, second;
    first.start();
    second.start();
    const std::string file = (dir / "factory.json").string();
    ASSERT_TRUE(kvprofile::writeProfileFile(file, {"", "test", "kv480t", first.state().settings()},
                                            nullptr));
    const fs::path log = dir / "two.log";
    kvtest::ProcessRun run;
    ASSERT_EQ(kv480t({"verify", "--port", first.slavePath(), "--port", second.slavePath(), "--log",
                      log.string(), file},
                     &run),
              0)
        << describe(run);
    std::map<std::string, std::vector<std::string>> kinds;  // by port
    const auto rows = split(slurp(log), "\n", '\t');
    for (std::size_t i = 1; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].size(), 6u) << i;
        kinds[rows[i][0]].push_back(rows[i][3]);
    }
    ASSERT_EQ(kinds.size(), 2u) << slurp(log);
    for (const auto* collector : {&first, &second}) {
        const std::vector<std::string>& port = kinds[collector->slavePath()];
        ASSERT_GE(port.size(), 4u) << collector->slavePath();
        EXPECT_EQ(port.front(), "EVENT");
        EXPECT_EQ(port[1], "TX");
        EXPECT_EQ(port[2], "RX");
        EXPECT_EQ(port.back(), "EVENT");
    }
}

}  // namespace
