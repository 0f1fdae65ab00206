// What the POSIX back ends (serial devices and network ports) share: waiting on descriptors
// with a deadline, and the read time-outs that the owner changes while the workers read.
#pragma once

#include <poll.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>

#include "SPComm/CommPort.h"
#include "SPComm/posix/ReadTimer.h"

namespace spcomm::detail {

// Waits for the descriptors until the deadline (none: forever); sub-millisecond where the
// system has ppoll. False when the wait itself failed.
bool WaitFds(pollfd* fds, nfds_t count, std::optional<TReadTimer::Clock::time_point> deadline);

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
