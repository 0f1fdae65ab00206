// kv480t verify --port PORT [--port PORT ...] FILE [--include-station] [--include-counters]
// [--json] [--timeout-ms N] [--log FILE]: every collector read back at once and compared
// with a profile, value by value. The file is checked whole before any port is opened.
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

struct VerifyOptions {
    std::vector<std::string> ports;
    kvproto::Include include;
    int timeoutMs = kDefaultTimeoutMs;
    std::string log;
    bool json = false;
    std::string file;
};

int verifyProfile(const VerifyOptions& options) {
    if (!distinctPorts(options.ports)) return kExitUsage;
    const auto settings = profileSettings(options.file, options.include, "verify");
    if (!settings) return kExitUsage;
    const kvclient::Millis timeout{options.timeoutMs};
    return serveCollectors(options.ports, options.log, options.json, [&](kvclient::Client& client) {
        return kvclient::verifySettings(client, *settings, timeout);
    });
}

}  // namespace

void addVerifyCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<VerifyOptions>();
    CLI::App* command = app.add_subcommand(
        "verify",
        "Read the collectors' parameters back and compare them with a profile file, value by "
        "value (configuration only unless the include flags ask for more).");
    addPorts(command, options->ports,
             std::string(kPortHelp) + "; give --port once per collector to serve several at once")
        ->required();
    addIncludeFlags(command, options->include);
    addTimeout(command, options->timeoutMs);
    addLog(command, options->log);
    addJson(command, options->json, "print one JSON object per port, one per line");
    command->footer(std::string(kExitCodesHelp) + kSeveralPortsHelp);
    command->add_option("FILE", options->file, "the profile file to compare with")->required();
    command->callback([options, &exitCode] { exitCode = verifyProfile(*options); });
}

}  // namespace kvcli
