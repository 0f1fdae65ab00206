// ReplyCollector: the rules by which the blocks a serial port delivers are put together into
// one reply of the collector, shared by the window and the command-line client.
//
// The serial port hands over a block once the line has been quiet for its read interval, so
// a collector that pauses inside its reply arrives in pieces. A block belongs to the reply in
// progress when the line was silent for at most kPieceGap (give or take kArrivalSlack) before
// it: the time since the
// previous block less the block's own time on the line (10 bits a byte at the line's speed).
// A block after a longer silence starts a new reply. A reply never grows beyond kMaxSize
// bytes: a block that would take it further starts a new reply.
//
// When a reply is ready to be processed (read back):
//   - a complete reply (see the predicates below) at once (the window's Timer6 still gives
//     it 200 ms after its first block); a listing once its read-back rows are in and the
//     line has been quiet for the owner's listing settle time (kAnswerQuiet when the text
//     ends inside a line), so that lines of other tags that follow at once (the counter
//     bases) are part of it, but are never waited for;
//   - any reply once kQuiet has passed since its last block: a further piece, silent for up
//     to kPieceGap and then a few hundred bytes long, would have come by then;
//   - any reply once kLongest has passed since its first block (a collector that never stops
//     talking does not postpone it for ever), or once it holds kMaxSize bytes.
//
// No clock of its own: the caller passes the time. Not thread-safe; one owner.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

#include "protocol/Millis.h"

namespace kvproto {

class ReplyCollector {
public:
    static constexpr Millis kPieceGap{500};
    // What the measured silence may exceed kPieceGap by: the time blocks take from the line to
    // the reader varies by a few scheduler ticks, more on a busy machine.
    static constexpr Millis kArrivalSlack{100};
    static constexpr Millis kQuiet{1000};
    static constexpr Millis kLongest{3000};
    static constexpr std::size_t kMaxSize = 4096;
    // How long the line stays quiet after an answer of any form before it counts as over.
    static constexpr Millis kAnswerQuiet{200};
    // The window's listing settle time: with its port's 100 ms read interval, a listing is
    // over 200 ms after its last byte.
    static constexpr Millis kListingSettle{100};

    // When a reply is over:
    //   Listing  the parameter listing: once every read-back row is in it (all its value
    //            positions included) and the line has been quiet for the listing settle time;
    //   Line     a one-line answer (the communication test's, the reset's): when it ends a
    //            line, else once quiet for kQuiet;
    //   Answer   an answer whose form is not known (a set command's): when it ends a line,
    //            else once quiet for kAnswerQuiet;
    //   Quiet    a reply of unknown length (the live readings): only once quiet for kQuiet.
    enum class Completeness { Listing, Line, Answer, Quiet };

    explicit ReplyCollector(int baud = 9600, Millis listingSettle = kListingSettle)
        : baud_(baud), listingSettle_(listingSettle) {}
    void setListingSettle(Millis settle) { listingSettle_ = settle; }

    // Adds a received block at time `now`. Returns true when the block started a new reply
    // (the text is the block alone), false when it was appended to the reply in progress.
    bool add(std::string_view block, Millis now);
    void clear();
    // A new request went out: the text stays, but the next block starts a new reply.
    void close() { closed_ = true; }
    bool closed() const { return closed_; }

    const std::string& text() const { return text_; }
    bool empty() const { return text_.empty(); }
    bool complete(Completeness completeness) const;
    bool ready(Millis now, Completeness completeness) const;
    // How long from `now` until ready() can turn true without a further block; zero when it
    // is ready already, and meaningless while empty.
    Millis untilReady(Millis now, Completeness completeness) const;

private:
    int baud_;
    Millis listingSettle_;
    std::string text_;
    Millis first_{0};
    Millis last_{0};
    bool closed_ = false;
};

}  // namespace kvproto
