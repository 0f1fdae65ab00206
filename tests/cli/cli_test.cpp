// The real kv480t program, run as a child process against a simulated collector on a
// pseudo-terminal: its output, its stderr line and its exit code.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "CollectorValues.h"
#include "Kv480tProcess.h"
#include "PtyPair.h"
#include "Ser2Net.h"
#include "client/Client.h"
#include "ops/Operations.h"
#include "sim/Collector.h"

namespace {

using kvsim::Collector;
using Pairs = std::vector<std::pair<std::string, std::string>>;

using kvtest::describe;
using kvtest::kv480t;
using kvtest::ProcessRun;

// A collector holding set A of the round-trip values, written by the client library.
std::unique_ptr<Collector> collectorWithValuesA(kvsim::CollectorOptions options = {}) {
    auto collector = std::make_unique<Collector>(options);
    collector->start();
    kvclient::Client client;
    EXPECT_FALSE(client.open(collector->slavePath()));
    const kvproto::CollectorSettings settings = kvtest::settingsToSend(false);
    for (const kvproto::SetCommand& command : kvproto::setCommands())
        EXPECT_TRUE(client.set(command, settings).answered()) << command.word;
    return collector;
}

// Every value the collector's own listing reports (the counter bases too), in the model's
// order.
Pairs listedBy(const Collector& collector) {
    Pairs out;
    const std::string listing = kvsim::parameterText(collector.state());
    for (const auto& [parameter, value] : kvops::readListing(listing).settings.entries())
        out.emplace_back(parameter->name, value);
    return out;
}

TEST(Kv480tRead, PrintsEveryValueByNameAsTextAndJson) {
    auto collector = collectorWithValuesA();
    const Pairs expected = listedBy(*collector);
    ASSERT_EQ(expected.size(), kvproto::kParameterCount) << "the counter bases are read too";
    EXPECT_EQ(expected[2], Pairs::value_type("rs485.address", "012"));

    // The listing begins at once and comes as one block after more than 300 ms (the line's
    // pace): the time-out bounds the silence before it, not its length.
    ProcessRun r = kv480t({"read", "--port", collector->slavePath(), "--timeout-ms", "200"});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(r.err, "");
    Pairs printed;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        const auto eq = line.find(" = ");
        printed.emplace_back(line.substr(0, eq),
                             eq == std::string::npos ? "" : line.substr(eq + 3));
    }
    EXPECT_EQ(printed, expected);

    r = kv480t({"read", "-p", collector->slavePath(), "--json"});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    printed.clear();
    const nlohmann::ordered_json parsed = nlohmann::ordered_json::parse(r.out);
    for (auto it = parsed.begin(); it != parsed.end(); ++it)
        printed.emplace_back(it.key(), it.value().get<std::string>());
    EXPECT_EQ(printed, expected);
}

TEST(Kv480tRequests, TestQueryAndResetPrintTheReply) {
    auto collector = collectorWithValuesA();
    const std::string port = collector->slavePath();
    const std::string version = kvsim::versionText(collector->state());
    ProcessRun r = kv480t({"test", "--port", port});
    EXPECT_EQ(r.out, version.substr(0, version.size() - 2) + "\n") << describe(r);

    r = kv480t({"query", "--port", port, "--json"});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    const auto reply = nlohmann::json::parse(r.out).at("reply").get<std::string>();
    EXPECT_TRUE(reply.starts_with("AD1:")) << reply;
    EXPECT_NE(reply.find("\r\nSUM1:"), std::string::npos) << reply;

    r = kv480t({"reset", "--port", port});
    EXPECT_EQ(r.exitCode, 2) << "reset without --yes: " << describe(r);
    EXPECT_EQ(collector->state().number("rs485.address"), 12)
        << "the collector was reset without --yes";
    r = kv480t({"reset", "--port", port, "--yes"});
    EXPECT_EQ(r.out, "OK:RESET\n") << describe(r);
    EXPECT_EQ(collector->state(), kvsim::factoryDefaults());
}

