// kv480t history [--station S] [--port P] [--serial SERIAL] [--since DATE] [--limit N] [--json]
// [--history FILE]: the entries of the history, oldest first, one per line;
// kv480t history show ID [--json]: one entry whole;
// kv480t history export FILE / import FILE: the history as JSON Lines, to move it between
// machines (importing twice adds nothing: entries keep their ids).
#include <iomanip>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "cli/History.h"
#include "cli/Options.h"
#include "cli/Text.h"
#include "cli/commands/Commands.h"
#include "history/Store.h"

namespace kvcli {

namespace {

struct ListOptions {
    std::string station, port, serial, since;
    std::size_t limit = 0;
    bool json = false;
};

// "read", "before apply", "apply".
std::string whatText(const kvops::HistoryEntry& entry) {
    if (entry.kind == kvops::EntryKind::Before) return "before " + entry.what;
    return entry.what;
}

int listEntries(const ListOptions& options) {
    kvhistory::Store::Filter filter;
    filter.station = options.station;
    filter.port = options.port;
    filter.adapterSerial = options.serial;
    filter.limit = options.limit;
    if (!options.since.empty()) {
        const std::optional<std::int64_t> since = parseSince(options.since);
        if (!since) {
            std::cerr << "kv480t: --since " << printable(options.since)
                      << ": not a date (give YYYY-MM-DD or YYYY-MM-DD HH:MM, local time; a "
                         "final Z for UTC)\n";
            return kExitUsage;
        }
        filter.sinceMs = *since;
    }
    const std::unique_ptr<kvhistory::Store> store = openHistoryForCommand();
    if (!store) return kExitHistory;
    kvops::Error error;
    const std::vector<kvops::HistoryEntry> entries = store->list(filter, error);
    if (error) {
        std::cerr << "kv480t: " << kvops::describe(error) << '\n';
        return kExitHistory;
    }
    if (options.json) {
        std::cout << "[";
        for (std::size_t i = 0; i < entries.size(); ++i)
            std::cout << (i ? ",\n " : "\n ") << kvhistory::entryJson(entries[i]);
        std::cout << (entries.empty() ? "]\n" : "\n]\n");
        return kExitDone;
    }
    std::ostringstream out;
    out << std::left << std::setw(6) << "ID" << std::setw(21) << "TIME" << std::setw(26) << "WHAT"
        << std::setw(22) << "PORT" << std::setw(9) << "STATION" << std::setw(14) << "OPERATOR"
        << "RESULT\n";
    for (const kvops::HistoryEntry& e : entries)
        out << std::left << std::setw(6) << e.id << std::setw(21) << localTimeText(e.timeMs)
            << std::setw(26) << printable(whatText(e)) << std::setw(22) << printable(e.port)
            << std::setw(9) << (e.station.empty() ? "-" : e.station) << std::setw(14)
            << printable(e.operatorName) << e.result << '\n';
    std::cout << out.str();
    if (entries.empty()) std::cerr << "kv480t: no history entries\n";
    return kExitDone;
}

void printSettings(std::ostream& out, const kvproto::CollectorSettings& settings) {
    for (const auto& [parameter, value] : settings.entries())
        out << "  " << parameter->name << " = " << printable(value) << '\n';
}

int showEntry(std::int64_t id, bool json) {
    const std::unique_ptr<kvhistory::Store> store = openHistoryForCommand();
    if (!store) return kExitHistory;
    kvops::Error error;
    const std::optional<kvops::HistoryEntry> entry = store->get(id, error);
    if (error) {
        std::cerr << "kv480t: " << kvops::describe(error) << '\n';
        return kExitHistory;
    }
    if (!entry) {
        std::cerr << "kv480t: no history entry " << id << " (kv480t history lists them)\n";
        return kExitUsage;
    }
    if (json) {
        std::cout << kvhistory::entryJson(*entry) << '\n';
        return kExitDone;
    }
    const kvops::HistoryEntry& e = *entry;
    std::ostringstream out;
    out << "entry " << e.id << ": " << kvops::kindWord(e.kind) << " (" << printable(e.what)
        << ")\n";
    out << "time: " << localTimeText(e.timeMs) << '\n';
    out << "port: " << printable(e.port) << '\n';
    if (!e.adapterSerial.empty()) out << "adapter serial: " << printable(e.adapterSerial) << '\n';
    out << "station: " << (e.station.empty() ? "unknown" : e.station) << '\n';
    out << "operator: " << printable(e.operatorName) << '\n';
    out << "tool: " << printable(e.tool) << '\n';
    if (!e.result.empty()) out << "result: " << e.result << '\n';
    if (e.before != 0)
        out << (e.kind == kvops::EntryKind::Write ? "before: entry " : "from: entry ") << e.before
            << '\n';
    if (!e.note.empty()) out << "note: " << printable(e.note) << '\n';
    if (!e.values.empty()) {
        out << (e.kind == kvops::EntryKind::Write ? "written:\n" : "values:\n");
        printSettings(out, e.values);
    }
    for (const kvops::SentFrame& frame : e.frames)
        out << "sent: " << printableAnswer(frame.frame) << '\n'
            << "  " << (frame.answer ? "answered: " + printableAnswer(*frame.answer) : "no answer")
            << '\n';
    if (e.kind == kvops::EntryKind::Write && !e.readBack.empty()) {
        out << "read back:\n";
        printSettings(out, e.readBack);
    }
    std::cout << out.str();
    return kExitDone;
}

int exportHistory(const std::string& file) {
    const std::unique_ptr<kvhistory::Store> store = openHistoryForCommand();
    if (!store) return kExitHistory;
    if (const kvops::Error error = store->exportTo(file)) {
        std::cerr << "kv480t: " << kvops::describe(error) << '\n';
        return kExitHistory;
    }
    kvops::Error error;
    const std::size_t count = store->list({}, error).size();
    std::cout << "exported " << count << " entries to " << printable(file) << '\n';
    return kExitDone;
}

int importHistory(const std::string& file) {
    const std::unique_ptr<kvhistory::Store> store = openHistoryForCommand();
    if (!store) return kExitHistory;
    const kvhistory::Store::ImportResult result = store->importFrom(file);
    if (result.error) {
        std::cerr << "kv480t: " << kvops::describe(result.error) << " (nothing imported)\n";
        return result.error.code == kvops::ErrorCode::BadRequest ? kExitUsage : kExitHistory;
    }
    std::cout << "imported " << result.added << " entries from " << printable(file) << " ("
              << result.present << " already here, " << result.renumbered
              << " given a new id)\n";
    return kExitDone;
}

}  // namespace

void addHistoryCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<ListOptions>();
    CLI::App* command = app.add_subcommand(
        "history",
        "List the history: every listing read from a collector and every write to one, with "
        "the state before it, oldest first (kv480t history show ID shows one whole).");
    command->add_option("--station", options->station, "only this station address");
    command->add_option("--port", options->port, "only this port (as it was given)");
    command->add_option("--serial", options->serial, "only this adapter's USB serial number");
    command->add_option("--since", options->since,
                        "only from this time on: YYYY-MM-DD or \"YYYY-MM-DD HH:MM\" (local "
                        "time; a final Z for UTC)");
    command->add_option("--limit", options->limit, "only the newest N entries");
    addJson(command, options->json, "print a JSON array of the entries (without their values)");
    addHistoryOptions(command, false);
    command->footer(kExitCodesHelp);
    command->require_subcommand(0, 1);

