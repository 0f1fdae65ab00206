// bench_serial [MiB [throughput|overhead|idle|flood|window]]: TComm on a pseudo-terminal against a
// bare poll()+read() loop on the same terminal, figure by figure:
//   - receive throughput of 64 MiB (or MiB) from the device side to the owner's thread, in
//     MB/s and as "throughput ratio R" (TComm over the bare loop, median of the rounds);
//   - delivery overhead: device's last byte to OnReceiveData, minus ReadIntervalTimeout;
//   - idle cost: voluntary context switches per second of the reading threads over 10 s;
//   - flood: the device writes as fast as the terminal takes for 5 s while the owner handles
//     each block more slowly than that (a busy window); peak memory (RSS) growth, the
//     channel's peak backlog, and the backlog time from the flood's end until the owner has
//     every byte. Runs first, so that the other parts' buffers do not hide the growth.
//     Where the window is built, a flood into the real window with its "Traffic" page shown
//     follows (WindowFlood.h; "window" runs it alone), long enough to fill the page's log.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "SPComm/TComm.h"
#include "SPComm/TQueueChannel.h"
#ifdef KV_BENCH_WINDOW
#include "WindowFlood.h"
#endif

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using spcomm::TComm;
using spcomm::TQueueChannel;

namespace {

constexpr std::uint32_t kIntervalMs = 100;
constexpr int kRounds = 7;
#ifdef KV_BENCH_WINDOW
// The window takes a few hundred blocks a second: 30 s fill its traffic log several times.
constexpr double kWindowFloodSeconds = 30.0;
#endif

using kvbench::Pty;

// The bare reader runs at the priority TComm gives its receive worker (two steps above
// normal where the process may raise it), so that the comparison is like for like.
struct ReaderPriority {
    ReaderPriority() { setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), -2); }
    ~ReaderPriority() { setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 0); }
};

// The bare reader: the slave opened the way TComm opens it, read with poll()+read().
int OpenBare(const std::string& path) {
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
    return fd;
}

void Pump(const Pty& pty, const std::vector<std::uint8_t>& data) {
    for (std::size_t off = 0; off < data.size(); off += 65536) {
        pty.Write(data.data() + off, std::min<std::size_t>(65536, data.size() - off));
    }
}

double BareThroughput(const Pty& pty, const std::vector<std::uint8_t>& data) {
    int fd = OpenBare(pty.path);
    std::size_t got = 0;
    std::uint8_t buffer[2048];
    const auto start = Clock::now();
    std::thread writer([&] { Pump(pty, data); });
    ReaderPriority priority;  // after starting the writer, which stays at normal priority
    while (got < data.size()) {
        pollfd p{fd, POLLIN, 0};
        poll(&p, 1, -1);
        ssize_t r = read(fd, buffer, sizeof buffer);
        if (r > 0) got += static_cast<std::size_t>(r);
    }
    const double s = std::chrono::duration<double>(Clock::now() - start).count();
    writer.join();
    close(fd);
    return data.size() / s / 1e6;
}

std::unique_ptr<TComm> OpenComm(const std::string& path, std::shared_ptr<TQueueChannel> channel) {
    auto comm = std::make_unique<TComm>(channel);
    comm->SetCommName(path);
    comm->SetOutx_XonXoffFlow(false);
    comm->SetInx_XonXoffFlow(false);
    comm->Open();
    return comm;
}

double CommThroughput(const Pty& pty, const std::vector<std::uint8_t>& data) {
    auto channel = std::make_shared<TQueueChannel>();
    auto comm = OpenComm(pty.path, channel);
    std::size_t got = 0;
    comm->OnReceiveData = [&](TComm*, const std::uint8_t*, std::uint16_t n) { got += n; };
    const auto start = Clock::now();
    std::thread writer([&] { Pump(pty, data); });
    while (got < data.size()) channel->waitAndDrain(1s);
    const double s = std::chrono::duration<double>(Clock::now() - start).count();
    writer.join();
    return data.size() / s / 1e6;
}

struct Spread {
    double median, p99;
};
Spread Percentiles(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    auto at = [&](double q) {
        return v[std::min(v.size() - 1, static_cast<std::size_t>(q * v.size()))];
    };
    return {at(0.5), at(0.99)};
}

// Overhead per reply: time from the device's last byte to the reader having the block, less
// the 100 ms of silence that ends it.
constexpr int kReplies = 60;
const std::uint8_t kReply[] = "KV480T#OK#AD1:4-20mA#";

