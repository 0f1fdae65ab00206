// kvclient::Client: the collector's requests as blocking calls with time-outs, for programs
// without a window (the kv480t command line, scripts, later many collectors at once).
//
// A Client owns one TComm, opened as the window opens it (9600 baud, 8 data bits, no parity,
// 1 stop bit, XON/XOFF off both ways), and its queue channel. Each request writes one frame,
// then blocks on the channel until the reply is in, the time-out passes or the line hangs up.
// The pieces of a reply are put together by kvproto::ReplyCollector, the window's rules: a
// complete reply is returned as soon as its last piece is delivered; the live readings of a
// data query, whose length is not known, once the line has been quiet for a second.
//
// Read interval: the window's port hands over a block after 100 ms of quiet. The client uses
// kReadIntervalMs (30 ms) instead, so that a reply is handed over 70 ms sooner. It is still
// well above what splits a reply that is being sent: a byte at 9600 baud takes 1.04 ms and
// USB serial adapters deliver at most every 16 ms (their default latency timer). A collector
// that pauses longer inside a reply arrives in several blocks, which ReplyCollector joins
// (silent up to 500 ms between them).
//
// Time-out: how long to wait for the first byte of the reply. Once a reply has begun, the
// ReplyCollector's rules end it (ready when complete, 1 s after its last piece at the
// latest, 3 s after its first piece at the very latest).
//
// Threads: a Client belongs to the thread that uses it; several Clients on different
// threads (one per port) run independently. Nothing is shared between Clients.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "protocol/CollectorSettings.h"
#include "protocol/ReplyCollector.h"
#include "protocol/SetCommands.h"

namespace kvclient {

using Millis = std::chrono::milliseconds;

enum class Status {
    Done,           // the reply is in (and, for a read, understood)
    TimedOut,       // no reply began within the time-out
    NotSent,        // the port failed the request: not open, cannot be opened, write
                    // refused, or the line hung up before the reply was in
    NotUnderstood,  // a reply came but could not be read (conversion error, values missing
                    // or refused)
    BadRequest,     // nothing sent: the request itself is wrong (unknown command word, a
                    // value missing from the settings)
};

// "done", "timed out", "not sent", "not understood", "bad request".
std::string_view statusText(Status status);

struct Result {
    Status status = Status::NotSent;
    std::string reply;   // the reply as received (Done, NotUnderstood)
    std::string reason;  // what went wrong, in words (every status but Done)

    bool done() const { return status == Status::Done; }
};

struct ReadResult : Result {
    // Every value read back (also on NotUnderstood: what could be read).
    kvproto::CollectorSettings settings;
};

// What passes on the line, for a traffic log. `data` and `detail` by event:
//   Opened      the port's name, its settings ("9600 baud 8N1")
//   OpenFailed  the port's name, the serial component's message
//   Closed, HungUp
//   Sent        the frame
//   NotSent     the frame, why it was not sent
//   Received    a block as the port delivered it (also one that belongs to no request)
//   NoAnswer    -, what the time-out was ("no answer within 2000 ms")
enum class TrafficEvent { Opened, OpenFailed, Closed, HungUp, Sent, NotSent, Received, NoAnswer };
using TrafficObserver =
    std::function<void(TrafficEvent event, std::string_view data, std::string_view detail)>;

class Client {
public:
    static constexpr Millis kDefaultTimeout{2000};
    static constexpr std::uint32_t kReadIntervalMs = 30;

    Client();
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    // Opens the port (closing one opened before). Done, or NotSent with the serial
    // component's message ("Error opening serial port", ...).
    Result open(const std::string& port);
    void close();
    bool isOpen() const;
    const std::string& port() const { return port_; }

    // "PPPPPP#CHEACK1#"; the listing is read back into settings.
    ReadResult readParameters(Millis timeout = kDefaultTimeout);
    // One set frame with the command's values from `settings`.
    Result set(const kvproto::SetCommand& command, const kvproto::CollectorSettings& settings,
               Millis timeout = kDefaultTimeout);
    Result set(std::string_view word, const kvproto::CollectorSettings& settings,
               Millis timeout = kDefaultTimeout);
    Result communicationTest(Millis timeout = kDefaultTimeout);  // "PPPPPP#VAR#"
    Result dataQuery(Millis timeout = kDefaultTimeout);          // "PPPPPP#STATUS#"
    Result reset(Millis timeout = kDefaultTimeout);              // "KORVEL#RESET#"

    // Told of the traffic from now on, on the Client's thread; an empty observer stops it.
    // The observer must outlive the Client or be removed first (destruction closes the port).
    void setTrafficObserver(TrafficObserver observer);

    // Any frame; the reply counts as complete by `completeness`.
    Result request(std::string_view frame, kvproto::ReplyCollector::Completeness completeness,
                   Millis timeout = kDefaultTimeout);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::string port_;
};

}  // namespace kvclient
