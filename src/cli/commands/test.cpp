// kv480t test --port PORT [--json] [--timeout-ms N] [--log FILE]: the communication test,
// the collector's answer printed.
#include <memory>
#include <string>

#include "cli/Collector.h"
#include "cli/Options.h"
#include "cli/Text.h"
#include "cli/commands/Commands.h"

namespace kvcli {

namespace {

struct TestOptions {
    std::string port;
    int timeoutMs = kDefaultTimeoutMs;
    bool json = false;
    std::string log;
};

}  // namespace

void addTestCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<TestOptions>();
    CLI::App* command =
        app.add_subcommand("test", "Communication test: print the collector's answer.");
    addPort(command, options->port);
    addTimeout(command, options->timeoutMs);
    addJson(command, options->json, "print the result as JSON");
    addLog(command, options->log);
    command->footer(kExitCodesHelp);
    command->callback([options, &exitCode] {
        exitCode = withCollector(options->port, options->log, [&](kvclient::Client& client) {
            return printAnswer(client, kvops::kCommunicationTest, options->timeoutMs,
                               options->json);
        });
    });
}

}  // namespace kvcli
