// The settings a KV480T-R-2 collector keeps, their factory values, the parameter listing it
// sends for "PPPPPP#CHEACK1#" and the live readings it sends for "PPPPPP#STATUS#".
// Pure data and functions: no I/O, no clock (times are passed in).
//
// The settings are those of the parameter table (protocol/Parameters.h): one text per
// parameter, as the collector holds it, at the width at which it reports it (list items as
// their number, integers zero-padded, decimals normalised; see DeviceRules.h).
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "protocol/CollectorSettings.h"
#include "protocol/Millis.h"
#include "protocol/Parameters.h"

namespace kvsim {

using kvproto::Millis;

class DeviceState {
public:
    // The text held for a parameter. By name: throws std::invalid_argument for a name that
    // is not a parameter's.
    const std::string& text(const kvproto::Parameter& parameter) const;
    const std::string& text(std::string_view name) const;
    // Stores a text as it stands: the Device checks values with the parameter's rule before
    // it stores them.
    void set(const kvproto::Parameter& parameter, std::string text);
    void set(std::string_view name, std::string text);

    // The value of a list item number or an unsigned integer (0 when the text is none).
    std::int64_t number(std::string_view name) const;
    // The value of a decimal (0 when the text is none).
    double decimal(std::string_view name) const;

    // The settings as the client's model writes them (list values as item texts).
    kvproto::CollectorSettings settings() const;

    bool operator==(const DeviceState&) const = default;

private:
    std::array<std::string, kvproto::kParameterCount> texts_{};
};

DeviceState factoryDefaults();

// The answer to "PPPPPP#CHEACK1#", derived from the parameter table: one line per tag (the
// read-back rows in their order, then, in the full listing, the tags only listed, such as the
// counter bases), each the tag, ":" when the tag does not end with one, the values of its
// parameters in the order of their offsets with "," between them, and CR LF.
// E.g. "AIN1:000100,000000,00000". The plain listing has the 17 read-back rows only.
enum class Listing { Full, Plain };
std::string parameterText(const DeviceState& state, Listing form = Listing::Full);

// When each counter last restarted: at power-up, at a reset, or when a counter base
// parameter (ParameterKind::CounterBase) was written.
class CounterOrigins {
public:
    // The origin of the count that `name` (a counter base) starts.
    Millis of(std::string_view name) const;
    void restart(const kvproto::Parameter& counterBase, Millis now);
    void restartAll(Millis now);

    bool operator==(const CounterOrigins&) const = default;

private:
    std::array<Millis, kvproto::kParameterCount> origins_{};
};

// The answer to "PPPPPP#STATUS#" at time `now` (since power-up): the four channel readings,
// the two input states, the two pulse counters and the AD1 total.
std::string statusText(const DeviceState& state, const CounterOrigins& origins, Millis now);

// The answer to "PPPPPP#VAR#".
std::string versionText(const DeviceState& state);

}  // namespace kvsim
