// kv480t apply --port PORT [--port PORT ...] FILE [--include-station] [--include-counters]
// [--json] [--timeout-ms N] [--log FILE]: a profile written to every collector at once, then
// read back and compared. The file is checked whole before any port is opened.
#include <memory>
#include <string>
#include <vector>

#include "cli/Options.h"
#include "cli/Profiles.h"
#include "cli/Text.h"
#include "cli/commands/Commands.h"
#include "client/Operations.h"

namespace kvcli {

namespace {

struct ApplyOptions {
    std::vector<std::string> ports;
    kvproto::Include include;
    int timeoutMs = kDefaultTimeoutMs;
    std::string log;
    bool json = false;
    std::string file;
};

int applyProfile(const ApplyOptions& options) {
    if (!distinctPorts(options.ports)) return kExitUsage;
    const auto settings = profileSettings(options.file, options.include, "write");
    if (!settings) return kExitUsage;
    const kvclient::Millis timeout{options.timeoutMs};
    return serveCollectors(options.ports, options.log, options.json, [&](kvclient::Client& client) {
        return kvclient::applySettings(client, *settings, *settings, timeout, "in the profile");
    });
}

}  // namespace

void addApplyCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<ApplyOptions>();
    CLI::App* command = app.add_subcommand(
        "apply",
        "Write a profile file to the collectors (configuration only unless the include flags "
        "ask for more), then read back and verify. A bad file is refused whole: nothing is sent.");
    addPorts(command, options->ports,
             std::string(kPortHelp) + "; give --port once per collector to serve several at once")
        ->required();
    addIncludeFlags(command, options->include);
    addTimeout(command, options->timeoutMs);
    addLog(command, options->log);
    addJson(command, options->json, "print one JSON object per port, one per line");
    command->footer(std::string(kExitCodesHelp) + kSeveralPortsHelp);
    command->add_option("FILE", options->file, "the profile file to write")->required();
    command->callback([options, &exitCode] { exitCode = applyProfile(*options); });
}

}  // namespace kvcli
