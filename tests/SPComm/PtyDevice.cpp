#include "PtyDevice.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <stdexcept>

namespace spcomm::test {

PtyDevice::PtyDevice() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        throw std::runtime_error("cannot create a pseudo-terminal");
    }
    path_ = ::ptsname(master_);
}

PtyDevice::~PtyDevice() {
    CloseMaster();
}

void PtyDevice::CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

void PtyDevice::Write(const void* data, std::size_t length) {
    auto* p = static_cast<const std::uint8_t*>(data);
    while (length > 0) {
        ssize_t w = ::write(master_, p, length);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) throw std::runtime_error("device write failed");
        p += w;
        length -= static_cast<std::size_t>(w);
    }
}

std::vector<std::uint8_t> PtyDevice::Read(std::size_t n, std::chrono::milliseconds timeout) {
    std::vector<std::uint8_t> out;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::uint8_t buffer[65536];
    while (out.size() < n) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd fd{master_, POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0) continue;
        std::size_t want = std::min(sizeof buffer, n - out.size());
        ssize_t r = ::read(master_, buffer, want);
        if (r <= 0) break;
        out.insert(out.end(), buffer, buffer + r);
    }
    return out;
}

termios PtyDevice::PortTermios() const {
    termios tio{};
    ::tcgetattr(master_, &tio);
    return tio;
}

void PtyDevice::SetPortSpeed(speed_t speed) {
    termios tio = PortTermios();
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    ::tcsetattr(master_, TCSANOW, &tio);
}

void ConfigureForBinary(TComm& comm, const std::string& path) {
    comm.SetCommName(path);
    comm.SetOutx_XonXoffFlow(false);
    comm.SetInx_XonXoffFlow(false);
}

#if defined(__linux__)
namespace {
int CountEntries(const char* dir) {
    DIR* d = ::opendir(dir);
    if (!d) return -1;
    int n = 0;
    while (dirent* e = ::readdir(d)) {
        if (e->d_name[0] != '.') ++n;
    }
    ::closedir(d);
    return n;
}
}  // namespace

int CountOpenFds() {
    return CountEntries("/proc/self/fd");
}
int CountThreads() {
    return CountEntries("/proc/self/task");
}
#endif

std::vector<std::uint8_t> RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::vector<std::uint8_t> out(n);
    for (auto& b : out) b = static_cast<std::uint8_t>(gen());
    return out;
}

}  // namespace spcomm::test
