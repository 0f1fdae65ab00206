#include "sim/PseudoTerminal.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

namespace kvsim {

namespace {

[[noreturn]] void fail(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

speed_t speedOf(int baud) {
    switch (baud) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        default:
            return B9600;
    }
}

}  // namespace

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
}

int FileDescriptor::release() {
    return std::exchange(fd_, -1);
}

void FileDescriptor::reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

PseudoTerminal PseudoTerminal::open(int baud) {
    PseudoTerminal pty;
    pty.master_.reset(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!pty.master_.valid()) fail("posix_openpt");
    if (::grantpt(pty.master()) != 0) fail("grantpt");
    if (::unlockpt(pty.master()) != 0) fail("unlockpt");
    char name[128];
    if (::ptsname_r(pty.master(), name, sizeof name) != 0) fail("ptsname_r");
    pty.slavePath_ = name;

    pty.slave_.reset(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!pty.slave_.valid()) fail("open pty slave");
    termios tio{};
    if (::tcgetattr(pty.slave_.get(), &tio) != 0) fail("tcgetattr");
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, speedOf(baud));
    ::cfsetospeed(&tio, speedOf(baud));
    if (::tcsetattr(pty.slave_.get(), TCSANOW, &tio) != 0) fail("tcsetattr");

    const int flags = ::fcntl(pty.master(), F_GETFL);
    if (flags < 0 || ::fcntl(pty.master(), F_SETFL, flags | O_NONBLOCK) != 0) fail("fcntl");
    return pty;
}

void PseudoTerminal::close() {
    master_.reset();
    slave_.reset();
}

}  // namespace kvsim
