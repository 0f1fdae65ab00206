#include "cli/History.h"

#include <ctime>
#include <filesystem>
#include <future>
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

// The run's journal: the store, opened at the first entry (a run that records nothing leaves
// no file behind), one entry at a time for every port thread. A store that cannot be opened is
// said once, and the entries are then given up without an error: the run goes on without
// history.
class RunJournal : public kvops::Journal {
public:
    // A history file that is there already is opened at once, on a thread of its own, while
    // the port opens and the first listing comes: the first entry does not wait for it.
    void prepare() {
        const std::lock_guard lock(mutex_);
        if (tried_ || opening_.valid()) return;
        const std::string path = historyPath();
        std::error_code error;
        if (path.empty() ||
            !std::filesystem::exists(reinterpret_cast<const char8_t*>(path.c_str()), error))
            return;
        opening_ = std::async(std::launch::async, [path] {
            Opened opened;
            opened.store = kvhistory::Store::open(path, opened.error);
            return opened;
        });
    }

    void record(kvops::HistoryEntry entry, Done done) override {
        const std::lock_guard lock(mutex_);
        if (!std::exchange(tried_, true)) {
            if (opening_.valid()) {
                Opened opened = opening_.get();
                store_ = std::move(opened.store);
                if (!store_)
                    std::cerr << "kv480t: " << kvops::describe(opened.error)
                              << "; history is off for this run\n";
            } else {
                open();
            }
        }
        if (!store_) {
            if (done) done(0, {});
            return;
        }
        store_->record(std::move(entry), std::move(done));
    }

private:
    void open() {
        const std::string path = historyPath();
        if (path.empty()) {
            std::cerr << "kv480t: history: no folder for it (set XDG_DATA_HOME or HOME, or "
                         "give --history FILE); history is off for this run\n";
            return;
        }
        kvops::Error error;
        store_ = kvhistory::Store::open(path, error);
        if (!store_)
            std::cerr << "kv480t: " << kvops::describe(error) << "; history is off for this run\n";
    }

    struct Opened {
        std::unique_ptr<kvhistory::Store> store;
        kvops::Error error;
    };
    std::mutex mutex_;
    bool tried_ = false;
    std::future<Opened> opening_;
    std::unique_ptr<kvhistory::Store> store_;
};

std::mutex problemMutex;
bool problemSaid = false;

void sayProblem(const kvops::Error& error) {
    const std::lock_guard lock(problemMutex);
    if (std::exchange(problemSaid, true)) return;
    std::cerr << "kv480t: " << kvops::describe(error) << '\n';
}

RunJournal* runJournal() {
    if (historyOptions().off) return nullptr;
    static RunJournal journal;
    return &journal;
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
    RunJournal* journal = runJournal();
    if (journal == nullptr) return;
    journal->prepare();
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
