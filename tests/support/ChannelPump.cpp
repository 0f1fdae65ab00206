#include "ChannelPump.h"

namespace spcomm::test {

bool PumpUntil(TQueueChannel& channel, const std::function<bool()>& done,
               std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return done();
        channel.waitAndDrain(left);
    }
    return true;
}

void PumpFor(TQueueChannel& channel, std::chrono::milliseconds duration) {
    PumpUntil(
        channel, [] { return false; }, duration);
}

std::vector<std::uint8_t> Joined(const std::vector<std::vector<std::uint8_t>>& blocks) {
    std::vector<std::uint8_t> all;
    for (const auto& b : blocks) all.insert(all.end(), b.begin(), b.end());
    return all;
}

}  // namespace spcomm::test
