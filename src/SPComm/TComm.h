// TComm: one serial port, opened for asynchronous I/O, with a receive worker and a
// transmit worker. No Qt in here.
//
// Threading contract
// - Construction, destruction, Open, Close, Write, every property setter and getter run on
//   the owner's thread (in the application: the Qt main thread).
// - The five events (OnReceiveData, OnReceiveError, OnRequestHangup, OnModemStateChange,
//   OnSendDataEmpty) are raised on the owner's thread only: the workers post messages into
//   the delivery channel that the owner supplied, and the channel hands them back to
//   TComm::Deliver on the owner's thread, in posting order.
// - The workers touch only: the port descriptor/handle, the close event, the delivery
//   channel's post(), the send-queue-empty flag (an std::atomic<bool>), the transmit queue
//   (its own lock; Write() pushes, the transmit worker pops) and the current time-outs
//   (atomics, read at the start of each read).
// - Ownership of blocks: a received block is allocated by the receive worker and travels
//   inside its TCommMessage (a unique_ptr); it is freed after OnReceiveData returns, or when
//   the message is dropped. A written block is copied by Write() and owned by the transmit
//   queue; the transmit worker frees it after writing, Close() frees what is still queued.
//   A write that is refused frees its copy at once.
// - Close() sets the close event, which every blocking wait of both workers watches, and
//   joins them: it never hangs and never kills a thread.
//
// Received blocks and the read time-outs (milliseconds; the rules of Windows' COMMTIMEOUTS,
// which the POSIX back end reproduces with poll deadlines). Each read asks for up to 2048
// bytes and completes:
//   - when 2048 bytes are in;
//   - ReadIntervalTimeout > 0: when that long passes after a byte with no further byte (the
//     timer starts with the first byte, so this alone never completes a read empty);
//   - ReadTotalTimeoutMultiplier or ReadTotalTimeoutConstant non-zero: at the latest
//     Multiplier * 2048 + Constant after the read started, with what has come, possibly
//     nothing; an empty read raises no event and the next read starts;
//   - all three zero: only when 2048 bytes are in;
//   - ReadIntervalTimeout = MAXDWORD with zero totals: with the bytes already there, or with
//     the first byte to come (rather than back-to-back empty reads on an idle line);
//   - ReadIntervalTimeout = MAXDWORD, Multiplier = MAXDWORD, 0 < Constant < MAXDWORD: at once
//     with the bytes there, else with the first byte, else empty after Constant.
// With the defaults (100, 0, 0) a device's reply arrives as one block once the line has been
// quiet for 100 ms. Changed time-outs apply from the next read. Write time-outs are handed to
// the port on Windows; the transmit worker always continues a block until all of it is out.
//
// POSIX back end: "COMn" is /dev/ttyS(n-1); the port is opened without controlling terminal,
// non-blocking and close-on-exec, kept exclusive with TIOCEXCL and flock (a second open, in
// any process, fails with "Error opening serial port"), set to raw termios. Settings termios
// lacks (DSR flow and sensitivity, continue-on-XOFF, XON/XOFF limits, the replacement
// character) are not applied. Line errors and modem events come from the driver's
// TIOCGICOUNT counters when it has them, checked after each received block; pseudo-terminals
// have none, and then those events never occur. A line that hangs up (device gone) raises
// OnRequestHangup once per open; the receive worker then ends; Close() is still needed.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

namespace spcomm {

enum class TDtrControl { DtrEnable, DtrDisable, DtrHandshake };
enum class TRtsControl { RtsEnable, RtsDisable, RtsHandshake, RtsTransmissionAvailable };
enum class TByteSize { _5, _6, _7, _8 };
enum class TParity { None, Odd, Even, Mark, Space };
enum class TStopBits { _1, _1_5, _2 };

// Raised by Open() with one of the fixed messages; the component then stays closed.
class ECommsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The messages that travel from the workers to the owner's thread.
enum TCommMessageId : std::uint32_t {
    PWM_GOTCOMMDATA = 1025,       // block received (length, block)
    PWM_RECEIVEERROR = 1026,      // line error (value = error word)
    PWM_REQUESTHANGUP = 1027,     // unrecoverable worker error / line hung up
    PWM_MODEMSTATECHANGE = 1028,  // value = modem bits: 8 carrier detect, 4 ring
    PWM_SENDDATAEMPTY = 1029,     // transmit queue ran empty
};

struct TCommMessage {
    std::uint32_t id = 0;
    std::uint16_t length = 0;               // PWM_GOTCOMMDATA: bytes in block (1..2048)
    std::uint32_t value = 0;                // PWM_RECEIVEERROR / PWM_MODEMSTATECHANGE
    std::unique_ptr<std::uint8_t[]> block;  // length bytes followed by one 0 byte
};

// Supplied by TComm's owner. post() may be called from any thread and must not block for
// long; the channel later calls the sink on the owner's thread with each message, in posting
// order. Messages still pending when the channel or the sink goes away are destroyed (their
// blocks freed), never delivered to a dead sink.
class TDeliveryChannel {
public:
    using Sink = std::function<void(TCommMessage&&)>;
    virtual ~TDeliveryChannel() = default;
    // Any thread. False when the message could not be queued (it is destroyed then).
    virtual bool post(TCommMessage&& message) = 0;
    // Owner's thread. An empty sink drops messages from now on.
    virtual void setSink(Sink sink) = 0;
};

class TComm;
namespace detail {
class TCommPort;
}
using TReceiveDataEvent =
    std::function<void(TComm* sender, const std::uint8_t* buffer, std::uint16_t bufferLength)>;
using TReceiveErrorEvent = std::function<void(TComm* sender, std::uint32_t eventMask)>;
using TModemStateChangeEvent = std::function<void(TComm* sender, std::uint32_t modemEvent)>;
using TNotifyEvent = std::function<void(TComm* sender)>;

class TComm {
public:
    // With no channel given, the component uses a TQueueChannel (see TQueueChannel.h) that
    // the owner drains through channel().
    explicit TComm(std::shared_ptr<TDeliveryChannel> channel = nullptr);
    ~TComm();  // closes the port if still open; pending messages are dropped
    TComm(const TComm&) = delete;
    TComm& operator=(const TComm&) = delete;

