// kv480t's profile commands run as a child process against simulated collectors: save, apply,
// verify and set on one collector and on several at once, and bad input that sends nothing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "CollectorValues.h"
#include "Kv480tProcess.h"
#include "SimulatedCollector.h"
#include "client/Client.h"
#include "profile/Profile.h"
#include "protocol/ReadBack.h"
#include "sim/Collector.h"

namespace {

using kvsim::Collector;
using kvtest::describe;
using kvtest::kCollectorValues;
using kvtest::kv480t;
using kvtest::ProcessRun;
using Values = std::map<std::string, std::string>;

std::unique_ptr<Collector> collectorWith(bool setB, kvsim::CollectorOptions options = {}) {
    return kvtest::collectorHolding(kvtest::settingsToSend(setB), options);
}

// Every value the collector holds, by name, as it reports it.
Values heldBy(const Collector& collector) {
    const kvsim::DeviceState state = collector.state();
    Values out;
    for (const auto& [p, value] :
         kvproto::readBackSettings(kvsim::parameterText(state), nullptr).entries())
        out[std::string(p->name)] = value;
    for (const char* counter : {"pin1.base", "pin2.base", "ad1.total.integer", "ad1.total.decimal"})
        out[counter] = state.text(counter);
    return out;
}

// Set A's or B's held values; only the configuration ones unless `all`.
Values heldValues(bool setB, bool all) {
    Values out;
    for (const kvtest::CollectorValue& v : kCollectorValues)
        if (all || v.parameter().kind == kvproto::ParameterKind::Configuration)
            out[v.name] = v.held(setB);
    return out;
}

Values only(const Values& values, const Values& names) {
    Values out;
    for (const auto& [name, value] : names) out[name] = values.at(name);
    return out;
}

std::string tempFile(const std::string& name) {
    return (std::filesystem::temp_directory_path() /
            ("kv480t-profiles-" + std::to_string(::getpid()) + "-" + name))
        .string();
}

std::string writeText(const std::string& name, const std::string& text) {
    const std::string path = tempFile(name);
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

// The per-port JSON lines of a run, by port.
std::map<std::string, nlohmann::json> byPort(const std::string& out) {
    std::map<std::string, nlohmann::json> ports;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        const nlohmann::json parsed = nlohmann::json::parse(line);
        ports[parsed.at("port").get<std::string>()] = parsed;
    }
    return ports;
}

TEST(Kv480tProfiles, RoundTripSaveSetVerifyApplyVerify) {
    auto collector = collectorWith(false);
    const std::string port = collector->slavePath();
    const std::string file = tempFile("round-trip.json");
    const std::vector<std::string> include = {"--include-station", "--include-counters"};
    auto withInclude = [&](std::vector<std::string> args) {
        args.insert(args.end(), include.begin(), include.end());
        return args;
    };

    ProcessRun r = kv480t(withInclude({"save", "--port", port, file}));
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(r.out, port + " saved 31 parameters to " + file + "\n");
    const kvprofile::ReadResult saved = kvprofile::readProfileFile(file);
    ASSERT_TRUE(saved.profile) << saved.error;
    EXPECT_EQ(saved.profile->port, port);
    EXPECT_EQ(saved.profile->tool, "kv480t");
    Values inFile;
    for (const auto& [p, value] : saved.profile->settings.entries())
        inFile[std::string(p->name)] = value;
    EXPECT_EQ(inFile, heldValues(false, true));

    // Every value changed on the collector, by name.
    std::vector<std::string> args = {"set", "--port", port};
    for (const kvtest::CollectorValue& v : kCollectorValues)
        args.push_back(std::string(v.name) + "=" + v.sentB);
    r = kv480t(args);
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(r.out, port + " ok\n");
    EXPECT_EQ(heldBy(*collector), heldValues(true, true));

    r = kv480t(withInclude({"verify", "--port", port, file, "--json"}));
    ASSERT_EQ(r.exitCode, 1) << describe(r);
    const nlohmann::json differs = byPort(r.out).at(port);
    EXPECT_EQ(differs.at("result"), "differs");
    Values expected, actual;
    for (const auto& d : differs.at("differences")) {
        expected[d.at("name")] = d.at("expected");
        actual[d.at("name")] = d.at("actual");
    }
    EXPECT_EQ(expected, heldValues(false, true));
    EXPECT_EQ(actual, heldValues(true, true));

    r = kv480t(withInclude({"verify", "--port", port, file}));
    EXPECT_EQ(r.exitCode, 1) << describe(r);
    // A status line, then the table: a heading and one row per parameter, in columns.
    std::vector<std::string> lines;
    std::istringstream text(r.out);
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 33u) << r.out;
    EXPECT_EQ(lines[0], port + " differs: 31 parameters");
    const std::size_t second = lines[1].find("on the collector");
    const std::size_t third = lines[1].find("in the profile");
    ASSERT_TRUE(lines[1].starts_with("  parameter ") && second < third) << lines[1];
    for (std::size_t i = 0; i < kCollectorValues.size(); ++i) {
        const kvtest::CollectorValue& v = kCollectorValues[i];
        const std::string& row = lines[i + 2];
        EXPECT_EQ(row.substr(0, 2 + std::string(v.name).size() + 1),
                  "  " + std::string(v.name) + " ");
        EXPECT_EQ(row.substr(second, std::string(v.heldB).size() + 2), v.heldB + std::string("  "))
            << row;
        EXPECT_EQ(row.substr(third), v.heldA) << row;
    }

