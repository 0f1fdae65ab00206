// kv480t reset --port PORT --yes [--json] [--timeout-ms N] [--log FILE]: parameter
// initialization, every setting back to its factory value; refused without --yes before the
// port is opened.
#include <iostream>
#include <memory>
#include <string>

#include "cli/Collector.h"
#include "cli/Options.h"
#include "cli/Text.h"
#include "cli/commands/Commands.h"

namespace kvcli {

namespace {

struct ResetOptions {
    std::string port;
    int timeoutMs = kDefaultTimeoutMs;
    bool json = false;
    std::string log;
    bool yes = false;
};

int reset(const ResetOptions& options) {
    if (!options.yes) {
        std::cerr << "kv480t: reset sets every parameter of the collector to its factory "
                     "value; add --yes to do it\n";
        return kExitUsage;
    }
    return withCollector(options.port, options.log, [&](kvclient::Client& client) {
        return printAnswer(client, kvops::kReset, options.timeoutMs, options.json);
    });
}

}  // namespace

void addResetCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<ResetOptions>();
    CLI::App* command = app.add_subcommand(
        "reset", "Parameter initialization: reset every setting to its factory value.");
    addPort(command, options->port);
    addTimeout(command, options->timeoutMs);
    addJson(command, options->json, "print the result as JSON");
    addLog(command, options->log);
    command->footer(kExitCodesHelp);
    command->add_flag("--yes", options->yes, "confirm the reset to factory values");
    command->callback([options, &exitCode] { exitCode = reset(*options); });
}

}  // namespace kvcli
