// POSIX back end (Linux; also builds on macOS): a non-blocking tty descriptor, exclusive
// through TIOCEXCL and flock, raw termios with VMIN=1/VTIME=0, read time-outs done as poll
// deadlines, and a poll event (posix/PollEvent.h) as the close event that every wait also
// watches.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <optional>
#include <utility>

#if defined(__linux__)
#include <linux/serial.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#endif

#include "SPComm/CommPort.h"
#include "SPComm/ReadTimer.h"
#include "SPComm/TTransmitQueue.h"
#include "SPComm/TWorkerLink.h"
#include "SPComm/TWorkerPort.h"
#include "SPComm/posix/PollEvent.h"
#include "SPComm/posix/PollWait.h"
#include "SPComm/posix/PosixRead.h"
#include "SPComm/posix/TermiosSettings.h"

namespace spcomm::detail {
namespace {

using Clock = TReadTimer::Clock;

class TFd {
public:
    TFd() = default;
    explicit TFd(int fd) : fd_(fd) {}
    TFd(TFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    TFd& operator=(TFd&& other) noexcept {
        if (this != &other) {
            Reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    ~TFd() { Reset(); }
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    void Reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

std::atomic<TReadFunction> readFunction{&::read};

// The receive worker runs two steps and the transmit worker one step above normal, where the
// process may raise a thread's priority (Linux: a per-thread nice value, which needs
// CAP_SYS_NICE); otherwise they stay at normal priority.
void RaisePriority(int steps) {
#if defined(__linux__)
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), -steps);
#else
    (void)steps;
#endif
}

// Line errors and modem events from the driver's interrupt counters (Linux serial drivers;
// pseudo-terminals have none, and then nothing is reported).
class TLineCounters {
public:
    explicit TLineCounters(int fd) : fd_(fd) {
#if defined(TIOCGICOUNT)
        available_ = ::ioctl(fd_, TIOCGICOUNT, &last_) == 0;
#endif
    }
    // Posts what changed since the last call. False when a post failed.
    bool Report(TWorkerLink& link) {
#if defined(TIOCGICOUNT)
        if (!available_) return true;
        serial_icounter_struct now{};
        if (::ioctl(fd_, TIOCGICOUNT, &now) != 0) return true;
        std::uint32_t errors = 0;
        if (now.buf_overrun != last_.buf_overrun) errors |= 0x0001;  // CE_RXOVER
        if (now.overrun != last_.overrun) errors |= 0x0002;          // CE_OVERRUN
        if (now.parity != last_.parity) errors |= 0x0004;            // CE_RXPARITY
        if (now.frame != last_.frame) errors |= 0x0008;              // CE_FRAME
        if (now.brk != last_.brk) errors |= 0x0010;                  // CE_BREAK
        std::uint32_t modem = 0;
        if (now.dcd != last_.dcd) modem |= 8;
        if (now.rng != last_.rng) modem |= 4;
        last_ = now;
        if (errors != 0 && !link.PostValue(PWM_RECEIVEERROR, errors)) return false;
        if (modem != 0 && !link.PostValue(PWM_MODEMSTATECHANGE, modem)) return false;
#else
        (void)link;
#endif
        return true;
    }

private:
    [[maybe_unused]] int fd_;
    bool available_ = false;
#if defined(TIOCGICOUNT)
    serial_icounter_struct last_{};
#endif
};

// Shared by the port and its workers; outlives neither.
struct TPortShared {
    int fd = -1;
    TPollEvent closeEvent;
    TPollEvent writeWake;
    TPollEvent room;  // set by the channel when the owner has drained its backlog
    TAtomicTimeouts timeouts;
    std::atomic<bool> ignoreNullChar{false};
};

// The receive worker: reads blocks of up to 2048 bytes under the read time-out rules and
// posts each to the delivery channel.
class TReadThread final : public TWorker {
public:
    TReadThread(TPortShared& port, TWorkerLink& link) : port_(port), link_(link) {}

private:
    enum class Outcome { Block, Closed, HungUp, Failed };

    void Run() override {
        RaisePriority(2);
#if defined(__linux__)
        ::prctl(PR_SET_TIMERSLACK, 1UL);  // interval deadlines to the microsecond
#endif
        TLineCounters counters(port_.fd);
        for (;;) {
            std::size_t n = 0;
            Outcome outcome = ReadBlock(n);
            const auto readAt = std::chrono::steady_clock::now();
            // Closing aborts the read in progress, as a purge does on Windows; bytes that came
            // before a hang-up are still handed over.
            if (outcome == Outcome::Closed) break;
            if (n > 0 && !WaitForRoom()) break;
            if (n > 0 && !link_.PostBlock(buffer_.data(), n, readAt)) break;
            if (outcome != Outcome::Block) {
                if (outcome == Outcome::HungUp || outcome == Outcome::Failed) link_.RequestHangup();
                break;
            }
            if (!counters.Report(link_)) break;
        }
        ::tcflush(port_.fd, TCIFLUSH);
    }

    // While the owner is too far behind, holds the block and reads nothing more, so that the
    // line's own buffering and flow control apply. False when the port is closing or the
    // wait failed (reported as a hang-up).
    bool WaitForRoom() {
        if (!link_.Backlogged()) return true;
        for (;;) {
            port_.room.Reset();  // before the check: a drain after it sets the event again
            if (link_.Drained()) return true;
            pollfd fds[2] = {{port_.closeEvent.fd(), POLLIN, 0}, {port_.room.fd(), POLLIN, 0}};
            if (!WaitFds(fds, 2, std::nullopt)) {
                link_.RequestHangup();
                return false;
            }
            if (fds[0].revents != 0) return false;
        }
    }

    // One read: fills buffer_ with n bytes until the time-out rules complete it.
    Outcome ReadBlock(std::size_t& n) {
        const auto start = Clock::now();
        const TReadTimer timer(port_.timeouts.Load(), buffer_.size(), start);
        const bool dropNulls = port_.ignoreNullChar.load();
        auto lastByte = start;
        bool hangupSeen = false;
        const TReadFunction read = readFunction.load();
        for (;;) {
            ssize_t r = read(port_.fd, buffer_.data() + n, buffer_.size() - n);
            if (r > 0) {
                lastByte = Clock::now();
                n += dropNulls ? DropNulls(n, static_cast<std::size_t>(r))
                               : static_cast<std::size_t>(r);
                if (n > 0) link_.NoteReceiving(lastByte);
                hangupSeen = false;
            } else if (r == 0) {
                return Outcome::HungUp;  // the other end of the line has gone
            } else if (errno == EINTR) {
                continue;
            } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
                return Outcome::Failed;  // EIO, ENODEV, ENXIO: the device has gone or broke
            } else if (hangupSeen) {
                return Outcome::HungUp;  // POLLHUP/POLLERR with nothing to read
            }
            const TReadTimer::TStep step = timer.Next(n, lastByte, Clock::now());
            // An empty completed read (a total time-out) just starts the next one.
            if (step.complete) return Outcome::Block;
            pollfd fds[2] = {{port_.closeEvent.fd(), POLLIN, 0}, {port_.fd, POLLIN, 0}};
            if (!WaitFds(fds, 2, step.deadline)) return Outcome::Failed;
            if (fds[0].revents != 0) return Outcome::Closed;
            if (fds[1].revents & POLLNVAL) return Outcome::Failed;
            if (fds[1].revents & (POLLHUP | POLLERR)) hangupSeen = true;
        }
    }

    std::size_t DropNulls(std::size_t from, std::size_t count) {
        std::uint8_t* first = buffer_.data() + from;
        std::uint8_t* last = first + count;
        std::uint8_t* out = first;
        for (std::uint8_t* p = first; p != last; ++p) {
            if (*p != 0) *out++ = *p;
        }
        return static_cast<std::size_t>(out - first);
    }

    TPortShared& port_;
    TWorkerLink& link_;
    std::array<std::uint8_t, kReadBlockSize> buffer_{};
};

// The transmit worker: writes as much as the port takes, waiting for room with poll.
class TWriteThread final : public TDeviceTransmitWorker {
public:
    TWriteThread(TPortShared& port, TWorkerLink& link, TTransmitQueue& queue)
        : TDeviceTransmitWorker(link, queue), port_(port) {}

private:
    bool Begin() override {
        RaisePriority(1);
        return true;
    }

