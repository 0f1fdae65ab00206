// POSIX network back end: a non-blocking TCP socket to a serial device server, behind the same
// workers as a serial device. rfc2217:// speaks telnet with the COM-PORT option (net/Telnet.h)
// and sets the line at open; tcp:// passes bytes as they are. Every wait also watches the close
// event (at open, before the workers run: the open's cancel event). After the workers start,
// only the transmit worker writes to the socket: the receive worker hands its option answers
// (and the owner its changed line settings) over to it.
#include "SPComm/net/NetCommPort.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <utility>
#include <vector>

#include "SPComm/CommPort.h"
#include "SPComm/ReadTimer.h"
#include "SPComm/TTransmitQueue.h"
#include "SPComm/TWorkerLink.h"
#include "SPComm/TWorkerPort.h"
#include "SPComm/net/NetConnect.h"
#include "SPComm/net/NetLine.h"
#include "SPComm/net/Telnet.h"
#include "SPComm/posix/PollEvent.h"
#include "SPComm/posix/PollWait.h"

#if !defined(MSG_NOSIGNAL)
#define MSG_NOSIGNAL 0  // macOS: SO_NOSIGPIPE is set on the socket instead
#endif

namespace spcomm::detail {
namespace {

using Clock = TReadTimer::Clock;

class TSocket {
public:
    explicit TSocket(int fd = -1) : fd_(fd) {}
    TSocket(TSocket&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    TSocket& operator=(TSocket&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    ~TSocket() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

// Shared by the port and its workers; outlives neither.
struct TNetShared {
    explicit TNetShared(bool comPort) : state(comPort) {}
    int fd = -1;
    TPollEvent closeEvent;
    TPollEvent writeWake;  // a block queued, or answers to send
    TPollEvent room;
    TAtomicTimeouts timeouts;
    TNetSessionState state;
};

// Sends every byte, waiting for room; 0 when done, -1 when `stop` (the close event, or at open
// the open's cancel event; -1: none) was set, else the system's error.
int SendAll(const TNetShared& s, int stop, const std::uint8_t* data, std::size_t length,
            std::optional<Clock::time_point> deadline = std::nullopt) {
    while (length > 0) {
        const ssize_t w = ::send(s.fd, data, length, MSG_NOSIGNAL);
        if (w > 0) {
            data += w;
            length -= static_cast<std::size_t>(w);
            continue;
        }
        if (w < 0 && errno == EINTR) continue;
        if (w < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return errno;
        pollfd fds[2] = {{stop, POLLIN, 0}, {s.fd, POLLOUT, 0}};
        if (!WaitFds(fds, 2, deadline)) return errno;
        if (fds[0].revents != 0) return -1;
        if (deadline && fds[1].revents == 0 && Clock::now() >= *deadline) return ETIMEDOUT;
    }
    return 0;
}

class TNetReader final : public TNetReceiveWorker {
public:
    TNetReader(TNetShared& shared, TWorkerLink& link, std::function<void()> wakeWriter)
        : TNetReceiveWorker(shared.state, link), s_(shared), wakeWriter_(std::move(wakeWriter)) {}

private:
    bool WaitForRoom() override {
        if (!link_.Backlogged()) return true;
        for (;;) {
            s_.room.Reset();
            if (link_.Drained()) return true;
            pollfd fds[2] = {{s_.closeEvent.fd(), POLLIN, 0}, {s_.room.fd(), POLLIN, 0}};
            if (!WaitFds(fds, 2, std::nullopt)) {
                link_.RequestHangup();
                return false;
            }
            if (fds[0].revents != 0) return false;
        }
    }

    Outcome ReadBlock(std::size_t& n) override {
        const auto start = Clock::now();
        const TReadTimer timer(s_.timeouts.Load(), buffer_.size(), start);
        auto lastByte = start;
        bool errorSeen = false;
        std::array<std::uint8_t, kReadBlockSize> raw{};
        std::vector<std::uint8_t> data;
        for (;;) {
            // Never more raw bytes than the block has room for: decoding only shrinks them.
            const ssize_t r = n < buffer_.size() ? ::recv(s_.fd, raw.data(), buffer_.size() - n, 0)
                                                 : (errno = EAGAIN, -1);
            if (r > 0) {
                data.clear();
                if (s_.state.Take(raw.data(), static_cast<std::size_t>(r), data)) wakeWriter_();
                std::copy(data.begin(), data.end(), buffer_.begin() + static_cast<long>(n));
                n += data.size();
                if (!data.empty()) {
                    lastByte = Clock::now();
                    link_.NoteReceiving(lastByte);
                }
                errorSeen = false;
                continue;  // take what else is there before looking at the clock
            }
            if (r == 0) return Outcome::HungUp;
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) return Outcome::HungUp;
            if (errorSeen) return Outcome::HungUp;
            const TReadTimer::TStep step = timer.Next(n, lastByte, Clock::now());
            if (step.complete) return Outcome::Block;
            pollfd fds[2] = {{s_.closeEvent.fd(), POLLIN, 0}, {s_.fd, POLLIN, 0}};
            if (!WaitFds(fds, 2, step.deadline)) return Outcome::HungUp;
            if (fds[0].revents != 0) return Outcome::Closed;
            if (fds[1].revents & (POLLERR | POLLNVAL)) errorSeen = true;
        }
    }

    TNetShared& s_;
    std::function<void()> wakeWriter_;
};

class TNetWriter final : public TTransmitWorker {
public:
    TNetWriter(TNetShared& shared, TWorkerLink& link, TTransmitQueue& queue)
        : TTransmitWorker(link, queue), s_(shared) {}

private:
    bool Begin() override { return true; }
    void End() override {}

    TWake WaitForBlock() override {
        pollfd fds[2] = {{s_.closeEvent.fd(), POLLIN, 0}, {s_.writeWake.fd(), POLLIN, 0}};
        if (!WaitFds(fds, 2, std::nullopt)) return TWake::Failed;
        if (fds[0].revents != 0) return TWake::Closed;
        s_.writeWake.Reset();
        // Answers to the server go out at once; the caller looks for a block after it.
        return SendAnswers() ? TWake::Queued : TWake::Closed;
    }

    bool Closing() override {
        pollfd fd{s_.closeEvent.fd(), POLLIN, 0};
        return ::poll(&fd, 1, 0) > 0;
    }

    bool WriteBlock(const std::uint8_t* data, std::size_t length) override {
        if (!SendAnswers()) return false;
        s_.state.Escape(data, length, out_);
        return Send(out_);
    }

    bool SendAnswers() {
        const std::vector<std::uint8_t> answers = s_.state.TakeAnswers();
        return answers.empty() || Send(answers);
    }

    bool Send(const std::vector<std::uint8_t>& bytes) {
        const int error = SendAll(s_, s_.closeEvent.fd(), bytes.data(), bytes.size());
        if (error > 0) link_.RequestHangup();  // the connection broke
        return error == 0;
    }

    TNetShared& s_;
    std::vector<std::uint8_t> out_;
};

class TNetCommPort final : public TWorkerPort {
public:
    TNetCommPort(TSocket socket, bool comPort, std::chrono::milliseconds answerTimeout,
                 int openCancel)
        : socket_(std::move(socket)),
          answerTimeout_(answerTimeout),
          openCancel_(openCancel),
          shared_(comPort) {
        shared_.fd = socket_.get();
    }

    ~TNetCommPort() override {
        StopWorkers();
        ::shutdown(socket_.get(), SHUT_RDWR);
    }

    TPortError SetupComm(std::uint32_t, std::uint32_t) override { return {}; }
    void PurgeAll() override {}
    void ApplyTimeouts(const TCommTimeouts& timeouts) override { shared_.timeouts.Store(timeouts); }

    TPortError ApplyLineSettings(const TLineSettings& s) override {
        if (!shared_.state.telnet()) return {};  // tcp://: the server's own settings apply
        const telnet::ComPortLine line = ComPortLineFor(s);
        const std::vector<std::uint8_t> commands =
            telnet::TTelnetSession::SetLine(line, ControlsFor(s));
        if (started_) {  // the transmit worker sends them; no waiting for the confirmation here
            shared_.state.QueueAnswers(commands);
            shared_.writeWake.Set();
            return {};
        }
        return SetLineNow(line, commands);
    }

private:
    // Before the workers run: the opening thread uses the socket alone, and gives up once the
    // open's cancel event is set.
    class TOpenIo final : public TNetOpenIo {
    public:
        TOpenIo(TNetShared& shared, int cancel) : s_(shared), cancel_(cancel) {}
        TPortError Send(const std::vector<std::uint8_t>& bytes,
                        Clock::time_point deadline) override {
            const int error = SendAll(s_, cancel_, bytes.data(), bytes.size(), deadline);
            if (error < 0) return PortError(OpenCancelledCode());
            return error > 0 ? PortError(error) : TPortError{};
        }
        TPortError Receive(std::uint8_t* buffer, std::size_t size, std::size_t& n, bool& closed,
                           Clock::time_point deadline) override {
            for (;;) {
                pollfd fds[2] = {{cancel_, POLLIN, 0}, {s_.fd, POLLIN, 0}};
                if (!WaitFds(fds, 2, deadline)) return PortError(errno);
                if (fds[0].revents != 0) return PortError(OpenCancelledCode());
                if (fds[1].revents == 0) return {};
                const ssize_t r = ::recv(s_.fd, buffer, size, 0);
                if (r >= 0) {
                    n = static_cast<std::size_t>(r);
                    closed = r == 0;
                    return {};
                }
                if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)
                    return PortError(errno);
            }
        }

    private:
        TNetShared& s_;
        int cancel_;
    };

    TPortError SetLineNow(const telnet::ComPortLine& line,
                          const std::vector<std::uint8_t>& commands) {
        TOpenIo io(shared_, openCancel_);
        return SetLineAtOpen(
            shared_.state.session(), line, commands, answerTimeout_, io,
            {EPROTONOSUPPORT, EINVAL, ETIMEDOUT, ECONNRESET, kvsys::ErrorSource::Errno},
            shared_.state.early());
    }

    bool CreateEvents() override {
        return shared_.closeEvent.Create() && shared_.writeWake.Create() && shared_.room.Create();
    }
    std::unique_ptr<TWorker> MakeReader(TWorkerLink& link) override {
        started_ = true;
        return std::make_unique<TNetReader>(shared_, link, [this] { shared_.writeWake.Set(); });
    }
    std::unique_ptr<TWorker> MakeWriter(TWorkerLink& link, TTransmitQueue& queue) override {
        return std::make_unique<TNetWriter>(shared_, link, queue);
    }
    void SetCloseEvent() override { shared_.closeEvent.Set(); }
    void PurgeInput() override {}
    void PurgeOutput() override {}
    void WakeWriter() override { shared_.writeWake.Set(); }
    void SignalRoom() override { shared_.room.Set(); }

    TSocket socket_;
    std::chrono::milliseconds answerTimeout_;
    int openCancel_;  // the open's cancel event (-1: none); used only before Start()
    bool started_ = false;
    TNetShared shared_;
};

// Connects one socket to the address before the deadline: 0 (then `s` is the connected
// socket), kConnectCancelled once `cancel` (-1: none) turns readable, or the error.
int ConnectOne(TSocket& s, const addrinfo& ai, Clock::time_point deadline, int cancel) {
    s = TSocket(::socket(ai.ai_family, ai.ai_socktype, ai.ai_protocol));
    if (s.get() < 0 || ::fcntl(s.get(), F_SETFL, ::fcntl(s.get(), F_GETFL) | O_NONBLOCK) != 0 ||
        ::fcntl(s.get(), F_SETFD, FD_CLOEXEC) != 0) {
        return errno;
    }
    if (::connect(s.get(), ai.ai_addr, ai.ai_addrlen) != 0) {
        if (errno != EINPROGRESS) return errno;
        pollfd fds[2] = {{cancel, POLLIN, 0}, {s.get(), POLLOUT, 0}};
        if (!WaitFds(fds, 2, deadline)) return errno;
        if (fds[0].revents != 0) return kConnectCancelled;
        if (fds[1].revents == 0) return ETIMEDOUT;
        int error = 0;
        socklen_t size = sizeof error;
        if (::getsockopt(s.get(), SOL_SOCKET, SO_ERROR, &error, &size) != 0) return errno;
        if (error != 0) return error;
    }
    const int on = 1;
    ::setsockopt(s.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);  // frames are small
#if defined(SO_NOSIGPIPE)
    ::setsockopt(s.get(), SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
#endif
    return 0;
}

}  // namespace

std::unique_ptr<TCommPort> OpenNetPort(const std::string& name, std::chrono::milliseconds timeout,
                                       const TOpenCancel* cancel) {
    const TNetAddresses addresses = ResolveNetPort(name);
    const int cancelFd = cancel ? static_cast<int>(cancel->Handle()) : -1;
    TSocket socket;
    ConnectFirst(addresses, timeout, [&](const addrinfo& ai, Clock::time_point deadline) {
        return ConnectOne(socket, ai, deadline, cancelFd);
    });
    return std::make_unique<TNetCommPort>(
        std::move(socket), addresses.protocol == TNetProtocol::Rfc2217, timeout, cancelFd);
}

}  // namespace spcomm::detail