    // Raises ECommsError: "This serial port already opened", "Error opening serial port",
    // "File handle is not a comm handle ", "Cannot setup comm buffer",
    // "Unable to create event", "Unable to create read thread",
    // "Unable to create write thread".
    void Open();
    void Close();  // does nothing when closed; never hangs
    bool IsOpen() const;
    // Queues a copy of the block for the transmit worker. False (nothing sent, copy freed)
    // when the port is closed, length is 0, or the transmit worker has ended after a line
    // failure (the line hung up).
    bool Write(const void* data, std::uint16_t length);
    bool SendQueueEmpty() const { return sendQueueEmpty_->load(); }

    // Owner's thread: raises the event that the message stands for.
    void Deliver(TCommMessage&& message);
    TDeliveryChannel& channel() { return *channel_; }

    // Port name as the user knows it. "COMn" maps to "\\.\COMn" on Windows and to
    // /dev/ttyS(n-1) elsewhere; any other name is opened as given.
    const std::string& CommName() const { return commName_; }
    void SetCommName(const std::string& name) { commName_ = name; }  // takes effect at next open

#define SPCOMM_PROPERTY(Type, Name, Default, Apply) \
public:                                             \
    Type Name() const {                             \
        return Name##_;                             \
    }                                               \
    void Set##Name(Type value) {                    \
        if (value == Name##_) return;               \
        Name##_ = value;                            \
        if (IsOpen()) Apply();                      \
    }                                               \
                                                    \
private:                                            \
    Type Name##_ = Default;

    SPCOMM_PROPERTY(std::uint32_t, BaudRate, 9600, ApplyLineSettings)
    SPCOMM_PROPERTY(bool, ParityCheck, false, ApplyLineSettings)
    SPCOMM_PROPERTY(bool, Outx_CtsFlow, false, ApplyLineSettings)
    SPCOMM_PROPERTY(bool, Outx_DsrFlow, false, ApplyLineSettings)
    SPCOMM_PROPERTY(TDtrControl, DtrControl, TDtrControl::DtrEnable, ApplyLineSettings)
    SPCOMM_PROPERTY(bool, DsrSensitivity, false, ApplyLineSettings)
    SPCOMM_PROPERTY(bool, TxContinueOnXoff, true, ApplyLineSettings)
    SPCOMM_PROPERTY(bool, Outx_XonXoffFlow, true, ApplyLineSettings)
    SPCOMM_PROPERTY(bool, Inx_XonXoffFlow, true, ApplyLineSettings)
    SPCOMM_PROPERTY(bool, ReplaceWhenParityError, false, ApplyLineSettings)
    SPCOMM_PROPERTY(bool, IgnoreNullChar, false, ApplyLineSettings)
    SPCOMM_PROPERTY(TRtsControl, RtsControl, TRtsControl::RtsEnable, ApplyLineSettings)
    SPCOMM_PROPERTY(std::uint16_t, XonLimit, 500, ApplyLineSettings)
    SPCOMM_PROPERTY(std::uint16_t, XoffLimit, 500, ApplyLineSettings)
    SPCOMM_PROPERTY(TByteSize, ByteSize, TByteSize::_8, ApplyLineSettings)
    SPCOMM_PROPERTY(TParity, Parity, TParity::None, ApplyLineSettings)
    SPCOMM_PROPERTY(TStopBits, StopBits, TStopBits::_1, ApplyLineSettings)
    SPCOMM_PROPERTY(char, XonChar, 17, ApplyLineSettings)
    SPCOMM_PROPERTY(char, XoffChar, 19, ApplyLineSettings)
    SPCOMM_PROPERTY(char, ReplacedChar, 0, ApplyLineSettings)
    SPCOMM_PROPERTY(std::uint32_t, ReadIntervalTimeout, 100, ApplyTimeouts)
    SPCOMM_PROPERTY(std::uint32_t, ReadTotalTimeoutMultiplier, 0, ApplyTimeouts)
    SPCOMM_PROPERTY(std::uint32_t, ReadTotalTimeoutConstant, 0, ApplyTimeouts)
    SPCOMM_PROPERTY(std::uint32_t, WriteTotalTimeoutMultiplier, 0, ApplyTimeouts)
    SPCOMM_PROPERTY(std::uint32_t, WriteTotalTimeoutConstant, 0, ApplyTimeouts)
#undef SPCOMM_PROPERTY

public:
    TReceiveDataEvent OnReceiveData;
    TReceiveErrorEvent OnReceiveError;
    TNotifyEvent OnRequestHangup;
    TModemStateChangeEvent OnModemStateChange;
    TNotifyEvent OnSendDataEmpty;

private:
    void ApplyLineSettings();
    void ApplyTimeouts();

    std::string commName_ = "COM2";
    std::shared_ptr<TDeliveryChannel> channel_;
    std::shared_ptr<std::atomic<bool>> sendQueueEmpty_ = std::make_shared<std::atomic<bool>>(true);
    // Back end: descriptor/handle, close event, workers. Null while closed.
    std::unique_ptr<detail::TCommPort> port_;
};

}  // namespace spcomm
