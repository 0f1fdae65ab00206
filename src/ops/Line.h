// kvops::Line: the one owner of a port to a collector. It opens the port with the collector's
// line settings (kLineSettings, stated here only), closes it, knows when the line hung up
// and why a frame cannot be sent, and turns the serial component's open failure into an
// Error. The window, the client and the tests that talk to the simulated collector all open
// their ports through it.
//
// The line's events go to every listener of its tap (tap(), LineEvents.h), on the owner's
// thread: the Line itself tells each received block (with the time it was read from the line)
// and the hang-up (once after each open), which the serial component delivers to it; the
// owner tells through the same tap what it does with the line (opened, closed, a frame sent
// or not taken, a request's time-out), so a traffic log, a presenter and the exchange engine's
// driver all hear one account. Owner's thread only.
//
// An owner that must not wait while a port opens (the window: a network port's look-up,
// connect and line negotiation, or a USB driver's open, may take seconds) starts the open with
// startOpen(): the blocking part runs on a thread of its own, which touches only the open's
// own state (spcomm::TOpenRequest) and, under a lock, the owner's `ready` notice. The owner
// takes the outcome with finishOpen() on its own thread, which then starts the port's
// workers there: the serial component itself is only ever used on the owner's thread.
//
// A port named by its adapter's USB serial number ("usb-serial:FT123ABC", ports/PortName.h) is
// resolved to the device present at each open (in startOpen(), on the opening thread); the
// Line, its events and its errors keep the name as given. No adapter with that serial number
// plugged in is a PortNotFound error saying so; several ports with it, a PortOpenFailed error
// naming them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "SPComm/TComm.h"
#include "ops/Error.h"
#include "ops/LineEvents.h"
#include "ops/LineHistory.h"
#include "ports/SerialPorts.h"

namespace kvops {

// The collector's line: 9600 baud, 8 data bits, no parity, 1 stop bit, no flow control.
struct LineSettings {
    std::uint32_t baud = 9600;
    spcomm::TByteSize byteSize = spcomm::TByteSize::_8;
    spcomm::TParity parity = spcomm::TParity::None;
    spcomm::TStopBits stopBits = spcomm::TStopBits::_1;
};
inline constexpr LineSettings kLineSettings{};
// The settings in words, as logs and the status line give them.
inline constexpr std::string_view kLineSettingsText = "9600 baud 8N1";

class Line {
public:
    // The window's port hands over a block once the line has been quiet for 100 ms (the
    // component's default); a program without a window may ask for a shorter interval.
    static constexpr std::uint32_t kWindowReadIntervalMs = 100;

    // `channel`: where the workers post (the window's event loop); none: a queue channel
    // that the owner drains (comm().channel()).
    explicit Line(std::shared_ptr<spcomm::TDeliveryChannel> channel = nullptr,
                  std::uint32_t readIntervalMs = kWindowReadIntervalMs);
    ~Line();
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    // Closes a port opened before, then opens `port` with kLineSettings. The error says why
    // it did not open (the port stays closed then).
    Error open(const std::string& port);
    // Closes a port opened before (and gives up an open in progress), then opens `port` with
    // kLineSettings on a thread of its own. Once the outcome is there, `ready` runs on that
    // thread, under a lock: it must only hand the news to the owner's thread (e.g. post an
    // event) and never call back into the Line. It is never called once cancelOpen(), close(),
    // another open or the Line's destruction has returned.
    void startOpen(const std::string& port, std::function<void()> ready);
    // From startOpen() until finishOpen() took the outcome or the open was given up.
    bool opening() const { return pending_ != nullptr; }
    // The outcome of the open started last, once it is there: no error (the port is open, as
    // after open()) or why it did not open. Nothing while the open still runs, or when none
    // is in progress (a stale notice).
    std::optional<Error> finishOpen();
    // Gives up the open in progress at once: its waits are interrupted where the port allows
    // (a network port's connect and line negotiation), and what it opens all the same is
    // closed on its own thread. Does nothing when no open is in progress.
    void cancelOpen();
    // Closes the port (giving up an open in progress).
    void close();
    bool isOpen() const;
    // The port last given to open().
    const std::string& port() const { return port_; }
    // Where usb-serial names are looked up on Linux (tests point it at a tree of their own).
    void setPortLayout(const kvports::SysfsLayout& layout) { portLayout_ = layout; }

    // Hands a frame to the port. NotOpen, HungUp (the line failed: every later frame too,
    // until close or the next open), WriteRefused or BadRequest (empty, or longer than one
    // write carries) when it was not taken.
    Error write(std::string_view frame);

    // The serial component's hang-up notice: true the first time after an open (tell the
    // user once), false for every repetition.
    bool noteHangUp();
    bool hungUp() const { return hungUp_; }

    // What the history records of this line (LineHistory.h); told of every open and close.
    // With a journal, an open also looks up the adapter's serial number (on the opening
    // thread for startOpen()).
    LineHistory& history() { return history_; }

    // Where the line's events are heard (see above).
    LineTap& tap() { return tap_; }
    void tell(const LineEvent& event) const { tap_.tell(event); }

    spcomm::TComm& comm() { return *comm_; }
    const spcomm::TComm& comm() const { return *comm_; }

    struct PendingOpen;

private:
    std::unique_ptr<spcomm::TComm> comm_;
    std::shared_ptr<PendingOpen> pending_;  // the open in progress, shared with its thread
    std::string port_;
    kvports::SysfsLayout portLayout_;
    bool hungUp_ = false;
    LineTap tap_;
    LineHistory history_;
};

}  // namespace kvops
