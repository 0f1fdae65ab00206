// Private interface between TComm and its operating-system back end (posix/ or win32/, chosen
// in CMake). TComm runs the open steps in order and owns one TCommPort while open; the back end
// owns the descriptor/handle, the close event and the two workers.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "SPComm/TComm.h"

namespace spcomm::detail {

class TWorkerLink;

// The line settings as the properties give them (applied as one device control block).
struct TLineSettings {
    std::uint32_t baudRate = 9600;
    bool parityCheck = false;
    bool outxCtsFlow = false;
    bool outxDsrFlow = false;
    TDtrControl dtrControl = TDtrControl::DtrEnable;
    bool dsrSensitivity = false;
    bool txContinueOnXoff = true;
    bool outxXonXoffFlow = true;
    bool inxXonXoffFlow = true;
    bool replaceWhenParityError = false;
    bool ignoreNullChar = false;
    TRtsControl rtsControl = TRtsControl::RtsEnable;
    std::uint16_t xonLimit = 500;
    std::uint16_t xoffLimit = 500;
    TByteSize byteSize = TByteSize::_8;
    TParity parity = TParity::None;
    TStopBits stopBits = TStopBits::_1;
    char xonChar = 17;
    char xoffChar = 19;
    char replacedChar = 0;
};

// Read and write time-outs in milliseconds, with the meaning of the Windows COMMTIMEOUTS.
struct TCommTimeouts {
    std::uint32_t readInterval = 100;
    std::uint32_t readTotalMultiplier = 0;
    std::uint32_t readTotalConstant = 0;
    std::uint32_t writeTotalMultiplier = 0;
    std::uint32_t writeTotalConstant = 0;
};

// What the system said when the port refused something: its number with its source (errno /
// GetLastError / Winsock) and text. Code 0: nothing refused.
struct TPortError {
    int code = 0;
    std::string reason;
    kvsys::ErrorSource source = kvsys::kNativeSource;
    explicit operator bool() const { return code != 0; }
    kvsys::SystemError system() const { return {source, code}; }
};

// A TPortError for the number, with the system's text.
inline TPortError PortError(int code, kvsys::ErrorSource source = kvsys::kNativeSource) {
    return {code, kvsys::errorText(source, code), source};
}

inline constexpr std::uint32_t kInputQueueSize = 4096;
inline constexpr std::uint32_t kOutputQueueSize = 4096;
inline constexpr std::size_t kReadBlockSize = 2048;

// One open port. Destroying it stops the workers (if started) and releases everything.
class TCommPort {
public:
    virtual ~TCommPort() = default;
    virtual TPortError SetupComm(std::uint32_t inQueue, std::uint32_t outQueue) = 0;
    virtual void PurgeAll() = 0;
    virtual void ApplyTimeouts(const TCommTimeouts& timeouts) = 0;
    // Applies them as one device control block; the error when the port refused them (an
    // unsupported speed among them).
    virtual TPortError ApplyLineSettings(const TLineSettings& settings) = 0;
    // Creates the close event and starts the receive worker, then the transmit worker. Raises
    // ECommsError ("Unable to create event", "Unable to create read thread", "Unable to
    // create write thread") after releasing what it created.
    virtual void Start(std::shared_ptr<TWorkerLink> link) = 0;
    // Owner's thread. Queues the block for the transmit worker; false when it cannot.
    virtual bool Write(std::unique_ptr<std::uint8_t[]> block, std::uint16_t length) = 0;
};

// Set from any thread to make an open in progress give up. The network back ends' waits at
// open (the connect, the line negotiation) watch its handle besides their own: a descriptor
// that poll() sees readable once set on POSIX, a manual-reset event on Windows. One file per
// system: posix/OpenCancel.cpp, win32/OpenCancel.cpp.
class TOpenCancel {
public:
    TOpenCancel();  // without a handle (none to be had), only IsSet() tells
    ~TOpenCancel();
    TOpenCancel(const TOpenCancel&) = delete;
    TOpenCancel& operator=(const TOpenCancel&) = delete;

    void Set();
    bool IsSet() const { return set_.load(); }
    // POSIX: the descriptor (-1 when there is none); Windows: the event's HANDLE (null then).
    std::intptr_t Handle() const { return handle_; }

private:
    std::atomic<bool> set_{false};
    std::intptr_t handle_ = -1;
    [[maybe_unused]] std::intptr_t other_ = -1;  // a self-pipe's write end
};

// The system's code for an open given up on request (ECANCELED / ERROR_CANCELLED).
int OpenCancelledCode();
// ECommsError "Open cancelled" with that code.
ECommsError OpenCancelled();

// What an open takes from the component when it starts (TComm::BeginOpen) and what it opened;
// the blocking part (TOpenRequest::Run) touches nothing else.
struct TOpenWork {
    std::string commName;
    std::chrono::milliseconds connectTimeout{3000};
    TLineSettings line;
    TCommTimeouts timeouts;
    TOpenCancel cancel;
    std::unique_ptr<TCommPort> port;  // set once Run() succeeded, until FinishOpen takes it
};

// n for a name "COMn" (n from 1 to 999999 without leading zeros; the prefix in any case:
// "com12", "Com3"), else 0. Both back ends map names through it.
unsigned ComPortNumber(const std::string& commName);

// The name the OS opens for a port name as the user knows it ("COMn" and anything else).
std::string DeviceNameFor(const std::string& commName);

// Opens the device with exclusive access and checks that it is a serial port. Raises
// ECommsError "Error opening serial port" (kind NotFound, Busy, Permission or Other) or "File
// handle is not a comm handle ", with the system's code and reason, and leaves nothing open
// then.
std::unique_ptr<TCommPort> OpenCommPort(const std::string& deviceName);

}  // namespace spcomm::detail
