// The serial component on the code's end of a pseudo-terminal pair (kvtest::PtyPair), for the
// serial component's suites: the component set up for binary data, and a fixture with its
// notifications recorded. POSIX only.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ChannelPump.h"
#include "PtyPair.h"
#include "SPComm/TComm.h"
#include "SPComm/TQueueChannel.h"

namespace spcomm::test {

// A component set up as the tests want it: no XON/XOFF, so binary data passes.
void ConfigureForBinary(TComm& comm, const std::string& path);

#if defined(__linux__)
int CountOpenFds();
int CountThreads();
#endif

std::vector<std::uint8_t> RandomBytes(std::size_t n, unsigned seed);

class PtyPort : public ::testing::Test {
protected:
    void SetUp() override {
        ConfigureForBinary(comm, device.path());
        comm.OnReceiveData = [this](TComm* sender, const std::uint8_t* data, std::uint16_t n) {
            EXPECT_EQ(sender, &comm);
            EXPECT_EQ(std::this_thread::get_id(), owner);
            EXPECT_EQ(data[n], 0) << "block not zero-terminated";
            blocks.emplace_back(data, data + n);
            received += n;
        };
        comm.OnRequestHangup = [this](TComm*) { ++hangups; };
        comm.OnSendDataEmpty = [this](TComm*) { ++sendEmpty; };
    }

    std::vector<std::uint8_t> Joined() const { return test::Joined(blocks); }
    bool PumpUntilReceived(std::size_t n, std::chrono::milliseconds timeout) {
        return PumpUntil(
            *channel, [&] { return received >= n; }, timeout);
    }

    kvtest::PtyPair device;
    std::shared_ptr<TQueueChannel> channel = std::make_shared<TQueueChannel>();
    TComm comm{channel};
    std::thread::id owner = std::this_thread::get_id();
    std::vector<std::vector<std::uint8_t>> blocks;
    std::size_t received = 0;
    int hangups = 0;
    int sendEmpty = 0;
};

}  // namespace spcomm::test
