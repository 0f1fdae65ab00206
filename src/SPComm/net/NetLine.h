// What the POSIX and Winsock network back ends share around the telnet session: the line
// settings in RFC 2217's numbers, received bytes taken apart, and setting the line at open
// (before the workers run) over the back end's socket.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "SPComm/CommPort.h"
#include "SPComm/ReadTimer.h"
#include "SPComm/TWorkerLink.h"
#include "SPComm/TWorkerPort.h"
#include "SPComm/net/Telnet.h"

namespace spcomm::detail {

telnet::ComPortLine ComPortLineFor(const TLineSettings& settings);

// SET-CONTROL values: outbound flow control, then DTR and RTS where they are not handshakes.
std::vector<std::uint8_t> ControlsFor(const TLineSettings& settings);

// Feeds received bytes to the session (rfc2217) or takes them as they are (tcp): the data is
// appended to `data`, what the client must send back to `answer`.
void TakeReceived(std::optional<telnet::TTelnetSession>& session, const std::uint8_t* raw,
                  std::size_t n, std::vector<std::uint8_t>& data,
                  std::vector<std::uint8_t>& answer);

// The connection's telnet state as the owner and both workers share it: received bytes taken
// apart, the option answers the transmit worker is to send, and the data that came while the
// line was set at open. Thread-safe.
class TNetSessionState {
public:
    explicit TNetSessionState(bool comPort) {
        if (comPort) session_.emplace(true);
    }
    bool telnet() const { return session_.has_value(); }
    // Appends the data the bytes carry to `data`; true when answers were queued for sending.
    bool Take(const std::uint8_t* raw, std::size_t n, std::vector<std::uint8_t>& data);
    // `out` = the data escaped for the connection (as it is for tcp://).
    void Escape(const std::uint8_t* data, std::size_t length, std::vector<std::uint8_t>& out);
    void QueueAnswers(const std::vector<std::uint8_t>& bytes);
    std::vector<std::uint8_t> TakeAnswers();
    std::vector<std::uint8_t> TakeEarly();
    // Before the workers run (no lock needed then): the session and the early data.
    std::optional<telnet::TTelnetSession>& session() { return session_; }
    std::vector<std::uint8_t>& early() { return early_; }

private:
    std::mutex mutex_;
    std::optional<telnet::TTelnetSession> session_;
    std::vector<std::uint8_t> answers_;
    std::vector<std::uint8_t> early_;
};

// The receive worker's loop of both network back ends: the data that came at open first, then
// blocks as the read time-outs complete them, each posted once the owner has room; a
// connection that ends is a hang-up. A back end supplies the reads and the waits.
class TNetReceiveWorker : public TWorker {
protected:
    enum class Outcome { Block, Closed, HungUp };
    TNetReceiveWorker(TNetSessionState& state, TWorkerLink& link) : link_(link), state_(state) {}
    // Worker thread, first.
    virtual void Begin() {}
    // Reads into buffer_ after its first n bytes until the block is complete, the close event
    // is set or the connection ends.
    virtual Outcome ReadBlock(std::size_t& n) = 0;
    // Holds the block while the owner is too far behind; false when closing (or failed:
    // reported as a hang-up).
    virtual bool WaitForRoom() = 0;

    TWorkerLink& link_;
    std::array<std::uint8_t, kReadBlockSize> buffer_{};

private:
    void Run() final;

    TNetSessionState& state_;
};

// The system's codes (errno or WSAE*) the negotiation reports its own failures with.
struct TNetErrorCodes {
    int refused;                // the server refuses the COM-PORT option
    int mismatch;               // the server set other line settings
    int timedOut;               // no confirmation within the time-out
    int closed;                 // the server closed the connection
    kvsys::ErrorSource source;  // what they count in: errno, or Winsock's
};

// The back end's socket as the negotiation at open uses it (the owner's thread, no workers).
class TNetOpenIo {
public:
    using Clock = TReadTimer::Clock;
    virtual ~TNetOpenIo() = default;
    // Sends every byte before the deadline; the system's error otherwise.
    virtual TPortError Send(const std::vector<std::uint8_t>& bytes, Clock::time_point deadline) = 0;
    // Waits until bytes come (n > 0), the server closes (n = 0, `closed` set) or the deadline
    // passes (n = 0); the system's error when the socket failed.
    virtual TPortError Receive(std::uint8_t* buffer, std::size_t size, std::size_t& n, bool& closed,
                               Clock::time_point deadline) = 0;
};

// Offers the options, waits for the COM-PORT option to be agreed, sends `commands` (the line
// and control settings) and waits for the server to confirm baud rate, data size, parity and
// stop size as `line`, all within `answerTimeout`. Data that comes meanwhile is appended to
// `early`; option answers are sent at once.
// `session` holds the connection's session.
TPortError SetLineAtOpen(std::optional<telnet::TTelnetSession>& session,
                         const telnet::ComPortLine& line, const std::vector<std::uint8_t>& commands,
                         std::chrono::milliseconds answerTimeout, TNetOpenIo& io,
                         const TNetErrorCodes& codes, std::vector<std::uint8_t>& early);

}  // namespace spcomm::detail
