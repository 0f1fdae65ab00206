#include "sim/Collector.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <deque>
#include <random>
#include <system_error>
#include <utility>
#include <vector>

#include "sim/Device.h"
#include "sim/FrameAssembler.h"
#include "sim/PseudoTerminal.h"

namespace kvsim {

namespace {

using Clock = std::chrono::steady_clock;
using Nanos = std::chrono::nanoseconds;

// Part of an answer waiting to go out on the line.
struct Chunk {
    std::string bytes;
    Clock::time_point earliest;              // not before this
    Millis gap{0};                           // silence after the previous chunk
    std::optional<Clock::time_point> start;  // when its first byte went out
    std::size_t sent = 0;
    bool echo = false;  // the converter's echo, not the collector's answer
};

void pointLink(const std::string& link, const std::string& target) {
    if (link.empty()) return;
    const std::string temp = link + ".new";
    ::unlink(temp.c_str());
    if (::symlink(target.c_str(), temp.c_str()) != 0 || ::rename(temp.c_str(), link.c_str()) != 0)
        throw std::system_error(errno, std::generic_category(), "link " + link);
}

}  // namespace

struct Collector::Impl {
    explicit Impl(CollectorOptions o)
        : options(std::move(o)),
          byteTime(Nanos(std::chrono::seconds(10)) / std::max(options.baud, 1)),
          device(factoryDefaults(),
                 DeviceOptions{options.setAnswer, options.plainListing, options.keptWords}) {}

    void run();
    void receive(Clock::time_point now);
    void schedule(std::string answer, Clock::time_point now);
    void echo(std::string_view bytes, Clock::time_point now);
    std::optional<Clock::time_point> transmit(Clock::time_point now);
    void hangUp(Clock::time_point now);
    void openLine();
    Millis since(Clock::time_point t) const {
        return std::chrono::duration_cast<Millis>(t - started);
    }

    const CollectorOptions options;
    const Nanos byteTime;
    Clock::time_point started;

    // Shared with the callers' threads, under `mutex`.
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    Device device;
    std::uint64_t frames = 0;
    std::string devicePath;
    bool lineIsOpen = false;
    std::uint64_t lines = 0;
    bool stopRequested = false;
    bool dropRequested = false;
    bool reopenRequested = false;

    FileDescriptor wake;  // eventfd: a command is waiting
    std::thread thread;

