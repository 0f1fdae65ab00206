#include "sim/DeviceState.h"

#include <charconv>
#include <cmath>
#include <numbers>
#include <string_view>

#include "sim/Values.h"

namespace kvsim {

namespace {

constexpr std::int64_t kCounterModulo = 100'000'000;  // eight-digit counters wrap

// Locale-independent fixed-point text (the window process may run under any locale).
std::string fixed(double value, int decimals) {
    char buf[64];
    const auto result =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    return std::string(buf, result.ptr);
}

void line(std::string& out, std::string_view tag, std::string_view value) {
    out.append(tag).append(":").append(value).append("\r\n");
}

// Simulated process value of channel `i` in engineering units: it swings slowly between
// 10 % and 90 % of the channel's range, each channel with its own period.
struct Channel {
    double lrv;
    double span;
    double coefficient;
    double omega;  // rad per hour
    double phase;
};

Channel channel(const DeviceState& state, int i) {
    const auto& range = state.analog[static_cast<std::size_t>(i)];
    const double lrv = decimalValue(range.lrv);
    const double periodSeconds = 20.0 + 7.0 * i;
    return Channel{lrv, decimalValue(range.urv) - lrv,
                   decimalValue(state.coefficient[static_cast<std::size_t>(i)]),
                   2 * std::numbers::pi * 3600.0 / periodSeconds, 1.3 * i};
}

double hours(Millis t) {
    return static_cast<double>(t.count()) / 3'600'000.0;
}

double reading(const Channel& c, Millis now) {
    return (c.lrv + c.span * (0.5 + 0.4 * std::sin(c.omega * hours(now) + c.phase))) *
           c.coefficient;
}

// Integral of the reading over time in hours (the reading is a flow per hour).
double readingIntegral(const Channel& c, Millis t) {
    const double h = hours(t);
    return ((c.lrv + 0.5 * c.span) * h - 0.4 * c.span / c.omega * std::cos(c.omega * h + c.phase)) *
           c.coefficient;
}

std::int64_t counter(std::int64_t base, int mode, Millis origin, Millis now, int perSecond) {
    const std::int64_t elapsed = now > origin ? (now - origin).count() : 0;
    const std::int64_t pulses = mode == 1 ? elapsed * perSecond / 1000 : 0;
    return (base + pulses) % kCounterModulo;
}

int inputLevel(int mode, Millis now, int halfPeriodMs) {
    // A state input follows a slow square wave; a counting input shows its pulse train.
    const std::int64_t half = mode == 1 ? 250 : halfPeriodMs;
    return static_cast<int>((now.count() / half) % 2);
}

}  // namespace

DeviceState factoryDefaults() {
    DeviceState state;
    for (auto& range : state.analog) range = AnalogRange{"000100", "000000", "00000"};
    for (auto& c : state.coefficient) c = "1.00";
    state.cutoff = "0.000";
    return state;
}

std::string parameterText(const DeviceState& s) {
    std::string out;
    line(out, "TC1", zeroPadded(s.station, 3));
    line(out, "ZOM", s.cutoff);
    line(out, "MDL", std::to_string(s.outputPulseEqIndex));
    line(out, "MKT", zeroPadded(s.outputPulseWidth, 3));
    for (int i = 0; i < 4; ++i) {
        const auto& a = s.analog[static_cast<std::size_t>(i)];
        line(out, "AIN" + std::to_string(i + 1), a.urv + "," + a.lrv + "," + a.start);
    }
    for (int i = 0; i < 4; ++i)
        line(out, "AXS" + std::to_string(i + 1), s.coefficient[static_cast<std::size_t>(i)]);
    line(out, "DI01", std::to_string(s.din1Mode) + "," + std::to_string(s.din2Mode));
    line(out, "ARS485X", std::to_string(s.baudIndex) + "," + std::to_string(s.parityIndex));
    line(out, "BRS485X", std::to_string(s.interfaceType));
    line(out, "MTM", zeroPadded(s.din2PulseWidth, 3));
    line(out, "PUDL", std::to_string(s.din2PulseEqIndex));
    line(out, "LP1", zeroPadded(s.pulseBase1, 8));
    line(out, "LP2", zeroPadded(s.pulseBase2, 8));
    line(out, "LPN", zeroPadded(s.totalBaseInteger, 8));
    line(out, "LPF", zeroPadded(s.totalBaseThousandths, 3));
    return out;
}

std::string statusText(const DeviceState& s, const CounterOrigins& origins, Millis now) {
    std::string out;
    for (int i = 0; i < 4; ++i)
        line(out, "AD" + std::to_string(i + 1), fixed(reading(channel(s, i), now), 3));
    line(out, "DIN1", std::to_string(inputLevel(s.din1Mode, now, 2000)));
    line(out, "DIN2", std::to_string(inputLevel(s.din2Mode, now, 3000)));
    line(out, "PIN1", zeroPadded(counter(s.pulseBase1, s.din1Mode, origins.pulse1, now, 2), 8));
    line(out, "PIN2", zeroPadded(counter(s.pulseBase2, s.din2Mode, origins.pulse2, now, 1), 8));
    const Channel ad1 = channel(s, 0);
    const double flowed =
        now > origins.total ? readingIntegral(ad1, now) - readingIntegral(ad1, origins.total) : 0;
    const double total =
        static_cast<double>(s.totalBaseInteger) + s.totalBaseThousandths / 1000.0 + flowed;
    line(out, "SUM1", fixed(total, 3));
    return out;
}

std::string versionText(const DeviceState& s) {
    return "VAR:KV480T-R-2,V1.2,ADR:" + zeroPadded(s.station, 3) + ",OK\r\n";
}

}  // namespace kvsim
