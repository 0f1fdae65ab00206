// kvops::Clock: the one monotonic clock of the collector's exchanges, in whole milliseconds.
// The exchange engine counts its time-outs and reply gaps on it; the window's presenters and
// the client read it; tests put a clock of their own in its place.
#pragma once

#include <cstdint>

#include "protocol/Millis.h"

namespace kvops {

using kvproto::Millis;

class Clock {
public:
    virtual ~Clock() = default;
    virtual Millis now() const = 0;
};

// The process's steady clock.
const Clock& steadyClock();

// The wall clock: milliseconds since 1970-01-01 UTC, as reports and records give a moment.
std::int64_t wallClockMs();

}  // namespace kvops
