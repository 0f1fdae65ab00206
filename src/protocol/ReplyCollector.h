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
//     it 200 ms after its first block);
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

namespace kvproto {

using Millis = std::chrono::milliseconds;

class ReplyCollector {
public:
    static constexpr Millis kPieceGap{500};
    // What the measured silence may exceed kPieceGap by: the time blocks take from the line to
    // the reader varies by a few scheduler ticks, more on a busy machine.
    static constexpr Millis kArrivalSlack{100};
    static constexpr Millis kQuiet{1000};
    static constexpr Millis kLongest{3000};
    static constexpr std::size_t kMaxSize = 4096;

    // What counts as complete: the parameter listing when every read-back row and every
    // counter base it reports are in it (WholeListing); a one-line answer (a set command's)
    // when it ends a line (Line); a reply of unknown length (the live readings) never, so it is
    // ready only once the line has been quiet for kQuiet (Quiet).
    enum class Completeness { WholeListing, Line, Quiet };

    explicit ReplyCollector(int baud = 9600) : baud_(baud) {}

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
    std::string text_;
    Millis first_{0};
    Millis last_{0};
    bool closed_ = false;
};

}  // namespace kvproto
