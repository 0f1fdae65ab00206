#include "history/Store.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <utility>

#include "files/Clock.h"
#include "files/ReplacingFile.h"
#include "ops/Clock.h"
#include "protocol/ByteText.h"
#include "system/SystemError.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kvhistory {

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;
using kvops::Error;
using kvops::ErrorCode;
using kvops::HistoryEntry;

// The schema's steps: step k takes a database from version k-1 to version k.
constexpr const char* kSteps[] = {
    // 1: the entries, their searchable fields in columns and the rest as JSON.
    "CREATE TABLE entries ("
    " id INTEGER PRIMARY KEY, uid TEXT NOT NULL UNIQUE, time_ms INTEGER NOT NULL,"
    " kind TEXT NOT NULL, what TEXT, port TEXT, station TEXT, operator TEXT, tool TEXT,"
    " result TEXT, before_id INTEGER, body TEXT NOT NULL);",
    // 2: the adapter's serial number, and an index for each way of browsing.
    "ALTER TABLE entries ADD COLUMN adapter_serial TEXT;"
    "CREATE INDEX entries_time ON entries (time_ms);"
    "CREATE INDEX entries_station_time ON entries (station, time_ms);"
    "CREATE INDEX entries_port_time ON entries (port, time_ms);"
    "CREATE INDEX entries_adapter_time ON entries (adapter_serial, time_ms);",
};
static_assert(std::size(kSteps) == Store::kSchemaVersion);

constexpr int kBusyWaitMs = 60000;

constexpr const char* kColumns =
    "id, uid, time_ms, kind, what, port, adapter_serial, station, operator, tool, result, "
    "before_id";

fs::path fsPath(const std::string& utf8) {
#if defined(_WIN32)
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
#else
    return fs::path(utf8);
#endif
}

Error historyError(int code, std::string text,
                   kvsys::ErrorSource source = kvsys::ErrorSource::None) {
    return Error(ErrorCode::HistoryFailed, code, std::move(text), source);
}

// The failure of the last call on `db`: the system's number where SQLite has one, else
// SQLite's extended result code.
Error sqliteError(sqlite3* db, const std::string& path, std::string_view what, int code) {
    std::string text = path + ": " + std::string(what) + " (" +
                       (db ? sqlite3_errmsg(db) : sqlite3_errstr(code)) + ")";
    // The system's number is kept by SQLite for its own calls that failed: only an I/O
    // failure or a file that would not open has one that belongs to this error.
    const int primary = code & 0xff;
    const bool systemFailure =
        primary == SQLITE_CANTOPEN || primary == SQLITE_IOERR || primary == SQLITE_FULL;
    if (const int system = db && systemFailure ? sqlite3_system_errno(db) : 0; system != 0)
        return historyError(system, std::move(text), kvsys::kNativeSource);
    return historyError(db ? sqlite3_extended_errcode(db) : code, std::move(text));
}

// A statement that finalizes itself.
class Statement {
public:
    Statement(sqlite3* db, const std::string& sql) {
        code_ = sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr);
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    bool ok() const { return code_ == SQLITE_OK; }
    int code() const { return code_; }
    sqlite3_stmt* get() const { return stmt_; }

private:
    sqlite3_stmt* stmt_ = nullptr;
    int code_ = SQLITE_OK;
};