    // The thread's own.
    PseudoTerminal pty;
    FrameAssembler assembler;
    std::deque<Chunk> output;
    Clock::time_point lineFreeAt{};
    bool writeBlocked = false;
    std::optional<Clock::time_point> dropAt;
    std::optional<Clock::time_point> reopenAt;
    std::minstd_rand noise{480};
};

void Collector::Impl::openLine() {
    pty = PseudoTerminal::open(options.baud);
    pointLink(options.linkPath, pty.slavePath());
    std::lock_guard lock(mutex);
    devicePath = pty.slavePath();
    lineIsOpen = true;
    ++lines;
    changed.notify_all();
}

void Collector::Impl::hangUp(Clock::time_point now) {
    pty.close();
    output.clear();
    assembler.clear();
    writeBlocked = false;
    if (options.reopenAfter) reopenAt = now + *options.reopenAfter;
    std::lock_guard lock(mutex);
    lineIsOpen = false;
    changed.notify_all();
}

void Collector::Impl::schedule(std::string answer, Clock::time_point now) {
    if (options.garbage) {
        // Bytes with the high bit set or control codes: never part of a frame or a tag. XON and
        // XOFF are left out, so that a port with software flow control is not stalled by them.
        std::string junk(3 + noise() % 8, '\0');
        for (char& c : junk) {
            do {
                c = static_cast<char>(noise() % 2 ? 0x80 + noise() % 0x80 : noise() % 0x20);
            } while (c == 0x11 || c == 0x13);
        }
        answer = junk + answer;
    }
    const std::size_t size = options.chunkSize > 0 ? options.chunkSize : answer.size();
    for (std::size_t at = 0; at < answer.size(); at += size) {
        Chunk chunk;
        chunk.bytes = answer.substr(at, size);
        if (at == 0)
            chunk.earliest = now + options.answerDelay;
        else
            chunk.gap = options.chunkGap;
        output.push_back(std::move(chunk));
    }
}

void Collector::Impl::echo(std::string_view bytes, Clock::time_point now) {
    // After the piece on its way (if any) and the echoes before this one, ahead of the rest.
    auto at = output.begin();
    if (at != output.end() && at->sent > 0) ++at;
    while (at != output.end() && at->echo) ++at;
    // A piece that has not begun yet starts again from the line's time once the echo is out.
    for (auto later = at; later != output.end(); ++later)
        if (later->sent == 0) later->start.reset();
    Chunk chunk;
    chunk.bytes = bytes;
    chunk.earliest = now;
    chunk.echo = true;
    output.insert(at, std::move(chunk));
}

void Collector::Impl::receive(Clock::time_point now) {
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(pty.master(), buf, sizeof buf);
        if (n > 0) {
            const std::string_view bytes(buf, static_cast<std::size_t>(n));
            if (options.echo) echo(bytes, now);
            if (options.silent) continue;
            std::vector<Frame> complete;
            assembler.feed(bytes, complete);
            for (const Frame& frame : complete) {
                std::string answer;
                {
                    std::lock_guard lock(mutex);
                    answer = device.handle(frame, since(now));
                    ++frames;
                }
                changed.notify_all();
                if (!answer.empty()) schedule(std::move(answer), now);  // no noise for silence
            }
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        hangUp(now);  // EIO or end of file: the line is gone
        return;
    }
}

std::optional<Clock::time_point> Collector::Impl::transmit(Clock::time_point now) {
    writeBlocked = false;
    while (!output.empty() && pty.isOpen()) {
        Chunk& chunk = output.front();
        if (!chunk.start) chunk.start = std::max(chunk.earliest, lineFreeAt + chunk.gap);
        const Clock::time_point start = *chunk.start;
        if (now < start) return start;
        const auto elapsed = static_cast<std::size_t>((now - start) / byteTime) + 1;
        const std::size_t due = std::min(chunk.bytes.size(), elapsed);
        if (due > chunk.sent) {
            const ssize_t n =
                ::write(pty.master(), chunk.bytes.data() + chunk.sent, due - chunk.sent);
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
                writeBlocked = true;
                return std::nullopt;
            }
            if (n < 0) {
                hangUp(now);
                return std::nullopt;
            }
            chunk.sent += static_cast<std::size_t>(n);
            if (chunk.sent < due) {
                writeBlocked = true;
                return std::nullopt;
            }
        }
        if (chunk.sent < chunk.bytes.size()) return start + byteTime * chunk.sent;
        lineFreeAt = start + byteTime * chunk.bytes.size();
        output.pop_front();
    }
    return std::nullopt;
}

