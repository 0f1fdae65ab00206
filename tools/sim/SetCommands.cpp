#include "sim/SetCommands.h"

#include <array>

#include "sim/Values.h"

namespace kvsim {

namespace {

using Fields = std::span<const std::string_view>;

constexpr std::int64_t kEightDigits = 99'999'999;

bool setIndex(int& target, std::string_view text, int max) {
    const auto v = parseIndex(text, max);
    if (v) target = *v;
    return v.has_value();
}

template <typename T>
bool setUnsigned(T& target, std::string_view text, std::int64_t min, std::int64_t max) {
    const auto v = parseUnsigned(text, min, max);
    if (v) target = static_cast<T>(*v);
    return v.has_value();
}

bool setDecimal(std::string& target, std::string_view text, std::size_t width, bool allowNegative) {
    auto v = normaliseDecimal(text, width, allowNegative);
    if (v) target = std::move(*v);
    return v.has_value();
}

// AINn: URV, LRV, starting point. The range must not be empty or inverted.
template <std::size_t N>
bool setAnalog(DeviceState& s, Fields f) {
    const auto urv = normaliseDecimal(f[0], 6, true);
    const auto lrv = normaliseDecimal(f[1], 6, true);
    const auto start = normaliseDecimal(f[2], 5, true);
    if (!urv || !lrv || !start || decimalValue(*urv) <= decimalValue(*lrv)) return false;
    s.analog[N] = AnalogRange{*urv, *lrv, *start};
    return true;
}

template <std::size_t N>
std::string showAnalog(const DeviceState& s) {
    return s.analog[N].urv + "," + s.analog[N].lrv + "," + s.analog[N].start;
}

template <std::size_t N>
bool setCoefficient(DeviceState& s, Fields f) {
    return setDecimal(s.coefficient[N], f[0], 4, false);
}

template <std::size_t N>
std::string showCoefficient(const DeviceState& s) {
    return s.coefficient[N];
}

const std::array<SetCommand, 22> kCommands{{
    {"AR485X", 2,
     [](DeviceState& s, Fields f) {
         const auto baud = parseIndex(f[0], 9);
         const auto parity = parseIndex(f[1], 2);
         if (!baud || !parity) return false;
         s.baudIndex = *baud;
         s.parityIndex = *parity;
         return true;
     },
     [](const DeviceState& s) {
         return std::to_string(s.baudIndex) + "," + std::to_string(s.parityIndex);
     }},
    {"ST", 1, [](DeviceState& s, Fields f) { return setUnsigned(s.station, f[0], 1, 247); },
     [](const DeviceState& s) { return zeroPadded(s.station, 3); }},
    {"DI01", 1, [](DeviceState& s, Fields f) { return setIndex(s.din1Mode, f[0], 1); },
     [](const DeviceState& s) { return std::to_string(s.din1Mode); }},
    {"DI02", 1, [](DeviceState& s, Fields f) { return setIndex(s.din2Mode, f[0], 1); },
     [](const DeviceState& s) { return std::to_string(s.din2Mode); }},
    // The two blank entries after "1 pulse for 100 tons of water" name no equivalent.
    {"PUDL", 1, [](DeviceState& s, Fields f) { return setIndex(s.din2PulseEqIndex, f[0], 4); },
     [](const DeviceState& s) { return std::to_string(s.din2PulseEqIndex); }},
    {"MTM", 1, [](DeviceState& s, Fields f) { return setUnsigned(s.din2PulseWidth, f[0], 1, 999); },
     [](const DeviceState& s) { return zeroPadded(s.din2PulseWidth, 3); }},
    {"LP1", 1,
     [](DeviceState& s, Fields f) { return setUnsigned(s.pulseBase1, f[0], 0, kEightDigits); },
     [](const DeviceState& s) { return zeroPadded(s.pulseBase1, 8); }},
    {"LP2", 1,
     [](DeviceState& s, Fields f) { return setUnsigned(s.pulseBase2, f[0], 0, kEightDigits); },
     [](const DeviceState& s) { return zeroPadded(s.pulseBase2, 8); }},
    {"AIN1", 3, setAnalog<0>, showAnalog<0>},
    {"AIN2", 3, setAnalog<1>, showAnalog<1>},
    {"AIN3", 3, setAnalog<2>, showAnalog<2>},
    {"AIN4", 3, setAnalog<3>, showAnalog<3>},
    {"AXS1", 1, setCoefficient<0>, showCoefficient<0>},
    {"AXS2", 1, setCoefficient<1>, showCoefficient<1>},
    {"AXS3", 1, setCoefficient<2>, showCoefficient<2>},
    {"AXS4", 1, setCoefficient<3>, showCoefficient<3>},
    {"LPN", 1,
     [](DeviceState& s, Fields f) {
         return setUnsigned(s.totalBaseInteger, f[0], 0, kEightDigits);
     },
     [](const DeviceState& s) { return zeroPadded(s.totalBaseInteger, 8); }},
    // The decimal base arrives as typed (not padded): it counts thousandths, "50" = 0.050.
    {"LPF", 1,
     [](DeviceState& s, Fields f) {
         return f[0].size() <= 3 && setUnsigned(s.totalBaseThousandths, f[0], 0, 999);
     },
     [](const DeviceState& s) { return zeroPadded(s.totalBaseThousandths, 3); }},
    {"MDL", 1, [](DeviceState& s, Fields f) { return setIndex(s.outputPulseEqIndex, f[0], 3); },
     [](const DeviceState& s) { return std::to_string(s.outputPulseEqIndex); }},
    {"MKT", 1,
     [](DeviceState& s, Fields f) { return setUnsigned(s.outputPulseWidth, f[0], 1, 999); },
     [](const DeviceState& s) { return zeroPadded(s.outputPulseWidth, 3); }},
    {"ZOM", 1, [](DeviceState& s, Fields f) { return setDecimal(s.cutoff, f[0], 5, false); },
     [](const DeviceState& s) { return s.cutoff; }},
    {"BR485X", 1, [](DeviceState& s, Fields f) { return setIndex(s.interfaceType, f[0], 2); },
     [](const DeviceState& s) { return std::to_string(s.interfaceType); }},
}};

}  // namespace

std::span<const SetCommand> setCommands() {
    return kCommands;
}

const SetCommand* findSetCommand(std::string_view word) {
    for (const auto& c : kCommands)
        if (c.word == word) return &c;
    return nullptr;
}

}  // namespace kvsim
