// bench_collectors [runs]: how the way a collector answers set frames costs time. Times
// `kv480t apply` of a full profile followed by `kv480t verify` (two listings read in all)
// against simulated collectors at 9600 baud that
//   (a) acknowledge every set frame (the simulator as it always was),
//   (b) sit behind a converter that echoes every frame before the answer,
//   (c) never answer a set frame,
// each beside the line's own time for the frames, the echoes, the answers and the listings
// (bytes * 10 bits / 9600 baud). Aims: (a) and (b) at most 1.3 times the line time, (c) at
// most 6 s. Then `kv480t read` of a collector whose listing has no counter-base lines, beside
// its line time (aim: at most 1.2).
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

// Median wall time in ms of `runs` runs of the kv480t commands in turn; < 0 when one failed.
double medianMs(int runs, const std::vector<std::vector<std::string>>& commands) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        for (const std::vector<std::string>& args : commands) {
            if (const int code = kvbench::runProgram(KV480T_PATH, args, true); code != 0) {
                std::fprintf(stderr, "bench_collectors: kv480t %s exited with %d\n",
                             args[0].c_str(), code);
                return -1;
            }
        }
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::string file = (std::filesystem::temp_directory_path() /
                              ("bench-collectors-" + std::to_string(::getpid()) + ".json"))
                                 .string();
    struct Kind {
        const char* name;
        kvsim::SetAnswer answer;
        bool echo;
        const char* aim;
    };
    const Kind kinds[] = {
        {"(a) acknowledges", kvsim::SetAnswer::Ok, false, "aim: at most 1.3x"},
        {"(b) behind an echo", kvsim::SetAnswer::Ok, true, "aim: at most 1.3x"},
        {"(c) never answers", kvsim::SetAnswer::None, false, "aim: at most 6000 ms"},
    };
    std::printf("kv480t apply + verify of a full profile at 9600 baud, %d runs each\n", runs);
    for (const Kind& kind : kinds) {
        kvsim::CollectorOptions options;
        options.setAnswer = kind.answer;
        options.echo = kind.echo;
        kvsim::Collector collector(options);
        collector.start();
        const std::string port = collector.slavePath();
        if (kvbench::runProgram(KV480T_PATH, {"save", "--port", port, file, "--include-station",
                                              "--include-counters"}) != 0) {
            std::fprintf(stderr, "bench_collectors: kv480t save failed\n");
            return 1;
        }
        const kvprofile::ReadResult profile = kvprofile::readProfileFile(file);
        if (!profile.profile) {
            std::fprintf(stderr, "bench_collectors: %s\n", profile.error.c_str());
            return 1;
        }
        // The line's own time: every set frame and its answer, two reads and their listings;
        // behind the converter every frame comes back once more before its answer.
        kvsim::Device device(collector.state(), kvsim::DeviceOptions{kind.answer, false, {}});
        const std::size_t copies = kind.echo ? 2 : 1;
        std::size_t bytes = 0;
        for (const kvproto::SetCommand& command : kvproto::setCommands()) {
            const std::string frame = kvproto::buildSetFrame(command, profile.profile->settings);
            bytes += copies * frame.size() + device.receive(frame, kvsim::Millis{0}).size();
        }
        bytes += 2 * (copies * kvproto::kReadParametersFrame.size() +
                      kvsim::parameterText(device.state()).size());
        const double lineMs = static_cast<double>(bytes) * 10.0 / 9600.0 * 1000.0;
        const double ms = medianMs(
            runs, {{"apply", "--port", port, file, "--include-station", "--include-counters"},
                   {"verify", "--port", port, file, "--include-station", "--include-counters"}});
        if (ms < 0) return 1;
        std::printf("  %-20s %7.1f ms beside a line time of %6.1f ms: %5.2fx  (%s)\n", kind.name,
                    ms, lineMs, ms / lineMs, kind.aim);
    }
    std::filesystem::remove(file);

    kvsim::CollectorOptions plain;
    plain.plainListing = true;
    kvsim::Collector collector(plain);
    collector.start();
    const std::size_t bytes = kvproto::kReadParametersFrame.size() +
                              kvsim::parameterText(collector.state(), kvsim::Listing::Plain).size();
    const double lineMs = static_cast<double>(bytes) * 10.0 / 9600.0 * 1000.0;
    const double ms = medianMs(runs * 2, {{"read", "--port", collector.slavePath()}});
    if (ms < 0) return 1;
    std::printf("kv480t read of a listing without counter-base lines, %d runs\n", runs * 2);
    std::printf("  %-20s %7.1f ms beside a line time of %6.1f ms: %5.2fx  (aim: at most 1.2x)\n",
                "read", ms, lineMs, ms / lineMs);
    return 0;
}
