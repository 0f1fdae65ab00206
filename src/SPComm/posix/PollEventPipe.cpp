// TPollEvent on POSIX systems without eventfd: a non-blocking self-pipe, readable while it
// holds a byte. A full pipe means "set" already.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>

#include "SPComm/posix/PollEvent.h"

namespace spcomm::detail {

TPollEvent::~TPollEvent() {
    if (readFd_ >= 0) ::close(readFd_);
    if (writeFd_ >= 0) ::close(writeFd_);
}

bool TPollEvent::Create() {
    if (readFd_ >= 0) return true;
    int fds[2];
    if (::pipe(fds) != 0) return false;
    for (int fd : fds) {
        if (::fcntl(fd, F_SETFD, FD_CLOEXEC) != 0 || ::fcntl(fd, F_SETFL, O_NONBLOCK) != 0) {
            ::close(fds[0]);
            ::close(fds[1]);
            return false;
        }
    }
    readFd_ = fds[0];
    writeFd_ = fds[1];
    return true;
}

void TPollEvent::Set() const {
    const std::uint8_t one = 1;
    ssize_t written = ::write(writeFd_, &one, 1);
    (void)written;  // EAGAIN: the pipe is full, which is set as well
}

void TPollEvent::Reset() const {
    std::uint8_t sink[64];
    while (::read(readFd_, sink, sizeof sink) > 0) {
    }
}

}  // namespace spcomm::detail
