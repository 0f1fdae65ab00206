// The history store: what a commit that returned keeps (killed writers, writers side by
// side), schema upgrades and refusals, file modes, export and import, the threaded journal and
// the list filters.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "FolderSnapshot.h"
#include "WriterEntry.h"
#include "history/Paths.h"
#include "history/Store.h"
#include "history/ThreadedJournal.h"

#if !defined(_WIN32)
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace {

namespace fs = std::filesystem;
using kvhistory::Store;
using kvops::EntryKind;
using kvops::HistoryEntry;

std::unique_ptr<Store> openStore(const fs::path& path) {
    kvops::Error error;
    auto store = Store::open(path.string(), error);
    EXPECT_TRUE(store) << error.text;
    return store;
}

// SQL straight on the database file, for what the store does not show.
std::vector<std::string> sqlColumn(const fs::path& path, const std::string& sql, int column = 0) {
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(path.string().c_str(), &db), SQLITE_OK);
    sqlite3_stmt* stmt = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db);
    std::vector<std::string> out;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        const auto* text = sqlite3_column_text(stmt, column);
        out.push_back(text ? reinterpret_cast<const char*>(text) : "");
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return out;
}

// A listing, a before and a write with every field set, the collector's bytes all 256 of them.
std::vector<HistoryEntry> sampleEntries() {
    HistoryEntry listing;
    listing.timeMs = 1'765'274'400'123;
    listing.what = "read";
    listing.port = "/dev/ttyUSB0";
    listing.adapterSerial = "FT1";
    listing.station = "017";
    listing.operatorName = "Jörg Ørsted";
    listing.tool = "kv480t 1.2.0";
    for (int b = 0; b < 256; ++b) listing.listing += static_cast<char>(b);
    EXPECT_FALSE(listing.values.set("rs485.baud", "19200"));
    EXPECT_FALSE(listing.values.set("ad1.urv", "000100"));
    HistoryEntry before = listing;
    before.kind = EntryKind::Before;
    before.what = "apply";
    before.note = "no listing was read since the port was opened";
    HistoryEntry write = before;
    write.kind = EntryKind::Write;
    write.result = "differences";
    write.frames = {{"\x02ST017\xb5\r\n", std::string("\x06\x80\xff")},
                    {"\x02"
                     "BD9\r\n",
                     std::nullopt}};
    EXPECT_FALSE(write.readBack.set("rs485.baud", "9600"));
    write.note = "rs485.baud: 9600, not 19200";
    return {listing, before, write};
}

// --- What a returned commit keeps --------------------------------------------------------

#if !defined(_WIN32)

struct Writer {
    pid_t pid = -1;
    FILE* out = nullptr;  // its standard output
};

