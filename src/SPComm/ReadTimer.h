// TReadTimer: the Windows COMMTIMEOUTS read rules for one read of up to `requested` bytes,
// so that the POSIX receive worker completes reads exactly when a Windows port would.
//
//   interval I, total multiplier M, total constant C (milliseconds):
//   - A read completes as soon as `requested` bytes are in.
//   - I > 0: it completes when I ms pass after a byte with no further byte. The interval
//     timer starts with the first byte, so this never completes a read with zero bytes.
//   - M or C non-zero: it completes at the latest M * requested + C ms after it started,
//     with whatever has arrived, possibly nothing.
//   - I, M and C all zero: no time-out; the read waits for `requested` bytes.
//   - I = MAXDWORD, M = C = 0: the read returns at once with the bytes already received.
//     Here a read that would return nothing waits for the first byte instead, then returns
//     what is there, so that an idle port does not spin on empty reads.
//   - I = MAXDWORD, M = MAXDWORD, 0 < C < MAXDWORD: bytes already there return at once;
//     otherwise the read returns with the first byte, or with nothing after C ms.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "SPComm/CommPort.h"

namespace spcomm::detail {

class TReadTimer {
public:
    using Clock = std::chrono::steady_clock;
    struct TStep {
        bool complete = false;                      // hand the bytes over now
        std::optional<Clock::time_point> deadline;  // else wait for data until then (none: forever)
    };

    TReadTimer(const TCommTimeouts& timeouts, std::size_t requested, Clock::time_point start);
    // received bytes so far, the time the last of them was seen, and the current time.
    TStep Next(std::size_t received, Clock::time_point lastByte, Clock::time_point now) const;

private:
    enum class Mode { Timed, ReturnAvailable, WaitFirstByte };
    Mode mode_ = Mode::Timed;
    std::size_t requested_;
    std::optional<Clock::duration> interval_;
    std::optional<Clock::time_point> totalDeadline_;
};

// The read time-outs, which the owner changes while a receive worker reads.
struct TAtomicTimeouts {
    std::array<std::atomic<std::uint32_t>, 5> values{};
    void Store(const TCommTimeouts& t) {
        const std::uint32_t v[5] = {t.readInterval, t.readTotalMultiplier, t.readTotalConstant,
                                    t.writeTotalMultiplier, t.writeTotalConstant};
        for (int i = 0; i < 5; ++i) values[i].store(v[i]);
    }
    TCommTimeouts Load() const {
        return {values[0].load(), values[1].load(), values[2].load(), values[3].load(),
                values[4].load()};
    }
};

}  // namespace spcomm::detail
