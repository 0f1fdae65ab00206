// A component on one end of a pseudo-terminal, with its notifications recorded.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "PtyDevice.h"

namespace spcomm::test {

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