Writer startWriter(const fs::path& db, const std::string& tag, long count = 0) {
    int pipeFds[2];
    EXPECT_EQ(pipe(pipeFds), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
    std::string program = HISTORY_WRITER, path = db.string(), tagArg = tag,
                countArg = std::to_string(count);
    char* argv[] = {program.data(), path.data(), tagArg.data(), countArg.data(), nullptr};
    Writer writer;
    EXPECT_EQ(posix_spawn(&writer.pid, argv[0], &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    writer.out = fdopen(pipeFds[0], "r");
    return writer;
}

// Reads one complete "ID NUMBER" line; false at the end.
bool readCommitted(Writer& writer, std::vector<std::pair<std::int64_t, long>>& committed) {
    char line[64];
    if (!std::fgets(line, sizeof line, writer.out)) return false;
    long long id = 0;
    long number = 0;
    if (std::strchr(line, '\n') && std::sscanf(line, "%lld %ld", &id, &number) == 2)
        committed.emplace_back(id, number);
    return true;
}

TEST(HistoryStore, EveryCommitAWriterReportedSurvivesItsKill) {
    kvtest::TestFolder folder("history");
    const fs::path db = folder.path() / "history.db";
    std::mt19937 random(std::random_device{}());
    std::vector<std::pair<std::string, std::vector<std::pair<std::int64_t, long>>>> runs;
    for (int run = 0; run < 100; ++run) {
        const std::string tag = "run " + std::to_string(run);
        Writer writer = startWriter(db, tag);
        std::vector<std::pair<std::int64_t, long>> committed;
        if (run % 2 == 0) {
            for (int n = std::uniform_int_distribution(0, 4)(random); n > 0; --n)
                if (!readCommitted(writer, committed)) break;
        } else {
            usleep(std::uniform_int_distribution(0, 30'000)(random));
        }
        kill(writer.pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(writer.pid, &status, 0), writer.pid);
        ASSERT_TRUE(WIFSIGNALED(status)) << tag << ": the writer ended before the kill";
        while (readCommitted(writer, committed)) {
        }
        fclose(writer.out);
        runs.emplace_back(tag, std::move(committed));
    }
    auto store = openStore(db);
    ASSERT_TRUE(store);
    EXPECT_EQ(store->integrityCheck(), "ok");
    std::size_t total = 0;
    for (const auto& [tag, committed] : runs) {
        for (const auto& [id, number] : committed) {
            kvops::Error error;
            const auto entry = store->get(id, error);
            ASSERT_TRUE(entry) << tag << ": entry " << id << " lost " << error.text;
            HistoryEntry expected = kvtest::writerEntry(tag, number);
            expected.id = id;
            expected.uid = entry->uid;
            expected.timeMs = entry->timeMs;
            EXPECT_EQ(*entry, expected) << tag << ": entry " << id;
            ++total;
        }
    }
    EXPECT_GT(total, 50u) << "too few commits reported to prove anything";
}

TEST(HistoryStore, TwoProcessesWritingAtOnceKeepEveryEntry) {
    kvtest::TestFolder folder("history");
    const fs::path db = folder.path() / "history.db";
    constexpr long kEach = 40;
    Writer writers[] = {startWriter(db, "a", kEach), startWriter(db, "b", kEach)};
    std::set<std::int64_t> ids;
    for (Writer& writer : writers) {
        std::vector<std::pair<std::int64_t, long>> committed;
        while (readCommitted(writer, committed)) {
        }
        fclose(writer.out);
        int status = 0;
        ASSERT_EQ(waitpid(writer.pid, &status, 0), writer.pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        EXPECT_EQ(committed.size(), std::size_t{kEach});
        for (const auto& c : committed) ids.insert(c.first);
    }
    EXPECT_EQ(ids.size(), std::size_t{2 * kEach});
    kvops::Error error;
    EXPECT_EQ(openStore(db)->list({}, error).size(), std::size_t{2 * kEach}) << error.text;
}

TEST(HistoryStore, ANewFileIsTheUsersAloneAndAnExistingFileKeepsItsMode) {
    kvtest::TestFolder folder("history");
    const fs::path fresh = folder.path() / "new" / "deeper" / "history.db";
    openStore(fresh);
    struct stat info {};
    ASSERT_EQ(stat(fresh.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(stat(fresh.parent_path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    const fs::path existing = folder.path() / "shared.db";
    std::ofstream{existing};
    ASSERT_EQ(chmod(existing.c_str(), 0640), 0);
    openStore(existing);
    ASSERT_EQ(stat(existing.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST(HistoryPaths, TheDataFolderOrHomes) {
    const struct {
        const char *xdg, *home, *expected;
    } cases[] = {
        {"/data", "/home/u", "/data/kv480t-config/history.db"},
        {"relative", "/home/u", "/home/u/.local/share/kv480t-config/history.db"},
        {"", "/home/u", "/home/u/.local/share/kv480t-config/history.db"},
        {nullptr, "/home/u", "/home/u/.local/share/kv480t-config/history.db"},
        {nullptr, nullptr, ""},
    };
    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    for (const auto& c : cases) {
        c.xdg ? setenv("XDG_DATA_HOME", c.xdg, 1) : unsetenv("XDG_DATA_HOME");
        c.home ? setenv("HOME", c.home, 1) : unsetenv("HOME");
        EXPECT_EQ(kvhistory::defaultPath(), c.expected) << (c.xdg ? c.xdg : "(unset)");
    }
    unsetenv("XDG_DATA_HOME");
    setenv("HOME", savedHome.c_str(), 1);
}

#endif  // !_WIN32

// --- Schema --------------------------------------------------------------------------------

TEST(HistorySchema, AVersionOneDatabaseIsUpgradedInPlaceAndItsEntriesKept) {
    kvtest::TestFolder folder("history");
    const fs::path db = folder.path() / "old.db";
    ASSERT_FALSE(Store::createAtVersion(db.string(), 1));
    sqlColumn(db,
              "INSERT INTO entries (uid, time_ms, kind, what, port, station, operator, tool, "
              "result, before_id, body) VALUES ('u1', 1000, 'listing', 'read', 'COM4', '17', "
              "'op', 'kv480t 1.0.0', '', 0, '{\"values\":{\"rs485.baud\":\"9600\"},"
              "\"listing\":\"\",\"frames\":[],\"read_back\":{},\"note\":\"old\"}')");
    EXPECT_EQ(sqlColumn(db, "PRAGMA user_version"), std::vector<std::string>{"1"});

    auto store = openStore(db);
    ASSERT_TRUE(store);
    EXPECT_EQ(sqlColumn(db, "PRAGMA user_version"),
              std::vector<std::string>{std::to_string(Store::kSchemaVersion)});
    const auto columns = sqlColumn(db, "PRAGMA table_info(entries)", 1);
    EXPECT_NE(std::find(columns.begin(), columns.end(), "adapter_serial"), columns.end());
    for (const char* condition :
         {"station = '17'", "port = 'COM4'", "adapter_serial = 'FT1'", "time_ms >= 5"}) {
        const std::string plan = testing::PrintToString(
            sqlColumn(db,
                      std::string("EXPLAIN QUERY PLAN SELECT body FROM entries WHERE ") +
                          condition + " ORDER BY time_ms, id",
                      3));
        EXPECT_NE(plan.find("SEARCH entries USING INDEX"), std::string::npos) << plan;
        EXPECT_EQ(plan.find("TEMP B-TREE"), std::string::npos) << plan;
    }
    kvops::Error error;
    const auto listed = store->list({.station = "017"}, error);
    ASSERT_EQ(listed.size(), 1u) << error.text;
    EXPECT_EQ(listed[0].note, "old");
    EXPECT_EQ(store->get(listed[0].id, error)->values.get("rs485.baud"), "9600");
}

TEST(HistorySchema, ANewerDatabaseOrOtherFileIsRefusedAndLeftAsItWas) {
    kvtest::TestFolder folder("history");
    const fs::path newer = folder.path() / "newer.db";
    ASSERT_FALSE(Store::createAtVersion(newer.string(), Store::kSchemaVersion));
    sqlColumn(newer, "PRAGMA user_version=" + std::to_string(Store::kSchemaVersion + 1));
    const fs::path other = folder.path() / "notes.txt";
    std::ofstream(other) << std::string(40, 'x') << "\nnot a database, a note of some length\n";

    const struct {
        fs::path path;
        std::string expected;
    } cases[] = {
        {newer, newer.string() + ": written by a newer version of kv480t-config (history schema " +
                    std::to_string(Store::kSchemaVersion + 1) + "; this one reads up to " +
                    std::to_string(Store::kSchemaVersion) + ")"},
        {other, other.string() + ": not a history database (file is not a database)"},
    };
    for (const auto& c : cases) {
        const auto before = kvtest::folderSnapshot(folder.path());
        kvops::Error error;
        EXPECT_FALSE(Store::open(c.path.string(), error));
        EXPECT_EQ(error.code, kvops::ErrorCode::HistoryFailed);
        EXPECT_EQ(error.text, c.expected);
        EXPECT_EQ(kvtest::folderSnapshot(folder.path()), before) << c.path;
    }
}

// --- Export and import ---------------------------------------------------------------------

TEST(HistoryFile, ExportedEntriesImportEqualAndOnlyOnce) {
    kvtest::TestFolder folder("history");
    auto from = openStore(folder.path() / "a.db");
    std::vector<HistoryEntry> entries = sampleEntries();
    kvops::Error error;
    ASSERT_TRUE(from->addMany(entries, error)) << error.text;
    EXPECT_EQ(entries[0].station, "17");
    EXPECT_EQ(entries[0].uid.size(), 32u);
    const std::string file = (folder.path() / "history.jsonl").string();
    ASSERT_FALSE(from->exportTo(file));
    EXPECT_NE(kvtest::fileContents(file).find("\"time\":\"2025-12-09T10:00:00.123Z\""),
              std::string::npos);

    auto to = openStore(folder.path() / "b.db");
    const Store::ImportResult first = to->importFrom(file);
    ASSERT_FALSE(first.error) << first.error.text;
    EXPECT_EQ(first.added, entries.size());
    EXPECT_EQ(first.renumbered, 0u);
    for (const HistoryEntry& entry : entries) EXPECT_EQ(to->get(entry.id, error), entry);
    const Store::ImportResult again = to->importFrom(file);
    EXPECT_EQ(again.added, 0u);
    EXPECT_EQ(again.present, entries.size());
}

TEST(HistoryFile, ATakenIdIsRenumberedAndTheBeforeFollows) {
    kvtest::TestFolder folder("history");
    const std::string file = (folder.path() / "history.jsonl").string();
    std::vector<HistoryEntry> entries = sampleEntries();
    entries[1].before = 1;  // the before copies the listing (id 1), the write starts from it (2)
    entries[2].before = 2;
    kvops::Error error;
    ASSERT_TRUE(openStore(folder.path() / "a.db")->addMany(entries, error)) << error.text;
    ASSERT_EQ(entries[2].id, 3);
    ASSERT_FALSE(openStore(folder.path() / "a.db")->exportTo(file));

    auto to = openStore(folder.path() / "b.db");
    HistoryEntry local;
    ASSERT_EQ(to->add(local, error), 1);  // id 1 taken here
    const Store::ImportResult result = to->importFrom(file);
    ASSERT_FALSE(result.error) << result.error.text;
    EXPECT_EQ(result.added, 3u);
    EXPECT_EQ(result.renumbered, 1u);
    EXPECT_EQ(to->get(1, error)->uid, local.uid);
    EXPECT_EQ(to->get(4, error)->uid, entries[0].uid);  // the listing, renumbered
    EXPECT_EQ(to->get(2, error)->before, 4);            // its before follows it
    EXPECT_EQ(to->get(3, error)->before, 2);
}

TEST(HistoryFile, ABadLineAnywhereImportsNothingAndIsNamed) {
    kvtest::TestFolder folder("history");
    auto from = openStore(folder.path() / "a.db");
    std::vector<HistoryEntry> entries = sampleEntries();
    kvops::Error error;
    ASSERT_TRUE(from->addMany(entries, error));
    const std::string good = kvhistory::entryJson(entries[0]);
    auto edit = [&](const std::string& from, const std::string& to) {
        std::string line = good;
        const std::size_t at = line.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return line.replace(at, from.size(), to);
    };
    const struct {
        std::string line, expected;
    } cases[] = {
        {"{\"id\": 4", "line 2: not JSON"},
        {edit("\"kind\":\"listing\",", ""), "line 2: kind: missing"},
        {edit("\"listing\",", "\"lists\","), "line 2: kind: unknown kind \"lists\""},
        {edit("\"rs485.baud\"", "\"rs485.bauds\""), "values.rs485.bauds: unknown parameter"},
        {edit("\"19200\"", "\"19201\""), "line 2: values.rs485.baud: "},
        {edit("\"listing\":\"", "\"listing\":\"\u0100"), "line 2: listing: a character beyond"},
        {edit("\"id\":1,", "\"id\":-1,"), "line 2: id: must be a whole number"},
    };
    for (const auto& c : cases) {
        const std::string file = (folder.path() / "bad.jsonl").string();
        std::ofstream(file) << kvhistory::entryJson(entries[1]) << "\n"
                            << c.line << "\n"
                            << kvhistory::entryJson(entries[2]) << "\n";
        auto to = openStore(folder.path() / "b.db");
        const Store::ImportResult result = to->importFrom(file);
        EXPECT_EQ(result.error.code, kvops::ErrorCode::HistoryFailed) << c.line;
        EXPECT_NE(result.error.text.find(c.expected), std::string::npos) << result.error.text;
        EXPECT_EQ(result.error.text.rfind(file + ": line 2: ", 0), 0u) << result.error.text;
        EXPECT_EQ(result.added, 0u);
        EXPECT_TRUE(to->list({}, error).empty());
    }
}

// --- The threaded journal ------------------------------------------------------------------

TEST(HistoryJournal, RecordsComeBackThroughPostInOrderAndQueriesSeeThem) {
    kvtest::TestFolder folder("history");
    std::mutex mutex;
    std::vector<std::function<void()>> posted;
    std::vector<std::int64_t> ids;
    std::size_t seen = 0;
    {
        kvhistory::ThreadedJournal journal(openStore(folder.path() / "h.db"),
                                           [&](std::function<void()> f) {
                                               std::lock_guard lock(mutex);
                                               posted.push_back(std::move(f));
                                           });
        for (int i = 0; i < 20; ++i) {
            journal.record(kvtest::writerEntry("journal", i),
                           [&](std::int64_t id, const kvops::Error& error) {
                               EXPECT_FALSE(error) << error.text;
                               ids.push_back(id);
                           });
        }
        journal.query([&](Store& store) {
            kvops::Error error;
            seen = store.list({}, error).size();
        });
    }
    for (auto& f : posted) f();
    ASSERT_EQ(ids.size(), 20u);
    EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));
    EXPECT_EQ(std::set<std::int64_t>(ids.begin(), ids.end()).size(), 20u);
    EXPECT_EQ(seen, 20u);
}

// --- Listing -------------------------------------------------------------------------------

TEST(HistoryList, FiltersAndLimitsInTimeOrder) {
    kvtest::TestFolder folder("history");
    auto store = openStore(folder.path() / "h.db");
    const struct {
        const char *what, *station, *port, *serial;
        std::int64_t time;
    } rows[] = {
        {"e1", "17", "A", "S1", 1000}, {"e2", "5", "A", "S1", 2000}, {"e3", "017", "B", "S2", 3000},
        {"e4", "17", "B", "", 4000},   {"e5", "", "A", "S1", 2500},
    };
    for (const auto& r : rows) {
        HistoryEntry entry;
        entry.what = r.what;
        entry.station = r.station;
        entry.port = r.port;
        entry.adapterSerial = r.serial;
        entry.timeMs = r.time;
        entry.note = std::string("note ") + r.what;
        kvops::Error error;
        ASSERT_NE(store->add(entry, error), 0) << error.text;
    }
    const struct {
        Store::Filter filter;
        std::vector<std::string> expected;
    } cases[] = {
        {{}, {"e1", "e2", "e5", "e3", "e4"}},
        {{.station = "17"}, {"e1", "e3", "e4"}},
        {{.station = "0017"}, {"e1", "e3", "e4"}},
        {{.port = "A"}, {"e1", "e2", "e5"}},
        {{.adapterSerial = "S2"}, {"e3"}},
        {{.sinceMs = 2500}, {"e5", "e3", "e4"}},
        {{.limit = 2}, {"e3", "e4"}},
        {{.station = "17", .port = "B"}, {"e3", "e4"}},
        {{.station = "17", .limit = 1}, {"e4"}},
        {{.port = "A", .sinceMs = 2000, .limit = 5}, {"e2", "e5"}},
        {{.station = "99"}, {}},
    };
    for (const auto& c : cases) {
        kvops::Error error;
        std::vector<std::string> got;
        for (const HistoryEntry& e : store->list(c.filter, error)) {
            got.push_back(e.what);
            EXPECT_EQ(e.note, "note " + e.what);
        }
        EXPECT_FALSE(error) << error.text;
        EXPECT_EQ(got, c.expected) << testing::PrintToString(c.expected);
    }
}

}  // namespace
