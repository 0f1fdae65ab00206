#include "SPComm/posix/TermiosSettings.h"

#include <cstdint>

namespace spcomm::detail {
namespace {

struct TSpeed {
    std::uint32_t baud;
    speed_t code;
};
constexpr TSpeed kSpeeds[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},     {150, B150},
    {200, B200},       {300, B300},       {600, B600},       {1200, B1200},   {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200}, {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400},
#if defined(B460800)
    {460800, B460800},
#endif
#if defined(B921600)
    {921600, B921600},
#endif
};

}  // namespace

bool ToTermios(const TLineSettings& s, termios& tio) {
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                          ICRNL | IXON | IXOFF | IXANY | INPCK | IGNPAR);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
#if defined(CMSPAR)
    tio.c_cflag &= ~static_cast<tcflag_t>(CMSPAR);
#endif
    tio.c_cflag |= CLOCAL | CREAD;
    if (s.parityCheck) tio.c_iflag |= INPCK;
    if (s.outxXonXoffFlow) tio.c_iflag |= IXON;
    if (s.inxXonXoffFlow) tio.c_iflag |= IXOFF;
    if (s.outxCtsFlow || s.rtsControl == TRtsControl::RtsHandshake) tio.c_cflag |= CRTSCTS;
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    tio.c_cflag |= kSizes[static_cast<int>(s.byteSize)];
    switch (s.parity) {
        case TParity::None:
            break;
        case TParity::Odd:
            tio.c_cflag |= PARENB | PARODD;
            break;
        case TParity::Even:
            tio.c_cflag |= PARENB;
            break;
#if defined(CMSPAR)
        case TParity::Mark:
            tio.c_cflag |= PARENB | PARODD | CMSPAR;
            break;
        case TParity::Space:
            tio.c_cflag |= PARENB | CMSPAR;
            break;
#else
        case TParity::Mark:
        case TParity::Space:
            break;  // no stick parity in this termios
#endif
    }
    if (s.stopBits != TStopBits::_1) tio.c_cflag |= CSTOPB;  // 1.5 is taken as 2
    tio.c_cc[VSTART] = static_cast<cc_t>(s.xonChar);
    tio.c_cc[VSTOP] = static_cast<cc_t>(s.xoffChar);
    tio.c_cc[VMIN] = 1;  // with O_NONBLOCK: EAGAIN means no data, 0 means hung up
    tio.c_cc[VTIME] = 0;
    for (const TSpeed& speed : kSpeeds) {
        if (speed.baud == s.baudRate) {
            ::cfsetispeed(&tio, speed.code);
            ::cfsetospeed(&tio, speed.code);
            return true;
        }
    }
    return false;
}

}  // namespace spcomm::detail
