// Reassembles the collector's incoming frames from whatever the line delivers: frames split
// over several reads, several frames in one read, noise between them.
//
// A frame starts with "KORVEL#" or "PPPPPP#" and ends at the next "#". Bytes outside a frame
// are noise and are dropped. A frame cut short (a new prefix arrives before its "#", or its
// body grows past kMaxBody bytes) is reported as broken, and reassembly carries on with what
// follows. Bytes are taken one at a time, so the result never depends on how the input was
// split, and the buffer never holds more than kMaxFrame bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/Frames.h"

namespace kvsim {

// The frames' prefixes are the protocol's (kvsim builds on the protocol library).
using kvproto::kQueryPrefix;
using kvproto::kSetPrefix;

struct Frame {
    std::string bytes;     // from the prefix on; a complete frame ends with its "#"
    bool complete = true;  // false: cut short, answered as a broken frame
    bool operator==(const Frame&) const = default;
};

class FrameAssembler {
public:
    static constexpr std::size_t kPrefixSize = 7;
    static constexpr std::size_t kMaxBody = 64;  // longest accepted frame body without "#"
    static constexpr std::size_t kMaxFrame = kPrefixSize + kMaxBody + 1;

    // Appends the frames completed by `bytes` to `out`.
    void feed(std::string_view bytes, std::vector<Frame>& out);
    std::vector<Frame> feed(std::string_view bytes);

    std::size_t buffered() const { return buffer_.size(); }
    void clear();

private:
    void take(char c, std::vector<Frame>& out);

    std::string buffer_;  // searching: the last bytes that may begin a prefix; else the frame
    bool inFrame_ = false;
};

}  // namespace kvsim
