// Running a queue channel on the test's (the owner's) thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

#include "SPComm/TQueueChannel.h"

namespace spcomm::test {

// Drains the channel on this thread until done() holds or the time-out passes.
bool PumpUntil(TQueueChannel& channel, const std::function<bool()>& done,
               std::chrono::milliseconds timeout);
// Drains for a while, to see that nothing more arrives.
void PumpFor(TQueueChannel& channel, std::chrono::milliseconds duration);
// The received blocks one after the other.
std::vector<std::uint8_t> Joined(const std::vector<std::vector<std::uint8_t>>& blocks);

}  // namespace spcomm::test
