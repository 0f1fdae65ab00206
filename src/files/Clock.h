#pragma once

// Calendar time of a moment, in the machine's zone or in UTC, on every platform.

#include <ctime>

namespace kvfiles {

std::tm localTime(std::time_t t);
std::tm utcTime(std::time_t t);

}  // namespace kvfiles
