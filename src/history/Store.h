// kvhistory::Store: the history (ops/History.h) in a SQLite database file, one per user
// (Paths.h), shared by every kv480t and window of that user at once.
//
// Every entry is committed before the call that adds it returns (write-ahead log, full sync:
// a commit that returned survives a crash or a pulled plug). Another process writing at the
// same moment is waited for (up to a minute), never an entry dropped.
//
// The schema is versioned (PRAGMA user_version): an older database is upgraded in place when
// opened, all at once or not at all; a newer one is refused and left as it is.
//
// Export and import: JSON Lines, one entry per line (entryJson()). The collector's bytes
// (listing, frames and answers) are Latin-1: each byte is the code point of the same number in
// the JSON text, and back on reading. The other texts are UTF-8 (invalid bytes replaced).
//
// Errors: kvops::ErrorCode::HistoryFailed, the text names the database or file and says why;
// systemError is SQLite's extended result code (systemSource None) or the system's number
// where there is one (systemSource Errno on POSIX, Win32 on Windows).
//
// One thread at a time: a Store belongs to the thread that uses it (ThreadedJournal gives the
// window one on a thread of its own). No GUI toolkit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "ops/Error.h"
#include "ops/History.h"

struct sqlite3;
struct sqlite3_stmt;

namespace kvhistory {

class Store : public kvops::Journal {
public:
    // The schema this tool writes (and the newest it reads).
    static constexpr int kSchemaVersion = 2;

    // Opens the database at `path` (UTF-8), creating its folders (0700 on POSIX) and the file
    // (0600 on POSIX) when missing, and upgrading an older schema. Null and `error` when the
    // database cannot be used: a newer schema, a file that is not a database, no access.
    static std::unique_ptr<Store> open(const std::string& path, kvops::Error& error);
    // Tests: creates a database at `path` with the schema of `version` (1..kSchemaVersion),
    // through the same upgrade steps that open() takes.
    static kvops::Error createAtVersion(const std::string& path, int version);

    ~Store() override;
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    const std::string& path() const { return path_; }

    // add(), then done(id, error) before returning.
    void record(kvops::HistoryEntry entry, Done done) override;

    // Commits the entry in a transaction of its own. Fills in an empty uid (128 random bits as
    // 32 lowercase hex digits) and a zero time (now); a station of digits only loses its
    // leading zeros ("012" -> "12"). Sets entry.id and entry.uid and returns the id; 0 and
    // `error` when the entry could not be kept. entry.id is ignored: the store numbers.
    std::int64_t add(kvops::HistoryEntry& entry, kvops::Error& error);
    // add() for each of them in one transaction: all kept, or none (ids then 0).
    bool addMany(std::vector<kvops::HistoryEntry>& entries, kvops::Error& error);

    // Which entries list() gives: an empty text or 0 is any.
    struct Filter {
        std::string station;  // "017" and "17" are the same station
        std::string port;
        std::string adapterSerial;
        std::int64_t sinceMs = 0;  // at this time or later
        std::size_t limit = 0;     // the newest `limit` of them; 0: all
    };
    // The entries in time order (then id), oldest first. The rows leave out the heavy parts:
    // values, listing, frames and readBack are empty (get() gives the whole entry); every other
    // field is there, note included.
    std::vector<kvops::HistoryEntry> list(const Filter& filter, kvops::Error& error);
    // The whole entry; none when there is no such id (error empty) or on error.
    std::optional<kvops::HistoryEntry> get(std::int64_t id, kvops::Error& error);

    // Every entry as JSON Lines in id order, the file written whole or not at all.
    kvops::Error exportTo(const std::string& path);

    struct ImportResult {
        std::size_t added = 0;       // new entries
        std::size_t present = 0;     // skipped: an entry with the same uid is already here
        std::size_t renumbered = 0;  // of the added: their id was taken here, a new one given
        kvops::Error error;          // then nothing was imported
    };
    // Reads an exported file whole; any bad line is an error naming the line and nothing is
    // imported. Then, in one transaction: an entry whose uid is here is skipped; a new one keeps
    // its id where that id is free, else gets the next free one, and the `before` of the
    // imported entries follow them.
    ImportResult importFrom(const std::string& path);

    // SQLite's integrity check: "ok", or what it found.
    std::string integrityCheck();

private:
    Store(std::string path, sqlite3* db);
    bool insert(kvops::HistoryEntry& entry, bool keepId, kvops::Error& error);
    kvops::Error fail(std::string_view what, int code) const;
    kvops::Error exec(const char* sql);
    std::string makeUid();

    std::string path_;
    sqlite3* db_ = nullptr;
    sqlite3_stmt* insert_ = nullptr;  // prepared once
    std::mt19937_64 random_;
};

// The entry as one line of JSON (no line break at the end), as exportTo() writes it:
// {"id","uid","time" (ISO 8601 UTC with ms),"time_ms","kind","what","port","adapter_serial",
//  "station","operator","tool","result","before","values":{name:value in the parameter table's
//  order},"listing","frames":[{"frame","answer" (null: none)}],"read_back":{...},"note"}.
std::string entryJson(const kvops::HistoryEntry& entry);
// One line of that form back into `entry`: "" when it is one, else what is wrong with it
// ("\"kind\": unknown kind \"lists\"", "values.ad5.urv: unknown parameter name", ...).
std::string parseEntryLine(std::string_view line, kvops::HistoryEntry& entry);

}  // namespace kvhistory
