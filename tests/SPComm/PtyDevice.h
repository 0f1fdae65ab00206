// Test side of a pseudo-terminal pair: the test holds the master as the device, TComm opens
// the slave path as its port.
#pragma once

#include <termios.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ChannelPump.h"
#include "SPComm/TComm.h"
#include "SPComm/TQueueChannel.h"

namespace spcomm::test {

class PtyDevice {
public:
    PtyDevice();
    ~PtyDevice();
    PtyDevice(const PtyDevice&) = delete;
    PtyDevice& operator=(const PtyDevice&) = delete;

    const std::string& path() const { return path_; }
    int master() const { return master_; }
    void Write(const void* data, std::size_t length);
    // Reads until n bytes are in or the time-out passes; returns what came.
    std::vector<std::uint8_t> Read(std::size_t n, std::chrono::milliseconds timeout);
    // The port's termios as the line discipline holds it (a master reports its slave's).
    termios PortTermios() const;
    void SetPortSpeed(speed_t speed);
    void CloseMaster();

private:
    int master_ = -1;
    std::string path_;
};

// A component set up as the tests want it: no XON/XOFF, so binary data passes.
void ConfigureForBinary(TComm& comm, const std::string& path);

#if defined(__linux__)
int CountOpenFds();
int CountThreads();
#endif

std::vector<std::uint8_t> RandomBytes(std::size_t n, unsigned seed);

}  // namespace spcomm::test
