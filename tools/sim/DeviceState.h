// The settings a KV480T-R-2 collector keeps, their factory values, the parameter listing it
// sends for "PPPPPP#CHEACK1#" and the live readings it sends for "PPPPPP#STATUS#".
// Pure data and functions: no I/O, no clock (times are passed in).
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>

namespace kvsim {

using Millis = std::chrono::milliseconds;

// One analogue channel's range, as normalised decimal text of the widths the collector
// reports: URV and LRV 6 characters, starting point 5 characters.
struct AnalogRange {
    std::string urv;
    std::string lrv;
    std::string start;
    bool operator==(const AnalogRange&) const = default;
};

struct DeviceState {
    int baudIndex = 3;                         // AR485X, 0..9 ("1200" .. "19200(DY)")
    int parityIndex = 0;                       // AR485X, 0..2 (none, odd, even)
    int station = 1;                           // ST, Modbus address 1..247
    int din1Mode = 0;                          // DI01, 0 state input, 1 pulse counting
    int din2Mode = 0;                          // DI02
    int din2PulseEqIndex = 0;                  // PUDL, 0..4
    int din2PulseWidth = 5;                    // MTM, 1..999 (units of 0.005 ms)
    std::int64_t pulseBase1 = 0;               // LP1, 0..99999999
    std::int64_t pulseBase2 = 0;               // LP2
    std::array<AnalogRange, 4> analog{};       // AIN1..AIN4
    std::array<std::string, 4> coefficient{};  // AXS1..AXS4, 4 characters, >= 0
    std::int64_t totalBaseInteger = 0;         // LPN, 0..99999999
    int totalBaseThousandths = 0;              // LPF, 0..999
    int outputPulseEqIndex = 0;                // MDL, 0..3 ("1" .. "0.001")
    int outputPulseWidth = 1;                  // MKT, 1..999 (units of 0.005 ms)
    std::string cutoff;                        // ZOM, 5 characters, >= 0
    int interfaceType = 2;                     // BR485X, 0 closed, 1 network, 2 RS485

    bool operator==(const DeviceState&) const = default;
};

DeviceState factoryDefaults();

// The answer to "PPPPPP#CHEACK1#": one "TAG:value" line per setting, CR LF after each, every
// value at its fixed width (e.g. "AIN1:000100,000000,00000").
std::string parameterText(const DeviceState& state);

// When each counter's base value was last set (by LP1/LP2/LPN, by a reset, or at power-up).
struct CounterOrigins {
    Millis pulse1{0};
    Millis pulse2{0};
    Millis total{0};
};

// The answer to "PPPPPP#STATUS#" at time `now` (since power-up): the four channel readings,
// the two input states, the two pulse counters and the AD1 total.
std::string statusText(const DeviceState& state, const CounterOrigins& origins, Millis now);

// The answer to "PPPPPP#VAR#".
std::string versionText(const DeviceState& state);

}  // namespace kvsim
