// TOpenCancel on POSIX: a non-blocking self-pipe, close-on-exec; its read end turns readable
// once Set() wrote a byte into it (never read back: one open per event).
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "SPComm/CommPort.h"

namespace spcomm::detail {

TOpenCancel::TOpenCancel() {
    int fds[2];
    if (::pipe(fds) != 0) return;
    for (const int fd : fds) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    handle_ = fds[0];
    other_ = fds[1];
}

TOpenCancel::~TOpenCancel() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
    if (other_ >= 0) ::close(static_cast<int>(other_));
}

void TOpenCancel::Set() {
    if (set_.exchange(true) || other_ < 0) return;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(static_cast<int>(other_), &byte, 1);
}

int OpenCancelledCode() {
    return ECANCELED;
}

}  // namespace spcomm::detail
