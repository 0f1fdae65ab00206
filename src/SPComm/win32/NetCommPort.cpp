// Winsock network back end: a non-blocking TCP socket to a serial device server, behind the
// same workers as a COM port. rfc2217:// speaks telnet with the COM-PORT option (net/Telnet.h)
// and sets the line at open; tcp:// passes bytes as they are. The socket's network events
// (WSAEventSelect) signal one event, which only the receive worker waits on once the workers
// run; it passes "room to send" on to the transmit worker. Every wait also includes the close
// event (before the workers run: the open's cancel event). After the workers start, only the
// transmit worker sends: the receive worker hands its option answers (and the owner its
// changed line settings) over to it.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include "SPComm/net/NetCommPort.h"

#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <optional>
#include <string>
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

namespace spcomm::detail {
namespace {

using Clock = TReadTimer::Clock;

class THandle {
public:
    explicit THandle(HANDLE h = nullptr) : h_(h) {}
    THandle(THandle&& other) noexcept : h_(std::exchange(other.h_, nullptr)) {}
    THandle& operator=(THandle&& other) noexcept {
        std::swap(h_, other.h_);
        return *this;
    }
    ~THandle() {
        if (h_) ::CloseHandle(h_);
    }
    HANDLE get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

private:
    HANDLE h_;
};

THandle MakeEvent(bool manualReset) {
    return THandle(::CreateEventW(nullptr, manualReset, FALSE, nullptr));
}

class TSocket {
public:
    explicit TSocket(SOCKET s = INVALID_SOCKET) : s_(s) {}
    TSocket(TSocket&& other) noexcept : s_(std::exchange(other.s_, INVALID_SOCKET)) {}
    TSocket& operator=(TSocket&& other) noexcept {
        std::swap(s_, other.s_);
        return *this;
    }
    ~TSocket() {
        if (s_ != INVALID_SOCKET) ::closesocket(s_);
    }
    SOCKET get() const { return s_; }

private:
    SOCKET s_;
};

// Milliseconds for a wait until the deadline, rounded up so that it never ends early.
DWORD WaitMs(std::optional<Clock::time_point> deadline) {
    if (!deadline) return INFINITE;
    const auto left = std::max(*deadline - Clock::now(), Clock::duration::zero());
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(left).count();
    return static_cast<DWORD>(std::min<long long>((us + 999) / 1000, INFINITE - 1));
}

// Shared by the port and its workers; outlives neither.
struct TNetShared {
    explicit TNetShared(bool comPort) : state(comPort) {}
    SOCKET socket = INVALID_SOCKET;
    THandle socketEvent;  // manual reset: the socket's network events (read, write, close)
    THandle closeEvent;   // manual reset
    THandle writeWake;    // auto-reset: a block queued, or answers to send
    THandle room;         // manual reset: the owner has drained the channel's backlog
    THandle sendRoom;     // auto-reset: the socket takes bytes again (told by the receive worker)
    TAtomicTimeouts timeouts;
    TNetSessionState state;

    bool Closing() const { return ::WaitForSingleObject(closeEvent.get(), 0) == WAIT_OBJECT_0; }

    // Takes the socket's recorded events (resetting its event); passes "room to send" on.
    void TakeNetworkEvents() const {
        WSANETWORKEVENTS events{};
        if (::WSAEnumNetworkEvents(socket, socketEvent.get(), &events) == 0 &&
            (events.lNetworkEvents & FD_WRITE) && sendRoom)
            ::SetEvent(sendRoom.get());
    }
};

// Sends every byte, waiting for room on `wait` (the socket's own event before the workers run,
// the transmit worker's room event after); 0 when done, -1 when `stop` (the close event, or
// before the workers run the open's cancel event; null: none) was set, else the system's error.
int SendAll(const TNetShared& s, const std::uint8_t* data, std::size_t length, HANDLE wait,
            HANDLE stop, std::optional<Clock::time_point> deadline = std::nullopt) {
    while (length > 0) {
        const int chunk = static_cast<int>(std::min<std::size_t>(length, 1 << 20));
        const int w = ::send(s.socket, reinterpret_cast<const char*>(data), chunk, 0);
        if (w > 0) {
            data += w;
            length -= static_cast<std::size_t>(w);
            continue;
        }
        const int error = ::WSAGetLastError();
        if (w == SOCKET_ERROR && error != WSAEWOULDBLOCK) return error;
        HANDLE handles[2] = {wait, stop};
        const DWORD count = stop ? 2 : 1;
        const DWORD r = ::WaitForMultipleObjects(count, handles, FALSE, WaitMs(deadline));
        if (r == WAIT_OBJECT_0 + 1) return -1;
        if (r == WAIT_TIMEOUT) return WSAETIMEDOUT;
        if (r != WAIT_OBJECT_0) return static_cast<int>(::GetLastError());
        if (wait == s.socketEvent.get()) s.TakeNetworkEvents();
    }
    return 0;
}

class TNetReader final : public TNetReceiveWorker {
public:
    TNetReader(TNetShared& shared, TWorkerLink& link)
        : TNetReceiveWorker(shared.state, link), s_(shared) {}

private:
    void Begin() override { ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_HIGHEST); }

