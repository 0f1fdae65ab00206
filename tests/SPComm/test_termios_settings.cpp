// The line settings as raw-mode termios, one row per property value.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "SPComm/posix/TermiosSettings.h"

namespace spcomm::detail {
namespace {

struct LineCase {
    const char* name;
    std::function<void(TLineSettings&)> set;
    tcflag_t cflagMask;
    tcflag_t cflagExpected;
    tcflag_t iflagMask;
    tcflag_t iflagExpected;
};

constexpr tcflag_t kParityBits = PARENB | PARODD
#if defined(CMSPAR)
                                 | CMSPAR
#endif
    ;

std::vector<LineCase> LineCases() {
    using S = TLineSettings;
    std::vector<LineCase> cases = {
        {"Defaults8N1", [](S&) {}, CSIZE | kParityBits | CSTOPB | CRTSCTS, CS8, 0, 0},
        {"FiveBits", [](S& s) { s.byteSize = TByteSize::_5; }, CSIZE, CS5, 0, 0},
        {"SixBits", [](S& s) { s.byteSize = TByteSize::_6; }, CSIZE, CS6, 0, 0},
        {"SevenBits", [](S& s) { s.byteSize = TByteSize::_7; }, CSIZE, CS7, 0, 0},
        {"OddParity", [](S& s) { s.parity = TParity::Odd; }, kParityBits, PARENB | PARODD, 0, 0},
        {"EvenParity", [](S& s) { s.parity = TParity::Even; }, kParityBits, PARENB, 0, 0},
        {"OneAndAHalfStopBitsAsTwo", [](S& s) { s.stopBits = TStopBits::_1_5; }, CSTOPB, CSTOPB, 0,
         0},
        {"TwoStopBits", [](S& s) { s.stopBits = TStopBits::_2; }, CSTOPB, CSTOPB, 0, 0},
        {"CtsFlow", [](S& s) { s.outxCtsFlow = true; }, CRTSCTS, CRTSCTS, 0, 0},
        {"RtsHandshake", [](S& s) { s.rtsControl = TRtsControl::RtsHandshake; }, CRTSCTS, CRTSCTS,
         0, 0},
        {"XonXoffOut", [](S& s) { s.inxXonXoffFlow = false; }, 0, 0, IXON | IXOFF, IXON},
        {"XonXoffIn", [](S& s) { s.outxXonXoffFlow = false; }, 0, 0, IXON | IXOFF, IXOFF},
        {"ParityCheck", [](S& s) { s.parityCheck = true; }, 0, 0, INPCK, INPCK},
        {"NoInputTranslation", [](S& s) { s.outxXonXoffFlow = s.inxXonXoffFlow = false; }, 0, 0,
         ICRNL | INLCR | IGNCR | ISTRIP | IXON | IXOFF | INPCK | PARMRK | BRKINT, 0},
    };
#if defined(CMSPAR)
    cases.push_back({"MarkParity", [](S& s) { s.parity = TParity::Mark; }, kParityBits,
                     PARENB | PARODD | CMSPAR, 0, 0});
    cases.push_back({"SpaceParity", [](S& s) { s.parity = TParity::Space; }, kParityBits,
                     PARENB | CMSPAR, 0, 0});
#endif
    return cases;
}

class TermiosMapping : public ::testing::TestWithParam<LineCase> {};

TEST_P(TermiosMapping, SetsItsBitsOverACookedTerminal) {
    const LineCase& c = GetParam();
    // Start from what a freshly opened terminal typically holds.
    termios tio{};
    tio.c_iflag = ICRNL | IXON | BRKINT | IMAXBEL;
    tio.c_oflag = OPOST | ONLCR;
    tio.c_lflag = ECHO | ICANON | ISIG | IEXTEN | ECHOE;
    tio.c_cflag = CS7 | PARENB | CSTOPB | HUPCL;
    TLineSettings s;
    c.set(s);
    ToTermios(s, tio);
    EXPECT_EQ(tio.c_cflag & c.cflagMask, c.cflagExpected);
    EXPECT_EQ(tio.c_iflag & c.iflagMask, c.iflagExpected);
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), CLOCAL | CREAD);
    EXPECT_EQ(tio.c_lflag & (ECHO | ICANON | ISIG | IEXTEN), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_cc[VMIN], 1);
    EXPECT_EQ(tio.c_cc[VTIME], 0);
}

INSTANTIATE_TEST_SUITE_P(Settings, TermiosMapping, ::testing::ValuesIn(LineCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TermiosMapping, KnownSpeedsAreSetAndUnknownOnesLeaveTheSpeed) {
    const std::pair<std::uint32_t, speed_t> speeds[] = {
        {1200, B1200},   {2400, B2400},   {4800, B4800},   {9600, B9600},
        {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}};
    for (auto [baud, code] : speeds) {
        termios tio{};
        cfsetospeed(&tio, B300);
        TLineSettings s;
        s.baudRate = baud;
        EXPECT_TRUE(ToTermios(s, tio)) << baud;
        EXPECT_EQ(cfgetospeed(&tio), code) << baud;
        EXPECT_EQ(cfgetispeed(&tio), code) << baud;
    }
    termios tio{};
    cfsetospeed(&tio, B300);
    TLineSettings odd;
    odd.baudRate = 12345;
    EXPECT_FALSE(ToTermios(odd, tio));
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B300));
}

}  // namespace
}  // namespace spcomm::detail
