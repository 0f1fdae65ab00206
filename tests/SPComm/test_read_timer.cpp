// The read time-out rules: when a read completes and how long it may wait.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>

#include "SPComm/ReadTimer.h"

namespace spcomm::detail {
namespace {

using Clock = TReadTimer::Clock;
using std::chrono::milliseconds;
constexpr std::uint32_t kMax = 0xFFFFFFFFu;

struct Row {
    const char* name;
    TCommTimeouts timeouts;
    std::size_t received;
    int lastByteMs;  // after the read started
    int nowMs;
    bool complete;
    std::optional<long long> deadlineMs;  // when not complete; none = wait for ever
};

class ReadTimerRules : public ::testing::TestWithParam<Row> {};

TEST_P(ReadTimerRules, CompleteOrWaitUntil) {
    const Row& r = GetParam();
    const Clock::time_point start{};
    TReadTimer timer(r.timeouts, 2048, start);
    auto step =
        timer.Next(r.received, start + milliseconds(r.lastByteMs), start + milliseconds(r.nowMs));
    EXPECT_EQ(step.complete, r.complete);
    if (!r.complete) {
        ASSERT_EQ(step.deadline.has_value(), r.deadlineMs.has_value());
        if (r.deadlineMs) {
            EXPECT_EQ(*step.deadline, start + milliseconds(*r.deadlineMs));
        }
    }
}

// {interval, total multiplier, total constant, write multiplier, write constant}
INSTANTIATE_TEST_SUITE_P(
    Rules, ReadTimerRules,
    ::testing::Values(
        Row{"IntervalNoByteWaitsForEver", {100, 0, 0, 0, 0}, 0, 0, 5000, false, std::nullopt},
        Row{"IntervalRunsFromLastByte", {100, 0, 0, 0, 0}, 300, 40, 60, false, 140},
        Row{"IntervalExpiredCompletes", {100, 0, 0, 0, 0}, 300, 40, 140, true, std::nullopt},
        Row{"FullBufferCompletesAtOnce", {100, 0, 0, 0, 0}, 2048, 10, 10, true, std::nullopt},
        Row{"AllZeroWaitsForAFullBuffer", {0, 0, 0, 0, 0}, 2047, 10, 100000, false, std::nullopt},
        Row{"TotalConstantBoundsTheRead", {0, 0, 50, 0, 0}, 0, 0, 20, false, 50},
        Row{"TotalExpiresWithNothing", {0, 0, 50, 0, 0}, 0, 0, 50, true, std::nullopt},
        Row{"TotalCountsRequestedBytes", {0, 2, 10, 0, 0}, 5, 1, 100, false, 2 * 2048 + 10},
        Row{"EarlierOfIntervalAndTotal", {100, 0, 50, 0, 0}, 3, 10, 20, false, 50},
        Row{"IntervalBeforeTotal", {10, 0, 500, 0, 0}, 3, 10, 15, false, 20},
        Row{"MaxIntervalReturnsWhatIsThere", {kMax, 0, 0, 0, 0}, 7, 0, 0, true, std::nullopt},
        Row{"MaxIntervalWaitsForAFirstByte", {kMax, 0, 0, 0, 0}, 0, 0, 1000, false, std::nullopt},
        Row{"MaxMaxConstantFirstByteReturns", {kMax, kMax, 200, 0, 0}, 1, 5, 5, true, std::nullopt},
        Row{"MaxMaxConstantWaitsUpToConstant", {kMax, kMax, 200, 0, 0}, 0, 0, 100, false, 200},
        Row{"MaxMaxConstantTimesOutEmpty", {kMax, kMax, 200, 0, 0}, 0, 0, 200, true, std::nullopt},
        Row{"HugeTotalsDoNotOverflow",
            {0, kMax, kMax, 0, 0},
            0,
            0,
            1000,
            false,
            30LL * 24 * 3600 * 1000}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace spcomm::detail