    r = kv480t(withInclude({"apply", "--port", port, file}));
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(r.out, port + " ok\n");
    EXPECT_EQ(heldBy(*collector), heldValues(false, true));
    r = kv480t(withInclude({"verify", "--port", port, file}));
    EXPECT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(r.out, port + " ok\n");
    std::filesystem::remove(file);
}

TEST(Kv480tProfiles, StationAndCountersOnlyWhenAskedFor) {
    auto source = collectorWith(false);
    auto target = collectorWith(true);
    const std::string file = tempFile("configuration.json");
    ProcessRun r = kv480t({"save", "--port", source->slavePath(), file});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    const kvprofile::ReadResult saved = kvprofile::readProfileFile(file);
    ASSERT_TRUE(saved.profile) << saved.error;
    EXPECT_EQ(saved.profile->settings.size(), 26u);

    r = kv480t(
        {"apply", "--port", target->slavePath(), file, "--include-station", "--include-counters"});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    Values expected = heldValues(true, true);
    for (const auto& [name, value] : heldValues(false, false)) expected[name] = value;
    EXPECT_EQ(heldBy(*target), expected) << "station and counters kept, the rest from the file";

    // A file holding them writes them only when asked.
    const std::string full = tempFile("full.json");
    ASSERT_EQ(
        kv480t({"save", "-p", source->slavePath(), full, "--include-counters", "--include-station"})
            .exitCode,
        0);
    r = kv480t({"apply", "--port", target->slavePath(), full, "--include-counters"});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(r.err, "kv480t: " + full +
                         ": rs485.address left out (add --include-station to "
                         "write it)\n");
    expected = heldValues(false, true);
    expected["rs485.address"] = heldValues(true, true).at("rs485.address");
    EXPECT_EQ(heldBy(*target), expected);
    std::filesystem::remove(file);
    std::filesystem::remove(full);
}

