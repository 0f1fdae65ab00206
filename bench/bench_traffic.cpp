// bench_traffic [seconds [append]]: what the window's traffic log costs the GUI thread.
//   1. Appending rows: blocks of 2048 bytes recorded into the "Traffic" page's model, shown in
//      its table (offscreen), per row and per batch announced to the view.
//   2. Blocks arriving on a pseudo-terminal through TComm into the Qt event loop for
//      `seconds` (5), paced at 1 MB/s and at full speed, each with and without the traffic
//      page fed: the GUI thread's CPU share, the time spent in the append path, the rows,
//      and the growth of the resident memory.
// It prints figures and asserts nothing.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QTableView>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "BenchSupport.h"
#include "SPComm/TComm.h"
#include "main1/TrafficModel.h"
#include "main1/TrafficPage.h"
#include "main1/adapters/QtDeliveryChannel.h"

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

double threadCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double residentMiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

void appendCost(TrafficPage& page) {
    const std::string block(2048, 'A');
    const int rows = 200000;
    Clock::duration appending{}, announcing{}, painting{};
    int batches = 0;
    const double before = residentMiB();
    for (int done = 0; done < rows;) {
        const auto start = Clock::now();
        for (int i = 0; i < 500 && done < rows; ++i, ++done) page.recorder().received(block);
        const auto appended = Clock::now();
        page.model().flush();  // what the flush timer does: one batch to the view
        const auto announced = Clock::now();
        QCoreApplication::processEvents();
        painting += Clock::now() - announced;
        announcing += announced - appended;
        appending += appended - start;
        ++batches;
    }
    std::printf(
        "append path: %d rows of 2048 bytes: %.2f us per row recorded; per batch of 500: "
        "%.2f ms announced to the view, %.2f ms repainted (%d batches); resident "
        "memory +%.1f MiB (the log holds %d rows)\n",
        rows, seconds(appending) * 1e6 / rows, seconds(announcing) * 1e3 / batches,
        seconds(painting) * 1e3 / batches, batches, residentMiB() - before,
        page.model().rowCount());
    page.model().clear();
}

using kvbench::Pty;

void flood(QApplication& app, TrafficPage* page, double bytesPerSecond, int runSeconds) {
    Pty pty;
    spcomm::TComm comm(std::make_shared<QtDeliveryChannel>(&app));
    comm.SetCommName(pty.path);
    comm.SetOutx_XonXoffFlow(false);
    comm.SetInx_XonXoffFlow(false);
    std::uint64_t bytes = 0, blocks = 0;
    Clock::duration inAppend{};
    comm.OnReceiveData = [&](spcomm::TComm*, const std::uint8_t* buffer, std::uint16_t length) {
        bytes += length;
        ++blocks;
        if (!page) return;
        const auto start = Clock::now();
        page->recorder().received(std::string_view(reinterpret_cast<const char*>(buffer), length));
        inAppend += Clock::now() - start;
    };
    comm.Open();

    std::atomic<bool> stop{false};
    std::thread writer([&] {
        const std::string chunk(2048, 'B');
        const auto start = Clock::now();
        std::uint64_t written = 0;
        while (!stop.load()) {
            if (bytesPerSecond > 0) {
                const auto due =
                    start + std::chrono::duration_cast<Clock::duration>(
                                std::chrono::duration<double>(written / bytesPerSecond));
                std::this_thread::sleep_until(due);
            }
            const ssize_t w = write(pty.master, chunk.data(), chunk.size());
            if (w <= 0) break;
            written += static_cast<std::uint64_t>(w);
        }
    });

    // Flushes of the model are timer-driven; count the time the view work takes too.
    const double memoryBefore = residentMiB();
    const double cpuBefore = threadCpuSeconds();
    const auto wallStart = Clock::now();
    QTimer::singleShot(runSeconds * 1000, &app, &QCoreApplication::quit);
    app.exec();
    const double wall = seconds(Clock::now() - wallStart);
    const double cpu = threadCpuSeconds() - cpuBefore;
    stop = true;
    // Unblock a writer stuck on a full terminal buffer, then let the reader go.
    comm.Close();
    writer.join();

    std::printf(
        "%-9s %-13s %6.1f MB/s received, %7llu blocks, GUI thread CPU %5.1f %%, in "
        "append %5.2f %% (%.2f us per block), resident memory %+.1f MiB\n",
        bytesPerSecond > 0 ? "1 MB/s" : "full pty", page ? "traffic page" : "no page",
        static_cast<double>(bytes) / wall / 1e6, static_cast<unsigned long long>(blocks),
        100.0 * cpu / wall, 100.0 * seconds(inAppend) / wall,
        blocks ? seconds(inAppend) * 1e6 / static_cast<double>(blocks) : 0.0,
        residentMiB() - memoryBefore);
    if (page) page->model().clear();
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const int runSeconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    QApplication app(argc, argv);
    TrafficPage page(nullptr);
    page.resize(1000, 500);
    page.show();
    QCoreApplication::processEvents();

    appendCost(page);
    if (argc > 2 && std::string(argv[2]) == "append") return 0;
    for (const double rate : {1e6, 0.0}) {
        flood(app, nullptr, rate, runSeconds);
        flood(app, &page, rate, runSeconds);
    }
    return 0;
}
