#include "sim/FrameAssembler.h"

namespace kvsim {

namespace {

bool endsWithPrefix(std::string_view s) {
    return s.ends_with(kSetPrefix) || s.ends_with(kQueryPrefix);
}

}  // namespace

void FrameAssembler::feed(std::string_view bytes, std::vector<Frame>& out) {
    for (char c : bytes) take(c, out);
}

std::vector<Frame> FrameAssembler::feed(std::string_view bytes) {
    std::vector<Frame> out;
    feed(bytes, out);
    return out;
}

void FrameAssembler::clear() {
    buffer_.clear();
    inFrame_ = false;
}

void FrameAssembler::take(char c, std::vector<Frame>& out) {
    buffer_ += c;
    if (!inFrame_) {
        if (endsWithPrefix(buffer_)) {
            buffer_.erase(0, buffer_.size() - kPrefixSize);
            inFrame_ = true;
        } else if (buffer_.size() >= kPrefixSize) {
            buffer_.erase(0, buffer_.size() - (kPrefixSize - 1));
        }
        return;
    }
    if (c == '#') {
        if (buffer_.size() >= 2 * kPrefixSize && endsWithPrefix(buffer_)) {
            // A new frame began before this one ended.
            out.push_back(Frame{buffer_.substr(0, buffer_.size() - kPrefixSize), false});
            buffer_.erase(0, buffer_.size() - kPrefixSize);
            return;
        }
        out.push_back(Frame{std::move(buffer_), true});
        buffer_.clear();
        inFrame_ = false;
        return;
    }
    if (buffer_.size() > kPrefixSize + kMaxBody) {
        // Too long to be a frame: report it and look for a prefix in what follows.
        out.push_back(Frame{buffer_, false});
        buffer_.erase(0, buffer_.size() - (kPrefixSize - 1));
        inFrame_ = false;
    }
}

}  // namespace kvsim
