// kv480t test --port PORT [--json] [--timeout-ms N] [--log FILE]: the communication test,
// the collector's answer printed.
#include "cli/Collector.h"
#include "cli/commands/Commands.h"

namespace kvcli {

void addTestCommand(CLI::App& app, int& exitCode) {
    addCollectorCommand(app, "test", "Communication test: print the collector's answer.", exitCode,
                        [](const CollectorOptions& options) {
                            return withCollector(
                                options.port, options.log, [&](kvclient::Client& client) {
                                    return printAnswer(client, kvops::kCommunicationTest,
                                                       options.timeoutMs, options.json);
                                });
                        });
}

}  // namespace kvcli
