// The real kv480t program, run as a child process against a simulated collector on a
// pseudo-terminal: its output, its stderr line and its exit code.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "CollectorValues.h"
#include "Subprocess.h"
#include "client/Client.h"
#include "protocol/Parameters.h"
#include "protocol/SetCommands.h"
#include "sim/Collector.h"

namespace {

using kvsim::Collector;
using kvsim::CollectorOptions;
using kvtest::ProcessResult;

ProcessResult kv480t(std::vector<std::string> args) {
    args.insert(args.begin(), KV480T_PATH);
    return kvtest::runProcess(args);
}

std::string describe(const ProcessResult& r) {
    return "exit " + std::to_string(r.exitCode) + "\nstdout:\n" + r.out + "\nstderr:\n" + r.err;
}

bool oneLine(const std::string& text) {
    return !text.empty() && text.back() == '\n' && text.find('\n') == text.size() - 1;
}

// A collector holding the values of set A, written by the client library.
std::unique_ptr<Collector> collectorWithValuesA(CollectorOptions options = {}) {
    auto collector = std::make_unique<Collector>(options);
    collector->start();
    kvclient::Client client;
    EXPECT_TRUE(client.open(collector->slavePath()).done());
    const kvproto::CollectorSettings settings = kvtest::settingsToSend(kvtest::kValuesA);
    for (const kvproto::SetCommand& command : kvproto::setCommands())
        EXPECT_TRUE(client.set(command, settings).done()) << command.word;
    return collector;
}

// The read-back parameters the collector holds, in the model's order.
std::vector<std::pair<std::string, std::string>> readBackHeld(const Collector& collector) {
    const auto held = kvtest::heldBy(collector.state());
    std::vector<std::pair<std::string, std::string>> out;
    for (const kvproto::Parameter& p : kvproto::parameters())
        if (p.readBack()) out.emplace_back(p.name, held.at(std::string(p.name)));
    return out;
}

TEST(Kv480tRead, PrintsEveryValueByNameInTheModelsOrder) {
    auto collector = collectorWithValuesA();
    const ProcessResult r = kv480t({"read", "--port", collector->slavePath()});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(r.err, "");
    std::vector<std::pair<std::string, std::string>> printed;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        const auto eq = line.find(" = ");
        ASSERT_NE(eq, std::string::npos) << line;
        printed.emplace_back(line.substr(0, eq), line.substr(eq + 3));
    }
    EXPECT_EQ(printed, readBackHeld(*collector));
}

TEST(Kv480tRead, JsonHoldsEveryValueByName) {
    auto collector = collectorWithValuesA();
    const ProcessResult r = kv480t({"read", "-p", collector->slavePath(), "--json"});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    const nlohmann::ordered_json parsed = nlohmann::ordered_json::parse(r.out);
    ASSERT_TRUE(parsed.is_object());
    std::vector<std::pair<std::string, std::string>> printed;
    for (const auto& [name, value] : parsed.items())
        printed.emplace_back(name, value.get<std::string>());
    EXPECT_EQ(printed, readBackHeld(*collector));
    EXPECT_EQ(parsed.at("rs485.address"), "012");
}

TEST(Kv480tRequests, TestQueryAndResetPrintTheReply) {
    auto collector = collectorWithValuesA();
    const std::string port = collector->slavePath();
    const std::string version = kvsim::versionText(collector->state());
    ProcessResult r = kv480t({"test", "--port", port});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(r.out, version.substr(0, version.size() - 2) + "\n");

    r = kv480t({"query", "--port", port, "--json"});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    const auto reply = nlohmann::json::parse(r.out).at("reply").get<std::string>();
    EXPECT_TRUE(reply.starts_with("AD1:")) << reply;
    EXPECT_NE(reply.find("\r\nSUM1:"), std::string::npos) << reply;

    r = kv480t({"reset", "--port", port});
    EXPECT_EQ(r.exitCode, 2) << "reset without --yes: " << describe(r);
    EXPECT_TRUE(oneLine(r.err)) << r.err;
    EXPECT_EQ(collector->state().station, 12) << "the collector was reset without --yes";

    r = kv480t({"reset", "--port", port, "--yes"});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(r.out, "OK:RESET\n");
    EXPECT_EQ(collector->state(), kvsim::factoryDefaults());
}

TEST(Kv480tFailures, ExitCodeAndOneStderrLinePerFailure) {
    CollectorOptions silentOptions;
    silentOptions.silent = true;
    Collector silent(silentOptions);
    silent.start();
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string errStart;
    };
    const std::vector<Case> cases = {
        {{"read", "--port", "/nonexistent/ttyKV9"},
         3,
         "kv480t: /nonexistent/ttyKV9: Error opening serial port"},
        {{"test", "--port", silent.slavePath(), "--timeout-ms", "200"},
         4,
         "kv480t: " + silent.slavePath() + ": no answer within 200 ms"},
        {{"read", "--port", silent.slavePath(), "--timeout-ms", "200", "--json"},
         4,
         "kv480t: " + silent.slavePath() + ": no answer within 200 ms"},
        {{}, 2, "kv480t: "},
        {{"read"}, 2, "kv480t: --port is required"},
        {{"frobnicate"}, 2, "kv480t: "},
        {{"read", "--port", silent.slavePath(), "--timeout-ms", "0"}, 2, "kv480t: "},
        {{"query", "--port", silent.slavePath(), "--timeout-ms", "soon"}, 2, "kv480t: "},
        {{"ports", "--port", "x"}, 2, "kv480t: "},
    };
    for (const Case& c : cases) {
        const ProcessResult r = kv480t(c.args);
        const std::string what = c.args.empty() ? "(no arguments)" : c.args[0];
        EXPECT_EQ(r.exitCode, c.exitCode) << what << "\n" << describe(r);
        EXPECT_EQ(r.out, "") << what;
        EXPECT_TRUE(oneLine(r.err)) << what << ": " << r.err;
        EXPECT_TRUE(r.err.starts_with(c.errStart)) << what << ": " << r.err;
    }
}

TEST(Kv480tHelp, EveryCommandHasHelpWithTheExitCodes) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--help"},
                                               {"ports", "--help"},
                                               {"read", "--help"},
                                               {"test", "--help"},
                                               {"query", "--help"},
                                               {"reset", "--help"}}) {
        const ProcessResult r = kv480t(args);
        EXPECT_EQ(r.exitCode, 0) << args[0] << describe(r);
        EXPECT_NE(r.out.find("Exit codes:"), std::string::npos) << args[0];
        EXPECT_NE(r.out.find("4  no answer in time"), std::string::npos) << args[0];
        if (args.size() > 1 && args[0] != "ports") {
            EXPECT_NE(r.out.find("--timeout-ms"), std::string::npos) << args[0];
        }
    }
    const ProcessResult version = kv480t({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "kv480t " KV480T_VERSION "\n");
}

TEST(Kv480tPorts, JsonListsDevicePaths) {
    const ProcessResult r = kv480t({"ports", "--json"});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    const nlohmann::json parsed = nlohmann::json::parse(r.out);
    ASSERT_TRUE(parsed.is_array());
    for (const auto& port : parsed) {
        EXPECT_TRUE(port.at("path").get<std::string>().starts_with("/dev/tty")) << port;
        EXPECT_TRUE(port.contains("description") && port.contains("serial_number")) << port;
    }
}

}  // namespace