    bool WaitForRoom() override {
        if (!link_.Backlogged()) return true;
        for (;;) {
            ::ResetEvent(s_.room.get());  // before the check: a drain after it sets it again
            if (link_.Drained()) return true;
            HANDLE handles[3] = {s_.closeEvent.get(), s_.room.get(), s_.socketEvent.get()};
            const DWORD r = ::WaitForMultipleObjects(3, handles, FALSE, INFINITE);
            if (r == WAIT_OBJECT_0) return false;
            if (r == WAIT_OBJECT_0 + 2) {
                s_.TakeNetworkEvents();
            } else if (r != WAIT_OBJECT_0 + 1) {
                link_.RequestHangup();
                return false;
            }
        }
    }

    Outcome ReadBlock(std::size_t& n) override {
        const auto start = Clock::now();
        const TReadTimer timer(s_.timeouts.Load(), buffer_.size(), start);
        auto lastByte = start;
        std::array<std::uint8_t, kReadBlockSize> raw{};
        std::vector<std::uint8_t> data;
        for (;;) {
            // Never more raw bytes than the block has room for: decoding only shrinks them.
            int r = SOCKET_ERROR;
            int error = WSAEWOULDBLOCK;
            if (n < buffer_.size()) {
                r = ::recv(s_.socket, reinterpret_cast<char*>(raw.data()),
                           static_cast<int>(buffer_.size() - n), 0);
                if (r == SOCKET_ERROR) error = ::WSAGetLastError();
            }
            if (r > 0) {
                data.clear();
                if (s_.state.Take(raw.data(), static_cast<std::size_t>(r), data))
                    ::SetEvent(s_.writeWake.get());
                std::copy(data.begin(), data.end(), buffer_.begin() + static_cast<long>(n));
                n += data.size();
                if (!data.empty()) {
                    lastByte = Clock::now();
                    link_.NoteReceiving(lastByte);
                }
                continue;  // take what else is there before looking at the clock
            }
            if (r == 0 || error != WSAEWOULDBLOCK) return Outcome::HungUp;
            const TReadTimer::TStep step = timer.Next(n, lastByte, Clock::now());
            if (step.complete) return Outcome::Block;
            HANDLE handles[2] = {s_.closeEvent.get(), s_.socketEvent.get()};
            const DWORD w = ::WaitForMultipleObjects(2, handles, FALSE, WaitMs(step.deadline));
            if (w == WAIT_OBJECT_0) return Outcome::Closed;
            if (w == WAIT_OBJECT_0 + 1)
                s_.TakeNetworkEvents();
            else if (w != WAIT_TIMEOUT)
                return Outcome::HungUp;
        }
    }

    TNetShared& s_;
};

class TNetWriter final : public TTransmitWorker {
public:
    TNetWriter(TNetShared& shared, TWorkerLink& link, TTransmitQueue& queue)
        : TTransmitWorker(link, queue), s_(shared) {}

private:
    bool Begin() override {
        ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL);
        return true;
    }
    void End() override {}

