// Win32 back end: an overlapped comm handle with share mode 0, the device control block and
// COMMTIMEOUTS, WaitCommEvent for line events, and a manual-reset close event that every wait
// of both workers includes. Each worker has at most one operation pending on each OVERLAPPED
// and cancels and completes it before the OVERLAPPED goes away.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "SPComm/CommPort.h"
#include "SPComm/TTransmitQueue.h"
#include "SPComm/TWorkerLink.h"
#include "SPComm/TWorkerPort.h"

namespace spcomm::detail {
namespace {

class THandle {
public:
    THandle() = default;
    explicit THandle(HANDLE h) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
    THandle(THandle&& other) noexcept : h_(std::exchange(other.h_, nullptr)) {}
    THandle& operator=(THandle&& other) noexcept {
        if (this != &other) {
            Reset();
            h_ = std::exchange(other.h_, nullptr);
        }
        return *this;
    }
    ~THandle() { Reset(); }
    HANDLE get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }
    void Reset() {
        if (h_) ::CloseHandle(h_);
        h_ = nullptr;
    }

private:
    HANDLE h_ = nullptr;
};

THandle MakeEvent(bool manualReset, bool signalled) {
    return THandle(::CreateEventW(nullptr, manualReset, signalled, nullptr));
}

// A read or wait that fails like this means the device has gone (unplugged adapter; wine
// reports a pseudo-terminal whose master closed with the last two).
bool IsHangupError(DWORD error) {
    switch (error) {
        case ERROR_DEVICE_REMOVED:
        case ERROR_BAD_COMMAND:
        case ERROR_ACCESS_DENIED:
        case ERROR_BROKEN_PIPE:
        case ERROR_NOT_READY:
            return true;
        default:
            return false;
    }
}

// An overlapped operation on the port with its own event; the destructor never leaves it
// pending.
class TOverlapped {
public:
    TOverlapped(HANDLE port, THandle event) : port_(port), event_(std::move(event)) {
        ov_.hEvent = event_.get();
    }
    ~TOverlapped() { Cancel(); }
    TOverlapped(const TOverlapped&) = delete;
    TOverlapped& operator=(const TOverlapped&) = delete;

    bool valid() const { return static_cast<bool>(event_); }
    OVERLAPPED* get() { return &ov_; }
    HANDLE event() const { return event_.get(); }
    bool pending() const { return pending_; }
    void SetPending(bool pending) { pending_ = pending; }
    // Takes the result of the pending operation; false with the error in GetLastError().
    bool Finish(DWORD& bytes, bool wait) {
        pending_ = false;
        return ::GetOverlappedResult(port_, &ov_, &bytes, wait) != FALSE;
    }
    void Cancel() {
        if (!pending_) return;
        ::CancelIoEx(port_, &ov_);
        DWORD ignored = 0;
        ::GetOverlappedResult(port_, &ov_, &ignored, TRUE);
        pending_ = false;
    }

private:
    HANDLE port_;
    THandle event_;
    OVERLAPPED ov_{};
    bool pending_ = false;
};

struct TPortShared {
    HANDLE port = nullptr;
    THandle closeEvent;
    THandle writeWake;  // auto-reset: a block was queued
    THandle room;       // manual reset: the owner has drained the channel's backlog
    bool Closing() const { return ::WaitForSingleObject(closeEvent.get(), 0) == WAIT_OBJECT_0; }
};

class TReadThread final : public TWorker {
public:
    TReadThread(TPortShared& port, TWorkerLink& link) : port_(port), link_(link) {}

private:
    enum class Step { Pending, Stop };

    void Run() override {
        ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
        TOverlapped read(port_.port, MakeEvent(true, true));
        TOverlapped line(port_.port, MakeEvent(true, true));
        if (!read.valid() || !line.valid()) {
            link_.RequestHangup();
            return;
        }
        // Ports that cannot report line events (wine on a pseudo-terminal, some USB virtual
        // COM drivers) still receive data.
        lineEvents_ = ::SetCommMask(port_.port, EV_RING | EV_ERR | EV_RLSD) != FALSE;
        if (lineEvents_ && StartLineWait(line) == Step::Stop) return Finish();
        if (StartRead(read) == Step::Stop) return Finish();
        for (;;) {
            HANDLE handles[3] = {port_.closeEvent.get(), line.event(), read.event()};
            DWORD count = 3;
            if (!line.pending()) {
                handles[1] = read.event();
                count = 2;
            }
            DWORD r = ::WaitForMultipleObjects(count, handles, FALSE, INFINITE);
            if (r == WAIT_OBJECT_0) break;
            if (r == WAIT_OBJECT_0 + 1 && count == 3) {
                if (FinishLineWait(line, true) == Step::Stop) break;
                if (lineEvents_ && StartLineWait(line) == Step::Stop) break;
            } else if (r == WAIT_OBJECT_0 + count - 1) {
                DWORD n = 0;
                if (!read.Finish(n, false)) {
                    Fail(::GetLastError());
                    break;
                }
                const auto readAt = std::chrono::steady_clock::now();
                if (n > 0 && (!WaitForRoom() || !link_.PostBlock(buffer_.data(), n, readAt))) break;
                if (StartRead(read) == Step::Stop) break;
            } else {
                link_.RequestHangup();
                break;
            }
        }
        read.Cancel();
        line.Cancel();
        Finish();
    }