Spread BareOverhead(const Pty& pty) {
    ReaderPriority priority;
    int fd = OpenBare(pty.path);
    std::vector<double> ms;
    std::uint8_t buffer[2048];
    for (int i = 0; i < kReplies; ++i) {
        pty.Write(kReply, sizeof kReply - 1);
        const auto sent = Clock::now();
        // Same rule as the component: read, then wait for 100 ms of silence.
        Clock::time_point last{};
        std::size_t got = 0;
        for (;;) {
            ssize_t r = read(fd, buffer, sizeof buffer);
            if (r > 0) {
                got += static_cast<std::size_t>(r);
                last = Clock::now();
            }
            pollfd p{fd, POLLIN, 0};
            if (got == 0) {
                poll(&p, 1, -1);
                continue;
            }
            auto left = last + std::chrono::milliseconds(kIntervalMs) - Clock::now();
            if (left <= Clock::duration::zero()) break;
            timespec ts{0, static_cast<long>(
                               std::chrono::duration_cast<std::chrono::nanoseconds>(left).count())};
            ppoll(&p, 1, &ts, nullptr);
        }
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - sent).count() -
                     kIntervalMs);
    }
    close(fd);
    return Percentiles(ms);
}

Spread CommOverhead(const Pty& pty) {
    auto channel = std::make_shared<TQueueChannel>();
    auto comm = OpenComm(pty.path, channel);
    std::vector<double> ms;
    Clock::time_point sent{};
    bool arrived = false;
    comm->OnReceiveData = [&](TComm*, const std::uint8_t*, std::uint16_t) {
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - sent).count() -
                     kIntervalMs);
        arrived = true;
    };
    for (int i = 0; i < kReplies; ++i) {
        arrived = false;
        pty.Write(kReply, sizeof kReply - 1);
        sent = Clock::now();
        while (!arrived) channel->waitAndDrain(5s);
    }
    return Percentiles(ms);
}

std::set<long> Tasks() {
    std::set<long> tids;
    if (DIR* d = opendir("/proc/self/task")) {
        while (dirent* e = readdir(d)) {
            if (e->d_name[0] != '.') tids.insert(std::atol(e->d_name));
        }
        closedir(d);
    }
    return tids;
}

long VoluntarySwitches(long tid) {
    std::ifstream status("/proc/self/task/" + std::to_string(tid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0) return std::atol(line.c_str() + 24);
    }
    return 0;
}

long Switches(const std::set<long>& tids) {
    long n = 0;
    for (long tid : tids) n += VoluntarySwitches(tid);
    return n;
}

