// TPollEvent on Linux: one eventfd, readable while its counter is non-zero.
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

#include "SPComm/posix/PollEvent.h"

namespace spcomm::detail {

TPollEvent::~TPollEvent() {
    if (readFd_ >= 0) ::close(readFd_);
}

bool TPollEvent::Create() {
    if (readFd_ >= 0) return true;
    readFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return readFd_ >= 0;
}

void TPollEvent::Set() const {
    const std::uint64_t one = 1;
    ssize_t written = ::write(readFd_, &one, sizeof one);
    (void)written;  // only fails when the counter is already huge, i.e. set
}

void TPollEvent::Reset() const {
    std::uint64_t count = 0;
    ssize_t got = ::read(readFd_, &count, sizeof count);  // zeroes the counter
    (void)got;                                            // EAGAIN: was not set
}

}  // namespace spcomm::detail