    auto id = std::make_shared<std::int64_t>(0);
    auto showJson = std::make_shared<bool>(false);
    CLI::App* show = command->add_subcommand("show", "Show one history entry whole.");
    show->add_option("ID", *id, "the entry's id (kv480t history lists them)")->required();
    addJson(show, *showJson, "print the entry as one JSON object");
    addHistoryOptions(show, false);
    show->footer(kExitCodesHelp);
    show->callback([id, showJson, &exitCode] { exitCode = showEntry(*id, *showJson); });

    auto file = std::make_shared<std::string>();
    CLI::App* exporting = command->add_subcommand(
        "export", "Write the whole history to FILE as JSON Lines (replaced whole or not at all).");
    exporting->add_option("FILE", *file, "the file to write")->required();
    addHistoryOptions(exporting, false);
    exporting->footer(kExitCodesHelp);
    exporting->callback([file, &exitCode] { exitCode = exportHistory(*file); });

    CLI::App* importing = command->add_subcommand(
        "import",
        "Add the entries of an exported FILE to this history. Entries already here are "
        "skipped (importing twice adds nothing); a bad line imports nothing.");
    importing->add_option("FILE", *file, "the exported file")->required();
    addHistoryOptions(importing, false);
    importing->footer(kExitCodesHelp);
    importing->callback([file, &exitCode] { exitCode = importHistory(*file); });

    command->callback([command, options, &exitCode] {
        if (!command->get_subcommands().empty()) return;  // show, export, import ran
        exitCode = listEntries(*options);
    });
}

}  // namespace kvcli