    void Finish() { ::PurgeComm(port_.port, PURGE_RXABORT | PURGE_RXCLEAR); }

    // While the owner is too far behind, holds the block and starts no further read, so that
    // the driver's queue and flow control apply. False when the port is closing or the wait
    // failed (reported as a hang-up).
    bool WaitForRoom() {
        if (!link_.Backlogged()) return true;
        for (;;) {
            ::ResetEvent(port_.room.get());  // before the check: a drain after it sets it again
            if (link_.Drained()) return true;
            HANDLE handles[2] = {port_.closeEvent.get(), port_.room.get()};
            DWORD r = ::WaitForMultipleObjects(2, handles, FALSE, INFINITE);
            if (r == WAIT_OBJECT_0) return false;
            if (r != WAIT_OBJECT_0 + 1) {
                link_.RequestHangup();
                return false;
            }
        }
    }

    void Fail(DWORD error) {
        if (error != ERROR_INVALID_HANDLE && !port_.Closing()) link_.RequestHangup();
    }

    // Reads until a read pends. A read that completes empty (a total time-out) starts the
    // next one.
    Step StartRead(TOverlapped& read) {
        while (!port_.Closing()) {
            DWORD n = 0;
            if (::ReadFile(port_.port, buffer_.data(), static_cast<DWORD>(buffer_.size()), &n,
                           read.get())) {
                const auto readAt = std::chrono::steady_clock::now();
                if (n > 0 && (!WaitForRoom() || !link_.PostBlock(buffer_.data(), n, readAt))) {
                    return Step::Stop;
                }
                continue;
            }
            DWORD error = ::GetLastError();
            if (error == ERROR_IO_PENDING) {
                read.SetPending(true);
                return Step::Pending;
            }
            Fail(error);
            return Step::Stop;
        }
        return Step::Stop;
    }

    Step StartLineWait(TOverlapped& line) {
        while (!port_.Closing()) {
            mask_ = 0;
            if (::WaitCommEvent(port_.port, &mask_, line.get())) {
                if (FinishLineWait(line, false) == Step::Stop) return Step::Stop;
                if (!lineEvents_) return Step::Pending;
                continue;
            }
            DWORD error = ::GetLastError();
            if (error == ERROR_IO_PENDING) {
                line.SetPending(true);
                return Step::Pending;
            }
            return LineWaitFailed(error);
        }
        return Step::Stop;
    }

    // A port that cannot wait for line events goes on without them; a gone device ends.
    Step LineWaitFailed(DWORD error) {
        if (port_.Closing()) return Step::Stop;
        if (IsHangupError(error)) {
            link_.RequestHangup();
            return Step::Stop;
        }
        lineEvents_ = false;
        return Step::Pending;
    }

    Step FinishLineWait(TOverlapped& line, bool overlapped) {
        if (overlapped) {
            DWORD ignored = 0;
            if (!line.Finish(ignored, false)) return LineWaitFailed(::GetLastError());
        }
        bool posted = false;
        if (mask_ & EV_ERR) {
            DWORD errors = 0;
            if (!::ClearCommError(port_.port, &errors, nullptr)) {
                Fail(::GetLastError());
                return Step::Stop;
            }
            if (!link_.PostValue(PWM_RECEIVEERROR, errors)) return Step::Stop;
            posted = true;
        }
        std::uint32_t modem = ((mask_ & EV_RLSD) ? 8u : 0u) | ((mask_ & EV_RING) ? 4u : 0u);
        if (modem != 0) {
            if (!link_.PostValue(PWM_MODEMSTATECHANGE, modem)) return Step::Stop;
            posted = true;
        }
        // A wait that ends with none of our events: the port does not report them.
        if (!posted) lineEvents_ = false;
        return Step::Pending;
    }