    void End() override { ::tcflush(port_.fd, TCOFLUSH); }

    TWake WaitForBlock() override {
        pollfd fds[2] = {{port_.closeEvent.fd(), POLLIN, 0}, {port_.writeWake.fd(), POLLIN, 0}};
        if (!WaitFds(fds, 2, std::nullopt)) return TWake::Failed;
        if (fds[0].revents != 0) return TWake::Closed;
        port_.writeWake.Reset();
        return TWake::Queued;
    }

    bool Closing() override {
        pollfd fd{port_.closeEvent.fd(), POLLIN, 0};
        return ::poll(&fd, 1, 0) > 0;
    }

    TWritten WriteSome(const std::uint8_t* data, std::size_t length, std::size_t& n) override {
        const ssize_t w = ::write(port_.fd, data, length);
        if (w > 0) {
            n = static_cast<std::size_t>(w);
            return TWritten::Some;
        }
        if (w < 0 && errno == EINTR) return TWritten::Some;
        if (w < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return TWritten::Failed;
        pollfd fds[2] = {{port_.closeEvent.fd(), POLLIN, 0}, {port_.fd, POLLOUT, 0}};
        if (!WaitFds(fds, 2, std::nullopt)) return TWritten::Failed;
        return fds[0].revents != 0 ? TWritten::Closed : TWritten::Some;
    }

    TPortShared& port_;
};

void SetModemLine(int fd, int line, bool on) {
    ::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line);  // pseudo-terminals refuse: ENOTTY
}

class TPosixCommPort final : public TWorkerPort {
public:
    explicit TPosixCommPort(TFd fd) : fd_(std::move(fd)) { shared_.fd = fd_.get(); }

