// What the POSIX back ends (serial devices and network ports) share: waiting on descriptors
// with a deadline.
#pragma once

#include <poll.h>

#include <optional>

#include "SPComm/ReadTimer.h"

namespace spcomm::detail {

// Waits for the descriptors until the deadline (none: forever); sub-millisecond where the
// system has ppoll. False when the wait itself failed.
bool WaitFds(pollfd* fds, nfds_t count, std::optional<TReadTimer::Clock::time_point> deadline);

}  // namespace spcomm::detail
