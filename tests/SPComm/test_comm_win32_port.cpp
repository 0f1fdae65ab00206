// TComm's Win32 back end on a real COM port whose other end echoes every byte back. Under
// wine, scripts/test-windows maps the port onto a pseudo-terminal held by pty_echo; the name
// comes from SPCOMM_TEST_PORT.
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "ChannelPump.h"
#include "SPComm/TComm.h"
#include "SPComm/TQueueChannel.h"

using namespace std::chrono_literals;

namespace spcomm {
namespace {

// Tells pty_echo to drop the line (close its master) and offer a fresh one under the same name.
constexpr char kHangupCommand[] = "\x01HANGUP\x01";

class EchoPort : public ::testing::Test {
protected:
    void SetUp() override {
        const char* port = std::getenv("SPCOMM_TEST_PORT");
        ASSERT_NE(port, nullptr) << "SPCOMM_TEST_PORT is not set: run scripts/test-windows";
        comm.SetCommName(port);
        comm.SetOutx_XonXoffFlow(false);
        comm.SetInx_XonXoffFlow(false);
        comm.OnReceiveData = [this](TComm*, const std::uint8_t* data, std::uint16_t n) {
            EXPECT_EQ(std::this_thread::get_id(), owner);
            EXPECT_EQ(data[n], 0);
            blocks.emplace_back(data, data + n);
            received += n;
        };
        comm.OnRequestHangup = [this](TComm*) { ++hangups; };
    }

    bool PumpUntilReceived(std::size_t n) {
        return test::PumpUntil(
            *channel, [&] { return received >= n; }, 20s);
    }