TEST(Kv480tFailures, ExitCodeAndOneStderrLinePerFailure) {
    kvsim::CollectorOptions options;
    options.silent = true;
    Collector silent(options);
    silent.start();
    const std::string port = silent.slavePath();
    const std::string nothing =
        "rfc2217://127.0.0.1:" + std::to_string(kvtest::Ser2Net::freePort());
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string err;  // how the line starts
    };
    const std::vector<Case> cases = {
        {{"read", "--port", "/nonexistent/ttyKV9"},
         3,
         "kv480t: /nonexistent/ttyKV9: Error opening serial port (/nonexistent/ttyKV9): No such "
         "file or directory"},
        {{"read", "--port", nothing},
         3,
         "kv480t: " + nothing + ": Cannot connect to network port (" + nothing +
             "): Connection refused"},
        {{"test", "--port", "tcp://127.0.0.1"},
         2,
         "kv480t: --port: tcp://127.0.0.1: not a network port: give rfc2217://HOST:PORT or "
         "tcp://HOST:PORT"},
        {{"read", "--port", "rfc2217://127.0.0.1:99999"},
         2,
         "kv480t: --port: rfc2217://127.0.0.1:99999: not a network port: the port must be 1 to "
         "65535 (99999 given)"},
        {{"test", "--port", "usb-serial:NOPE"},
         3,
         "kv480t: usb-serial:NOPE: Error opening serial port (usb-serial:NOPE): no USB adapter "
         "with serial number NOPE is plugged in"},
        {{"read", "--port", "usb-serial:"},
         2,
         "kv480t: --port: usb-serial:: no USB serial number after usb-serial: (give e.g. "
         "usb-serial:FT123ABC)"},
        {{"set", "-p", port, "rs485.address=300"}, 2, "kv480t: rs485.address: \"300\" is not "},
        {{"set", "-p", port, "ad1.urv=-5", "ad1.lrv=0", "ad1.start=0"},
         2,
         "kv480t: ad1.urv: -5 is not above ad1.lrv (0)"},
        {{"test", "--port", port, "--timeout-ms", "200"},
         4,
         "kv480t: " + port + ": no answer within 200 ms"},
        {{"read", "--port", port, "--timeout-ms", "200", "--json"}, 4, "kv480t: " + port + ": "},
        {{}, 2, "kv480t: "},
        {{"read"}, 2, "kv480t: --port is required"},
        {{"frobnicate"}, 2, "kv480t: "},
        {{"reset", "--port", port}, 2, "kv480t: reset "},
        {{"read", "--port", port, "--timeout-ms", "0"}, 2, "kv480t: --timeout-ms"},
        {{"ports", "--port", "x"}, 2, "kv480t: "},
        {{"set", "-p", port, "ad9.urv=1"},
         2,
         "kv480t: ad9.urv: unknown parameter name (kv480t names lists them)"},
        {{"find", "--named-only", "-p", port, "--force"}, 2, "kv480t: --force requires --plan"},
    };
    for (const Case& c : cases) {
        const ProcessRun r = kv480t(c.args);
        const std::string what = c.args.empty() ? "(none)" : c.args[0] + " " + c.args.back();
        EXPECT_EQ(r.exitCode, c.exitCode) << what << "\n" << describe(r);
        EXPECT_EQ(r.out, "") << what;
        EXPECT_TRUE(r.err.starts_with(c.err) && r.err.find('\n') == r.err.size() - 1)
            << what << ": " << r.err;
    }
    EXPECT_EQ(silent.framesHandled(), 0u) << "a refused value or port name sent something";
}

// An exception that is none of kv480t's own errors is a bug, never a port error: the real
// program forced into one (by a variable only its guard reads) says so and exits 70.
TEST(Kv480tFailures, AnInternalErrorIsSaidAsOneWithExit70) {
    Collector collector;
    collector.start();
    const ProcessRun r =
        kv480t({"test", "--port", collector.slavePath()}, false, {"KV480T_TEST_INTERNAL_ERROR=1"});
    EXPECT_EQ(r.exitCode, 70) << describe(r);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "kv480t: internal error: std::logic_error: forced by "
              "KV480T_TEST_INTERNAL_ERROR\n");
    EXPECT_EQ(collector.framesHandled(), 0u);
}

// A port the user may not open: the hint to join the dialout group (the mapping of EACCES to
// it is tested for root as well, through kvops::openError).
TEST(Kv480tFailures, APortWithoutPermissionGivesTheDialoutHint) {
    kvtest::PtyPair pty;
    ASSERT_EQ(::chmod(pty.path().c_str(), 0), 0);
    const ProcessRun r = kv480t({"read", "--port", pty.path()}, true);
    EXPECT_EQ(r.exitCode, 3) << describe(r);
    EXPECT_TRUE(r.err.starts_with("kv480t: " + pty.path() + ": Error opening serial port (" +
                                  pty.path() + "): "))
        << r.err;
    EXPECT_NE(r.err.find("dialout group"), std::string::npos) << r.err;
}

TEST(Kv480tHelp, EveryCommandHasHelpWithTheExitCodes) {
    for (const char* command :
         {"", "ports", "read", "test", "query", "reset", "commission", "history", "diff",
          "restore"}) {
        const ProcessRun r = *command ? kv480t({command, "--help"}) : kv480t({"--help"});
        EXPECT_EQ(r.exitCode, 0) << command << describe(r);
        EXPECT_NE(r.out.find("Exit codes:\n  0  done\n"), std::string::npos) << command;
        EXPECT_NE(r.out.find("  5  answer not understood\n  6  stopped before the end"),
                  std::string::npos)
            << command;
        EXPECT_NE(r.out.find(" continues)\n  7  history error"), std::string::npos) << command;
        EXPECT_NE(r.out.find("written)\n  70 internal error"), std::string::npos) << command;
    }
    // Every command that reads a listing or writes records into the history and takes its
    // options.
    for (const char* command : {"read", "save", "verify", "apply", "set", "reset", "commission",
                                "restore", "diff"}) {
        const ProcessRun r = kv480t({command, "--help"});
        for (const char* option : {"--history", "--no-history", "--operator"})
            EXPECT_NE(r.out.find(option), std::string::npos) << command << " " << option;
    }
    EXPECT_EQ(kv480t({"--version"}).out, "kv480t " KV480T_VERSION "\n");
}

TEST(Kv480tPorts, JsonListsDevicePaths) {
    const ProcessRun r = kv480t({"ports", "--json"});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    const nlohmann::json parsed = nlohmann::json::parse(r.out);
    ASSERT_TRUE(parsed.is_array());
    for (const auto& port : parsed) {
        EXPECT_TRUE(port.at("path").get<std::string>().starts_with("/dev/tty")) << port;
        // The usb-serial name of an adapter whose serial number is its own (not a dual one's).
        const auto serial = port.at("serial_number").get<std::string>();
        const auto sharing = std::count_if(parsed.begin(), parsed.end(), [&](const auto& p) {
            return p.at("serial_number") == serial;
        });
        EXPECT_EQ(port.at("usb_serial"),
                  serial.empty() || sharing > 1 ? "" : "usb-serial:" + serial)
            << port;
    }
}

}  // namespace
