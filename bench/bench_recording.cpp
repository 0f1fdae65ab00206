// bench_recording [runs]: what the history costs kv480t: `kv480t read` and `kv480t apply` of a
// full profile against the simulated collector at 9600 baud, each with --no-history and with
// a history file (the median of `runs` each, the two taken in turn). For apply the history
// also reads a listing before the first set frame (a fresh kv480t has read none since it
// opened the port): that read is the line's time, not the store's, and is shown apart (its
// line time) beside what is left for the store.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "protocol/Frames.h"
#include "sim/Collector.h"

namespace {

using Clock = std::chrono::steady_clock;

double timed(const std::vector<std::string>& args) {
    const auto start = Clock::now();
    const int code = kvbench::runProgram(KV480T_PATH, args, true);
    if (code != 0) {
        std::fprintf(stderr, "bench_recording: kv480t %s exited with %d\n", args[0].c_str(), code);
        std::exit(1);
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("bench-recording-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string history = (dir / "history.db").string();
    const std::string profile = (dir / "full.json").string();

    kvsim::CollectorOptions options;
    options.baud = 9600;
    kvsim::Collector collector(options);
    collector.start();
    const std::string port = collector.slavePath();
    timed({"save", "--port", port, "--include-station", "--include-counters", "--no-history",
           profile});
    const double listingMs =
        static_cast<double>(kvproto::kReadParametersFrame.size() +
                            kvsim::parameterText(collector.state()).size()) *
        10.0 / 9600.0 * 1000.0;

    std::printf("kv480t with and without the history, 9600 baud, %d runs each (medians)\n", runs);
    for (const char* command : {"read", "apply"}) {
        std::vector<std::string> args = {command, "--port", port};
        if (std::string(command) == "apply") args.push_back(profile);
        std::vector<double> off, on;
        for (int i = 0; i < runs; ++i) {
            std::vector<std::string> a = args;
            a.push_back("--no-history");
            off.push_back(timed(a));
            a.back() = "--history";
            a.push_back(history);
            on.push_back(timed(a));
        }
        const double without = median(off), with = median(on);
        std::printf("  kv480t %-6s  %7.1f ms without, %7.1f ms with: %+6.1f %%\n", command, without,
                    with, (with - without) / without * 100.0);
        if (std::string(command) == "apply") {
            const double store = with - without - listingMs;
            std::printf("    of which the listing read first: %.1f ms line time; the rest, "
                        "%.1f ms, is %+.1f %% (aim: at most 5 %%)\n",
                        listingMs, store, store / without * 100.0);
        } else {
            std::printf("    (aim: at most 5 %%)\n");
        }
    }
    std::filesystem::remove_all(dir);
    return 0;
}