    TWake WaitForBlock() override {
        HANDLE handles[2] = {s_.closeEvent.get(), s_.writeWake.get()};
        const DWORD r = ::WaitForMultipleObjects(2, handles, FALSE, INFINITE);
        if (r == WAIT_OBJECT_0) return TWake::Closed;
        if (r != WAIT_OBJECT_0 + 1) return TWake::Failed;
        // Answers to the server go out at once; the caller looks for a block after it.
        return SendAnswers() ? TWake::Queued : TWake::Closed;
    }

    bool Closing() override { return s_.Closing(); }

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
        const int error =
            SendAll(s_, bytes.data(), bytes.size(), s_.sendRoom.get(), s_.closeEvent.get());
        if (error > 0 && !s_.Closing()) link_.RequestHangup();  // the connection broke
        return error == 0;
    }

    TNetShared& s_;
    std::vector<std::uint8_t> out_;
};

class TNetCommPort final : public TWorkerPort {
public:
    TNetCommPort(TSocket socket, THandle socketEvent, bool comPort,
                 std::chrono::milliseconds answerTimeout, HANDLE openCancel)
        : socket_(std::move(socket)),
          answerTimeout_(answerTimeout),
          openCancel_(openCancel),
          shared_(comPort) {
        shared_.socket = socket_.get();
        shared_.socketEvent = std::move(socketEvent);
    }

    ~TNetCommPort() override {
        StopWorkers();
        ::shutdown(socket_.get(), SD_BOTH);
        ::WSAEventSelect(socket_.get(), nullptr, 0);
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
            ::SetEvent(shared_.writeWake.get());
            return {};
        }
        TOpenIo io(shared_, openCancel_);
        return SetLineAtOpen(shared_.state.session(), line, commands, answerTimeout_, io,
                             {WSAEPROTONOSUPPORT, WSAEINVAL, WSAETIMEDOUT, WSAECONNRESET,
                              kvsys::ErrorSource::Winsock},
                             shared_.state.early());
    }

private:
    // Before the workers run: the opening thread waits on the socket's event and the open's
    // cancel event alone.
    class TOpenIo final : public TNetOpenIo {
    public:
        TOpenIo(TNetShared& shared, HANDLE cancel) : s_(shared), cancel_(cancel) {}
        TPortError Send(const std::vector<std::uint8_t>& bytes,
                        Clock::time_point deadline) override {
            const int error =
                SendAll(s_, bytes.data(), bytes.size(), s_.socketEvent.get(), cancel_, deadline);
            if (error < 0) return PortError(OpenCancelledCode());
            return error > 0 ? PortError(error, kvsys::ErrorSource::Winsock) : TPortError{};
        }
        TPortError Receive(std::uint8_t* buffer, std::size_t size, std::size_t& n, bool& closed,
                           Clock::time_point deadline) override {
            for (;;) {
                const int r =
                    ::recv(s_.socket, reinterpret_cast<char*>(buffer), static_cast<int>(size), 0);
                if (r >= 0) {
                    n = static_cast<std::size_t>(r);
                    closed = r == 0;
                    return {};
                }
                const int error = ::WSAGetLastError();
                if (error != WSAEWOULDBLOCK) return PortError(error, kvsys::ErrorSource::Winsock);
                HANDLE handles[2] = {s_.socketEvent.get(), cancel_};
                const DWORD w =
                    ::WaitForMultipleObjects(cancel_ ? 2 : 1, handles, FALSE, WaitMs(deadline));
                if (w == WAIT_TIMEOUT) return {};
                if (w == WAIT_OBJECT_0 + 1) return PortError(OpenCancelledCode());
                if (w != WAIT_OBJECT_0) return PortError(static_cast<int>(::GetLastError()));
                s_.TakeNetworkEvents();
            }
        }

    private:
        TNetShared& s_;
        HANDLE cancel_;
    };

    bool CreateEvents() override {
        shared_.closeEvent = MakeEvent(true);
        shared_.writeWake = MakeEvent(false);
        shared_.room = MakeEvent(true);
        shared_.sendRoom = MakeEvent(false);
        return shared_.closeEvent && shared_.writeWake && shared_.room && shared_.sendRoom;
    }
    std::unique_ptr<TWorker> MakeReader(TWorkerLink& link) override {
        started_ = true;
        return std::make_unique<TNetReader>(shared_, link);
    }
    std::unique_ptr<TWorker> MakeWriter(TWorkerLink& link, TTransmitQueue& queue) override {
        return std::make_unique<TNetWriter>(shared_, link, queue);
    }
    void SetCloseEvent() override { ::SetEvent(shared_.closeEvent.get()); }
    void PurgeInput() override {}
    void PurgeOutput() override {}
    void WakeWriter() override { ::SetEvent(shared_.writeWake.get()); }
    void SignalRoom() override { ::SetEvent(shared_.room.get()); }

    TSocket socket_;
    std::chrono::milliseconds answerTimeout_;
    HANDLE openCancel_;  // the open's cancel event (null: none); used only before Start()
    bool started_ = false;
    TNetShared shared_;
};

