// bench_walk [runs]: what walking a site costs beyond the rows' own line time: `kv480t
// commission` of eight rows that share one port (one adapter, each row asked for and answered
// at once on stdin) beside one row alone, against a simulated collector that paces its
// answers like a 9600-baud line. Each row's own time (report.json's duration_ms: read, write,
// read-back) is taken off; what is left per extra row is the walk's: the prompt, the port
// opened and closed for the row, the report rewritten. The same per row is also read from
// the report's own times: from one row's end to the next one's start.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "sim/Collector.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

struct Run {
    double wallMs = 0;  // the whole command
    double rowsMs = 0;  // the rows' own time
    double gapMs = 0;   // mean time from a row's end to the next row's start (report.json)
};

// One commission of `rows` rows on one port (a link to a fresh collector); wallMs < 0 when it
// failed.
Run walk(std::size_t rows, const fs::path& dir, int run) {
    kvsim::Collector collector;
    collector.start();
    const fs::path link = dir / "adapter";
    fs::remove(link);
    fs::create_symlink(collector.slavePath(), link);
    std::string plan = "port,station,profile,label\n";
    std::string answers;
    for (std::size_t i = 0; i < rows; ++i) {
        plan += link.string() + "," + std::to_string(10 + i) + ",profile.json,Collector " +
                std::to_string(i + 1) + "\n";
        answers += "\n";
    }
    std::ofstream(dir / "plan.csv") << plan;
    std::ofstream(dir / "answers") << answers;
    const fs::path report = dir / ("report-" + std::to_string(rows) + "-" + std::to_string(run));
    const auto start = Clock::now();
    const int code = kvbench::runProgram(
        KV480T_PATH, {"commission", (dir / "plan.csv").string(), "--report", report.string()},
        false, (dir / "answers").string());
    Run out{std::chrono::duration<double, std::milli>(Clock::now() - start).count(), 0};
    if (code != 0) {
        std::fprintf(stderr, "bench_walk: kv480t commission exited with %d\n", code);
        return {-1, 0};
    }
    std::ifstream in(report / "report.json");
    const nlohmann::json doc = nlohmann::json::parse(in, nullptr, false);
    if (doc.is_discarded()) return {-1, 0};
    const nlohmann::json& collectors = doc.at("collectors");
    for (std::size_t i = 0; i < collectors.size(); ++i) {
        out.rowsMs += collectors[i].at("duration_ms").get<double>();
        if (i > 0)
            out.gapMs += (collectors[i].at("started_ms").get<double>() -
                          collectors[i - 1].at("finished_ms").get<double>()) /
                         static_cast<double>(collectors.size() - 1);
    }
    return out;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    constexpr std::size_t kRows = 8;
    const fs::path dir = fs::temp_directory_path() / ("bench-walk-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    // The profile: a factory collector's configuration with every value changed.
    std::ofstream(dir / "profile.json")
        << R"({"format": "kv480t-profile", "version": 1, "settings": {
  "rs485.baud": "19200", "rs485.parity": "Even", "din1.mode": "1", "ad1.urv": "20",
  "ad1.lrv": "4", "ad1.start": "1", "ad1.coefficient": "1.05", "interface.type": "1"}})";
    std::vector<double> one, many, perRow, gaps;
    for (int run = 0; run < runs; ++run) {
        const Run single = walk(1, dir, run);
        const Run walked = walk(kRows, dir, run);
        if (single.wallMs < 0 || walked.wallMs < 0) {
            fs::remove_all(dir);
            return 1;
        }
        gaps.push_back(walked.gapMs);
        one.push_back(single.wallMs - single.rowsMs);
        many.push_back(walked.wallMs - walked.rowsMs);
        perRow.push_back(((walked.wallMs - walked.rowsMs) - (single.wallMs - single.rowsMs)) /
                         static_cast<double>(kRows - 1));
    }
    fs::remove_all(dir);
    std::printf(
        "kv480t commission walking %zu rows on one port (answered at once) beside 1 row, "
        "9600 baud, %d runs\n",
        kRows, runs);
    std::printf("  beyond the rows' own time, 1 row    %7.1f ms  median\n", median(one));
    std::printf("  beyond the rows' own time, %zu rows   %7.1f ms  median\n", kRows, median(many));
    std::printf("  per row walked (8 rows less 1, / 7) %7.1f ms  median\n", median(perRow));
    std::printf("  from a row's end to the next start  %7.1f ms  median (aim: at most 300 ms)\n",
                median(gaps));
    return 0;
}
