#include "SPComm/posix/PollWait.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>

namespace spcomm::detail {

bool WaitFds(pollfd* fds, nfds_t count, std::optional<TReadTimer::Clock::time_point> deadline) {
    for (;;) {
        for (nfds_t i = 0; i < count; ++i) fds[i].revents = 0;
        TReadTimer::Clock::duration left{};
        if (deadline)
            left =
                std::max(*deadline - TReadTimer::Clock::now(), TReadTimer::Clock::duration::zero());
#if defined(__linux__)
        timespec ts{};
        if (deadline) {
            auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            ts.tv_sec = static_cast<time_t>(ns / 1000000000);
            ts.tv_nsec = static_cast<long>(ns % 1000000000);
        }
        int r = ::ppoll(fds, count, deadline ? &ts : nullptr, nullptr);
#else
        int ms = -1;
        if (deadline) {
            auto us = std::chrono::duration_cast<std::chrono::microseconds>(left).count();
            ms = static_cast<int>(std::min<long long>((us + 999) / 1000, 1 << 30));
        }
        int r = ::poll(fds, count, ms);
#endif
        if (r >= 0) return true;
        if (errno != EINTR) return false;
    }
}

}  // namespace spcomm::detail
