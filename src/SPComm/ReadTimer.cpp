#include "SPComm/ReadTimer.h"

#include <algorithm>
#include <cstdint>

namespace spcomm::detail {
namespace {

constexpr std::uint32_t kMaxDword = 0xFFFFFFFFu;
// Longer waits than this are as good as forever and would overflow the clock's range.
constexpr std::uint64_t kLongestWaitMs = 30ull * 24 * 3600 * 1000;

TReadTimer::Clock::duration Millis(std::uint64_t ms) {
    return std::chrono::milliseconds(std::min(ms, kLongestWaitMs));
}

}  // namespace

TReadTimer::TReadTimer(const TCommTimeouts& t, std::size_t requested, Clock::time_point start)
    : requested_(requested) {
    if (t.readInterval == kMaxDword && t.readTotalMultiplier == 0 && t.readTotalConstant == 0) {
        mode_ = Mode::ReturnAvailable;
        return;
    }
    if (t.readInterval == kMaxDword && t.readTotalMultiplier == kMaxDword &&
        t.readTotalConstant > 0 && t.readTotalConstant < kMaxDword) {
        mode_ = Mode::WaitFirstByte;
        totalDeadline_ = start + Millis(t.readTotalConstant);
        return;
    }
    if (t.readInterval > 0) interval_ = Millis(t.readInterval);
    if (t.readTotalMultiplier != 0 || t.readTotalConstant != 0) {
        std::uint64_t total =
            std::uint64_t{t.readTotalMultiplier} * requested + t.readTotalConstant;
        totalDeadline_ = start + Millis(total);
    }
}

TReadTimer::TStep TReadTimer::Next(std::size_t received, Clock::time_point lastByte,
                                   Clock::time_point now) const {
    if (received >= requested_) return {true, std::nullopt};
    if (mode_ != Mode::Timed && received > 0) return {true, std::nullopt};
    std::optional<Clock::time_point> deadline = totalDeadline_;
    if (interval_ && received > 0) {
        Clock::time_point intervalEnd = lastByte + *interval_;
        deadline = deadline ? std::min(*deadline, intervalEnd) : intervalEnd;
    }
    if (deadline && *deadline <= now) return {true, std::nullopt};
    return {false, deadline};
}

}  // namespace spcomm::detail
