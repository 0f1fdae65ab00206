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
//   channel's post() and backlog(), the send-queue-empty flag (an std::atomic<bool>), the
//   transmit queue (its own lock; Write() pushes, the transmit worker pops) and the current
//   time-outs (atomics, read at the start of each read).
// - Time of a block: the receive worker stamps each block with the steady-clock time its read
//   completed; during OnReceiveData, ReceivedAt() gives it (the event's signature stays).
// - Ownership of blocks: a received block is allocated by the receive worker and travels
//   inside its TCommMessage (a unique_ptr); it is freed after OnReceiveData returns, or when
//   the message is dropped. A written block is copied by Write() and owned by the transmit
//   queue; the transmit worker frees it after writing, Close() frees what is still queued.
//   A write that is refused frees its copy at once.
// - Close() sets the close event, which every blocking wait of both workers watches, and
//   joins them: it never hangs and never kills a thread. Every message is stamped with the
//   open that posted it; once Close() has returned, messages of that open still waiting in
//   the channel are dropped undelivered (no block, no hang-up arrives after Close()).
//
// Backlog: the receive worker never lets the owner fall more than about 1 MiB behind. When
// the channel's backlog (TDeliveryChannel::backlog()) reaches kBacklogHighWater, the worker
// holds its next block and stops reading, waiting for the close event or for the owner to
// drain the channel below kBacklogLowWater; meanwhile the line's own buffering and flow
// control apply (a pseudo-terminal's peer blocks in write). No block is lost or reordered.
// An owner that keeps up (any realistic line rate) never meets the bound.
//
// Line failure: when a worker meets an error it cannot recover from (device unplugged, a
// read or write error), the component reports it once per open as OnRequestHangup. From the
// moment TComm::Deliver has handled that notice, LineFailed() is true and Write() refuses
// every frame, until Close() or the next successful Open(). The port stays open until the
// owner closes it.
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
// Line settings refused: Open() raises ECommsError "Cannot apply line settings" (with the
// system's code and reason) when the port refuses them, e.g. a speed it does not support,
// and stays closed. A setter that changes a property while the port is open applies the
// settings at once and returns false when the port refuses them; the new value is kept all
// the same (the port keeps running with what it had, and the next Open() reports the
// refusal). Setters return true otherwise, also while closed.
//
// Port names: "COMn" (the prefix in any case: "com12" too) maps to "\\.\COMn" on Windows
// and to /dev/ttyS(n-1) elsewhere; "rfc2217://HOST:PORT" and "tcp://HOST:PORT" open a TCP
// connection to a serial device server instead (net/NetPortName.h, net/NetCommPort.h): a
// third back end behind the same workers and events. A connection that closes or breaks while
// open is a hang-up (OnRequestHangup, once). Open() raises, besides the messages below,
// "Cannot resolve host name" and "Cannot connect to network port" for them; any other name is
// opened as given.
//
// POSIX back end: the port is opened without controlling terminal, non-blocking and
// close-on-exec, kept exclusive with TIOCEXCL and flock (a second open, in any process, fails
// with "Error opening serial port", code EBUSY), set to raw termios. Settings termios lacks
// (DSR flow and sensitivity, continue-on-XOFF, XON/XOFF limits, the replacement character)
// are not applied. Line errors and modem events come from the driver's TIOCGICOUNT counters
// when it has them, checked after each received block; pseudo-terminals have none, and then
// those events never occur. A line that hangs up (device gone) or a read that fails raises
// OnRequestHangup once per open; the receive worker then ends; Close() is still needed. The
// workers' wake-up events are an eventfd on Linux and a self-pipe on other POSIX systems
// (posix/PollEvent.h; CMake picks the file), so the back end builds on macOS as well.
//
// Opening off the owner's thread: Open() is BeginOpen(), TOpenRequest::Run() and FinishOpen()
// in a row. An owner that must not wait (a window) runs the three itself: BeginOpen() on its
// thread takes the port name, the connect time-out, the line settings and the time-outs as
// they are then; Run() does everything that may block (the look-up, the connect, the device's
// open, the line negotiation) on any thread and touches nothing of the component; FinishOpen()
// on the owner's thread takes the port and starts the workers. Cancel() from any thread makes
// Run() give up: the waits of the network back ends at open watch the request's cancel event
// (the resolver's look-up and a device's open() cannot be interrupted; Run() then gives up
// right after them). A request never finished closes what it opened when it is destroyed.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

#include "system/SystemError.h"

