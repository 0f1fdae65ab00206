// kv480t reset --port PORT --yes [--json] [--timeout-ms N] [--log FILE]: parameter
// initialization, every setting back to its factory value; refused without --yes before the
// port is opened.
#include <iostream>
#include <memory>
#include <string>

#include "cli/Collector.h"
#include "cli/Options.h"
#include "cli/Text.h"
#include "client/Operations.h"
#include "cli/commands/Commands.h"

namespace kvcli {

namespace {

int reset(const CollectorOptions& options, bool yes) {
    if (!yes) {
        std::cerr << "kv480t: reset sets every parameter of the collector to its factory "
                     "value; add --yes to do it\n";
        return kExitUsage;
    }
    return withCollector(options.port, options.log, [&](kvclient::Client& client) {
        const kvclient::ResetResult reset =
            kvclient::resetCollector(client, kvclient::Millis{options.timeoutMs});
        if (reset.error)
            return reportFailure(options.port, reset.error, reset.step + ": ");
        return printOutcome(client, reset.outcome, options.json);
    });
}

}  // namespace

void addResetCommand(CLI::App& app, int& exitCode) {
    auto yes = std::make_shared<bool>(false);
    CLI::App* command = addCollectorCommand(
        app, "reset", "Parameter initialization: reset every setting to its factory value.",
        exitCode, [yes](const CollectorOptions& options) { return reset(options, *yes); });
    command->add_flag("--yes", *yes, "confirm the reset to factory values");
}

}  // namespace kvcli
