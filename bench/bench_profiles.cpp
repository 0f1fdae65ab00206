// bench_profiles [runs]: times `kv480t apply` of a full profile (every parameter written, each
// set command waiting for its answer, then the read-back and the comparison) against simulated
// collectors that pace their answers like a 9600-baud line.
//
//   1. One collector, beside the line's own time for the same frames and answers
//      (bytes * 10 bits / 9600 baud): the ratio says how much the program adds to the line.
//   2. Eight collectors at once beside one: the ratio of the wall times says how well the
//      collectors are served side by side.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "profile/Profile.h"
#include "protocol/Frames.h"
#include "protocol/SetCommands.h"
#include "sim/Collector.h"
#include "sim/Device.h"

namespace {

using Clock = std::chrono::steady_clock;

// Exit code of kv480t with these arguments (its output discarded), -1 when it did not run.
int runKv480t(std::vector<std::string> argv) {
    return kvbench::runProgram(KV480T_PATH, std::move(argv));
}

struct Timing {
    double median = 0, min = 0, max = 0;
};

// Median wall time of `runs` runs in ms; min < 0 when a run failed.
Timing timeRuns(int runs, const std::vector<std::string>& args) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        const int code = runKv480t(args);
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        if (code != 0) {
            std::fprintf(stderr, "bench_profiles: kv480t %s exited with %d\n", args[0].c_str(),
                         code);
            return {0, -1, 0};
        }
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.front(), times.back()};
}

std::vector<std::string> applyArgs(const std::vector<std::string>& ports, const std::string& file) {
    std::vector<std::string> args = {"apply"};
    for (const std::string& port : ports) {
        args.push_back("--port");
        args.push_back(port);
    }
    args.insert(args.end(), {file, "--include-station", "--include-counters"});
    return args;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    constexpr std::size_t kMany = 8;
    std::vector<std::unique_ptr<kvsim::Collector>> collectors;
    std::vector<std::string> ports;
    for (std::size_t i = 0; i < kMany; ++i) {
        collectors.push_back(std::make_unique<kvsim::Collector>());
        collectors.back()->start();
        ports.push_back(collectors.back()->slavePath());
    }

    // A full profile, saved from the first collector by kv480t itself.
    const std::string file = (std::filesystem::temp_directory_path() /
                              ("bench-profiles-" + std::to_string(::getpid()) + ".json"))
                                 .string();
    if (runKv480t({"save", "--port", ports[0], file, "--include-station", "--include-counters"}) !=
        0) {
        std::fprintf(stderr, "bench_profiles: kv480t save failed\n");
        return 1;
    }
    const kvprofile::ReadResult profile = kvprofile::readProfileFile(file);
    if (!profile.profile) {
        std::fprintf(stderr, "bench_profiles: %s\n", profile.error.c_str());
        return 1;
    }

    // The line's own time: every set frame and its answer, the read frame and the listing.
    kvsim::Device device(collectors[0]->state());
    std::size_t bytes = 0;
    std::size_t frames = 0;
    for (const kvproto::SetCommand& command : kvproto::setCommands()) {
        const std::string frame = kvproto::buildSetFrame(command, profile.profile->settings);
        bytes += frame.size() + device.receive(frame, kvsim::Millis{0}).size();
        ++frames;
    }
    bytes += kvproto::kReadParametersFrame.size() + kvsim::parameterText(device.state()).size();
    ++frames;
    const double lineMs = static_cast<double>(bytes) * 10.0 / 9600.0 * 1000.0;

    const Timing one = timeRuns(runs, applyArgs({ports[0]}, file));
    const Timing many = timeRuns(runs, applyArgs(ports, file));
    std::filesystem::remove(file);
    if (one.min < 0 || many.min < 0) return 1;

    std::printf("kv480t apply of a full profile (write + read-back) at 9600 baud, %d runs\n", runs);
    std::printf("  line time        %7.1f ms  (%zu frames and answers, %zu bytes, 10 bits each)\n",
                lineMs, frames, bytes);
    std::printf("  one collector    %7.1f ms  median (min %.1f, max %.1f)\n", one.median, one.min,
                one.max);
    std::printf("  ratio to line    %7.2f     (aim: under 1.5)\n", one.median / lineMs);
    std::printf("  %zu collectors    %7.1f ms  median (min %.1f, max %.1f)\n", kMany, many.median,
                many.min, many.max);
    std::printf("  ratio to one     %7.2f     (aim: under 1.3)\n", many.median / one.median);
    return 0;
}
