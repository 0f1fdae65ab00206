// kv480t --log FILE against the simulated collector: the rows the window's "Traffic" page
// shows, written to the file as tab-separated text or, for a .csv name, CSV.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sim/Collector.h"
#include "sim/DeviceState.h"
#include "traffic/TrafficFormat.h"

namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& file) {
    std::ostringstream text;
    text << std::ifstream(file, std::ios::binary).rdbuf();
    return text.str();
}

// kv480t's exit code (killed after 20 s); its output goes to `out`.
int kv480t(const std::vector<std::string>& args, const fs::path& out) {
    std::string command = "timeout -s KILL 20 '" KV480T_PATH "'";
    for (const std::string& a : args) command += " '" + a + "'";
    command += " </dev/null >'" + out.string() + "' 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
    void SetUp() override {
        dir = fs::temp_directory_path() / ("kv480t-log-" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

TEST_F(Kv480tLog, ReadWritesOpenedTxRxClosedRows) {
    kvsim::Collector collector;
    collector.start();
    const std::string port = collector.slavePath();
    const fs::path log = dir / "read.log";
    ASSERT_EQ(kv480t({"read", "--port", port, "--log", log.string()}, dir / "out"), 0)
        << slurp(dir / "out");

    const auto rows = split(slurp(log), "\n", '\t');
    ASSERT_GE(rows.size(), 5u) << slurp(log);
    EXPECT_EQ(rows[0],
              (std::vector<std::string>{"time", "ms since open", "kind", "length", "data"}));
    EXPECT_EQ(rows[1][2] + " " + rows[1][4], "EVENT opened " + port + ", 9600 baud 8N1");
    EXPECT_EQ(rows[2][2] + " " + rows[2][3] + " " + rows[2][4], "TX 15 PPPPPP#CHEACK1#");
    EXPECT_EQ(rows.back()[2] + " " + rows.back()[4], "EVENT closed");
    std::string received;
    long previous = 0;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].size(), 5u) << i;
        const long ms = std::stol(rows[i][1]);
        EXPECT_GE(ms, previous) << i;
        previous = ms;
        if (i > 2 && i + 1 < rows.size()) {
            EXPECT_EQ(rows[i][2], "RX") << i;
            received += rows[i][4];
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
        kv480t({"test", "-p", collector.slavePath(), "--timeout-ms", "200", "--log", csv.string()},
               dir / "out"),
        4);
    const auto records = split(slurp(csv), "\r\n", ',');
    ASSERT_EQ(records.size(), 5u) << slurp(csv);
    EXPECT_EQ(records[0][4], "data");
    EXPECT_EQ(records[1].back(), " 9600 baud 8N1\"") << "a field with a comma is quoted";
    EXPECT_EQ(records[2][2] + " " + records[2][4], "TX PPPPPP#VAR#");
    EXPECT_EQ(records[3][4], "time-out: no answer within 200 ms");
    EXPECT_EQ(records[4][4], "closed");

    const fs::path log = dir / "missing.txt";
    EXPECT_EQ(kv480t({"query", "-p", (dir / "no-such-port").string(), "--log", log.string()},
                     dir / "out"),
              3);
    const auto rows = split(slurp(log), "\n", '\t');
    ASSERT_EQ(rows.size(), 2u) << slurp(log);
    EXPECT_TRUE(rows[1][4].starts_with("not opened " + (dir / "no-such-port").string() + ": "))
        << rows[1][4];

    EXPECT_EQ(
        kv480t({"test", "-p", collector.slavePath(), "--log", (dir / "no/such/dir.txt").string()},
               dir / "out"),
        2);
}

}  // namespace