    std::shared_ptr<TQueueChannel> channel = std::make_shared<TQueueChannel>();
    TComm comm{channel};
    std::thread::id owner = std::this_thread::get_id();
    std::vector<std::vector<std::uint8_t>> blocks;
    std::size_t received = 0;
    int hangups = 0;
};

// The block carries the time the worker read it, not the time its owner handled it.
TEST_F(EchoPort, AFrameComesBackAsOneBlockStampedWhenItWasRead) {
    comm.Open();
    std::chrono::steady_clock::time_point readAt{};
    comm.OnReceiveData = [this, &readAt, record = comm.OnReceiveData](
                             TComm* sender, const std::uint8_t* data, std::uint16_t n) {
        readAt = sender->ReceivedAt();
        record(sender, data, n);
    };
    const std::string frame = "PPPPPP#READALL#";
    ASSERT_TRUE(comm.Write(frame.data(), static_cast<std::uint16_t>(frame.size())));
    for (int i = 0; i < 2000 && channel->backlog() == 0; ++i) std::this_thread::sleep_for(10ms);
    const auto posted = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(50ms);
    ASSERT_TRUE(PumpUntilReceived(frame.size()));
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(std::string(blocks[0].begin(), blocks[0].end()), frame);
    EXPECT_LE(readAt, posted);
    EXPECT_NE(readAt, std::chrono::steady_clock::time_point{});
}

TEST_F(EchoPort, OpeningAnOpenComponentRaisesAndKeepsThePortWorking) {
    comm.Open();
    try {
        comm.Open();
        ADD_FAILURE() << "second open succeeded";
    } catch (const ECommsError& e) {
        EXPECT_STREQ(e.what(), "This serial port already opened");
    }
    ASSERT_TRUE(comm.IsOpen());
    ASSERT_TRUE(comm.Write("ping", 4));
    ASSERT_TRUE(PumpUntilReceived(4));
}

TEST_F(EchoPort, LargeBlocksComeBackWholeInOrderInBlocksOfAtMost2048) {
    comm.Open();
    std::mt19937 gen(7);
    std::vector<std::uint8_t> data(256 * 1024);
    for (auto& b : data) b = static_cast<std::uint8_t>(gen());
    for (std::size_t off = 0; off < data.size();) {
        auto n = static_cast<std::uint16_t>(std::min<std::size_t>(65535, data.size() - off));
        ASSERT_TRUE(comm.Write(data.data() + off, n));
        off += n;
    }
    ASSERT_TRUE(PumpUntilReceived(data.size())) << received;
    for (const auto& b : blocks) {
        ASSERT_GE(b.size(), 1u);
        ASSERT_LE(b.size(), 2048u);
    }
    EXPECT_TRUE(test::Joined(blocks) == data);
}

TEST_F(EchoPort, OpenWriteCloseCyclesKeepWorking) {
    for (int i = 0; i < 20; ++i) {
        comm.Open();
        ASSERT_TRUE(comm.Write("cycle", 5));
        ASSERT_TRUE(PumpUntilReceived(5u * (i + 1))) << "cycle " << i;
        comm.Close();
        EXPECT_FALSE(comm.IsOpen());
        EXPECT_FALSE(comm.Write("x", 1));
    }
    EXPECT_EQ(hangups, 0);
}

TEST_F(EchoPort, ALineThatHangsUpIsReportedOnceAndALaterOpenWorks) {
    comm.Open();
    ASSERT_TRUE(comm.Write(kHangupCommand, sizeof kHangupCommand - 1));
    ASSERT_TRUE(test::PumpUntil(
        *channel, [&] { return hangups > 0; }, 20s));
    comm.Write("late", 4);  // the transmit worker meets the dead line too and ends
    bool refused = false;
    for (int i = 0; i < 500 && !refused; ++i) {
        refused = !comm.Write("x", 1);
        if (!refused) test::PumpFor(*channel, 10ms);
    }
    EXPECT_TRUE(refused) << "writes still accepted with no transmit worker";
    test::PumpFor(*channel, 300ms);
    EXPECT_EQ(hangups, 1);
    comm.Close();
    // pty_echo offers a new line under the same name.
    bool reopened = false;
    for (int attempt = 0; attempt < 50 && !reopened; ++attempt) {
        try {
            comm.Open();
            reopened = true;
        } catch (const ECommsError&) {
            std::this_thread::sleep_for(100ms);
        }
    }
    ASSERT_TRUE(reopened);
    received = 0;
    blocks.clear();
    ASSERT_TRUE(comm.Write("back", 4));
    ASSERT_TRUE(PumpUntilReceived(4));
    EXPECT_EQ(hangups, 1);
}

// The port name's prefix in any case; and from the delivered hang-up notice on, no frame is
// taken (not even from inside the handler) until Close.
TEST_F(EchoPort, ALowerCaseNameOpensAndAFailedLineRefusesFrames) {
    std::string name = comm.CommName();
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    comm.SetCommName(name);
    comm.Open();
    ASSERT_TRUE(comm.Write("ping", 4));
    ASSERT_TRUE(PumpUntilReceived(4));
    std::vector<bool> acceptedInHandler;
    comm.OnRequestHangup = [&](TComm* sender) {
        ++hangups;
        EXPECT_TRUE(sender->LineFailed());
        acceptedInHandler.push_back(sender->Write("frame", 5));
    };
    ASSERT_TRUE(comm.Write(kHangupCommand, sizeof kHangupCommand - 1));
    ASSERT_TRUE(test::PumpUntil(
        *channel, [&] { return hangups > 0; }, 20s));
    EXPECT_EQ(acceptedInHandler, std::vector<bool>{false});
    EXPECT_FALSE(comm.Write("late", 4));
    comm.Close();
    EXPECT_FALSE(comm.LineFailed());
    // pty_echo offers a new line under the same name; wait for it before the next test.
    bool reopened = false;
    for (int attempt = 0; attempt < 50 && !reopened; ++attempt) {
        try {
            comm.Open();
            reopened = true;
        } catch (const ECommsError&) {
            std::this_thread::sleep_for(100ms);
        }
    }
    EXPECT_TRUE(reopened);
}

TEST(ComPortOpen, AMissingPortCarriesTheSystemsCodeAndText) {
    TComm comm;
    comm.SetCommName("com250");
    try {
        comm.Open();
        ADD_FAILURE() << "COM250 opened";
    } catch (const ECommsError& e) {
        EXPECT_STREQ(e.what(), "Error opening serial port");
        EXPECT_NE(e.code(), 0);
        EXPECT_FALSE(e.reason().empty());
    }
    EXPECT_FALSE(comm.IsOpen());
}

}  // namespace
}  // namespace spcomm
