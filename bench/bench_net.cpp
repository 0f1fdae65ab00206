// bench_net [runs]: network ports and finding collectors, against simulated collectors that
// pace their answers like a 9600-baud line.
//
//   1. `kv480t read` through ser2net (RFC 2217, 127.0.0.1) beside the same read on the
//      pseudo-terminal directly: what the gateway and the telnet layer add (aim: <= 1.2).
//   2. `kv480t find` over eight collectors beside one (only the ports named): how well the
//      ports are tried side by side (aim: <= 1.3).
// Medians of `runs` runs (default 9); the finds' two sides taken in turn.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "Ser2Net.h"
#include "sim/Collector.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Timing {
    std::vector<double> ms;
    double median() {
        std::sort(ms.begin(), ms.end());
        return ms[ms.size() / 2];
    }
};

// Milliseconds of one kv480t run; exits the benchmark when kv480t fails.
double timeKv480t(const std::vector<std::string>& args) {
    const auto start = Clock::now();
    const int code = kvbench::runProgram(KV480T_PATH, args, true);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (code != 0) {
        std::fprintf(stderr, "bench_net: kv480t %s exited with %d\n", args[0].c_str(), code);
        std::exit(1);
    }
    return ms;
}

std::vector<std::string> findArgs(const std::vector<std::unique_ptr<kvsim::Collector>>& c,
                                  std::size_t count) {
    std::vector<std::string> args = {"find", "--named-only"};
    for (std::size_t i = 0; i < count; ++i) {
        args.push_back("--port");
        args.push_back(c[i]->slavePath());
    }
    return args;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;

    kvsim::Collector collector;
    collector.start();
    kvtest::Ser2Net gateway(collector.deviceSlavePath());
    Timing direct, rfc2217;
    for (int i = 0; i < runs; ++i)
        rfc2217.ms.push_back(timeKv480t({"read", "--port", gateway.rfc2217Url()}));
    // ser2net keeps reading the line for a while after its client has gone: stopped, it
    // takes no byte of the direct reads' answers.
    gateway.stop();
    for (int i = 0; i < runs; ++i)
        direct.ms.push_back(timeKv480t({"read", "--port", collector.slavePath()}));
    const double readRatio = rfc2217.median() / direct.median();
    std::printf("kv480t read, %d runs (medians)\n", runs);
    std::printf("  pseudo-terminal directly   %7.1f ms\n", direct.median());
    std::printf("  through ser2net (RFC 2217) %7.1f ms\n", rfc2217.median());
    std::printf("  ratio                      %7.2f    (aim: at most 1.2)\n", readRatio);

    std::vector<std::unique_ptr<kvsim::Collector>> collectors;
    for (int i = 0; i < 8; ++i) {
        collectors.push_back(std::make_unique<kvsim::Collector>());
        collectors.back()->start();
    }
    Timing one, eight;
    for (int i = 0; i < runs; ++i) {
        one.ms.push_back(timeKv480t(findArgs(collectors, 1)));
        eight.ms.push_back(timeKv480t(findArgs(collectors, 8)));
    }
    std::printf("kv480t find, %d runs (medians)\n", runs);
    std::printf("  one collector              %7.1f ms\n", one.median());
    std::printf("  eight collectors           %7.1f ms\n", eight.median());
    std::printf("  ratio                      %7.2f    (aim: at most 1.3)\n",
                eight.median() / one.median());
    return 0;
}
