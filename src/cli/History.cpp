#include "cli/History.h"

#include <ctime>
#include <iostream>
#include <mutex>
#include <regex>

#include "files/Clock.h"
#include "history/Paths.h"
#include "ops/History.h"

#ifndef KV480T_VERSION
#define KV480T_VERSION "unknown"
#endif

namespace kvcli {

namespace {

// The run's journal: the store, one entry at a time for every port thread.
class LockedJournal : public kvops::Journal {
public:
    explicit LockedJournal(std::unique_ptr<kvhistory::Store> store) : store_(std::move(store)) {}
    void record(kvops::HistoryEntry entry, Done done) override {
        const std::lock_guard lock(mutex_);
        store_->record(std::move(entry), std::move(done));
    }

private:
    std::mutex mutex_;
    std::unique_ptr<kvhistory::Store> store_;
};

std::mutex openMutex;
bool opened = false;
std::unique_ptr<LockedJournal> journal;
std::mutex problemMutex;
bool problemSaid = false;

void sayProblem(const kvops::Error& error) {
    const std::lock_guard lock(problemMutex);
    if (std::exchange(problemSaid, true)) return;
    std::cerr << "kv480t: " << kvops::describe(error) << '\n';
}

kvops::Journal* runJournal() {
    const std::lock_guard lock(openMutex);
    if (std::exchange(opened, true)) return journal.get();
    if (historyOptions().off) return nullptr;
    const std::string path = historyPath();
    if (path.empty()) {
        std::cerr << "kv480t: history: no folder for it (set XDG_DATA_HOME or HOME, or give "
                     "--history FILE); history is off for this run\n";
        return nullptr;
    }
    kvops::Error error;
    std::unique_ptr<kvhistory::Store> store = kvhistory::Store::open(path, error);
    if (!store) {
        std::cerr << "kv480t: " << kvops::describe(error) << "; history is off for this run\n";
        return nullptr;
    }
    journal = std::make_unique<LockedJournal>(std::move(store));
    return journal.get();
}

std::int64_t utcSeconds(std::tm& tm) {
#ifdef _WIN32
    return _mkgmtime(&tm);
#else
    return timegm(&tm);
#endif
}

}  // namespace

HistoryOptions& historyOptions() {
    static HistoryOptions options;
    return options;
}

void addHistoryOptions(CLI::App* command, bool withOperator) {
    HistoryOptions& options = historyOptions();
    command->add_option("--history", options.file,
                        "the history file (default: the user's own, " +
                            std::string(
#ifdef _WIN32
                                "%LOCALAPPDATA%\\kv480t-config\\history.db"
#else
                                "$XDG_DATA_HOME/kv480t-config/history.db"
#endif
                                ) +
                            ")");
    command->add_flag("--no-history", options.off, "record nothing in the history");
    if (withOperator)
        command->add_option("--operator", options.operatorName,
                            "who works, as the history records it (default: the account's name)");
}

std::string historyPath() {
    const HistoryOptions& options = historyOptions();
    return options.file.empty() ? kvhistory::defaultPath() : options.file;
}

void attachHistory(kvclient::Client& client) {
    kvops::Journal* journal = runJournal();
    if (journal == nullptr) return;
    const HistoryOptions& options = historyOptions();
    client.history().setJournal(
        journal, {options.operatorName.empty() ? kvops::accountName() : options.operatorName,
                  "kv480t " KV480T_VERSION});
    client.history().setProblemListener(sayProblem);
}

std::unique_ptr<kvhistory::Store> openHistoryForCommand() {
    const std::string path = historyPath();
    if (path.empty()) {
        std::cerr << "kv480t: history: no folder for it (set XDG_DATA_HOME or HOME, or give "
                     "--history FILE)\n";
        return nullptr;
    }
    kvops::Error error;
    std::unique_ptr<kvhistory::Store> store = kvhistory::Store::open(path, error);
    if (!store) std::cerr << "kv480t: " << kvops::describe(error) << '\n';
    return store;
}

std::optional<std::int64_t> parseSince(const std::string& text) {
    static const std::regex form(
        R"((\d{4})-(\d{2})-(\d{2})(?:[T ](\d{2}):(\d{2})(?::(\d{2}))?)?(Z?))");
    std::smatch m;
    if (!std::regex_match(text, m, form)) return std::nullopt;
    const auto number = [&](int i) { return m[i].matched ? std::stoi(m[i].str()) : 0; };
    std::tm tm{};
    tm.tm_year = number(1) - 1900;
    tm.tm_mon = number(2) - 1;
    tm.tm_mday = number(3);
    tm.tm_hour = number(4);
    tm.tm_min = number(5);
    tm.tm_sec = number(6);
    if (tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_mday < 1 || tm.tm_mday > 31 || tm.tm_hour > 23 ||
        tm.tm_min > 59 || tm.tm_sec > 60)
        return std::nullopt;
    const int day = tm.tm_mday;
    std::int64_t seconds = 0;
    if (m[7].length() > 0) {
        seconds = utcSeconds(tm);
    } else {
        tm.tm_isdst = -1;
        seconds = std::mktime(&tm);
    }
    // A day the month does not have (2026-02-30) rolls over: refused.
    if (seconds == -1 || tm.tm_mday != day) return std::nullopt;
    return seconds * 1000;
}

std::string localTimeText(std::int64_t ms) {
    const std::tm tm = kvfiles::localTime(static_cast<std::time_t>(ms / 1000));
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
    return text;
}

}  // namespace kvcli
