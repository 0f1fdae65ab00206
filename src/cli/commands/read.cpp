// kv480t read --port PORT [--json] [--timeout-ms N] [--log FILE]: every parameter the
// collector's listing reports, "name = value" per line (--json: one object), the counter
// bases included when the listing has them.
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/Collector.h"
#include "cli/Options.h"
#include "cli/Text.h"
#include "cli/commands/Commands.h"

namespace kvcli {

namespace {

int readParameters(kvclient::Client& client, const CollectorOptions& options) {
    const kvclient::ReadResult read = client.readParameters(kvclient::Millis{options.timeoutMs});
    if (read.error()) return reportFailure(options.port, read.error());
    if (options.json) {
        nlohmann::ordered_json out = nlohmann::ordered_json::object();
        for (const auto& [parameter, value] : read.listing.settings.entries())
            out[std::string(parameter->name)] = latin1ToUtf8(value);
        std::cout << out.dump(2) << '\n';
    } else {
        for (const auto& [parameter, value] : read.listing.settings.entries())
            std::cout << parameter->name << " = " << printable(value) << '\n';
    }
    return kExitDone;
}

}  // namespace

void addReadCommand(CLI::App& app, int& exitCode) {
    addCollectorCommand(app, "read", "Read the collector's parameters and print them by name.",
                        exitCode, [](const CollectorOptions& options) {
                            return withCollector(options.port, options.log,
                                                 [&](kvclient::Client& client) {
                                                     return readParameters(client, options);
                                                 });
                        });
}

}  // namespace kvcli
