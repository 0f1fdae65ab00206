// kv480t restore ID --port PORT [--include-station] [--include-counters] [--json]
// [--timeout-ms N] [--log FILE]: a recorded state of the history written back to the
// collector, then read back and verified. Only the set commands one of whose values differs
// from what the collector holds are written; the restore is recorded as any write, so it can be
// restored away in turn.
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "cli/Collector.h"
#include "cli/History.h"
#include "cli/Options.h"
#include "cli/Profiles.h"
#include "cli/Text.h"
#include "cli/commands/Commands.h"
#include "client/Operations.h"
#include "history/Store.h"
#include "ops/LineHistory.h"

namespace kvcli {

namespace {

struct RestoreOptions {
    std::int64_t id = 0;
    std::string port;
    kvproto::Include include;
    int timeoutMs = kDefaultTimeoutMs;
    std::string log;
    bool json = false;
};

int restore(const RestoreOptions& options) {
    kvproto::CollectorSettings state;
    {
        // Closed again before the write: the run's journal opens the file itself.
        const std::unique_ptr<kvhistory::Store> store = openHistoryForCommand();
        if (!store) return kExitHistory;
        kvops::Error error;
        const std::optional<kvops::HistoryEntry> entry = store->get(options.id, error);
        if (error) {
            std::cerr << "kv480t: " << kvops::describe(error) << '\n';
            return kExitHistory;
        }
        if (!entry) {
            std::cerr << "kv480t: no history entry " << options.id
                      << " (kv480t history lists them)\n";
            return kExitUsage;
        }
        const kvproto::CollectorSettings* recorded = kvops::recordedState(*entry);
        if (!recorded) {
            std::cerr << "kv480t: history entry " << options.id
                      << " holds no state of the collector to restore\n";
            return kExitUsage;
        }
        state = *recorded;
    }
    for (const auto& [parameter, value] : state.entries()) {
        if (kvproto::included(*parameter, options.include)) continue;
        std::cerr << "kv480t: entry " << options.id << ": " << parameter->name
                  << " left out (add "
                  << (parameter->kind == kvproto::ParameterKind::Identity ? "--include-station"
                                                                          : "--include-counters")
                  << " to restore it)\n";
    }
    return serveCollectors({options.port}, options.log, options.json,
                           [&](kvclient::Client& client) {
                               return kvclient::restoreSettings(
                                   client, state, options.include,
                                   kvclient::Millis{options.timeoutMs});
                           });
}

}  // namespace

void addRestoreCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<RestoreOptions>();
    CLI::App* command = app.add_subcommand(
        "restore",
        "Write a recorded state back (kv480t history lists them: a listing or a before "
        "entry's values, a write's read-back), only what differs from what the collector "
        "holds, then read back and verify. Station address and counter bases only with their "
        "include flags. The restore is recorded: restoring its before entry undoes it.");
    command->add_option("ID", options->id, "the history entry whose state to write back")
        ->required();
    addPort(command, options->port);
    addIncludeFlags(command, options->include);
    addTimeout(command, options->timeoutMs);
    addLog(command, options->log);
    addJson(command, options->json, "print the outcome as one JSON object");
    addHistoryOptions(command);
    command->footer(kExitCodesHelp);
    command->callback([options, &exitCode] { exitCode = restore(*options); });
}

}  // namespace kvcli
