// kv480t query --port PORT [--json] [--timeout-ms N] [--log FILE]: the data query, the
// collector's live readings printed.
#include "cli/Collector.h"
#include "cli/commands/Commands.h"

namespace kvcli {

void addQueryCommand(CLI::App& app, int& exitCode) {
    addCollectorCommand(
        app, "query", "Data query: print the collector's live readings.", exitCode,
        [](const CollectorOptions& options) {
            return withCollector(options.port, options.log, [&](kvclient::Client& client) {
                return printAnswer(client, kvops::kDataQuery, options.timeoutMs, options.json);
            });
        });
}

}  // namespace kvcli
