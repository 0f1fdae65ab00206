// bench_read [runs]: times `kv480t read` (the whole program: start, open, request, read-back,
// print, exit) against the simulated collector, which paces its answer like a 9600-baud line,
// and sets the median beside the line's own time for the frame and the reply
// (bytes * 10 bits / 9600 baud). The ratio says how much the program adds to the line.
#include <fcntl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "protocol/Frames.h"
#include "sim/Collector.h"

namespace {

using Clock = std::chrono::steady_clock;

// Exit code of kv480t, or -1 when it could not be started (its errors stay visible).
int runRead(const std::string& port) {
    return kvbench::runProgram(KV480T_PATH, {"read", "--port", port}, true);
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    kvsim::CollectorOptions options;
    options.baud = 9600;
    kvsim::Collector collector(options);
    collector.start();

    const std::size_t frameBytes = kvproto::kReadParametersFrame.size();
    const std::size_t replyBytes = kvsim::parameterText(collector.state()).size();
    const double lineMs = static_cast<double>(frameBytes + replyBytes) * 10.0 / 9600.0 * 1000.0;

    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        const int code = runRead(collector.slavePath());
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        if (code != 0) {
            std::fprintf(stderr, "bench_read: kv480t read exited with %d\n", code);
            return 1;
        }
        times.push_back(ms);
    }
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    std::printf("kv480t read at 9600 baud, %d runs\n", runs);
    std::printf("  line time      %7.1f ms  (frame %zu + reply %zu bytes, 10 bits each)\n", lineMs,
                frameBytes, replyBytes);
    std::printf("  kv480t read    %7.1f ms  median (min %.1f, max %.1f)\n", median, times.front(),
                times.back());
    std::printf("  ratio          %7.2f    (aim: under 1.3)\n", median / lineMs);
    return 0;
}
