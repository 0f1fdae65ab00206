// QtSerialWrite hands frames to a real line on a pseudo-terminal; a closed port and an
// oversized frame are refused.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "PtyPair.h"
#include "SPComm/TQueueChannel.h"
#include "main1/adapters/QtSerialWrite.h"

namespace {

// The test's end of a pseudo-terminal pair; the other end is opened by TComm.
using PtyMaster = kvtest::PtyPair;

TEST(QtSerialWriteTest, WritesWholeFramesToTheOpenPortAndRefusesOtherwise) {
    PtyMaster master;
    ASSERT_TRUE(master.ok());
    kvops::Line line;
    QtSerialWrite serial(line);

    EXPECT_FALSE(serial.write("KORVEL#RESET#"));  // not open yet

    ASSERT_FALSE(line.open(master.path()));
    const std::string frame = "KORVEL#AD1H:100#";
    EXPECT_TRUE(serial.write(frame));
    EXPECT_EQ(master.readText(frame.size(), 5000, 0), frame);

    EXPECT_FALSE(serial.write(std::string(65536, 'A')));  // more than one write carries
    EXPECT_FALSE(serial.write(""));
    EXPECT_EQ(master.readText(1, 200, 0), "");  // nothing of the refused frames went out

    line.close();
    EXPECT_FALSE(serial.write(frame));
}

// The reason a frame is not sent follows the port: closed, working, or stopped working (the
// technician is told what to do), and a refused frame of the wrong size says so.
TEST(QtSerialWriteTest, NotSentReasonTellsAClosedPortFromAFailedLine) {
    const std::string notOpen = "Not sent: the serial port is not open.";
    PtyMaster master;
    ASSERT_TRUE(master.ok());
    kvops::Line line;
    spcomm::TComm& comm = line.comm();
    QtSerialWrite serial(line);
    auto* channel = dynamic_cast<spcomm::TQueueChannel*>(&comm.channel());
    ASSERT_NE(channel, nullptr);

    EXPECT_FALSE(serial.write("PPPPPP#VAR#"));
    EXPECT_EQ(serial.notSentReason(), notOpen);

    ASSERT_FALSE(line.open(master.path()));
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

    master.CloseMaster();
    bool hungUp = false;
    comm.OnRequestHangup = [&](spcomm::TComm*) { hungUp = true; };
    while (!hungUp && channel->waitAndDrain(std::chrono::seconds(10)) > 0) {
    }
    ASSERT_TRUE(hungUp);
    const std::string stopped = "Not sent: the serial port " + master.path() +
                                " stopped working (cable or adapter unplugged?). Press Close, "
                                "check the connection, then Open.";
    EXPECT_EQ(serial.notSentReason(), stopped);
    // A frame the port refuses because the line hung up is a hang-up, not a refused write:
    // for the line's owner and in the traffic log.
    std::string logged;
    line.tap().listen([&](const kvops::LineEvent& event) {
        if (event.kind == kvops::LineEvent::Kind::NotSent) logged = event.detail;
    });
    EXPECT_EQ(line.write("PPPPPP#VAR#").code, kvops::ErrorCode::HungUp);
    EXPECT_FALSE(serial.write("PPPPPP#VAR#"));
    EXPECT_EQ(serial.notSentReason(), stopped);
    EXPECT_EQ(logged, "the port stopped working");

    line.close();
    EXPECT_EQ(serial.notSentReason(), notOpen);
}

}  // namespace
