// Fuzzes the simulated collector's frame reassembly and frame handling. The input is split
// into reads at positions taken from its first bytes; whatever the split, the frames must be
// those of the unsplit input, the buffer stays bounded, and every answered frame leaves the
// collector's settings valid at the widths it reports them at.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/Parameters.h"
#include "protocol/SetCommands.h"
#include "sim/Device.h"
#include "sim/DeviceRules.h"
#include "sim/FrameAssembler.h"

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

// Every setting is one its parameter's rule takes unchanged, at the width it is reported
// with, and every range (upper range value, lower range value) is neither empty nor inverted.
void checkState(const kvsim::DeviceState& s) {
    for (const kvproto::Parameter& p : kvproto::parameters()) {
        check(s.text(p).size() == p.readWidth);
        const auto again = kvsim::acceptValue(p, s.text(p));
        check(again.has_value() && *again == s.text(p));
    }
    for (const kvproto::SetCommand& command : kvproto::setCommands()) {
        std::vector<std::string_view> fields;
        for (const kvproto::Parameter* p : command.parameterSpan()) fields.push_back(s.text(*p));
        check(kvsim::acceptFields(command, fields).has_value());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    // First byte: how many split points follow (each one byte, scaled to the payload).
    const std::size_t cuts = std::min<std::size_t>(data[0] % 8, size - 1);
    const std::string_view payload(reinterpret_cast<const char*>(data) + 1 + cuts, size - 1 - cuts);

    kvsim::FrameAssembler whole;
    const std::vector<kvsim::Frame> expected = whole.feed(payload);
    check(whole.buffered() <= kvsim::FrameAssembler::kMaxFrame);

    kvsim::FrameAssembler split;
    std::vector<kvsim::Frame> got;
    std::size_t from = 0;
    for (std::size_t i = 0; i < cuts; ++i) {
        const std::size_t to =
            std::max(from, payload.size() * static_cast<std::size_t>(data[1 + i]) / 255);
        split.feed(payload.substr(from, to - from), got);
        check(split.buffered() <= kvsim::FrameAssembler::kMaxFrame);
        from = to;
    }
    split.feed(payload.substr(from), got);
    check(got == expected);

    kvsim::Device device;
    kvsim::Millis now{0};
    for (const kvsim::Frame& frame : expected) {
        check(frame.bytes.size() <= kvsim::FrameAssembler::kMaxFrame);
        if (frame.complete) {
            check(frame.bytes.starts_with(kvsim::kSetPrefix) ||
                  frame.bytes.starts_with(kvsim::kQueryPrefix));
            check(frame.bytes.ends_with('#'));
            check(frame.bytes.find('#', kvsim::FrameAssembler::kPrefixSize) ==
                  frame.bytes.size() - 1);
        }
        const kvsim::DeviceState before = device.state();
        const std::string answer = device.handle(frame, now);
        check(answer.ends_with("\r\n"));
        if (answer.starts_with("ERR:")) check(device.state() == before);
        checkState(device.state());
        now += kvsim::Millis(137);
    }
    return 0;
}
