// bench_commission [runs]: times `kv480t commission` of a plan against simulated collectors
// that pace their answers like a 9600-baud line: one row, then eight rows (eight collectors,
// each on its own port) beside it. Every collector starts at factory values, so every row
// reads, writes its whole configuration and station address, and reads back.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "sim/Collector.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

// Median wall time in ms of `runs` commissions of `rows` rows on fresh collectors; < 0 when a
// run failed.
double medianMs(int runs, std::size_t rows, const fs::path& dir) {
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        std::vector<std::unique_ptr<kvsim::Collector>> collectors;
        std::string plan = "port,station,profile,label\n";
        for (std::size_t i = 0; i < rows; ++i) {
            collectors.push_back(std::make_unique<kvsim::Collector>());
            collectors.back()->start();
            plan += collectors.back()->slavePath() + "," + std::to_string(10 + i) +
                    ",profile.json,Collector " + std::to_string(i + 1) + "\n";
        }
        std::ofstream(dir / "plan.csv") << plan;
        const fs::path report =
            dir / ("report-" + std::to_string(rows) + "-" + std::to_string(run));
        const auto start = Clock::now();
        const int code = kvbench::runProgram(
            KV480T_PATH, {"commission", (dir / "plan.csv").string(), "--report", report.string()});
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        if (code != 0) {
            std::fprintf(stderr, "bench_commission: kv480t commission exited with %d\n", code);
            return -1;
        }
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const fs::path dir =
        fs::temp_directory_path() / ("bench-commission-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    // The profile: a factory collector's configuration with every value changed.
    std::ofstream(dir / "profile.json")
        << R"({"format": "kv480t-profile", "version": 1, "settings": {
  "rs485.baud": "19200", "rs485.parity": "Even", "din1.mode": "1", "din2.mode": "1",
  "din2.pulse_equivalent": "2", "din2.pulse_width": "20", "ad1.urv": "20", "ad1.lrv": "4",
  "ad1.start": "1", "ad2.urv": "25", "ad2.lrv": "-5", "ad2.start": "2", "ad3.urv": "30",
  "ad3.lrv": "1", "ad3.start": "3", "ad4.urv": "40", "ad4.lrv": "2", "ad4.start": "4",
  "ad1.coefficient": "1.05", "ad2.coefficient": "2", "ad3.coefficient": "0.5",
  "ad4.coefficient": "3", "output.pulse_equivalent": "0.01", "output.pulse_width": "30",
  "ad1.residual_cutoff": "0.05", "interface.type": "1"}})";
    const double one = medianMs(runs, 1, dir);
    const double eight = medianMs(runs, 8, dir);
    fs::remove_all(dir);
    if (one < 0 || eight < 0) return 1;
    std::printf(
        "kv480t commission, every row read, written whole and read back at 9600 baud, "
        "%d runs each\n",
        runs);
    std::printf("  1 row            %7.1f ms  median\n", one);
    std::printf("  8 rows           %7.1f ms  median\n", eight);
    std::printf("  ratio            %7.2f     (aim: at most 1.3)\n", eight / one);
    return 0;
}