// Resident set size now, in KiB.
long RssKiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// A device flooding the line for `seconds` while the owner needs `perBlock` of work for each
// block it receives.
void Flood(double seconds, std::chrono::microseconds perBlock) {
    Pty pty;
    auto channel = std::make_shared<TQueueChannel>();
    auto comm = OpenComm(pty.path, channel);
    std::size_t got = 0;
    std::size_t peakBacklog = 0;
    long rssBefore = 0, rssPeak = 0;
    auto lastSample = Clock::now();
    // Sampled while the owner works, which is when the backlog is largest.
    auto sample = [&] {
        peakBacklog = std::max(peakBacklog, channel->backlog());
        if (Clock::now() - lastSample > 10ms) {
            rssPeak = std::max(rssPeak, RssKiB());
            lastSample = Clock::now();
        }
    };
    comm->OnReceiveData = [&](TComm*, const std::uint8_t*, std::uint16_t n) {
        got += n;
        sample();
        const auto until = Clock::now() + perBlock;
        while (Clock::now() < until) {
        }
    };
    channel->drain();
    rssBefore = rssPeak = RssKiB();
    std::atomic<std::size_t> sent{0};
    std::atomic<bool> done{false};
    std::atomic<std::int64_t> endNs{0};
    const auto start = Clock::now();
    std::thread device([&] {
        std::vector<std::uint8_t> chunk(65536, 0x5A);
        const auto until = start + std::chrono::duration<double>(seconds);
        while (Clock::now() < until) {
            pty.Write(chunk.data(), chunk.size());
            sent += chunk.size();
        }
        endNs = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
        done = true;
    });
    while (!done || got < sent) {
        sample();
        channel->waitAndDrain(50ms);
    }
    const auto caughtUp = Clock::now() - start;
    device.join();
    const long rssGrowth = std::max(rssPeak, RssKiB()) - rssBefore;
    const double floodS = endNs / 1e9;
    const double backlogS = std::chrono::duration<double>(caughtUp).count() - floodS;
    std::printf(
        "flood %.1f s at full pty speed, owner %lld us per block: %.1f MB sent (%.1f MB/s "
        "through), peak RSS growth %.1f MiB, peak channel backlog %.0f KiB, backlog after the "
        "flood %.3f s\n",
        floodS, static_cast<long long>(perBlock.count()), sent / 1e6, sent / 1e6 / floodS,
        rssGrowth / 1024.0, peakBacklog / 1024.0, backlogS);
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
    const std::string only = argc > 2 ? argv[2] : "";
    auto wanted = [&](const char* part) { return only.empty() || only == part; };
    if (wanted("flood")) {
        Flood(5.0, 50us);  // a window slower than the line
        Flood(5.0, 0us);   // an owner that keeps up, for scale
    }
#ifdef KV_BENCH_WINDOW
    if (wanted("flood") || only == "window") kvbench::windowFlood(kWindowFloodSeconds);
#endif
    if (only == "flood" || only == "window") return 0;
    std::vector<std::uint8_t> data(mib << 20);
    std::uint32_t x = 2463534242u;
    for (auto& b : data) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        b = static_cast<std::uint8_t>(x);
    }

    if (wanted("throughput")) {
        // Rounds alternate between the two readers. Other load on the machine moves both
        // figures a lot, so the ratio is the median of the rounds' ratios, each round's two
        // runs back to back.
        Pty pty;
        double bare = 0, comm = 0;
        std::vector<double> ratios;
        for (int round = 0; round < kRounds; ++round) {
            const double b = BareThroughput(pty, data);
            const double c = CommThroughput(pty, data);
            bare = std::max(bare, b);
            comm = std::max(comm, c);
            ratios.push_back(c / b);
        }
        std::sort(ratios.begin(), ratios.end());
        std::printf(
            "receive %zu MiB, best of %d: bare poll()+read() %.1f MB/s, "
            "TComm to owner thread %.1f MB/s; round ratios %.2f to %.2f\n",
            mib, kRounds, bare, comm, ratios.front(), ratios.back());
        std::printf("throughput ratio %.2f\n", ratios[ratios.size() / 2]);
    }
    if (wanted("overhead")) {
        Pty pty;
        const Spread bare = BareOverhead(pty);
        const Spread comm = CommOverhead(pty);
        std::printf(
            "delivery overhead beyond the %u ms interval (%d replies): "
            "bare median %.3f ms p99 %.3f ms; TComm median %.3f ms p99 %.3f ms\n",
            kIntervalMs, kReplies, bare.median, bare.p99, comm.median, comm.p99);
    }
    if (wanted("idle")) {
        Pty pty;
        Pty barePty;
        const std::set<long> before = Tasks();
        auto channel = std::make_shared<TQueueChannel>();
        auto comm = OpenComm(pty.path, channel);
        std::this_thread::sleep_for(200ms);
        channel->drain();  // the transmit worker's first "queue empty"
        std::set<long> workers;
        for (long tid : Tasks()) {
            if (!before.count(tid)) workers.insert(tid);
        }
        std::atomic<long> bareTid{0};
        int bareFd = OpenBare(barePty.path);
        std::thread bare([&] {
            bareTid = syscall(SYS_gettid);
            pollfd p{bareFd, POLLIN, 0};
            poll(&p, 1, 11000);
        });
        while (bareTid == 0) std::this_thread::sleep_for(1ms);
        std::this_thread::sleep_for(50ms);
        const long commStart = Switches(workers), bareStart = VoluntarySwitches(bareTid);
        const auto start = Clock::now();
        std::this_thread::sleep_for(10s);
        const double s = std::chrono::duration<double>(Clock::now() - start).count();
        const long commEnd = Switches(workers), bareEnd = VoluntarySwitches(bareTid);
        std::printf(
            "idle cost over %.1f s: bare reader %.2f voluntary switches/s, "
            "TComm (%zu workers) %.2f voluntary switches/s\n",
            s, (bareEnd - bareStart) / s, workers.size(), (commEnd - commStart) / s);
        bare.join();
        close(bareFd);
    }
    return 0;
}
