// kvops::Exchange: the exchange engine. It pairs a frame sent to the collector with the
// collector's answer and says how the request ended. It does not block, has no clock and no
// thread of its own: the owner hands it the frames to send, feeds it the blocks the line
// delivers (with the time each was read from the line) and the clock's ticks, and gets the
// outcomes back. kvclient's blocking loop and the window's event loop both drive it.
//
// Rules:
//   - one request at a time; a new send() ends the one in progress without an outcome (the
//     window's buttons never wait);
//   - every block joins the reply text by ReplyCollector's rules (pieces joined, bounded),
//     also a block no request waits for, so that a reply in pieces is shown whole;
//   - the frame sent back at the start of the reply (a half-duplex RS-485 converter echoes
//     what it is given) is not an answer: it neither begins the answer nor ends the wait,
//     and the outcome's reply leaves it out (the reply text keeps it, as it arrived);
//   - answered: once the reply is over by ReplyCollector's rule for the request's
//     completeness (complete, or quiet long enough, or too long); the outcome holds the
//     whole reply;
//   - timed out: no answer began within the request's time-out after the frame was written:
//     the time-out bounds the collector's silence. An answer has begun with its first block,
//     or once the owner says bytes are on their way (arriving(): the serial layer hands a
//     block over only once the line is quiet, so a long answer's first block comes long
//     after its first byte);
//   - the whole answer has its own bound, answerLimit(): once begun it is over at the latest
//     that long after it began (as far as it came), or timed out when no block of it came;
//   - not sent: the writer refused the frame (the error says why); nothing is pending then;
//   - hung up: the line failed while the request waited (the reply so far is kept).
// An outcome is reported once; afterwards the engine is idle until the next send().
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "ops/Clock.h"
#include "ops/Error.h"
#include "protocol/ReplyCollector.h"

namespace kvops {

using Completeness = kvproto::ReplyCollector::Completeness;

enum class Status {
    Answered,  // the reply is over (reply)
    TimedOut,  // no answer began in time
    NotSent,   // the frame was not taken (error)
    HungUp,    // the line failed before the reply was over
};

struct Outcome {
    Status status = Status::NotSent;
    std::string reply;  // Answered: the whole reply; otherwise what came, if anything
    Error error;        // every status but Answered

    bool answered() const { return status == Status::Answered; }
};

class Exchange {
public:
    // Hands a frame to the line: no error when it was taken.
    using Writer = std::function<Error(std::string_view frame)>;

    // `listingSettle`: how long the line stays quiet after a listing's read-back rows are in
    // before the listing is over (see ReplyCollector).
    explicit Exchange(Writer writer, int baud = 9600,
                      Millis listingSettle = kvproto::ReplyCollector::kListingSettle);

    // Writes `frame` and waits for its answer: the outcome NotSent at once when the writer
    // refuses it. `timeout` counts from `now` until the answer's first block.
    std::optional<Outcome> send(std::string_view frame, Completeness completeness, Millis timeout,
                                Millis now);
    // Waits for an answer to a frame that went out some other way (or that the window's
    // pending request code still expects after the port refused it), as send() would.
    void expect(Completeness completeness, Millis timeout, Millis now);
    // A block read from the line at `at`.
    void received(std::string_view block, Millis at);
    // The line has taken bytes since `since` that are not handed over yet (the serial
    // layer's read in progress): while the request waits for its answer to begin, bytes
    // that began before its time-out ran out hold the time-out off until their block comes
    // (at most answerLimit() after `since`). The block decides: an echo of the frame alone
    // still does not begin the answer. Bytes from before the last block was read were that
    // block, and are no news.
    void arriving(Millis since);
    // How long an answer may take from its beginning to its end: the longest reply
    // (ReplyCollector::kMaxSize bytes) at the line's pace, 10 bits a byte, plus
    // ReplyCollector::kQuiet; 5267 ms at 9600 baud.
    Millis answerLimit() const { return answerLimit_; }
    static Millis answerLimitAt(int baud);
    // The clock: the outcome once the reply is over or the time-out has passed.
    std::optional<Outcome> tick(Millis now);
    // The owner's own time-out timer ran out: TimedOut when no answer has begun.
    std::optional<Outcome> timeOut();
    // The line failed: the request in progress ends HungUp (nothing when none waits).
    std::optional<Outcome> hangUp(Error error = {ErrorCode::HungUp, 0, {}});
    // The port closed: the request in progress ends without an outcome and the reply text is
    // emptied.
    void cancel();

    bool waiting() const { return waiting_; }
    // The request in progress has had a block of its answer.
    bool answerBegun() const { return waiting_ && begun_; }
    // When tick() can next report something without a further block; nothing when idle.
    std::optional<Millis> deadline() const;
    // The reply so far (the latest reply's text after an outcome, until the next block of a
    // new request or cancel()).
    // The listing settle time from the next block on (the line's kind may call for another).
    void setListingSettle(Millis settle) { reply_.setListingSettle(settle); }
    const std::string& replyText() const { return reply_.text(); }
    // Whether the reply so far is over by `completeness` at `now`, whatever request the
    // engine waits for (the window reads back a listing under its own pending request).
    bool replyOver(Completeness completeness, Millis now) const {
        return reply_.ready(now, completeness);
    }

private:
    Outcome finish(Status status, Error error = {});
    // The reply so far without an echo of the frame at its start.
    std::string_view answerText() const;

    Writer writer_;
    kvproto::ReplyCollector reply_;
    std::string frame_;  // the frame in progress, as an echo of it would come back
    bool waiting_ = false;
    bool begun_ = false;
    Completeness completeness_ = Completeness::Line;
    Millis timeout_{0};
    Millis sentAt_{0};
    Millis lastBlock_{0};
    Millis answerLimit_;
    std::optional<Millis> arrivingSince_;  // bytes on their way, not handed over yet
    Millis beganAt_{0};                    // when the answer began (begun_)
};

}  // namespace kvops
