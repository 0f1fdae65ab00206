// kv480t's history: which database (--history FILE, else the user's own), or none
// (--no-history), who records (--operator, else the account's name), and the journal every
// Client of the run records into (attachHistory). The database is opened at the first use;
// one that cannot be (a newer version's, not a database, no access) is said once on stderr,
// and the run goes on without history. Several port threads share the one journal: it
// commits one entry at a time.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "client/Client.h"
#include "history/Store.h"

namespace kvcli {

struct HistoryOptions {
    std::string file;  // --history FILE; empty: the user's own
    bool off = false;  // --no-history
    std::string operatorName;
};
HistoryOptions& historyOptions();

// --history FILE, --no-history and (`withOperator`) --operator NAME.
void addHistoryOptions(CLI::App* command, bool withOperator = true);

// The client records into the run's history (nothing when it is off or cannot be opened).
// Before the port is opened.
void attachHistory(kvclient::Client& client);

// The history file this run uses: --history's, else the user's own ("" when none is known).
std::string historyPath();

// The history commands' own store: none, said on stderr, when it cannot be opened (the exit
// code is then kExitHistory).
std::unique_ptr<kvhistory::Store> openHistoryForCommand();

// "--since" as given: "YYYY-MM-DD", "YYYY-MM-DD HH:MM[:SS]" or with "T" between, in local
// time, or UTC with a final "Z". Milliseconds since 1970; none when it is no such time.
std::optional<std::int64_t> parseSince(const std::string& text);

// A moment as the history shows it: local time, "2026-12-09 14:03:07".
std::string localTimeText(std::int64_t ms);

}  // namespace kvcli