void bindText(sqlite3_stmt* stmt, int index, const std::string& text) {
    sqlite3_bind_text(stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

std::string columnText(sqlite3_stmt* stmt, int column) {
    const auto* text = sqlite3_column_text(stmt, column);
    return text ? std::string(reinterpret_cast<const char*>(text),
                              static_cast<std::size_t>(sqlite3_column_bytes(stmt, column)))
                : std::string();
}

int userVersion(sqlite3* db, int& version) {
    Statement read(db, "PRAGMA user_version");
    if (!read.ok()) return read.code();
    const int code = sqlite3_step(read.get());
    if (code != SQLITE_ROW) return code;
    version = sqlite3_column_int(read.get(), 0);
    return SQLITE_OK;
}

// Folders made 0700 (POSIX) where missing, and the file made 0600 when it is not there: an
// existing file is not touched.
Error makeFolderAndFile(const std::string& path) {
    const fs::path file = fsPath(path);
    const fs::path parent = file.parent_path();
    std::error_code ec;
#if defined(_WIN32)
    if (!parent.empty() && !fs::exists(parent, ec)) {
        fs::create_directories(parent, ec);
        if (ec)
            return historyError(
                ec.value(), path + ": its folder cannot be made (" + ec.message() + ")",
                ec.category() == std::generic_category() ? kvsys::ErrorSource::Errno
                                                         : kvsys::ErrorSource::Win32);
    }
    return {};
#else
    std::vector<fs::path> missing;
    for (fs::path p = parent; !p.empty() && !fs::exists(p, ec); p = p.parent_path()) {
        missing.push_back(p);
        if (p == p.root_path()) break;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (::mkdir(it->c_str(), 0700) != 0 && errno != EEXIST) {
            const int code = errno;
            return historyError(code,
                                path + ": the folder " + it->string() + " cannot be made (" +
                                    kvsys::errnoText(code) + ")",
                                kvsys::ErrorSource::Errno);
        }
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
    } else if (errno != EEXIST) {
        const int code = errno;
        return historyError(code, path + ": cannot be created (" + kvsys::errnoText(code) + ")",
                            kvsys::ErrorSource::Errno);
    }
    return {};
#endif
}

// Opens the database, makes it (or finds it) at least `version`, never beyond what this tool
// knows. Null and `error` on failure.
sqlite3* openAt(const std::string& path, int version, Error& error) {
    if (path.empty()) {
        error = historyError(0, "no history database named");
        return nullptr;
    }
    if ((error = makeFolderAndFile(path))) return nullptr;
    sqlite3* db = nullptr;
    int code =
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    auto failed = [&](std::string_view what) {
        error = sqliteError(db, path, what, code);
        sqlite3_close(db);
        return nullptr;
    };
    if (code != SQLITE_OK) return failed("cannot be opened");
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, kBusyWaitMs);
    auto newer = [&](int found) {
        error = historyError(0, path +
                                    ": written by a newer version of kv480t-config (history "
                                    "schema " +
                                    std::to_string(found) + "; this one reads up to " +
                                    std::to_string(Store::kSchemaVersion) + ")");
        sqlite3_close(db);
        return nullptr;
    };
    int found = 0;
    if ((code = userVersion(db, found)) != SQLITE_OK) {
        if ((code & 0xff) == SQLITE_NOTADB) return failed("not a history database");
        return failed("cannot be read");
    }
    // Nothing is written before this: a newer database stays as it is.
    if (found > Store::kSchemaVersion) return newer(found);
    for (const char* pragma : {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=FULL"}) {
        if ((code = sqlite3_exec(db, pragma, nullptr, nullptr, nullptr)) != SQLITE_OK)
            return failed("cannot be set up");
    }
    if (found >= version) return db;
    // The steps in one transaction, the version read again inside it: another process may
    // have upgraded it meanwhile.
    if ((code = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr)) != SQLITE_OK)
        return failed("cannot be upgraded");
    std::string what = "cannot be read";
    if ((code = userVersion(db, found)) == SQLITE_OK) {
        if (found > Store::kSchemaVersion) {
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
            return newer(found);
        }
        for (int step = found + 1; step <= version && code == SQLITE_OK; ++step) {
            what = "cannot be upgraded to history schema " + std::to_string(step);
            code = sqlite3_exec(db, kSteps[step - 1], nullptr, nullptr, nullptr);
        }
        if (code == SQLITE_OK) {
            what = "cannot be upgraded";
            const std::string set =
                "PRAGMA user_version=" + std::to_string(std::max(found, version));
            code = sqlite3_exec(db, set.c_str(), nullptr, nullptr, nullptr);
        }
        if (code == SQLITE_OK) code = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    }
    if (code != SQLITE_OK) {
        error = sqliteError(db, path, what, code);  // before the rollback takes its words
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        return nullptr;
    }
    return db;
}

std::string normalStation(std::string station) {
    if (station.empty() ||
        !std::all_of(station.begin(), station.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return station;
    const std::size_t first = station.find_first_not_of('0');
    return first == std::string::npos ? "0" : station.substr(first);
}

// --- JSON ----------------------------------------------------------------------------------

Json settingsJson(const kvproto::CollectorSettings& settings) {
    Json out = Json::object();
    for (const auto& [parameter, value] : settings.entries())
        out[std::string(parameter->name)] = value;
    return out;
}

Json framesJson(const std::vector<kvops::SentFrame>& frames) {
    Json out = Json::array();
    for (const kvops::SentFrame& f : frames) {
        Json frame = Json::object();
        frame["frame"] = kvproto::latin1ToUtf8(f.frame);
        frame["answer"] = f.answer ? Json(kvproto::latin1ToUtf8(*f.answer)) : Json(nullptr);
        out.push_back(std::move(frame));
    }
    return out;
}

// The parts kept as JSON in the database's body column.
void addBody(Json& out, const HistoryEntry& entry) {
    out["values"] = settingsJson(entry.values);
    out["listing"] = kvproto::latin1ToUtf8(entry.listing);
    out["frames"] = framesJson(entry.frames);
    out["read_back"] = settingsJson(entry.readBack);
    out["note"] = entry.note;
}

std::string dump(const Json& json) {
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string isoTime(std::int64_t ms) {
    std::int64_t seconds = ms / 1000;
    std::int64_t rest = ms % 1000;
    if (rest < 0) {
        rest += 1000;
        --seconds;
    }
    const std::tm utc = kvfiles::utcTime(static_cast<std::time_t>(seconds));
    char text[40];
    const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    std::snprintf(text + n, sizeof text - n, ".%03dZ", static_cast<int>(rest));
    return text;
}

// A reader of one JSON object's fields: the first problem is kept.
class Fields {
public:
    Fields(const Json& object, std::string prefix, bool strict)
        : object_(object), prefix_(std::move(prefix)), strict_(strict) {}
    std::string error;

    const Json* find(const char* key) {
        if (!error.empty()) return nullptr;
        const auto it = object_.find(key);
        if (it == object_.end()) {
            if (strict_) error = name(key) + ": missing";
            return nullptr;
        }
        return &*it;
    }
    void text(const char* key, std::string& out) {
        if (const Json* j = find(key)) {
            if (j->is_string())
                out = j->get<std::string>();
            else
                error = name(key) + ": must be a text";
        }
    }
    void bytes(const char* key, std::string& out) {
        if (const Json* j = find(key)) latin1(*j, name(key), out);
    }
    void number(const char* key, std::int64_t& out, std::int64_t min) {
        if (const Json* j = find(key)) {
            if (j->is_number_integer() && j->get<std::int64_t>() >= min &&
                !(j->is_number_unsigned() && j->get<std::uint64_t>() > INT64_MAX))
                out = j->get<std::int64_t>();
            else
                error = name(key) + ": must be a whole number from " + std::to_string(min);
        }
    }
    void settings(const char* key, kvproto::CollectorSettings& out) {
        const Json* j = find(key);
        if (!j) return;
        if (!j->is_object()) {
            error = name(key) + ": must be an object of name: value";
            return;
        }
        for (const auto& [parameterName, value] : j->items()) {
            const std::string where = name(key) + "." + parameterName;
            const kvproto::Parameter* parameter = kvproto::findParameter(parameterName);
            if (!parameter) {
                error = where + ": unknown parameter name";
            } else if (!value.is_string()) {
                error = where + ": the value must be a text in quotes";
            } else if (auto refused = out.set(*parameter, value.get<std::string>())) {
                error = where + ": " + *refused;
            }
            if (!error.empty()) return;
        }
    }
    void frames(const char* key, std::vector<kvops::SentFrame>& out) {
        const Json* j = find(key);
        if (!j) return;
        if (!j->is_array()) {
            error = name(key) + ": must be a list of {\"frame\", \"answer\"}";
            return;
        }
        for (std::size_t i = 0; i < j->size() && error.empty(); ++i) {
            const Json& f = (*j)[i];
            const std::string where = name(key) + "[" + std::to_string(i) + "]";
            kvops::SentFrame frame;
            const auto sent = f.is_object() ? f.find("frame") : f.end();
            const auto answer = f.is_object() ? f.find("answer") : f.end();
            if (sent == f.end() || answer == f.end()) {
                error = where + ": must be {\"frame\", \"answer\"}";
                return;
            }
            latin1(*sent, where + ".frame", frame.frame);
            if (!answer->is_null()) latin1(*answer, where + ".answer", frame.answer.emplace());
            out.push_back(std::move(frame));
        }
    }

private:
    std::string name(const char* key) const { return prefix_ + key; }
    void latin1(const Json& j, const std::string& where, std::string& out) {
        if (!j.is_string())
            error = where + ": must be a text";
        else if (!kvproto::utf8ToLatin1(j.get_ref<const std::string&>(), out))
            error = where + ": a character beyond U+00FF (the collector's bytes are Latin-1)";
    }

    const Json& object_;
    std::string prefix_;
    bool strict_;
};

void readBody(Fields& fields, HistoryEntry& entry) {
    fields.settings("values", entry.values);
    fields.bytes("listing", entry.listing);
    fields.frames("frames", entry.frames);
    fields.settings("read_back", entry.readBack);
    fields.text("note", entry.note);
}

// The columns of kColumns into `entry`; "" or what is wrong.
std::string readRow(sqlite3_stmt* stmt, HistoryEntry& entry) {
    entry.id = sqlite3_column_int64(stmt, 0);
    entry.uid = columnText(stmt, 1);
    entry.timeMs = sqlite3_column_int64(stmt, 2);
    const std::string kind = columnText(stmt, 3);
    const auto known = kvops::kindOfWord(kind);
    if (!known) return "entry " + std::to_string(entry.id) + ": unknown kind \"" + kind + "\"";
    entry.kind = *known;
    entry.what = columnText(stmt, 4);
    entry.port = columnText(stmt, 5);
    entry.adapterSerial = columnText(stmt, 6);
    entry.station = columnText(stmt, 7);
    entry.operatorName = columnText(stmt, 8);
    entry.tool = columnText(stmt, 9);
    entry.result = columnText(stmt, 10);
    entry.before = sqlite3_column_int64(stmt, 11);
    return {};
}

// readRow() and the body in column 12.
std::string readWholeRow(sqlite3_stmt* stmt, HistoryEntry& entry) {
    if (std::string problem = readRow(stmt, entry); !problem.empty()) return problem;
    const std::string body = columnText(stmt, 12);
    const Json json = Json::parse(body, nullptr, false);
    if (json.is_discarded() || !json.is_object())
        return "entry " + std::to_string(entry.id) + ": its stored details are not JSON";
    Fields fields(json, "", false);
    readBody(fields, entry);
    if (!fields.error.empty()) return "entry " + std::to_string(entry.id) + ": " + fields.error;
    return {};
}

}  // namespace

std::string entryJson(const HistoryEntry& entry) {
    Json out = Json::object();
    out["id"] = entry.id;
    out["uid"] = entry.uid;
    out["time"] = isoTime(entry.timeMs);
    out["time_ms"] = entry.timeMs;
    out["kind"] = kvops::kindWord(entry.kind);
    out["what"] = entry.what;
    out["port"] = entry.port;
    out["adapter_serial"] = entry.adapterSerial;
    out["station"] = entry.station;
    out["operator"] = entry.operatorName;
    out["tool"] = entry.tool;
    out["result"] = entry.result;
    out["before"] = entry.before;
    addBody(out, entry);
    return dump(out);
}

std::string parseEntryLine(std::string_view line, HistoryEntry& entry) {
    Json json;
    try {
        json = Json::parse(line.begin(), line.end());
    } catch (const Json::parse_error& e) {
        return "not JSON (at byte " + std::to_string(e.byte) + ")";
    } catch (const Json::exception&) {
        return "not JSON";
    }
    if (!json.is_object()) return "not an entry: a line must hold one JSON object";
    entry = HistoryEntry{};
    Fields fields(json, "", true);
    fields.number("id", entry.id, 1);
    fields.text("uid", entry.uid);
    if (fields.error.empty() && entry.uid.empty()) fields.error = "uid: empty";
    std::string time;
    fields.text("time", time);
    fields.number("time_ms", entry.timeMs, 0);
    std::string kind;
    fields.text("kind", kind);
    if (fields.error.empty()) {
        if (const auto known = kvops::kindOfWord(kind))
            entry.kind = *known;
        else
            fields.error = "kind: unknown kind \"" + kind + "\"";
    }
    fields.text("what", entry.what);
    fields.text("port", entry.port);
    fields.text("adapter_serial", entry.adapterSerial);
    fields.text("station", entry.station);
    fields.text("operator", entry.operatorName);
    fields.text("tool", entry.tool);
    fields.text("result", entry.result);
    fields.number("before", entry.before, 0);
    readBody(fields, entry);
    return fields.error;
}

// --- Store ---------------------------------------------------------------------------------

Store::Store(std::string path, sqlite3* db) : path_(std::move(path)), db_(db) {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device()};
    random_.seed(seed);
}

Store::~Store() {
    sqlite3_finalize(insert_);
    sqlite3_close(db_);
}

std::unique_ptr<Store> Store::open(const std::string& path, Error& error) {
    error = {};
    sqlite3* db = openAt(path, kSchemaVersion, error);
    if (!db) return nullptr;
    // A store in use: closing does not copy the log into the database (a write and sync of
    // its own at every kv480t's exit); the log stays beside it, every entry in it synced, and
    // is copied in whenever it has grown (SQLite's automatic checkpoint). A database refused
    // above is closed as SQLite closes it, leaving no log behind.
    sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    return std::unique_ptr<Store>(new Store(path, db));
}

Error Store::createAtVersion(const std::string& path, int version) {
    Error error;
    if (version < 1 || version > kSchemaVersion)
        return historyError(0, "no history schema " + std::to_string(version));
    sqlite3* db = openAt(path, version, error);
    sqlite3_close(db);
    return error;
}

Error Store::fail(std::string_view what, int code) const {
    return sqliteError(db_, path_, what, code);
}

Error Store::exec(const char* sql) {
    const int code = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    return code == SQLITE_OK ? Error{} : fail("cannot be written", code);
}

std::string Store::makeUid() {
    char text[33];
    std::snprintf(text, sizeof text, "%016llx%016llx", static_cast<unsigned long long>(random_()),
                  static_cast<unsigned long long>(random_()));
    return text;
}

bool Store::insert(HistoryEntry& entry, bool keepId, Error& error) {
    if (!insert_) {
        const std::string sql = std::string("INSERT INTO entries (") + kColumns +
                                ", body) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?)";
        const int code = sqlite3_prepare_v2(db_, sql.c_str(), -1, &insert_, nullptr);
        if (code != SQLITE_OK) {
            error = fail("cannot be written", code);
            return false;
        }
    }
    if (entry.uid.empty()) entry.uid = makeUid();
    if (entry.timeMs == 0) entry.timeMs = kvops::wallClockMs();
    entry.station = normalStation(std::move(entry.station));
    Json body = Json::object();
    addBody(body, entry);
    sqlite3_stmt* s = insert_;
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
    if (keepId) sqlite3_bind_int64(s, 1, entry.id);
    bindText(s, 2, entry.uid);
    sqlite3_bind_int64(s, 3, entry.timeMs);
    bindText(s, 4, std::string(kvops::kindWord(entry.kind)));
    bindText(s, 5, entry.what);
    bindText(s, 6, entry.port);
    bindText(s, 7, entry.adapterSerial);
    bindText(s, 8, entry.station);
    bindText(s, 9, entry.operatorName);
    bindText(s, 10, entry.tool);
    bindText(s, 11, entry.result);
    sqlite3_bind_int64(s, 12, entry.before);
    bindText(s, 13, dump(body));
    const int code = sqlite3_step(s);
    sqlite3_reset(s);
    if (code != SQLITE_DONE) {
        error = fail("the entry cannot be kept", code);
        return false;
    }
    entry.id = sqlite3_last_insert_rowid(db_);
    return true;
}

void Store::record(HistoryEntry entry, Done done) {
    Error error;
    const std::int64_t id = add(entry, error);
    if (done) done(id, error);
}

std::int64_t Store::add(HistoryEntry& entry, Error& error) {
    std::vector<HistoryEntry> one{std::move(entry)};
    const bool kept = addMany(one, error);
    entry = std::move(one.front());
    return kept ? entry.id : 0;
}

bool Store::addMany(std::vector<HistoryEntry>& entries, Error& error) {
    error = {};
    if ((error = exec("BEGIN IMMEDIATE"))) return false;
    for (HistoryEntry& entry : entries) {
        if (!insert(entry, false, error)) {
            exec("ROLLBACK");
            for (HistoryEntry& e : entries) e.id = 0;
            return false;
        }
    }
    if ((error = exec("COMMIT"))) {
        exec("ROLLBACK");
        for (HistoryEntry& e : entries) e.id = 0;
        return false;
    }
    return true;
}

std::vector<HistoryEntry> Store::list(const Filter& filter, Error& error) {
    error = {};
    std::string sql =
        std::string("SELECT ") + kColumns + ", json_extract(body, '$.note') FROM entries";
    std::vector<std::string> texts;
    std::string where;
    auto condition = [&](const std::string& value, const char* column) {
        if (value.empty()) return;
        where += where.empty() ? " WHERE " : " AND ";
        where += std::string(column) + " = ?";
        texts.push_back(value);
    };
    condition(normalStation(filter.station), "station");
    condition(filter.port, "port");
    condition(filter.adapterSerial, "adapter_serial");
    if (filter.sinceMs != 0) where += where.empty() ? " WHERE time_ms >= ?" : " AND time_ms >= ?";
    sql += where;
    sql += filter.limit ? " ORDER BY time_ms DESC, id DESC LIMIT ?" : " ORDER BY time_ms, id";
    Statement query(db_, sql);
    if (!query.ok()) {
        error = fail("cannot be read", query.code());
        return {};
    }
    int index = 1;
    for (const std::string& text : texts) bindText(query.get(), index++, text);
    if (filter.sinceMs != 0) sqlite3_bind_int64(query.get(), index++, filter.sinceMs);
    if (filter.limit)
        sqlite3_bind_int64(query.get(), index++, static_cast<sqlite3_int64>(filter.limit));
    std::vector<HistoryEntry> out;
    int code;
    while ((code = sqlite3_step(query.get())) == SQLITE_ROW) {
        HistoryEntry entry;
        if (std::string problem = readRow(query.get(), entry); !problem.empty()) {
            error = historyError(0, path_ + ": " + problem);
            return {};
        }
        entry.note = columnText(query.get(), 12);
        out.push_back(std::move(entry));
    }
    if (code != SQLITE_DONE) {
        error = fail("cannot be read", code);
        return {};
    }
    if (filter.limit) std::reverse(out.begin(), out.end());
    return out;
}

std::optional<HistoryEntry> Store::get(std::int64_t id, Error& error) {
    error = {};
    Statement query(db_, std::string("SELECT ") + kColumns + ", body FROM entries WHERE id = ?");
    if (!query.ok()) {
        error = fail("cannot be read", query.code());
        return std::nullopt;
    }
    sqlite3_bind_int64(query.get(), 1, id);
    const int code = sqlite3_step(query.get());
    if (code == SQLITE_DONE) return std::nullopt;
    if (code != SQLITE_ROW) {
        error = fail("cannot be read", code);
        return std::nullopt;
    }
    HistoryEntry entry;
    if (std::string problem = readWholeRow(query.get(), entry); !problem.empty()) {
        error = historyError(0, path_ + ": " + problem);
        return std::nullopt;
    }
    return entry;
}

Error Store::exportTo(const std::string& path) {
    Statement query(db_, std::string("SELECT ") + kColumns + ", body FROM entries ORDER BY id");
    if (!query.ok()) return fail("cannot be read", query.code());
    kvfiles::ReplacingFile file(path);
    int code = SQLITE_DONE;
    while (file.good() && (code = sqlite3_step(query.get())) == SQLITE_ROW) {
        HistoryEntry entry;
        if (std::string problem = readWholeRow(query.get(), entry); !problem.empty())
            return historyError(0, path_ + ": " + problem);
        file.write(entryJson(entry) + "\n");
    }
    if (!file.good()) return historyError(0, file.error());
    if (code != SQLITE_DONE) return fail("cannot be read", code);
    if (!file.commit()) return historyError(0, file.error());
    return {};
}

Store::ImportResult Store::importFrom(const std::string& path) {
    ImportResult result;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        const int code = errno;
        result.error =
            historyError(code, path + ": cannot be read (" + kvsys::errnoText(code) + ")",
                         kvsys::ErrorSource::Errno);
        return result;
    }
    std::vector<HistoryEntry> entries;
    std::string line;
    for (std::size_t number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        HistoryEntry entry;
        if (std::string problem = parseEntryLine(line, entry); !problem.empty()) {
            result.error =
                historyError(0, path + ": line " + std::to_string(number) + ": " + problem);
            return result;
        }
        entries.push_back(std::move(entry));
    }
    if (in.bad()) {
        result.error = historyError(0, path + ": cannot be read");
        return result;
    }

    if ((result.error = exec("BEGIN IMMEDIATE"))) return result;
    auto failed = [&](Error error) {
        exec("ROLLBACK");
        result = ImportResult{};
        result.error = std::move(error);
        return result;
    };
    Statement byUid(db_, "SELECT id FROM entries WHERE uid = ?");
    Statement byId(db_, "SELECT 1 FROM entries WHERE id = ?");
    Statement last(db_, "SELECT COALESCE(MAX(id), 0) FROM entries");
    if (!byUid.ok() || !byId.ok() || !last.ok())
        return failed(fail("cannot be read", sqlite3_errcode(db_)));
    // Where each entry of the file ends up here (by the file's id), which are new, and which
    // of those keep their id.
    std::map<std::int64_t, std::int64_t> idHere;
    std::set<std::string> uidsInFile;
    std::set<std::int64_t> claimed;
    std::vector<HistoryEntry*> added, renumber;
    for (HistoryEntry& entry : entries) {
        sqlite3_reset(byUid.get());
        bindText(byUid.get(), 1, entry.uid);
        const int code = sqlite3_step(byUid.get());
        if (code != SQLITE_ROW && code != SQLITE_DONE) return failed(fail("cannot be read", code));
        if (code == SQLITE_ROW) {
            idHere.emplace(entry.id, sqlite3_column_int64(byUid.get(), 0));
            ++result.present;
            continue;
        }
        if (!uidsInFile.insert(entry.uid).second) {  // twice in the file: the first is taken
            ++result.present;
            continue;
        }
        sqlite3_reset(byId.get());
        sqlite3_bind_int64(byId.get(), 1, entry.id);
        const int taken = sqlite3_step(byId.get());
        if (taken != SQLITE_ROW && taken != SQLITE_DONE)
            return failed(fail("cannot be read", taken));
        if (taken == SQLITE_DONE && claimed.insert(entry.id).second) {
            idHere.emplace(entry.id, entry.id);
        } else {
            renumber.push_back(&entry);
        }
        added.push_back(&entry);
    }
    if (sqlite3_step(last.get()) != SQLITE_ROW)
        return failed(fail("cannot be read", sqlite3_errcode(db_)));
    std::int64_t next = sqlite3_column_int64(last.get(), 0);
    if (!claimed.empty()) next = std::max(next, *claimed.rbegin());
    for (HistoryEntry* entry : renumber) {
        idHere.emplace(entry->id, ++next);
        entry->id = next;
    }
    result.renumbered = renumber.size();
    for (HistoryEntry* entry : added) {
        if (const auto it = idHere.find(entry->before); entry->before != 0 && it != idHere.end())
            entry->before = it->second;
        Error error;
        if (!insert(*entry, true, error)) return failed(std::move(error));
    }
    if (Error error = exec("COMMIT")) return failed(std::move(error));
    result.added = added.size();
    return result;
}

std::string Store::integrityCheck() {
    Statement check(db_, "PRAGMA integrity_check");
    if (!check.ok()) return sqlite3_errmsg(db_);
    std::string out;
    int code;
    while ((code = sqlite3_step(check.get())) == SQLITE_ROW) {
        if (!out.empty()) out += "\n";
        out += columnText(check.get(), 0);
    }
    if (code != SQLITE_DONE) return sqlite3_errmsg(db_);
    return out;
}

}  // namespace kvhistory