    ~TPosixCommPort() override {
        StopWorkers();
#if defined(TIOCNXCL)
        ::ioctl(fd_.get(), TIOCNXCL);  // a pty keeps the flag while its master lives
#endif
    }

    TPortError SetupComm(std::uint32_t, std::uint32_t) override {
        return {};  // the tty layer's queues are fixed in the kernel
    }

    void PurgeAll() override {
        ::tcflush(fd_.get(), TCIOFLUSH);
    }

    void ApplyTimeouts(const TCommTimeouts& timeouts) override {
        shared_.timeouts.Store(timeouts);
    }

    TPortError ApplyLineSettings(const TLineSettings& s) override {
        shared_.ignoreNullChar.store(s.ignoreNullChar);
        termios tio{};
        if (::tcgetattr(fd_.get(), &tio) != 0) return PortError(errno);
        if (!ToTermios(s, tio)) {
            return {EINVAL, kvsys::errnoText(EINVAL) + ": " + std::to_string(s.baudRate) +
                                " baud is not supported"};
        }
        if (::tcsetattr(fd_.get(), TCSANOW, &tio) != 0) return PortError(errno);
        SetModemLine(fd_.get(), TIOCM_DTR, s.dtrControl != TDtrControl::DtrDisable);
        if (s.rtsControl != TRtsControl::RtsHandshake) {
            SetModemLine(fd_.get(), TIOCM_RTS, s.rtsControl != TRtsControl::RtsDisable);
        }
        return {};
    }

private:
    bool CreateEvents() override {
        return shared_.closeEvent.Create() && shared_.writeWake.Create() && shared_.room.Create();
    }
    std::unique_ptr<TWorker> MakeReader(TWorkerLink& link) override {
        return std::make_unique<TReadThread>(shared_, link);
    }
    std::unique_ptr<TWorker> MakeWriter(TWorkerLink& link, TTransmitQueue& queue) override {
        return std::make_unique<TWriteThread>(shared_, link, queue);
    }
    void SetCloseEvent() override {
        shared_.closeEvent.Set();
    }
    void PurgeInput() override {
        ::tcflush(fd_.get(), TCIFLUSH);
    }
    void PurgeOutput() override {
        ::tcflush(fd_.get(), TCOFLUSH);
    }
    void WakeWriter() override {
        shared_.writeWake.Set();
    }
    void SignalRoom() override {
        shared_.room.Set();
    }

    TFd fd_;
    TPortShared shared_;
};

}  // namespace

void SetReadFunctionForTest(TReadFunction read) {
    readFunction.store(read ? read : &::read);
}

std::string DeviceNameFor(const std::string& commName) {
    if (unsigned n = ComPortNumber(commName)) return "/dev/ttyS" + std::to_string(n - 1);
    return commName;
}

namespace {

// What kind of failure the system's number for a device that did not open is.
TCommErrorKind OpenFailureKind(int code) {
    switch (code) {
        case ENOENT:
        case ENXIO:
        case ENODEV:
            return TCommErrorKind::NotFound;
        case EBUSY:
            return TCommErrorKind::Busy;
        case EACCES:
        case EPERM:
            return TCommErrorKind::Permission;
        default:
            return TCommErrorKind::Other;
    }
}

[[noreturn]] void Refuse(const char* message, int code) {
    throw ECommsError::FromSystem(message, OpenFailureKind(code),
                                  {kvsys::ErrorSource::Errno, code});
}

}  // namespace

std::unique_ptr<TCommPort> OpenCommPort(const std::string& deviceName) {
    TFd fd(::open(deviceName.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) Refuse("Error opening serial port", errno);
    // TIOCEXCL does not bind root; the lock keeps the port to one user for everyone. Another
    // holder of the lock means the port is busy.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        Refuse("Error opening serial port", EBUSY);
    }
    if (!::isatty(fd.get())) {
        throw ECommsError::FromSystem("File handle is not a comm handle ", TCommErrorKind::Other,
                                      {kvsys::ErrorSource::Errno, errno});
    }
    ::ioctl(fd.get(), TIOCEXCL);
    return std::make_unique<TPosixCommPort>(std::move(fd));
}

}  // namespace spcomm::detail
