// kv480t set --port PORT [--port PORT ...] NAME=VALUE [NAME=VALUE ...] [--json]
// [--timeout-ms N] [--log FILE]: parameters by name, written to every collector at once, then
// read back and compared. Every assignment is checked by the parameter table's rules
// (kvproto::readAssignments, refusedCommand) before any port is opened; a command whose
// other values come from the collector is checked again with them before anything is written.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/History.h"
#include "cli/Options.h"
#include "cli/Profiles.h"
#include "cli/Text.h"
#include "cli/commands/Commands.h"
#include "client/Operations.h"

namespace kvcli {

namespace {

struct SetOptions {
    std::vector<std::string> ports;
    int timeoutMs = kDefaultTimeoutMs;
    std::string log;
    bool json = false;
    std::vector<std::string> assignments;
};

int setValues(const SetOptions& options) {
    if (!distinctPorts(options.ports)) return kExitUsage;
    const kvproto::Assignments asked = kvproto::readAssignments(options.assignments);
    std::string refused = asked.error;
    if (asked.problem == kvproto::Assignments::Problem::UnknownName)
        refused += " (kv480t names lists them)";
    if (refused.empty()) refused = kvproto::refusedCommand(asked.settings);
    if (!refused.empty()) {
        std::cerr << "kv480t: " << refused << '\n';
        return kExitUsage;
    }
    const kvclient::Millis timeout{options.timeoutMs};
    return serveCollectors(options.ports, options.log, options.json, [&](kvclient::Client& client) {
        return kvclient::setValues(client, asked.settings, timeout);
    });
}

}  // namespace

void addSetCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<SetOptions>();
    CLI::App* command = app.add_subcommand(
        "set",
        "Set parameters by name (kv480t names lists them), then read back and verify. "
        "Every value is checked before anything is sent. A set command carries all its values: "
        "those not given are first read from the collector. Station address and counter bases "
        "need no include flag here: naming them is asking.");
    addPorts(command, options->ports,
             std::string(kPortHelp) + "; give --port once per collector to serve several at once")
        ->required();
    addTimeout(command, options->timeoutMs);
    addLog(command, options->log);
    addHistoryOptions(command);
    addJson(command, options->json, "print one JSON object per port, one per line");
    command->footer(std::string(kExitCodesHelp) + kSeveralPortsHelp);
    command
        ->add_option("NAME=VALUE", options->assignments, "the parameters to set, e.g. ad1.urv=20")
        ->required();
    command->callback([options, &exitCode] { exitCode = setValues(*options); });
}

}  // namespace kvcli
