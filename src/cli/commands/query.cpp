// kv480t query --port PORT [--json] [--timeout-ms N] [--log FILE]: the data query, the
// collector's live readings printed.
#include <memory>
#include <string>

#include "cli/Collector.h"
#include "cli/Options.h"
#include "cli/Text.h"
#include "cli/commands/Commands.h"

namespace kvcli {

namespace {

struct QueryOptions {
    std::string port;
    int timeoutMs = kDefaultTimeoutMs;
    bool json = false;
    std::string log;
};

}  // namespace

void addQueryCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<QueryOptions>();
    CLI::App* command =
        app.add_subcommand("query", "Data query: print the collector's live readings.");
    addPort(command, options->port);
    addTimeout(command, options->timeoutMs);
    addJson(command, options->json, "print the result as JSON");
    addLog(command, options->log);
    command->footer(kExitCodesHelp);
    command->callback([options, &exitCode] {
        exitCode = withCollector(options->port, options->log, [&](kvclient::Client& client) {
            return printAnswer(client, kvops::kDataQuery, options->timeoutMs, options->json);
        });
    });
}

}  // namespace kvcli
