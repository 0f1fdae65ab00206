// The test's side of a pseudo-terminal pair, for every suite that puts a real serial line under
// test: the test holds the master as the device, the code under test opens path() as its port.
// POSIX only; no toolkit.
#pragma once

#include <termios.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kvtest {

class PtyPair {
public:
    PtyPair();  // throws std::runtime_error when no pseudo-terminal can be had
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return master_ >= 0; }
    const std::string& path() const { return path_; }
    int master() const { return master_; }

    void Write(const void* data, std::size_t length);
    void writeText(std::string_view bytes) { Write(bytes.data(), bytes.size()); }
    // Reads until n bytes are in or the time-out passes; returns what came.
    std::vector<std::uint8_t> Read(std::size_t n, std::chrono::milliseconds timeout);
    // What the port sends until `expected` bytes have come (or `firstWaitMs` passed), plus
    // whatever follows within `graceMs`, so that extra bytes are caught too.
    std::string readText(std::size_t expected, int firstWaitMs = 5000, int graceMs = 150);
    // Whatever arrives within `waitMs`: for frames that must not be sent at all.
    std::string readNothingFor(int waitMs) { return readText(SIZE_MAX, waitMs, 0); }

    // The port's termios as the line discipline holds it (a master reports its slave's).
    termios PortTermios() const;
    void SetPortSpeed(speed_t speed);
    // The device side goes away, as when an adapter is pulled.
    void CloseMaster();

private:
    int master_ = -1;
    std::string path_;
};

}  // namespace kvtest