    TPortShared& port_;
    TWorkerLink& link_;
    std::array<std::uint8_t, kReadBlockSize> buffer_{};
    DWORD mask_ = 0;
    bool lineEvents_ = false;
};

// The transmit worker: one overlapped write pending at a time.
class TWriteThread final : public TDeviceTransmitWorker {
public:
    TWriteThread(TPortShared& port, TWorkerLink& link, TTransmitQueue& queue)
        : TDeviceTransmitWorker(link, queue), port_(port) {}

private:
    bool Begin() override {
        ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL);
        write_.emplace(port_.port, MakeEvent(true, true));
        return write_->valid();
    }

    void End() override {
        ::PurgeComm(port_.port, PURGE_TXABORT | PURGE_TXCLEAR);
        write_.reset();  // never pending here: every way out of WriteSome completes it
    }

    TWake WaitForBlock() override {
        HANDLE handles[2] = {port_.closeEvent.get(), port_.writeWake.get()};
        DWORD r = ::WaitForMultipleObjects(2, handles, FALSE, INFINITE);
        if (r == WAIT_OBJECT_0) return TWake::Closed;
        return r == WAIT_OBJECT_0 + 1 ? TWake::Queued : TWake::Failed;
    }

    bool Closing() override { return port_.Closing(); }

    TWritten WriteSome(const std::uint8_t* data, std::size_t length, std::size_t& n) override {
        TOverlapped& write = *write_;
        DWORD written = 0;
        if (!::WriteFile(port_.port, data, static_cast<DWORD>(length), &written, write.get())) {
            const DWORD error = ::GetLastError();
            if (error != ERROR_IO_PENDING) return Failed(error);
            write.SetPending(true);
            HANDLE handles[2] = {port_.closeEvent.get(), write.event()};
            const DWORD r = ::WaitForMultipleObjects(2, handles, FALSE, INFINITE);
            if (r != WAIT_OBJECT_0 + 1) {
                write.Cancel();
                return r == WAIT_OBJECT_0 ? TWritten::Closed : TWritten::Failed;
            }
            if (!write.Finish(written, true)) return Failed(::GetLastError());
        }
        n = written;
        return TWritten::Some;
    }

    // A handle closed under the write is the port closing, not a hang-up.
    static TWritten Failed(DWORD error) {
        return error == ERROR_INVALID_HANDLE ? TWritten::Closed : TWritten::Failed;
    }

    TPortShared& port_;
    std::optional<TOverlapped> write_;
};

class TWin32CommPort final : public TWorkerPort {
public:
    explicit TWin32CommPort(THandle port) : port_(std::move(port)) { shared_.port = port_.get(); }

    ~TWin32CommPort() override { StopWorkers(); }

    TPortError SetupComm(std::uint32_t inQueue, std::uint32_t outQueue) override {
        if (::SetupComm(port_.get(), inQueue, outQueue)) return {};
        return PortError(static_cast<int>(::GetLastError()));
    }

