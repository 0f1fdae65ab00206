// Helpers of the serial component's suites on pseudo-terminals (the device side of a line is
// the shared kvtest::PtyPair).
#pragma once

#include <termios.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ChannelPump.h"
#include "PtyPair.h"
#include "SPComm/TComm.h"
#include "SPComm/TQueueChannel.h"

namespace spcomm::test {

// A component set up as the tests want it: no XON/XOFF, so binary data passes.
void ConfigureForBinary(TComm& comm, const std::string& path);

#if defined(__linux__)
int CountOpenFds();
int CountThreads();
#endif

std::vector<std::uint8_t> RandomBytes(std::size_t n, unsigned seed);

}  // namespace spcomm::test
