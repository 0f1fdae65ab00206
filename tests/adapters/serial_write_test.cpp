// QtSerialWrite hands frames to a real TComm on a pseudo-terminal; a closed port and an
// oversized frame are refused.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

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
    }
    ~PtyMaster() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool ok() const { return fd_ >= 0; }
    std::string slaveName() const { return ptsname(fd_); }

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

}  // namespace
