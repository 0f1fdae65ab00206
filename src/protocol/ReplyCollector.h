// ReplyCollector: the rules by which the blocks a serial port delivers are put together into
// one reply of the collector, shared by the window and the command-line client.
//
// The serial port hands over a block once the line has been quiet for its read interval, so
// a collector that pauses inside its reply arrives in pieces. Pieces that follow each other
// within kPieceGap belong to one reply; a block after a longer silence starts a new one. A
// reply never grows beyond kMaxSize bytes: a block that would take it further starts a new
// reply.
//
// When a reply is ready to be processed (read back):
//   - a complete reply (see the predicates below) at once (the window's Timer6 still gives
//     it 200 ms after its first block);
//   - any reply once kPieceGap has passed since its last block (no further piece can come);
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
    static constexpr Millis kLongest{3000};
    static constexpr std::size_t kMaxSize = 4096;

    // What counts as complete: the parameter listing when every read-back row is in it
    // (Listing), any other reply when it ends a line (Line).
    enum class Completeness { Listing, Line };

    // Adds a received block at time `now`. Returns true when the block started a new reply
    // (the text is the block alone), false when it was appended to the reply in progress.
    bool add(std::string_view block, Millis now);
    void clear();
    // A new request went out: the text stays, but the next block starts a new reply.
    void close() { closed_ = true; }

    const std::string& text() const { return text_; }
    bool empty() const { return text_.empty(); }
    bool complete(Completeness completeness) const;
    bool ready(Millis now, Completeness completeness) const;
    // How long from `now` until ready() can turn true without a further block; zero when it
    // is ready already, and meaningless while empty.
    Millis untilReady(Millis now, Completeness completeness) const;

private:
    std::string text_;
    Millis first_{0};
    Millis last_{0};
    bool closed_ = false;
};

}  // namespace kvproto