TEST(Kv480tProfiles, SeveralCollectorsAtOnceEachWithItsOwnOutcome) {
    kvsim::CollectorOptions silentOptions;
    silentOptions.silent = true;
    kvsim::CollectorOptions droppingOptions;
    droppingOptions.dropAfter = kvsim::Millis{300};
    auto good = collectorWith(false);
    Collector silent(silentOptions);
    silent.start();
    Collector dropping(droppingOptions);
    dropping.start();

    kvprofile::Profile profile;
    profile.settings = kvtest::settingsToSend(true);
    const std::string file = tempFile("three.json");
    ASSERT_TRUE(kvprofile::writeProfileFile(file, profile, nullptr));
    const std::vector<std::string> ports = {silent.slavePath(), good->slavePath(),
                                            dropping.slavePath()};

    ProcessRun r = kv480t({"apply", "--port", ports[0], "--port", ports[1], "-p", ports[2], file,
                           "--timeout-ms", "1000", "--json"});
    EXPECT_EQ(r.exitCode, 3) << describe(r);
    std::map<std::string, nlohmann::json> outcomes = byPort(r.out);
    ASSERT_EQ(outcomes.size(), 3u) << r.out;
    EXPECT_EQ(outcomes[ports[1]].at("result"), "ok") << outcomes[ports[1]];
    EXPECT_EQ(outcomes[ports[1]].at("written"), 17) << "configuration commands only";
    EXPECT_EQ(outcomes[ports[0]].at("result"), "no answer") << outcomes[ports[0]];
    EXPECT_EQ(outcomes[ports[0]].at("exit"), 4);
    // A collector that never answers is written all the same (17 frames, paced), and the
    // read-back that follows says it did not answer.
    EXPECT_EQ(outcomes[ports[0]].at("written"), 17) << outcomes[ports[0]];
    EXPECT_EQ(outcomes[ports[0]].at("commands").at(16).at("answer"), nullptr);
    EXPECT_TRUE(outcomes[ports[0]].at("reason").get<std::string>().starts_with(
        "read-back: no answer within 1000 ms"))
        << outcomes[ports[0]];
    EXPECT_EQ(outcomes[ports[2]].at("result"), "port error") << outcomes[ports[2]];
    EXPECT_EQ(outcomes[ports[2]].at("exit"), 3);
    EXPECT_EQ(only(heldBy(*good), heldValues(true, false)), heldValues(true, false));

    // Without the dropped line the worst is the silent one; one text line per port.
    // (The time-out runs until the first block of the answer is in: the listing takes about
    // 300 ms at 9600 baud.)
    r = kv480t({"verify", "--port", ports[0], "--port", ports[1], file, "--timeout-ms", "1000"});
    EXPECT_EQ(r.exitCode, 4) << describe(r);
    EXPECT_NE(r.out.find(ports[1] + " ok\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(ports[0] + " no answer: read-back: no answer within 1000 ms\n"),
              std::string::npos)
        << r.out;
    std::filesystem::remove(file);
}

TEST(Kv480tProfiles, BadFilesAndAssignmentsSendNothing) {
    auto first = collectorWith(false);
    Collector second;
    second.start();
    const std::uint64_t framesBefore = first->framesHandled();
    const std::string head = R"({"format": "kv480t-profile", "version": 1, "settings": )";
    struct Case {
        std::string name;
        std::string text;  // the file; empty: `args` are set's assignments
        std::vector<std::string> args;
        std::string message;  // what the stderr line holds after "kv480t: "
    };
    const std::vector<Case> cases = {
        {"malformed.json", R"({"format": "kv480t-profile", "version": 1,)", {}, "not valid JSON"},
        {"format.json",
         R"({"format": "kv480t-settings", "version": 1, "settings": {}})",
         {},
         ": format: not a profile"},
        {"version.json",
         R"({"format": "kv480t-profile", "version": 2, "settings": {}})",
         {},
         ": version: unknown profile version"},
        {"name.json", head + R"({"ad9.urv": "1"}})", {}, ": settings.ad9.urv: unknown parameter"},
        {"value.json",
         head + R"({"ad2.coefficient": "1.2.34"}})",
         {},
         ": settings.ad2.coefficient: ad2.coefficient: \"1.2.34\" is not accepted"},
        {"list.json",
         head + R"({"rs485.baud": "300", "rs485.parity": "None"}})",
         {},
         ": settings.rs485.baud: rs485.baud: \"300\" is not accepted (one of"},
        {"half.json",
         head + R"({"ad3.urv": "1", "ad3.start": "2"}})",
         {},
         ": settings: ad3.urv: ad3.urv, ad3.lrv, ad3.start go to the collector together"},
        {"set unknown", "", {"ad1.urv=1", "ad5.urv=2"}, "ad5.urv: unknown parameter name"},
        {"set refused", "", {"ad1.urv=1", "din1.mode=2"}, "din1.mode: \"2\" is not accepted"},
        {"set no assignment", "", {"ad1.urv"}, "\"ad1.urv\" is not NAME=VALUE"},
        {"set twice", "", {"ad1.urv=1", "ad1.urv=2"}, "ad1.urv: given twice"},
        {"set station 0", "", {"rs485.address=0"}, "rs485.address: \"0\" is not accepted (a whole"},
        {"set station 300", "", {"rs485.address=300"}, "rs485.address: \"300\" is not accepted"},
        {"set inverted range",
         "",
         {"ad1.urv=-5", "ad1.lrv=0", "ad1.start=0"},
         "ad1.urv: -5 is not above ad1.lrv (0)"},
        {"range.json",
         head + R"({"ad1.urv": "-5", "ad1.lrv": "0", "ad1.start": "0"}})",
         {},
         ": settings: ad1.urv: -5 is not above ad1.lrv (0)"},
    };
    for (const Case& c : cases) {
        std::vector<std::vector<std::string>> runs;
        std::string path;
        if (c.text.empty()) {
            std::vector<std::string> args = {"set", "-p", first->slavePath(), "-p",
                                             second.slavePath()};
            args.insert(args.end(), c.args.begin(), c.args.end());
            runs.push_back(args);
        } else {
            path = writeText(c.name, c.text);
            for (const char* command : {"apply", "verify"})
                runs.push_back({command, "--port", first->slavePath(), "--port", second.slavePath(),
                                path, "--include-station"});
        }
        for (const auto& args : runs) {
            const ProcessRun r = kv480t(args);
            const std::string what = c.name + " (" + args[0] + ")";
            EXPECT_EQ(r.exitCode, 2) << what << "\n" << describe(r);
            EXPECT_EQ(r.out, "") << what;
            EXPECT_TRUE(r.err.starts_with("kv480t: " + path) &&
                        r.err.find(c.message) != std::string::npos &&
                        r.err.find('\n') == r.err.size() - 1)
                << what << ": " << r.err;
        }
        if (!path.empty()) std::filesystem::remove(path);
    }
    EXPECT_EQ(first->framesHandled(), framesBefore);
    EXPECT_EQ(second.framesHandled(), 0u);
}

TEST(Kv480tProfiles, SetTakesTheRestOfACommandFromTheCollectorAndVerifies) {
    auto collector = collectorWith(false);
    const std::string port = collector->slavePath();
    const std::uint64_t framesBefore = collector->framesHandled();

    ProcessRun r = kv480t({"set", "--port", port, "ad1.urv=55.5", "ad3.coefficient=7"});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(r.out, port + " ok\n");
    EXPECT_EQ(r.err, "kv480t: " + port +
                         ": taken from the collector (a set command carries all its values): "
                         "ad1.lrv=000004, ad1.start=00001\n");
    EXPECT_EQ(collector->framesHandled() - framesBefore, 4u) << "read, AIN1, AXS3, read";
    Values expected = heldValues(false, true);
    expected["ad1.urv"] = "55.500";
    expected["ad3.coefficient"] = "0007";
    EXPECT_EQ(heldBy(*collector), expected);

    // The lower range value is the collector's (000004): with it, -5 would invert the range,
    // which the collector refuses. Only the read goes out: nothing is written, exit 2.
    const std::uint64_t beforeRange = collector->framesHandled();
    r = kv480t({"set", "--port", port, "ad1.urv=-5", "--json"});
    EXPECT_EQ(r.exitCode, 2) << describe(r);
    const nlohmann::json outcome = byPort(r.out).at(port);
    EXPECT_EQ(outcome.at("written"), 0) << outcome;
    EXPECT_EQ(outcome.at("reason"),
              "ad1.urv: -5 is not above ad1.lrv (000004) (the upper range value must be above "
              "the lower one)");
    EXPECT_EQ(collector->framesHandled() - beforeRange, 1u) << "the read alone";
    EXPECT_EQ(collector->state().text("ad1.urv"), "55.500");
}

TEST(Kv480tProfiles, HelpOfEveryProfileCommand) {
    for (const char* command : {"save", "apply", "verify", "set"}) {
        const ProcessRun r = kv480t({command, "--help"});
        EXPECT_EQ(r.exitCode, 0) << command << describe(r);
        EXPECT_NE(r.out.find("--timeout-ms"), std::string::npos) << command;
        EXPECT_NE(r.out.find("  4  no answer in time"), std::string::npos) << command;
        const bool several = std::string(command) != "save";
        EXPECT_EQ(r.out.find("3 (port error) is worse than 4 (no answer)") != std::string::npos,
                  several)
            << command;
    }
}

}  // namespace
