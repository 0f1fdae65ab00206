// The one duration type of the collector's times (answer times, gaps, settle times, the
// simulated collector's pace): whole milliseconds. The operations and the simulated collector
// use this one.
#pragma once

#include <chrono>

namespace kvproto {

using Millis = std::chrono::milliseconds;

}  // namespace kvproto
