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

#include "sim/Device.h"
#include "sim/FrameAssembler.h"
#include "sim/Values.h"

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

void checkDecimal(const std::string& text, std::size_t width, bool allowNegative) {
    check(text.size() == width);
    const auto again = kvsim::normaliseDecimal(text, width, allowNegative);
    check(again.has_value() && *again == text);
}

void checkState(const kvsim::DeviceState& s) {
    check(s.baudIndex >= 0 && s.baudIndex <= 9 && s.parityIndex >= 0 && s.parityIndex <= 2);
    check(s.station >= 1 && s.station <= 247);
    check(s.din1Mode >= 0 && s.din1Mode <= 1 && s.din2Mode >= 0 && s.din2Mode <= 1);
    check(s.din2PulseEqIndex >= 0 && s.din2PulseEqIndex <= 4);
    check(s.din2PulseWidth >= 1 && s.din2PulseWidth <= 999);
    check(s.outputPulseWidth >= 1 && s.outputPulseWidth <= 999);
    check(s.outputPulseEqIndex >= 0 && s.outputPulseEqIndex <= 3);
    check(s.interfaceType >= 0 && s.interfaceType <= 2);
    check(s.totalBaseThousandths >= 0 && s.totalBaseThousandths <= 999);
    for (const auto& a : s.analog) {
        checkDecimal(a.urv, 6, true);
        checkDecimal(a.lrv, 6, true);
        checkDecimal(a.start, 5, true);
        check(kvsim::decimalValue(a.urv) > kvsim::decimalValue(a.lrv));
    }
    for (const auto& c : s.coefficient) checkDecimal(c, 4, false);
    checkDecimal(s.cutoff, 5, false);
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