    void PurgeAll() override {
        ::PurgeComm(port_.get(), PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    }

    void ApplyTimeouts(const TCommTimeouts& t) override {
        COMMTIMEOUTS ct{};
        ::GetCommTimeouts(port_.get(), &ct);
        ct.ReadIntervalTimeout = t.readInterval;
        ct.ReadTotalTimeoutMultiplier = t.readTotalMultiplier;
        ct.ReadTotalTimeoutConstant = t.readTotalConstant;
        ct.WriteTotalTimeoutMultiplier = t.writeTotalMultiplier;
        ct.WriteTotalTimeoutConstant = t.writeTotalConstant;
        if (ct.ReadIntervalTimeout == MAXDWORD && ct.ReadTotalTimeoutMultiplier == 0 &&
            ct.ReadTotalTimeoutConstant == 0) {
            // "Return at once" would make an idle port complete empty reads back to back;
            // this returns what is there, or the first byte when it comes.
            ct.ReadTotalTimeoutMultiplier = MAXDWORD;
            ct.ReadTotalTimeoutConstant = MAXDWORD - 1;
        }
        ::SetCommTimeouts(port_.get(), &ct);
    }

    TPortError ApplyLineSettings(const TLineSettings& s) override {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!::GetCommState(port_.get(), &dcb)) {
            return PortError(static_cast<int>(::GetLastError()));
        }
        dcb.BaudRate = s.baudRate;
        static constexpr DWORD kDtr[] = {DTR_CONTROL_ENABLE, DTR_CONTROL_DISABLE,
                                         DTR_CONTROL_HANDSHAKE};
        static constexpr DWORD kRts[] = {RTS_CONTROL_ENABLE, RTS_CONTROL_DISABLE,
                                         RTS_CONTROL_HANDSHAKE, RTS_CONTROL_TOGGLE};
        dcb.fBinary = TRUE;
        dcb.fParity = s.parityCheck;
        dcb.fOutxCtsFlow = s.outxCtsFlow;
        dcb.fOutxDsrFlow = s.outxDsrFlow;
        dcb.fDtrControl = kDtr[static_cast<int>(s.dtrControl)];
        dcb.fDsrSensitivity = s.dsrSensitivity;
        dcb.fTXContinueOnXoff = s.txContinueOnXoff;
        dcb.fOutX = s.outxXonXoffFlow;
        dcb.fInX = s.inxXonXoffFlow;
        dcb.fErrorChar = s.replaceWhenParityError;
        dcb.fNull = s.ignoreNullChar;
        dcb.fRtsControl = kRts[static_cast<int>(s.rtsControl)];
        dcb.fAbortOnError = FALSE;
        dcb.fDummy2 = 0;
        dcb.XonLim = s.xonLimit;
        dcb.XoffLim = s.xoffLimit;
        dcb.ByteSize = static_cast<BYTE>(5 + static_cast<int>(s.byteSize));
        dcb.Parity = static_cast<BYTE>(s.parity);      // NOPARITY .. SPACEPARITY
        dcb.StopBits = static_cast<BYTE>(s.stopBits);  // ONESTOPBIT .. TWOSTOPBITS
        dcb.XonChar = s.xonChar;
        dcb.XoffChar = s.xoffChar;
        dcb.ErrorChar = s.replacedChar;
        if (!::SetCommState(port_.get(), &dcb)) {
            return PortError(static_cast<int>(::GetLastError()));
        }
        return {};
    }

private:
    bool CreateEvents() override {
        shared_.closeEvent = MakeEvent(true, false);
        shared_.writeWake = MakeEvent(false, false);
        shared_.room = MakeEvent(true, false);
        return shared_.closeEvent && shared_.writeWake && shared_.room;
    }
    std::unique_ptr<TWorker> MakeReader(TWorkerLink& link) override {
        return std::make_unique<TReadThread>(shared_, link);
    }
    std::unique_ptr<TWorker> MakeWriter(TWorkerLink& link, TTransmitQueue& queue) override {
        return std::make_unique<TWriteThread>(shared_, link, queue);
    }
    void SetCloseEvent() override { ::SetEvent(shared_.closeEvent.get()); }
    void PurgeInput() override { ::PurgeComm(port_.get(), PURGE_RXABORT | PURGE_RXCLEAR); }
    void PurgeOutput() override { ::PurgeComm(port_.get(), PURGE_TXABORT | PURGE_TXCLEAR); }
    void WakeWriter() override { ::SetEvent(shared_.writeWake.get()); }
    void SignalRoom() override { ::SetEvent(shared_.room.get()); }

    THandle port_;
    TPortShared shared_;
};

// What kind of failure the system's number for a device that did not open is.
TCommErrorKind OpenFailureKind(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return TCommErrorKind::NotFound;
        case ERROR_ACCESS_DENIED:  // Windows refuses a port another program holds so
        case ERROR_SHARING_VIOLATION:
            return TCommErrorKind::Busy;
        default:
            return TCommErrorKind::Other;
    }
}

[[noreturn]] void Refuse(const char* message, DWORD code, TCommErrorKind kind) {
    throw ECommsError::FromSystem(message, kind,
                                  {kvsys::ErrorSource::Win32, static_cast<int>(code)});
}

}  // namespace

std::string DeviceNameFor(const std::string& commName) {
    // "COM10" and above open only through the device namespace; it works for COM1-9 too.
    if (unsigned n = ComPortNumber(commName)) return "\\\\.\\COM" + std::to_string(n);
    return commName;
}

std::unique_ptr<TCommPort> OpenCommPort(const std::string& deviceName) {
    THandle port(::CreateFileA(deviceName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED,
                               nullptr));
    if (!port) {
        const DWORD error = ::GetLastError();
        Refuse("Error opening serial port", error, OpenFailureKind(error));
    }
    ::SetLastError(ERROR_SUCCESS);
    if (::GetFileType(port.get()) != FILE_TYPE_CHAR) {
        // A disk file or pipe is no failure of the system's: no code then.
        Refuse("File handle is not a comm handle ", ::GetLastError(), TCommErrorKind::Other);
    }
    return std::make_unique<TWin32CommPort>(std::move(port));
}

}  // namespace spcomm::detail
