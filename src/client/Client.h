// kvclient::Client: the collector's requests as blocking calls with time-outs, for programs
// without a window (the kv480t command line, scripts, many collectors at once).
//
// A Client owns a kvops::Line (the collector's line settings, its queue channel) and drives a
// kvops::Exchange, the window's engine: each request writes one frame, then blocks on the
// channel until the engine says the reply is over, the time-out passed or the line hung up.
// So a reply in pieces is joined by the window's rules and a complete reply is returned as
// soon as its last piece is delivered; the live readings of a data query, whose length is
// not known, once the line has been quiet for a second.
//
// Read interval: the window's port hands over a block after 100 ms of quiet. The client uses
// kReadIntervalMs (30 ms) instead, so that a reply is handed over 70 ms sooner. It is still
// well above what splits a reply that is being sent: a byte at 9600 baud takes 1.04 ms and
// USB serial adapters deliver at most every 16 ms (their default latency timer). A collector
// that pauses longer inside a reply arrives in several blocks, which the engine joins.
//
// Time-out: how long the collector may stay silent before its reply begins. The reply has
// begun with its first byte on the line, which the serial layer tells before it hands the
// block over (TComm::ReceivingSince(); the Windows serial back end does not, there the first
// block counts). Once a reply has begun, the engine's rules end it, at the latest
// Exchange::answerLimit() (5.3 s at 9600 baud) after it began.
//
// A listing is over once its read-back rows are in and the line has been quiet for
// kListingSettle beyond the read interval (60 ms of quiet in all): lines of other tags that
// follow at once (the counter bases) are part of it, but are never waited for. Through a
// network port the quiet is kNetworkListingSettle instead: a serial device server forwards the
// line in segments of its own timing, and the network adds its delays between them, so the
// lines after the read-back rows may come well after the rows did.
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

#include "ops/Error.h"
#include "ops/Exchange.h"
#include "ops/LineEvents.h"
#include "ops/LineHistory.h"
#include "ops/Operations.h"
#include "protocol/CollectorSettings.h"
#include "protocol/SetCommands.h"

namespace kvclient {

using kvops::Error;
using kvops::ErrorCode;
using kvops::Millis;
using kvops::Outcome;

// A parameter read: the request's outcome and, when answered, what the listing reports.
struct ReadResult {
    Outcome outcome;
    kvops::Listing listing;
    // The first failure: the request's, else the listing's (NotUnderstood).
    const Error& error() const { return outcome.answered() ? listing.error : outcome.error; }
};

class Client {
public:
    static constexpr Millis kDefaultTimeout{2000};
    static constexpr std::uint32_t kReadIntervalMs = 30;
    static constexpr Millis kListingSettle{30};
    static constexpr Millis kNetworkListingSettle{200};

    Client();
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    // Opens the port (closing one opened before); the error says why it did not open.
    Error open(const std::string& port);
    void close();
    bool isOpen() const;
    const std::string& port() const;

    // One of the collector's requests (kvops::kRead, kCommunicationTest, ...).
    Outcome request(const kvops::Request& request, Millis timeout = kDefaultTimeout);
    // Any frame; the reply is over by `completeness`.
    Outcome request(std::string_view frame, kvops::Completeness completeness,
                    Millis timeout = kDefaultTimeout);
    // "PPPPPP#CHEACK1#", the listing read.
    ReadResult readParameters(Millis timeout = kDefaultTimeout);
    // One set frame with the command's values from `settings` (BadRequest, nothing sent,
    // when a value is missing or cannot be encoded).
    Outcome set(const kvproto::SetCommand& command, const kvproto::CollectorSettings& settings,
                Millis timeout = kDefaultTimeout);

    // The line's events from now on (kvops::LineEvent: opened, not opened, closed, hang-up,
    // a frame sent or not sent, a block received, a request's time-out), on the Client's
    // thread, for a traffic log. The listener must outlive the Client or stop listening first
    // (destruction closes the port).
    kvops::LineTap& tap();

    // What the history records of this line (kvops::LineHistory): every listing
    // readParameters() reads, and the writes of Operations.h. Give it its journal before the
    // port is opened; the Client needs one that commits in the call.
    kvops::LineHistory& history();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace kvclient
