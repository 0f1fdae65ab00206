#include "PtyPair.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace kvtest {

PtyPair::PtyPair() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        throw std::runtime_error("cannot create a pseudo-terminal");
    }
    path_ = ::ptsname(master_);
}

PtyPair::~PtyPair() {
    CloseMaster();
}

void PtyPair::CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

void PtyPair::Write(const void* data, std::size_t length) {
    auto* p = static_cast<const std::uint8_t*>(data);
    while (length > 0) {
        ssize_t w = ::write(master_, p, length);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) throw std::runtime_error("device write failed");
        p += w;
        length -= static_cast<std::size_t>(w);
    }
}

std::vector<std::uint8_t> PtyPair::Read(std::size_t n, std::chrono::milliseconds timeout) {
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

std::string PtyPair::readText(std::size_t expected, int firstWaitMs, int graceMs) {
    std::string got;
    auto readFor = [&](int timeoutMs, std::size_t until) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (got.size() < until) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd fd{master_, POLLIN, 0};
            if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0) break;
            char buffer[256];
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n <= 0) break;
            got.append(buffer, static_cast<std::size_t>(n));
        }
    };
    readFor(firstWaitMs, expected);
    if (graceMs > 0) readFor(graceMs, SIZE_MAX);
    return got;
}

termios PtyPair::PortTermios() const {
    termios tio{};
    ::tcgetattr(master_, &tio);
    return tio;
}

void PtyPair::SetPortSpeed(speed_t speed) {
    termios tio = PortTermios();
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    ::tcsetattr(master_, TCSANOW, &tio);
}

}  // namespace kvtest
