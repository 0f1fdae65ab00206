#include "WindowFlood.h"

#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "main1/Tmainform1.h"
#include "main1/TrafficModel.h"
#include "main1/TrafficPage.h"

namespace kvbench {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::int64_t wallNowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

long residentKiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Runs the event loop until `done` says so.
template <class Done>
void runUntil(Done done) {
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
    });
    check.start(5);
    loop.exec();
}

}  // namespace

void windowFlood(double seconds) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "bench_serial";
    static char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("KV480T-bench"));
    QStandardPaths::setTestModeEnabled(true);
    const QTemporaryDir settingsHome;  // the window's remembered settings stay out of the user's
    for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        for (QSettings::Scope scope : {QSettings::UserScope, QSettings::SystemScope})
            QSettings::setPath(format, scope, settingsHome.path());

    Pty pty;
    auto window = std::make_unique<Tmainform1>();
    window->resize(1025, 599);
    window->show();
    window->findChild<QTabWidget*>(QStringLiteral("PageControl1"))->setCurrentIndex(2);
    window->addPort(QString::fromStdString(pty.path), true);
    auto* open = window->findChild<QPushButton*>(QStringLiteral("Button10"));
    open->click();
    if (open->text() != QStringLiteral("Close")) {
        std::printf("window flood: the port did not open\n");
        return;
    }
    // What the Traffic page shows, as it shows it: the received bytes in the rows it adds, and
    // the most a row's block waited between the line and the page.
    TrafficModel& model = window->findChild<TrafficPage*>()->model();
    std::uint64_t got = 0;
    std::int64_t behindMs = 0;
    bool measuring = false;
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, &model,
                     [&](const QModelIndex&, int first, int last) {
                         const std::int64_t now = wallNowMs();
                         for (int row = first; row <= last; ++row) {
                             const kvtraffic::RowView shown = model.viewAt(row);
                             if (shown.kind != kvtraffic::Kind::Rx) continue;
                             got += shown.data.size();
                             if (measuring) behindMs = std::max(behindMs, now - shown.wallMs);
                         }
                     });
    runUntil([start = Clock::now()] { return Clock::now() - start > 300ms; });

    std::atomic<bool> sampling{true};
    const long before = residentKiB();
    std::atomic<long> peak{before};
    std::thread sampler([&] {
        while (sampling) {
            peak = std::max(peak.load(), residentKiB());
            std::this_thread::sleep_for(5ms);
        }
    });
    std::atomic<std::uint64_t> sent{0};
    std::atomic<bool> done{false};
    std::atomic<std::int64_t> endNs{0};
    const auto start = Clock::now();
    measuring = true;
    std::thread device([&] {
        const std::vector<std::uint8_t> chunk(65536, 0x5A);
        const auto until = start + std::chrono::duration<double>(seconds);
        while (Clock::now() < until) {
            pty.Write(chunk.data(), chunk.size());
            sent += chunk.size();
        }
        endNs = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
        done = true;
    });
    runUntil([&] { return done && got >= sent; });
    const double caughtUp = std::chrono::duration<double>(Clock::now() - start).count();
    device.join();
    sampling = false;
    sampler.join();
    const double floodS = static_cast<double>(endNs) / 1e9;
    std::printf(
        "window flood %.1f s at full pty speed, Traffic page shown: %.1f MB sent (%.1f MB/s "
        "through), %d rows kept, peak RSS growth %.1f MiB, window behind the line by at most "
        "%.3f s, backlog after the flood %.3f s\n",
        floodS, static_cast<double>(sent) / 1e6, static_cast<double>(sent) / 1e6 / floodS,
        model.rowCount(), static_cast<double>(peak - before) / 1024.0,
        static_cast<double>(behindMs) / 1000.0, caughtUp - floodS);
}

}  // namespace kvbench
