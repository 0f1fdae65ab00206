// bench_history: the history store's costs.
//
//   1. Browsing: 100,000 entries over 200 stations and 20 ports; one station's entries
//      listed (best of several runs). Goal: under 100 ms.
//   2. Recording: one add(), committed with a full sync before it returns, averaged over 200.
//
// The database is made in the system's temporary folder and removed at the end. Exit 1 only
// when the store fails, not when it is slow.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "history/Store.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A write of a realistic size: a listing of every value, the frames and the read-back.
kvops::HistoryEntry entryFor(std::size_t n) {
    kvops::HistoryEntry entry;
    entry.kind = n % 3 == 0 ? kvops::EntryKind::Write : kvops::EntryKind::Listing;
    entry.what = entry.kind == kvops::EntryKind::Write ? "apply" : "read";
    entry.timeMs = 1'765'000'000'000 + static_cast<std::int64_t>(n) * 1000;
    entry.port = "/dev/ttyUSB" + std::to_string(n % 20);
    entry.adapterSerial = "FT" + std::to_string(n % 20);
    entry.station = std::to_string(n % 200 + 1);
    entry.operatorName = "operator";
    entry.tool = "kv480t 1.2.0";
    entry.listing = std::string(900, 'L');
    entry.values.set("rs485.baud", "9600");
    entry.values.set("ad1.urv", "000100");
    if (entry.kind == kvops::EntryKind::Write) {
        entry.frames = {{"\x02ST017\r\n", std::string("\x06")}, {"\x02RB\r\n", std::nullopt}};
        entry.readBack = entry.values;
        entry.result = "done";
    }
    return entry;
}

}  // namespace

int main() {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        ("bench_history-" + std::to_string(std::random_device{}()));
    const std::string path = (folder / "history.db").string();
    int status = 0;
    {
        kvops::Error error;
        auto store = kvhistory::Store::open(path, error);
        if (!store) {
            std::fprintf(stderr, "bench_history: %s\n", error.text.c_str());
            return 1;
        }
        constexpr std::size_t kEntries = 100'000, kBatch = 10'000;
        const auto fillStart = Clock::now();
        for (std::size_t done = 0; done < kEntries && status == 0; done += kBatch) {
            std::vector<kvops::HistoryEntry> batch;
            for (std::size_t n = done; n < done + kBatch; ++n) batch.push_back(entryFor(n));
            if (!store->addMany(batch, error)) {
                std::fprintf(stderr, "bench_history: %s\n", error.text.c_str());
                status = 1;
            }
        }
        if (status == 0) {
            std::printf("filled: %zu entries (200 stations, 20 ports) in %.0f ms\n", kEntries,
                        msSince(fillStart));
            double best = 1e9;
            std::size_t listed = 0;
            for (int run = 0; run < 7 && status == 0; ++run) {
                const auto start = Clock::now();
                listed = store->list({.station = "17"}, error).size();
                best = std::min(best, msSince(start));
                if (error) {
                    std::fprintf(stderr, "bench_history: %s\n", error.text.c_str());
                    status = 1;
                }
            }
            std::printf("list station 17: %zu entries, best of 7: %.2f ms (goal: under 100 ms)\n",
                        listed, best);
        }
        if (status == 0) {
            constexpr int kAdds = 200;
            const auto start = Clock::now();
            for (int i = 0; i < kAdds && status == 0; ++i) {
                kvops::HistoryEntry entry = entryFor(static_cast<std::size_t>(i));
                entry.timeMs = 0;
                if (store->add(entry, error) == 0) {
                    std::fprintf(stderr, "bench_history: %s\n", error.text.c_str());
                    status = 1;
                }
            }
            std::printf("add (committed, full sync): %.2f ms each, average of %d\n",
                        msSince(start) / kAdds, kAdds);
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return status;
}
