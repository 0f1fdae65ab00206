// kvops::Line: the one owner of a port to a collector. It opens the port with the collector's
// line settings (kLineSettings, stated here only), closes it, knows when the line hung up
// and why a frame cannot be sent, and turns the serial component's open failure into an
// Error. The window, the client and the tests that talk to the simulated collector all open
// their ports through it.
//
// The received blocks and the hang-up arrive as the serial component's events on the owner's
// thread (comm().OnReceiveData, comm().OnRequestHangup); the owner drives its exchange
// engine with them. Owner's thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "SPComm/TComm.h"
#include "ops/Error.h"

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
    void close();
    bool isOpen() const;
    // The port last given to open().
    const std::string& port() const { return port_; }

    // Hands a frame to the port. NotOpen, HungUp (the line failed: every later frame too,
    // until close or the next open), WriteRefused or BadRequest (empty, or longer than one
    // write carries) when it was not taken.
    Error write(std::string_view frame);

    // The serial component's hang-up notice: true the first time after an open (tell the
    // user once), false for every repetition.
    bool noteHangUp();
    bool hungUp() const { return hungUp_; }

    spcomm::TComm& comm() { return *comm_; }
    const spcomm::TComm& comm() const { return *comm_; }

private:
    std::unique_ptr<spcomm::TComm> comm_;
    std::string port_;
    bool hungUp_ = false;
};

}  // namespace kvops
