// kv480t find [--port P ...] [--named-only] [--json] [--timeout-ms N] [--log FILE]
// [--plan FILE [--force]]: the communication test on every serial port present and on the
// ports named, all at once; one line (--json: one object) per port, in the order tried; exit 0
// when a collector answered, else 4. --plan: a site plan to fill in from the ports that
// answered (kvsite::planSkeleton), refused before anything is sent when FILE is already there
// (unless --force).
#include "client/Find.h"

#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/Options.h"
#include "cli/Text.h"
#include "cli/TrafficLogFile.h"
#include "cli/commands/Commands.h"
#include "site/Plan.h"

namespace kvcli {

namespace {

struct FindOptions {
    std::vector<std::string> ports;
    bool namedOnly = false;
    bool json = false;
    int timeoutMs = kDefaultTimeoutMs;
    std::string log;
    std::string plan;
    bool force = false;
};

void printResult(const kvclient::FindResult& r, bool json) {
    if (json) {
        nlohmann::ordered_json out;
        out["port"] = r.port;
        out["state"] = kvclient::findStateWords(r.state);
        if (r.state == kvclient::FindState::Answered) {
            out["station"] = r.station;
            out["reply"] = latin1ToUtf8(r.reply);
        } else {
            out["error"] = printable(kvops::describe(r.error));
        }
        out["description"] = r.description;
        out["serial_number"] = r.serialNumber;
        std::cout << out.dump() << '\n';
        return;
    }
    std::string line = r.port + "\t" + std::string(kvclient::findStateWords(r.state));
    if (r.state == kvclient::FindState::Answered)
        line += r.station.empty() ? ", station address not given" : ", station " + r.station;
    else if (r.state != kvclient::FindState::NoAnswer)
        line += ": " + printable(kvops::describe(r.error));
    if (!r.description.empty()) line += "\t" + r.description;
    if (!r.serialNumber.empty()) line += "\tserial " + r.serialNumber;
    std::cout << line << '\n';
}

// The plan skeleton of the collectors that answered, when --plan asks for one; the exit code.
int writePlan(const FindOptions& options, const std::vector<kvclient::FindResult>& results) {
    std::vector<kvsite::SkeletonRow> rows;
    for (const kvclient::FindResult& r : results)
        if (r.state == kvclient::FindState::Answered) rows.push_back({r.port, r.station});
    if (options.plan.empty() || rows.empty()) return kExitDone;
    if (const std::string error = kvsite::writePlanSkeleton(options.plan, rows, options.force);
        !error.empty()) {
        std::cerr << "kv480t: " << printable(error) << '\n';
        return kExitUsage;
    }
    std::cerr << "kv480t: " << printable(options.plan) << ": a plan of " << rows.size()
              << (rows.size() == 1 ? " collector" : " collectors")
              << " written; fill in the profile and label columns\n";
    return kExitDone;
}

int findCollectors(const FindOptions& options) {
    if (!options.plan.empty()) {
        if (const std::string problem = kvsite::skeletonPathProblem(options.plan, options.force);
            !problem.empty()) {
            std::cerr << "kv480t: " << printable(problem) << " (--force replaces it)\n";
            return kExitUsage;
        }
    }
    const kvports::PortListing present =
        options.namedOnly ? kvports::PortListing{} : kvports::listSerialPorts();
    if (!present.note.empty()) std::cerr << "kv480t: " << present.note << '\n';
    const std::vector<std::string> ports = kvclient::portsToFind(present, options.ports);
    if (ports.empty()) {
        std::cerr << "kv480t: no serial port present and none named (--port)\n";
        return kExitNoAnswer;
    }
    bool logFailed = false;
    // The log outlives the clients, which log their close.
    const std::unique_ptr<TrafficLogFile> log = openTrafficLog(options.log, logFailed);
    if (logFailed) return kExitUsage;
    const std::vector<kvclient::FindResult> results =
        kvclient::findCollectors(ports, present, kvclient::Millis{options.timeoutMs}, {},
                                 [&](kvclient::Client& client, const std::string& port) {
                                     if (log) log->attach(client, port);
                                 });
    bool found = false;
    for (const kvclient::FindResult& r : results) {
        found = found || r.state == kvclient::FindState::Answered;
        printResult(r, options.json);
    }
    if (!found) return kExitNoAnswer;
    return writePlan(options, results);
}

}  // namespace

void addFindCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<FindOptions>();
    CLI::App* command = app.add_subcommand(
        "find",
        "Send the communication test to every serial port present and to the ports named, all "
        "at once; print which answered (with the station address their answer names) and which "
        "did not (no answer, busy, no permission). A port another program holds is reported "
        "busy and left alone.");
    addPorts(command, options->ports, std::string(kPortHelp) + "; also try this one");
    command->add_flag("--named-only", options->namedOnly, "try only the ports named with --port");
    addJson(command, options->json, "print one JSON object per port, one per line");
    addTimeout(command, options->timeoutMs);
    addLog(command, options->log);
    CLI::Option* plan =
        command->add_option("--plan", options->plan,
                            "write a site plan to fill in to FILE (CSV: port, station, profile, "
                            "label): one row per port a collector answered on, with the station "
                            "address it answered with; nothing written when none answered");
    command
        ->add_flag("--force", options->force,
                   "with --plan: replace FILE when it is already there (else it is left "
                   "as it is and nothing is sent)")
        ->needs(plan);
    command->footer(
        "Exit codes:\n  0  at least one collector answered\n  2  usage error, or the plan "
        "could not be written\n  4  no collector answered\n  70 internal error (a bug in "
        "kv480t; please report it)");
    command->callback([options, &exitCode] { exitCode = findCollectors(*options); });
}

}  // namespace kvcli