namespace spcomm {

enum class TDtrControl { DtrEnable, DtrDisable, DtrHandshake };
enum class TRtsControl { RtsEnable, RtsDisable, RtsHandshake, RtsTransmissionAvailable };
enum class TByteSize { _5, _6, _7, _8 };
enum class TParity { None, Odd, Even, Mark, Space };
enum class TStopBits { _1, _1_5, _2 };

// What kind of failure an ECommsError is, decided where the system's number is known (the back
// ends, and TComm's own open steps), so that no one needs to read the message to tell.
enum class TCommErrorKind {
    Other,         // any other failure: the message and the system's number tell
    NotFound,      // no such device (ENOENT, ENXIO, ENODEV; ERROR_FILE_NOT_FOUND, ..._PATH_...)
    Busy,          // another program holds the port (EBUSY; Windows: access denied, sharing)
    Permission,    // the user may not open the device (EACCES, EPERM)
    Settings,      // the port refused the line settings ("Cannot apply line settings")
    HostNotFound,  // a network port's host name does not resolve
    Refused,       // nothing listens on a network port's host and port
    TimedOut,      // a network port's host did not answer within the connect time-out
    Cancelled,     // the open was given up on request ("Open cancelled")
};

// Raised by Open() with one of the fixed messages (what()); the component then stays closed.
// kind() says what kind of failure it is; system() is the system's number behind it with its
// source (errno, GetLastError(), a Winsock error, getaddrinfo's EAI_*), none when there is no
// number (e.g. "This serial port already opened"); code() is that number alone; reason() is
// the system's text for it (kvsys::errorText) or the back end's own detail, empty when there
// is none.
class ECommsError : public std::runtime_error {
public:
    explicit ECommsError(const std::string& message, TCommErrorKind kind = TCommErrorKind::Other,
                         kvsys::SystemError system = {}, std::string reason = {})
        : std::runtime_error(message),
          kind_(kind),
          system_(system),
          reason_(std::make_shared<const std::string>(std::move(reason))) {}
    // With the system's text for `system` as the reason.
    static ECommsError FromSystem(const std::string& message, TCommErrorKind kind,
                                  kvsys::SystemError system) {
        return ECommsError(message, kind, system, kvsys::errorText(system));
    }
    TCommErrorKind kind() const noexcept { return kind_; }
    kvsys::SystemError system() const noexcept { return system_; }
    int code() const noexcept { return system_.code; }
    const std::string& reason() const noexcept { return *reason_; }

private:
    TCommErrorKind kind_;
    kvsys::SystemError system_;
    std::shared_ptr<const std::string> reason_;  // shared: copying an exception cannot throw
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
    std::uint16_t length = 0;  // PWM_GOTCOMMDATA: bytes in block (1..2048)
    // PWM_GOTCOMMDATA: when the receive worker's read of the block completed, before it
    // waited for room in the channel (see TComm::ReceivedAt()); zero: not stamped.
    std::chrono::steady_clock::time_point receivedAt{};
    std::uint32_t value = 0;                // PWM_RECEIVEERROR / PWM_MODEMSTATECHANGE
    std::unique_ptr<std::uint8_t[]> block;  // length bytes followed by one 0 byte
    std::uint32_t session = 0;              // the open that posted it; 0: not stamped
};

// What one pending message weighs in a channel's backlog: its block's bytes plus a share for
// the message and the allocation themselves, so that a flood of tiny blocks is bounded too.
// Messages without a block weigh nothing.
inline std::size_t BacklogWeight(const TCommMessage& message) {
    return message.block ? std::size_t{message.length} + 64 : 0;
}

// The receive worker holds back while a channel's backlog is at or above the high-water mark
// and resumes once the owner has drained it below the low-water mark.
inline constexpr std::size_t kBacklogHighWater = std::size_t{1} << 20;   // 1 MiB
inline constexpr std::size_t kBacklogLowWater = std::size_t{256} << 10;  // 256 KiB

// Supplied by TComm's owner; one component per channel. post() may be called from any thread
// and must not block for long; the channel later calls the sink on the owner's thread with
// each message, in posting order. Messages still pending when the channel or the sink goes
// away are destroyed (their blocks freed), never delivered to a dead sink.
//
// Backlog: the channel keeps the sum of BacklogWeight() over the messages it has queued and
// not yet handed to the sink or dropped, and calls the room signal (see setRoomSignal) each
// time that sum falls from at or above the low-water mark to below it. The signal must not
// block (the component's sets an event); the channel calls it while it takes messages out,
// on the owner's thread.
class TDeliveryChannel {
public:
    using Sink = std::function<void(TCommMessage&&)>;
    using RoomSignal = std::function<void()>;
    virtual ~TDeliveryChannel() = default;
    // Any thread. False when the message could not be queued (it is destroyed then).
    virtual bool post(TCommMessage&& message) = 0;
    // Owner's thread. An empty sink drops messages from now on.
    virtual void setSink(Sink sink) = 0;
    // Any thread: the weight of the messages waiting for the sink.
    virtual std::size_t backlog() const = 0;
    // Any thread. Replaces the room signal; an empty one stops the calls. Once this returns,
    // the previous signal is neither running nor called again.
    virtual void setRoomSignal(std::size_t lowWater, RoomSignal signal) = 0;
};

class TComm;
namespace detail {
class TCommPort;
class TWorkerLink;
struct TLineSettings;
struct TOpenWork;
}  // namespace detail

// One open of a TComm in progress (see "Opening off the owner's thread" above); from
// TComm::BeginOpen().
class TOpenRequest {
public:
    ~TOpenRequest();  // closes what Run() opened and FinishOpen() did not take
    TOpenRequest(const TOpenRequest&) = delete;
    TOpenRequest& operator=(const TOpenRequest&) = delete;