// Connects the socket to the address before the deadline; 0 or the system's error
// (ERROR_CANCELLED once `cancel`, when given, is set).
int ConnectOne(const TSocket& s, const addrinfo* ai, Clock::time_point deadline, HANDLE cancel) {
    const THandle event(::WSACreateEvent());
    if (!event || ::WSAEventSelect(s.get(), event.get(), FD_CONNECT) != 0)
        return ::WSAGetLastError();
    const int error = [&] {
        if (::connect(s.get(), ai->ai_addr, static_cast<int>(ai->ai_addrlen)) == 0) return 0;
        if (const int e = ::WSAGetLastError(); e != WSAEWOULDBLOCK) return e;
        HANDLE handles[2] = {event.get(), cancel};
        const DWORD w = ::WaitForMultipleObjects(cancel ? 2 : 1, handles, FALSE, WaitMs(deadline));
        if (w == WAIT_TIMEOUT) return static_cast<int>(WSAETIMEDOUT);
        if (w == WAIT_OBJECT_0 + 1) return OpenCancelledCode();
        if (w != WAIT_OBJECT_0) return static_cast<int>(::GetLastError());
        WSANETWORKEVENTS events{};
        if (::WSAEnumNetworkEvents(s.get(), event.get(), &events) != 0) return ::WSAGetLastError();
        if (!(events.lNetworkEvents & FD_CONNECT)) return static_cast<int>(WSAETIMEDOUT);
        return events.iErrorCode[FD_CONNECT_BIT];
    }();
    ::WSAEventSelect(s.get(), event.get(), 0);  // no longer signals the event it closes
    return error;
}

// Connects one socket to the address before the deadline: 0 (then `s` is the connected
// socket, non-blocking, its read, write and close events selected onto `socketEvent`),
// kConnectCancelled once `cancel` (when given) is set, or the error.
int Connect(TSocket& s, THandle& socketEvent, const addrinfo& ai, Clock::time_point deadline,
            HANDLE cancel) {
    s = TSocket(::WSASocketW(ai.ai_family, ai.ai_socktype, ai.ai_protocol, nullptr, 0,
                             WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT));
    if (s.get() == INVALID_SOCKET) return ::WSAGetLastError();
    const int error = ConnectOne(s, &ai, deadline, cancel);
    if (error == OpenCancelledCode()) return kConnectCancelled;
    if (error != 0) return error;
    socketEvent = THandle(::WSACreateEvent());
    if (!socketEvent ||
        ::WSAEventSelect(s.get(), socketEvent.get(), FD_READ | FD_WRITE | FD_CLOSE) != 0) {
        return ::WSAGetLastError();
    }
    const BOOL on = TRUE;  // frames are small
    ::setsockopt(s.get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    return 0;
}

}  // namespace

std::unique_ptr<TCommPort> OpenNetPort(const std::string& name, std::chrono::milliseconds timeout,
                                       const TOpenCancel* cancel) {
    const TNetAddresses addresses = ResolveNetPort(name);
    const HANDLE cancelEvent = cancel ? reinterpret_cast<HANDLE>(cancel->Handle()) : nullptr;
    TSocket socket;
    THandle socketEvent;
    ConnectFirst(addresses, timeout, [&](const addrinfo& ai, Clock::time_point deadline) {
        return Connect(socket, socketEvent, ai, deadline, cancelEvent);
    });
    return std::make_unique<TNetCommPort>(std::move(socket), std::move(socketEvent),
                                          addresses.protocol == TNetProtocol::Rfc2217, timeout,
                                          cancelEvent);
}

}  // namespace spcomm::detail
