#include "cli/Interrupt.h"

#include <cerrno>
#include <string>

#ifdef _WIN32
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#else
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <csignal>
#endif

namespace kvcli {

namespace {

std::atomic<bool> gStop{false};
std::atomic<bool> gSignalled{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

// Bytes read from stdin beyond the last line handed out.
std::string gPending;

// A complete line from gPending, if there is one.
bool takeLine(std::string& line) {
    const auto end = gPending.find('\n');
    if (end == std::string::npos) return false;
    line = gPending.substr(0, end);
    gPending.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

#ifdef _WIN32

BOOL WINAPI onControl(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
    gSignalled = true;
    gStop = true;
    return TRUE;
}

// stdin read on a thread of its own (a console handle cannot be waited on for whole lines);
// the thread stays blocked in ReadFile until input comes or the program ends.
struct StdinReader {
    std::mutex mutex;
    std::condition_variable arrived;
    std::string bytes;
    bool ended = false;
    bool started = false;

    void start() {
        if (started) return;
        started = true;
        std::thread([this] {
            const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
            char buffer[256];
            for (;;) {
                DWORD got = 0;
                const bool ok = ReadFile(in, buffer, sizeof buffer, &got, nullptr);
                const std::lock_guard lock(mutex);
                if (!ok || got == 0) {
                    ended = true;
                    arrived.notify_all();
                    return;
                }
                bytes.append(buffer, got);
                arrived.notify_all();
            }
        }).detach();
    }
};

StdinReader& stdinReader() {
    static StdinReader* reader = new StdinReader;  // outlives the detached thread
    return *reader;
}

#else

int gPipe[2] = {-1, -1};
struct sigaction gOldInt {};
struct sigaction gOldTerm {};

void wake() {
    if (gPipe[1] >= 0) {
        [[maybe_unused]] const ssize_t n = ::write(gPipe[1], "x", 1);
    }
}

extern "C" void onSignal(int) {
    const int saved = errno;
    gSignalled = true;
    gStop = true;
    wake();
    errno = saved;
}

#endif

}  // namespace

StopOnInterrupt::StopOnInterrupt() {
    gStop = false;
    gSignalled = false;
#ifdef _WIN32
    SetConsoleCtrlHandler(onControl, TRUE);
#else
    if (::pipe(gPipe) == 0) {
        for (const int fd : gPipe) {
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // the serial threads' calls go on; the pipe wakes the prompt
    ::sigaction(SIGINT, &action, &gOldInt);
    ::sigaction(SIGTERM, &action, &gOldTerm);
#endif
}

StopOnInterrupt::~StopOnInterrupt() {
#ifdef _WIN32
    SetConsoleCtrlHandler(onControl, FALSE);
#else
    ::sigaction(SIGINT, &gOldInt, nullptr);
    ::sigaction(SIGTERM, &gOldTerm, nullptr);
    for (int& fd : gPipe) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
#endif
}

const std::atomic<bool>& StopOnInterrupt::flag() const {
    return gStop;
}

void StopOnInterrupt::stop() {
    gStop = true;
#ifndef _WIN32
    wake();
#endif
}

bool StopOnInterrupt::signalled() const {
    return gSignalled;
}

LineRead readAnswerLine(std::string& line) {
#ifdef _WIN32
    StdinReader& reader = stdinReader();
    reader.start();
    std::unique_lock lock(reader.mutex);
    for (;;) {
        if (gStop) return LineRead::Stopped;
        gPending += reader.bytes;
        reader.bytes.clear();
        if (takeLine(line)) return LineRead::Line;
        if (reader.ended) {
            if (gPending.empty()) return LineRead::End;
            line.swap(gPending);
            gPending.clear();
            return LineRead::Line;
        }
        // The control handler runs on a thread of its own: the flag is looked at often.
        reader.arrived.wait_for(lock, std::chrono::milliseconds(50));
    }
#else
    for (;;) {
        if (gStop) return LineRead::Stopped;
        if (takeLine(line)) return LineRead::Line;
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {gPipe[0], POLLIN, 0}};
        if (::poll(fds, gPipe[0] >= 0 ? 2 : 1, -1) < 0) {
            if (errno == EINTR) continue;
            return LineRead::End;
        }
        if (gPipe[0] >= 0 && fds[1].revents != 0) continue;  // the flag is set
        if (fds[0].revents == 0) continue;
        char buffer[256];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (got <= 0) {
            if (gPending.empty()) return LineRead::End;
            line.swap(gPending);  // a last line without its line end
            gPending.clear();
            return LineRead::Line;
        }
        gPending.append(buffer, static_cast<std::size_t>(got));
    }
#endif
}

}  // namespace kvcli