void Collector::Impl::run() {
    for (;;) {
        Clock::time_point now = Clock::now();
        bool drop = false, reopen = false;
        {
            std::lock_guard lock(mutex);
            if (stopRequested) return;
            drop = std::exchange(dropRequested, false);
            reopen = std::exchange(reopenRequested, false);
        }
        if (dropAt && now >= *dropAt) {
            dropAt.reset();
            drop = true;
        }
        if (drop && pty.isOpen()) hangUp(now);
        if (reopenAt && now >= *reopenAt) reopen = true;
        if (reopen) {
            reopenAt.reset();
            try {
                if (!pty.isOpen()) openLine();
            } catch (const std::system_error& e) {
                std::fprintf(stderr, "kv480t-sim: cannot reopen the line: %s\n", e.what());
            }
        }

        std::optional<Clock::time_point> deadline = transmit(now);
        for (const auto& t : {dropAt, reopenAt})
            if (t && (!deadline || *t < *deadline)) deadline = t;

        pollfd fds[2] = {{wake.get(), POLLIN, 0}, {pty.master(), POLLIN, 0}};
        if (writeBlocked) fds[1].events |= POLLOUT;
        const nfds_t count = pty.isOpen() ? 2 : 1;
        timespec timeout{};
        if (deadline) {
            const auto left = std::max(Nanos(0), *deadline - Clock::now());
            timeout.tv_sec = static_cast<time_t>(left.count() / 1'000'000'000);
            timeout.tv_nsec = static_cast<long>(left.count() % 1'000'000'000);
        }
        if (::ppoll(fds, count, deadline ? &timeout : nullptr, nullptr) < 0) continue;
        if (fds[0].revents & POLLIN) {
            std::uint64_t value;
            [[maybe_unused]] const ssize_t n = ::read(wake.get(), &value, sizeof value);
        }
        if (count == 2 && (fds[1].revents & POLLIN)) {
            receive(Clock::now());
        } else if (count == 2 && (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL))) {
            hangUp(Clock::now());  // never wait on a dead line again: that would spin
        }
    }
}

Collector::Collector(CollectorOptions options)
    : impl_(std::make_unique<Impl>(std::move(options))) {}

Collector::~Collector() {
    stop();
}

void Collector::start() {
    if (impl_->thread.joinable()) return;
    impl_->wake.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!impl_->wake.valid()) throw std::system_error(errno, std::generic_category(), "eventfd");
    {
        std::lock_guard lock(impl_->mutex);
        impl_->stopRequested = false;
    }
    impl_->openLine();
    impl_->started = Clock::now();
    if (impl_->options.dropAfter) impl_->dropAt = impl_->started + *impl_->options.dropAfter;
    impl_->thread = std::thread([impl = impl_.get()] { impl->run(); });
}

namespace {

void wakeUp(int fd) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(fd, &one, sizeof one);
}

}  // namespace

void Collector::stop() {
    if (!impl_->thread.joinable()) return;
    {
        std::lock_guard lock(impl_->mutex);
        impl_->stopRequested = true;
    }
    wakeUp(impl_->wake.get());
    impl_->thread.join();
    impl_->pty.close();
    if (!impl_->options.linkPath.empty()) ::unlink(impl_->options.linkPath.c_str());
    std::lock_guard lock(impl_->mutex);
    impl_->lineIsOpen = false;
}

std::string Collector::slavePath() const {
    if (!impl_->options.linkPath.empty()) return impl_->options.linkPath;
    return deviceSlavePath();
}

std::string Collector::deviceSlavePath() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->devicePath;
}

DeviceState Collector::state() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->device.state();
}

std::uint64_t Collector::framesHandled() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->frames;
}

bool Collector::dropLine() {
    if (!impl_->thread.joinable()) return false;
    std::unique_lock lock(impl_->mutex);
    impl_->dropRequested = true;
    wakeUp(impl_->wake.get());
    return impl_->changed.wait_for(lock, std::chrono::seconds(2),
                                   [&] { return !impl_->lineIsOpen; });
}

bool Collector::reopenLine() {
    if (!impl_->thread.joinable()) return false;
    std::unique_lock lock(impl_->mutex);
    impl_->reopenRequested = true;
    wakeUp(impl_->wake.get());
    return impl_->changed.wait_for(lock, std::chrono::seconds(2),
                                   [&] { return impl_->lineIsOpen; });
}

bool Collector::lineOpen() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->lineIsOpen;
}

std::uint64_t Collector::linesOpened() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->lines;
}

bool Collector::waitForLines(std::uint64_t count, Millis timeout) const {
    std::unique_lock lock(impl_->mutex);
    return impl_->changed.wait_for(lock, timeout, [&] { return impl_->lines >= count; });
}

bool Collector::waitForFrames(std::uint64_t count, Millis timeout) const {
    std::unique_lock lock(impl_->mutex);
    return impl_->changed.wait_for(lock, timeout, [&] { return impl_->frames >= count; });
}

}  // namespace kvsim
