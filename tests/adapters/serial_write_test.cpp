// QtSerialWrite hands frames to a real TComm on a pseudo-terminal; a closed port and an
// oversized frame are refused.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "SPComm/TQueueChannel.h"
#include "main1/adapters/QtSerialWrite.h"

namespace {

// The test's end of a pseudo-terminal pair; the other end is opened by TComm.
class PtyMaster {
public:
    PtyMaster() {
        fd_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (fd_ >= 0 && (grantpt(fd_) != 0 || unlockpt(fd_) != 0)) {
            ::close(fd_);
            fd_ = -1;
        }
        if (fd_ >= 0) slave_ = ptsname(fd_);
    }
    ~PtyMaster() { hangUp(); }
    // The device side goes away, as when an adapter is pulled.
    void hangUp() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    bool ok() const { return fd_ >= 0; }
    std::string slaveName() const { return slave_; }

    // Reads until `count` bytes arrived or nothing comes for `quietMs`.
    std::string read(std::size_t count, int quietMs) {
        std::string got;
        pollfd p{fd_, POLLIN, 0};
        while (got.size() < count && ::poll(&p, 1, quietMs) > 0) {
            char buf[256];
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n <= 0) break;
            got.append(buf, static_cast<std::size_t>(n));
        }
        return got;
    }

private:
    int fd_ = -1;
    std::string slave_;
};

TEST(QtSerialWriteTest, WritesWholeFramesToTheOpenPortAndRefusesOtherwise) {
    PtyMaster master;
    ASSERT_TRUE(master.ok());
    spcomm::TComm comm;
    comm.SetCommName(master.slaveName());
    QtSerialWrite serial(comm);

    EXPECT_FALSE(serial.write("KORVEL#RESET#"));  // not open yet

    comm.Open();
    ASSERT_TRUE(comm.IsOpen());
    const std::string frame = "KORVEL#AD1H:100#";
    EXPECT_TRUE(serial.write(frame));
    EXPECT_EQ(master.read(frame.size(), 5000), frame);

    EXPECT_FALSE(serial.write(std::string(65536, 'A')));  // more than one write carries
    EXPECT_FALSE(serial.write(""));
    EXPECT_EQ(master.read(1, 200), "");  // nothing of the refused frames went out

    comm.Close();
    EXPECT_FALSE(serial.write(frame));
}

// The reason a frame is not sent follows the port: closed, working, or stopped working (the
// technician is told what to do), and a refused frame of the wrong size says so.
TEST(QtSerialWriteTest, NotSentReasonTellsAClosedPortFromAFailedLine) {
    const std::string notOpen = "Not sent: the serial port is not open.";
    PtyMaster master;
    ASSERT_TRUE(master.ok());
    spcomm::TComm comm;
    comm.SetCommName(master.slaveName());
    comm.SetOutx_XonXoffFlow(false);
    comm.SetInx_XonXoffFlow(false);
    QtSerialWrite serial(comm);
    auto* channel = dynamic_cast<spcomm::TQueueChannel*>(&comm.channel());
    ASSERT_NE(channel, nullptr);

    EXPECT_FALSE(serial.write("PPPPPP#VAR#"));
    EXPECT_EQ(serial.notSentReason(), notOpen);

    comm.Open();
    EXPECT_EQ(serial.notSentReason(), "");
    struct Row {
        std::string frame;
        bool sent;
        std::string reason;
    };
    const Row rows[] = {
        {"", false, "Not sent: the frame is empty."},
        {"PPPPPP#VAR#", true, ""},
        {std::string(70000, 'A'), false, "Not sent: the frame is longer than 65535 bytes."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.frame.size());
        EXPECT_EQ(serial.write(row.frame), row.sent);
        EXPECT_EQ(serial.notSentReason(), row.reason);
    }

    master.hangUp();
    bool hungUp = false;
    comm.OnRequestHangup = [&](spcomm::TComm*) { hungUp = true; };
    while (!hungUp && channel->waitAndDrain(std::chrono::seconds(10)) > 0) {
    }
    ASSERT_TRUE(hungUp);
    const std::string stopped = "Not sent: the serial port " + master.slaveName() +
                                " stopped working (cable or adapter unplugged?). Press Close, "
                                "check the connection, then Open.";
    EXPECT_EQ(serial.notSentReason(), stopped);
    EXPECT_FALSE(serial.write("PPPPPP#VAR#"));
    EXPECT_EQ(serial.notSentReason(), stopped);

    comm.Close();
    EXPECT_EQ(serial.notSentReason(), notOpen);
}

}  // namespace