    // Any thread, once: opens and sets up the port. Raises ECommsError as Open() does, and
    // "Open cancelled" (ECANCELED / ERROR_CANCELLED) when Cancel() came before or meanwhile;
    // nothing stays open then.
    void Run();
    // Any thread, also while Run() runs on another: Run() gives up as soon as it can.
    void Cancel();
    bool Cancelled() const;
    const std::string& CommName() const;
    // On the thread that runs it, before Run(): opens `name` instead of the name taken at
    // BeginOpen() (the device that an adapter's name stands for, found by the owner's open).
    void SetCommName(const std::string& name);

private:
    friend class TComm;
    explicit TOpenRequest(std::unique_ptr<detail::TOpenWork> work);
    std::unique_ptr<detail::TOpenWork> work_;
};
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
    // "Cannot apply line settings", "Unable to create event",
    // "Unable to create read thread", "Unable to create write thread".
    void Open();
    // Owner's thread: an open to run elsewhere, with the name and settings as they are now.
    std::unique_ptr<TOpenRequest> BeginOpen() const;
    // Owner's thread, after the request's Run() returned: takes its port and starts the
    // workers, as the rest of Open() does (raises as it does, "This serial port already opened"
    // among them). Settings changed since BeginOpen() apply at the next open.
    void FinishOpen(TOpenRequest& request);
    void Close();  // does nothing when closed; never hangs
    bool IsOpen() const;
    // True from the delivered hang-up notice until Close() or the next successful Open().
    bool LineFailed() const { return lineFailed_; }
    // Queues a copy of the block for the transmit worker. False (nothing sent, copy freed)
    // when the port is closed, length is 0, the line has failed (LineFailed()), or the
    // transmit worker has ended after a line failure whose notice is still on its way.
    bool Write(const void* data, std::uint16_t length);
    bool SendQueueEmpty() const { return sendQueueEmpty_->load(); }

    // Owner's thread: raises the event that the message stands for. Messages stamped by an
    // open that has since been closed are dropped.
    void Deliver(TCommMessage&& message);
    // Owner's thread, while OnReceiveData runs: when the block it carries was read from the
    // line, i.e. when the receive worker's read completed (with the default time-outs, once
    // the line had been quiet for ReadIntervalTimeout), however long the block then waited
    // for the owner. A block posted without a time (not by a worker) gets the time Deliver
    // took it. Outside OnReceiveData: the last block's time.
    // Zero outside OnReceiveData.
    std::chrono::steady_clock::time_point ReceivedAt() const { return receivedAt_; }
    TDeliveryChannel& channel() { return *channel_; }
    // Owner's thread: when the bytes that the receive worker has taken
    // from the line and not yet posted began to arrive (a block is handed over once the line
    // has been quiet for ReadIntervalTimeout, so an answer may have begun long before its
    // block comes); zero when it holds none, and while closed. Once it turns zero the block
    // is in the channel. The Windows serial back end does not tell (its reads are the
    // system's): zero there.
    std::chrono::steady_clock::time_point ReceivingSince() const;

    // Port name as the user knows it (see "Port names" above).
    const std::string& CommName() const { return commName_; }
    void SetCommName(const std::string& name) { commName_ = name; }  // takes effect at next open
    // Network ports: how long Open() waits for the connection, and then for the server to
    // confirm the line settings (milliseconds, default 3000). Takes effect at the next open.
    std::uint32_t ConnectTimeout() const { return connectTimeout_; }
    void SetConnectTimeout(std::uint32_t ms) { connectTimeout_ = ms; }

    // Setters: see "Line settings refused" above for the result.
#define SPCOMM_PROPERTY(Type, Name, Default, Apply) \
public:                                             \
    Type Name() const {                             \
        return Name##_;                             \
    }                                               \
    bool Set##Name(Type value) {                    \
        if (value == Name##_) return true;          \
        Name##_ = value;                            \
        return !IsOpen() || Apply();                \
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
    bool ApplyLineSettings();  // false when the open port refused them
    bool ApplyTimeouts();
    detail::TLineSettings LineSettings() const;

    std::string commName_ = "COM2";
    std::uint32_t connectTimeout_ = 3000;
    std::shared_ptr<TDeliveryChannel> channel_;
    std::shared_ptr<std::atomic<bool>> sendQueueEmpty_ = std::make_shared<std::atomic<bool>>(true);
    // Back end: descriptor/handle, close event, workers. Null while closed.
    std::unique_ptr<detail::TCommPort> port_;
    std::shared_ptr<detail::TWorkerLink> link_;  // the workers' link of the current open
    std::uint32_t session_ = 0;                  // stamp of the current open; 0 while closed
    std::uint32_t lastSession_ = 0;              // the last stamp handed out
    bool lineFailed_ = false;
    std::chrono::steady_clock::time_point receivedAt_{};
};

}  // namespace spcomm
