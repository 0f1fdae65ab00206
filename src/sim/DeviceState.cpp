#include "sim/DeviceState.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <vector>

#include "sim/DeviceRules.h"
#include "sim/Values.h"

namespace kvsim {

namespace {

using kvproto::Parameter;

constexpr std::int64_t kCounterModulo = 100'000'000;  // eight-digit counters wrap

const Parameter& parameterNamed(std::string_view name) {
    const Parameter* p = kvproto::findParameter(name);
    if (!p) throw std::invalid_argument("no collector parameter \"" + std::string(name) + "\"");
    return *p;
}

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

// The listing's lines: the parameters with a tag, grouped by tag, each group's values in
// the order of their offsets; the read-back rows first in their order, then the tags that
// are only listed, in the table's order.
struct ListingLine {
    std::string_view tag;
    int readRow;
    std::vector<const Parameter*> values;
};

std::vector<ListingLine> deriveListing() {
    std::vector<ListingLine> lines;
    for (const Parameter& p : kvproto::parameters()) {
        if (p.tag.empty()) continue;
        auto at = std::find_if(lines.begin(), lines.end(),
                               [&](const ListingLine& l) { return l.tag == p.tag; });
        if (at == lines.end()) at = lines.insert(lines.end(), ListingLine{p.tag, p.readRow, {}});
        at->values.push_back(&p);
    }
    const auto order = [](const ListingLine& l) { return l.readRow > 0 ? l.readRow : INT_MAX; };
    std::stable_sort(lines.begin(), lines.end(), [&](const ListingLine& a, const ListingLine& b) {
        return order(a) < order(b);
    });
    for (ListingLine& l : lines)
        std::stable_sort(
            l.values.begin(), l.values.end(),
            [](const Parameter* a, const Parameter* b) { return a->offset < b->offset; });
    return lines;
}

const std::vector<ListingLine>& listing() {
    static const std::vector<ListingLine> lines = deriveListing();
    return lines;
}

std::string channelName(int i, std::string_view field) {
    return "ad" + std::to_string(i + 1) + "." + std::string(field);
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
    const double lrv = state.decimal(channelName(i, "lrv"));
    const double periodSeconds = 20.0 + 7.0 * i;
    return Channel{lrv, state.decimal(channelName(i, "urv")) - lrv,
                   state.decimal(channelName(i, "coefficient")),
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

std::int64_t counter(std::int64_t base, std::int64_t mode, Millis origin, Millis now,
                     int perSecond) {
    const std::int64_t elapsed = now > origin ? (now - origin).count() : 0;
    const std::int64_t pulses = mode == 1 ? elapsed * perSecond / 1000 : 0;
    return (base + pulses) % kCounterModulo;
}

int inputLevel(std::int64_t mode, Millis now, int halfPeriodMs) {
    // A state input follows a slow square wave; a counting input shows its pulse train.
    const std::int64_t half = mode == 1 ? 250 : halfPeriodMs;
    return static_cast<int>((now.count() / half) % 2);
}

}  // namespace

const std::string& DeviceState::text(const Parameter& parameter) const {
    return texts_[kvproto::parameterIndex(parameter)];
}

const std::string& DeviceState::text(std::string_view name) const {
    return text(parameterNamed(name));
}

void DeviceState::set(const Parameter& parameter, std::string text) {
    texts_[kvproto::parameterIndex(parameter)] = std::move(text);
}

void DeviceState::set(std::string_view name, std::string text) {
    set(parameterNamed(name), std::move(text));
}

std::int64_t DeviceState::number(std::string_view name) const {
    const std::optional<std::int64_t> value = parseUnsigned(text(name), 0, INT64_MAX);
    return value.value_or(0);
}

double DeviceState::decimal(std::string_view name) const {
    return decimalValue(text(name));
}

kvproto::CollectorSettings DeviceState::settings() const {
    kvproto::CollectorSettings settings;
    for (const Parameter& p : kvproto::parameters()) {
        const std::string& held = text(p);
        if (p.isList()) {
            const auto index = parseIndex(held, static_cast<int>(p.items.size()) - 1);
            if (const auto item = index ? kvproto::itemValue(p, *index) : std::nullopt)
                settings.set(p, *item);
        } else {
            settings.set(p, held);
        }
    }
    return settings;
}

DeviceState factoryDefaults() {
    // Every setting at the smallest value its rule takes, then the values that differ.
    DeviceState state;
    for (const Parameter& p : kvproto::parameters())
        state.set(p, acceptValue(p, std::to_string(p.deviceMin)).value_or(""));
    const auto factory = [&](const std::string& name, std::string_view value) {
        const Parameter& p = parameterNamed(name);
        state.set(p, acceptValue(p, value).value());
    };
    factory("rs485.baud", "3");  // 9600
    factory("din2.pulse_width", "5");
    factory("interface.type", "2");  // RS485
    factory("ad1.residual_cutoff", "0.000");
    for (int i = 0; i < 4; ++i) {
        factory(channelName(i, "urv"), "100");
        factory(channelName(i, "coefficient"), "1.00");
    }
    return state;
}

std::string parameterText(const DeviceState& s, Listing form) {
    std::string out;
    for (const ListingLine& l : listing()) {
        if (form == Listing::Plain && l.readRow <= 0) continue;
        out.append(l.tag);
        if (!l.tag.ends_with(':')) out += ':';
        for (std::size_t i = 0; i < l.values.size(); ++i) {
            if (i > 0) out += ',';
            out.append(s.text(*l.values[i]));
        }
        out.append("\r\n");
    }
    return out;
}

Millis CounterOrigins::of(std::string_view name) const {
    return origins_[kvproto::parameterIndex(parameterNamed(name))];
}

void CounterOrigins::restart(const Parameter& counterBase, Millis now) {
    origins_[kvproto::parameterIndex(counterBase)] = now;
}

void CounterOrigins::restartAll(Millis now) {
    origins_.fill(now);
}

std::string statusText(const DeviceState& s, const CounterOrigins& origins, Millis now) {
    std::string out;
    for (int i = 0; i < 4; ++i)
        line(out, "AD" + std::to_string(i + 1), fixed(reading(channel(s, i), now), 3));
    const std::int64_t din1 = s.number("din1.mode");
    const std::int64_t din2 = s.number("din2.mode");
    line(out, "DIN1", std::to_string(inputLevel(din1, now, 2000)));
    line(out, "DIN2", std::to_string(inputLevel(din2, now, 3000)));
    line(out, "PIN1",
         zeroPadded(counter(s.number("pin1.base"), din1, origins.of("pin1.base"), now, 2), 8));
    line(out, "PIN2",
         zeroPadded(counter(s.number("pin2.base"), din2, origins.of("pin2.base"), now, 1), 8));
    // The total restarts when either of its two bases is written.
    const Millis totalOrigin =
        std::max(origins.of("ad1.total.integer"), origins.of("ad1.total.decimal"));
    const Channel ad1 = channel(s, 0);
    const double flowed =
        now > totalOrigin ? readingIntegral(ad1, now) - readingIntegral(ad1, totalOrigin) : 0;
    const double total = static_cast<double>(s.number("ad1.total.integer")) +
                         static_cast<double>(s.number("ad1.total.decimal")) / 1000.0 + flowed;
    line(out, "SUM1", fixed(total, 3));
    return out;
}

std::string versionText(const DeviceState& s) {
    return "VAR:KV480T-R-2,V1.2,ADR:" + s.text("rs485.address") + ",OK\r\n";
}

}  // namespace kvsim
