// kv480t diff ID [ID2 | --port PORT] [--json]: two recorded states of the history compared
// (a listing's or a before's values, a write's read-back), or a recorded state with what the
// collector on PORT holds now (read, and recorded as any listing), by the comparison verify
// makes. Exit 0 when they hold the same values, 1 when they differ.
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "cli/Collector.h"
#include "cli/History.h"
#include "cli/Options.h"
#include "cli/Text.h"
#include "cli/commands/Commands.h"
#include "history/Store.h"
#include "ops/LineHistory.h"
#include "ops/Operations.h"

namespace kvcli {

namespace {

struct DiffOptions {
    std::vector<std::int64_t> ids;
    std::string port;
    int timeoutMs = kDefaultTimeoutMs;
    std::string log;
    bool json = false;
};

// The state entry `id` holds; none, said on stderr, when there is none (`code` then says the
// exit code).
std::optional<kvproto::CollectorSettings> stateOf(kvhistory::Store& store, std::int64_t id,
                                                  int& code) {
    kvops::Error error;
    const std::optional<kvops::HistoryEntry> entry = store.get(id, error);
    if (error) {
        std::cerr << "kv480t: " << kvops::describe(error) << '\n';
        code = kExitHistory;
        return std::nullopt;
    }
    if (!entry) {
        std::cerr << "kv480t: no history entry " << id << " (kv480t history lists them)\n";
        code = kExitUsage;
        return std::nullopt;
    }
    const kvproto::CollectorSettings* state = kvops::recordedState(*entry);
    if (!state) {
        std::cerr << "kv480t: history entry " << id << " holds no state of the collector ("
                  << (entry->kind == kvops::EntryKind::Write ? "a write that read nothing back"
                                                             : "no listing was read")
                  << ")\n";
        code = kExitUsage;
        return std::nullopt;
    }
    return *state;
}

int printDiff(const kvproto::CollectorSettings& from, const kvproto::CollectorSettings& to,
              const std::string& fromName, const std::string& toName, bool json) {
    const std::vector<kvproto::Difference> differences = kvops::compare(from, to);
    if (json) {
        nlohmann::ordered_json out;
        out["from"] = fromName;
        out["to"] = toName;
        out["differences"] = nlohmann::ordered_json::array();
        for (const kvproto::Difference& d : differences)
            out["differences"].push_back({{"name", std::string(d.parameter->name)},
                                          {"from", latin1ToUtf8(d.expected)},
                                          {"to", d.actual ? nlohmann::ordered_json(
                                                                latin1ToUtf8(*d.actual))
                                                          : nlohmann::ordered_json()}});
        std::cout << out.dump(2) << '\n';
    } else if (differences.empty()) {
        std::cout << "the same: all " << kvops::comparedCount(from) << " values of " << fromName
                  << " are held by " << toName << '\n';
    } else {
        std::cout << differences.size() << " differ (" << fromName << " -> " << toName << "):\n";
        for (const kvproto::Difference& d : differences)
            std::cout << "  " << d.parameter->name << "  " << printable(d.expected) << " -> "
                      << (d.actual ? printable(*d.actual) : std::string("not reported")) << '\n';
    }
    return differences.empty() ? kExitDone : kExitDiffers;
}

int diff(const DiffOptions& options) {
    if (options.ids.size() == 2 && !options.port.empty()) {
        std::cerr << "kv480t: diff compares ID with ID2 or with --port, not both\n";
        return kExitUsage;
    }
    if (options.ids.size() == 1 && options.port.empty()) {
        std::cerr << "kv480t: diff needs a second entry (ID2) or the collector (--port PORT)\n";
        return kExitUsage;
    }
    const std::unique_ptr<kvhistory::Store> store = openHistoryForCommand();
    if (!store) return kExitHistory;
    int code = kExitDone;
    const std::optional<kvproto::CollectorSettings> from = stateOf(*store, options.ids[0], code);
    if (!from) return code;
    const std::string fromName = "entry " + std::to_string(options.ids[0]);
    if (options.ids.size() == 2) {
        const std::optional<kvproto::CollectorSettings> to = stateOf(*store, options.ids[1], code);
        if (!to) return code;
        return printDiff(*from, *to, fromName, "entry " + std::to_string(options.ids[1]),
                         options.json);
    }
    return withCollector(options.port, options.log, [&](kvclient::Client& client) {
        const kvclient::ReadResult read = client.readParameters(kvclient::Millis{options.timeoutMs});
        if (read.error()) return reportFailure(options.port, read.error());
        return printDiff(*from, read.listing.settings, fromName, "the collector on " + options.port,
                         options.json);
    });
}

}  // namespace

void addDiffCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<DiffOptions>();
    CLI::App* command = app.add_subcommand(
        "diff",
        "Compare a recorded state (kv480t history lists them: a listing or a before entry's "
        "values, a write's read-back) with another (ID2) or with what the collector on --port "
        "holds now, as verify compares.");
    command->add_option("ID", options->ids, "the entry, then optionally the entry to compare with")
        ->required()
        ->expected(1, 2);
    addPort(command, options->port)->required(false);
    addTimeout(command, options->timeoutMs);
    addLog(command, options->log);
    addJson(command, options->json, "print the differences as JSON");
    addHistoryOptions(command);
    command->footer(kExitCodesHelp);
    command->callback([options, &exitCode] { exitCode = diff(*options); });
}

}  // namespace kvcli
