// Opening, closing, settings and hang-up of TComm on pseudo-terminals.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "PtyPort.h"
#include "SPComm/posix/PosixRead.h"

using namespace std::chrono_literals;

namespace spcomm::test {
namespace {

std::string OpenMessage(TComm& comm) {
    try {
        comm.Open();
    } catch (const ECommsError& e) {
        return e.what();
    }
    return "(opened)";
}

// The exception Open() raised, or none.
std::optional<ECommsError> OpenError(TComm& comm) {
    try {
        comm.Open();
    } catch (const ECommsError& e) {
        return e;
    }
    return std::nullopt;
}

struct FailureCase {
    const char* name;
    std::string path;
    const char* message;
    int code;  // errno behind it
    TCommErrorKind kind;
};

class OpenFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(OpenFailure, RaisesItsMessageAndLeavesNothingOpen) {
    const FailureCase& c = GetParam();
#if defined(__linux__)
    const int fdsBefore = CountOpenFds();
#endif
    TComm comm;
    comm.SetCommName(c.path);
    const std::optional<ECommsError> error = OpenError(comm);
    ASSERT_TRUE(error.has_value());
    EXPECT_STREQ(error->what(), c.message);
    EXPECT_EQ(error->code(), c.code);
    EXPECT_EQ(error->system().source, kvsys::ErrorSource::Errno);
    EXPECT_EQ(error->kind(), c.kind);
    EXPECT_EQ(error->reason(), std::strerror(c.code));
    EXPECT_FALSE(comm.IsOpen());
    EXPECT_FALSE(comm.Write("x", 1));
#if defined(__linux__)
    EXPECT_EQ(CountOpenFds(), fdsBefore);
#endif
}

std::string RegularFile() {
    static const std::string path = [] {
        std::string p = ::testing::TempDir() + "spcomm_not_a_port";
        std::FILE* f = std::fopen(p.c_str(), "w");
        if (f) std::fclose(f);
        return p;
    }();
    return path;
}

INSTANTIATE_TEST_SUITE_P(
    Posix, OpenFailure,
    ::testing::Values(FailureCase{"Missing", "/dev/no-such-port", "Error opening serial port",
                                  ENOENT, TCommErrorKind::NotFound},
                      FailureCase{"Directory", "/", "Error opening serial port", EISDIR,
                                  TCommErrorKind::Other},
                      FailureCase{"ComNameUnmapped", "COM250", "Error opening serial port", ENOENT,
                                  TCommErrorKind::NotFound},
                      FailureCase{"LowerCaseComName", "com250", "Error opening serial port", ENOENT,
                                  TCommErrorKind::NotFound},
                      FailureCase{"DevNull", "/dev/null", "File handle is not a comm handle ",
                                  ENOTTY, TCommErrorKind::Other},
                      FailureCase{"RegularFile", RegularFile(), "File handle is not a comm handle ",
                                  ENOTTY, TCommErrorKind::Other}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PtyPort, OpeningAnOpenComponentRaisesAndKeepsThePortWorking) {
    comm.Open();
    EXPECT_EQ(OpenMessage(comm), "This serial port already opened");
    ASSERT_TRUE(comm.IsOpen());
    ASSERT_TRUE(comm.Write("ping", 4));
    auto echo = device.Read(4, 5s);
    EXPECT_EQ(std::string(echo.begin(), echo.end()), "ping");
    device.Write("pong", 4);
    ASSERT_TRUE(PumpUntilReceived(4, 5s));
    auto all = Joined();
    EXPECT_EQ(std::string(all.begin(), all.end()), "pong");
}

// Runs check() in a forked child; 1 when it held, 0 when not.
int InChild(const std::function<bool()>& check) {
    pid_t child = ::fork();
    if (child == 0) ::_exit(check() ? 1 : 0);
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// In a child: opens the port as an ordinary user (dropping root first, after making the
// terminal world-accessible). 0 when it opened, else errno.
int OpenAsUnprivileged(const std::string& path) {
    if (::geteuid() == 0) {
        if (::chmod(path.c_str(), 0666) != 0) return errno;
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) return errno;
    }
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    return fd >= 0 ? 0 : errno;
}

TEST_F(PtyPort, SecondOpenOfTheSamePortFails) {
    comm.Open();
#if defined(__linux__)
    const int fdsBefore = CountOpenFds();
#endif
    TComm other;
    ConfigureForBinary(other, device.path());
    const std::optional<ECommsError> busy = OpenError(other);
    ASSERT_TRUE(busy.has_value());
    EXPECT_STREQ(busy->what(), "Error opening serial port");
    EXPECT_EQ(busy->code(), EBUSY);
    EXPECT_EQ(busy->kind(), TCommErrorKind::Busy);
    EXPECT_EQ(busy->reason(), std::strerror(EBUSY));
    EXPECT_FALSE(other.IsOpen());
#if defined(__linux__)
    EXPECT_EQ(CountOpenFds(), fdsBefore);
#endif
    // Another process is refused too: the lock binds everyone, TIOCEXCL every user but root.
    EXPECT_EQ(InChild([&] {
                  int fd = ::open(device.path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
                  return fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0;
              }),
              1);
    EXPECT_EQ(InChild([&] { return OpenAsUnprivileged(device.path()) == EBUSY; }), 1);
    comm.Close();
    // Closing clears TIOCEXCL, which a pseudo-terminal would keep while its master lives.
    EXPECT_EQ(InChild([&] { return OpenAsUnprivileged(device.path()) == 0; }), 1);
    comm.Close();
    EXPECT_EQ(OpenMessage(other), "(opened)");
}

TEST_F(PtyPort, CloseWhenClosedDoesNothingAndReopenKeepsSettings) {
    comm.Close();
    EXPECT_FALSE(comm.IsOpen());
    comm.SetBaudRate(19200);
    comm.SetStopBits(TStopBits::_2);
    comm.Open();
    comm.Close();
    comm.Close();
    EXPECT_FALSE(comm.Write("x", 1));
    device.SetPortSpeed(B1200);
    comm.Open();
    termios tio = device.PortTermios();
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B19200));
    EXPECT_TRUE(tio.c_cflag & CSTOPB);
    ASSERT_TRUE(comm.Write("again", 5));
    auto got = device.Read(5, 5s);
    EXPECT_EQ(std::string(got.begin(), got.end()), "again");
}

TEST_F(PtyPort, BaudRateChangeAppliesAtOnceAndAnEqualValueDoesNothing) {
    comm.Open();
    termios tio = device.PortTermios();
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B9600));
    comm.SetBaudRate(115200);
    tio = device.PortTermios();
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B115200));
    // The device side changes the speed behind the component's back: setting the value the
    // component already holds must not touch the port, a new value re-applies everything.
    device.SetPortSpeed(B1200);
    comm.SetBaudRate(115200);
    tio = device.PortTermios();
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B1200));
    comm.SetBaudRate(57600);
    tio = device.PortTermios();
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B57600));
}

TEST_F(PtyPort, CommNameChangeWhileOpenTakesEffectAtTheNextOpen) {
    kvtest::PtyPair second;
    comm.Open();
    comm.SetCommName(second.path());
    EXPECT_EQ(comm.CommName(), second.path());
    ASSERT_TRUE(comm.Write("old", 3));
    auto got = device.Read(3, 5s);
    EXPECT_EQ(std::string(got.begin(), got.end()), "old");
    comm.Close();
    comm.Open();
    ASSERT_TRUE(comm.Write("new", 3));
    got = second.Read(3, 5s);
    EXPECT_EQ(std::string(got.begin(), got.end()), "new");
}

TEST_F(PtyPort, LineSettingsReachThePortAsRawTermios) {
    comm.Open();
    // A pseudo-terminal keeps speed, stop bits, flow control and the input flags (it forces
    // CS8 and no parity); the full mapping is checked in the unit suite.
    comm.SetStopBits(TStopBits::_2);
    comm.SetOutx_CtsFlow(true);
    comm.SetParityCheck(true);
    comm.SetXonChar('A');
    comm.SetXoffChar('B');
    termios tio = device.PortTermios();
    EXPECT_TRUE(tio.c_cflag & CSTOPB);
    EXPECT_TRUE(tio.c_cflag & CRTSCTS);
    EXPECT_TRUE(tio.c_iflag & INPCK);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP), 0u);
    EXPECT_EQ(tio.c_cc[VSTART], 'A');
    EXPECT_EQ(tio.c_cc[VSTOP], 'B');
    EXPECT_EQ(tio.c_lflag & (ECHO | ICANON | ISIG | IEXTEN), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_cc[VMIN], 1);
    EXPECT_EQ(tio.c_cc[VTIME], 0);
}

TEST_F(PtyPort, SpeedsFrom1200To115200) {
    comm.Open();
    const std::pair<std::uint32_t, speed_t> speeds[] = {
        {1200, B1200},   {2400, B2400},   {4800, B4800},   {9600, B9600},
        {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}};
    for (auto [baud, code] : speeds) {
        comm.SetBaudRate(baud);
        termios tio = device.PortTermios();
        EXPECT_EQ(cfgetospeed(&tio), code) << baud;
    }
}

TEST_F(PtyPort, DeviceHangupIsReportedOnceAndCloseStillWorks) {
    comm.Open();
#if defined(__linux__)
    const int threadsOpen = CountThreads();
#endif
    device.CloseMaster();
    ASSERT_TRUE(PumpUntil(
        *channel, [&] { return hangups > 0; }, 5s));
    comm.Write("late", 4);  // the transmit worker meets the dead line too and ends
    bool refused = false;
    for (int i = 0; i < 500 && !refused; ++i) {
        refused = !comm.Write("x", 1);
        if (!refused) PumpFor(*channel, 10ms);
    }
    EXPECT_TRUE(refused) << "writes still accepted with no transmit worker";
    PumpFor(*channel, 300ms);
    EXPECT_EQ(hangups, 1);
#if defined(__linux__)
    // The receive worker has ended rather than spinning on the dead line.
    EXPECT_TRUE(PumpUntil(
        *channel, [&] { return CountThreads() <= threadsOpen - 1; }, 5s));
#endif
    comm.Close();
    EXPECT_FALSE(comm.IsOpen());

    // The device comes back (a fresh terminal pair here): a later open works.
    kvtest::PtyPair back;
    comm.SetCommName(back.path());
    comm.Open();
    back.Write("hello", 5);
    ASSERT_TRUE(PumpUntilReceived(5, 5s));
    EXPECT_EQ(hangups, 1);
}

// Settings the port refuses: at Open they raise and leave nothing open; while open the setter
// says so and the port keeps what it had.
TEST_F(PtyPort, RefusedLineSettingsAreReported) {
#if defined(__linux__)
    const int fdsBefore = CountOpenFds();
#endif
    comm.SetBaudRate(12345);
    const std::optional<ECommsError> error = OpenError(comm);
    ASSERT_TRUE(error.has_value());
    EXPECT_STREQ(error->what(), "Cannot apply line settings");
    EXPECT_EQ(error->code(), EINVAL);
    EXPECT_EQ(error->kind(), TCommErrorKind::Settings);
    EXPECT_NE(error->reason().find("12345 baud"), std::string::npos) << error->reason();
    EXPECT_FALSE(comm.IsOpen());
#if defined(__linux__)
    EXPECT_EQ(CountOpenFds(), fdsBefore);
#endif

    EXPECT_TRUE(comm.SetBaudRate(19200));  // closed: stored, nothing to apply
    comm.Open();
    EXPECT_FALSE(comm.SetBaudRate(12345));
    EXPECT_EQ(comm.BaudRate(), 12345u);
    termios tio = device.PortTermios();
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B19200));
    EXPECT_TRUE(comm.SetBaudRate(57600));
    tio = device.PortTermios();
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B57600));
    EXPECT_TRUE(comm.SetBaudRate(57600));  // unchanged: nothing to refuse
}

// From the delivered hang-up notice on, no frame is taken: not even from inside the handler,
// while the transmit worker may not have met the dead line yet. Close and a new open clear it.
TEST_F(PtyPort, AfterTheHangupNoticeWritesAreRefusedUntilClose) {
    comm.Open();
    EXPECT_FALSE(comm.LineFailed());
    std::vector<bool> acceptedInHandler;
    comm.OnRequestHangup = [&](TComm* sender) {
        ++hangups;
        EXPECT_TRUE(sender->LineFailed());
        acceptedInHandler.push_back(sender->Write("frame", 5));
    };
    device.CloseMaster();
    ASSERT_TRUE(PumpUntil(
        *channel, [&] { return hangups > 0; }, 5s));
    EXPECT_EQ(acceptedInHandler, std::vector<bool>{false});
    EXPECT_TRUE(comm.LineFailed());
    EXPECT_TRUE(comm.IsOpen());
    EXPECT_FALSE(comm.Write("frame", 5));
    comm.Close();
    EXPECT_FALSE(comm.LineFailed());

    kvtest::PtyPair back;
    comm.SetCommName(back.path());
    comm.Open();
    EXPECT_FALSE(comm.LineFailed());
    ASSERT_TRUE(comm.Write("again", 5));
    auto got = back.Read(5, 5s);
    EXPECT_EQ(std::string(got.begin(), got.end()), "again");
}

// A read that fails with an error (a broken adapter rather than a hang-up) is reported once
// as a line failure, and the port can still be closed.
std::atomic<bool> failReads{false};
ssize_t FailingRead(int fd, void* buffer, std::size_t count) {
    if (failReads.load()) {
        errno = EIO;
        return -1;
    }
    return ::read(fd, buffer, count);
}

TEST_F(PtyPort, AReadErrorIsReportedOnceAsALineFailure) {
    detail::SetReadFunctionForTest(&FailingRead);
    struct Restore {
        ~Restore() {
            detail::SetReadFunctionForTest(nullptr);
            failReads = false;
        }
    } restore;
    comm.SetReadIntervalTimeout(1);
    comm.Open();
    device.Write("before", 6);
    ASSERT_TRUE(PumpUntilReceived(6, 5s));
    failReads = true;
    device.Write("x", 1);  // wakes the reader, whose read now fails
    ASSERT_TRUE(PumpUntil(
        *channel, [&] { return hangups > 0; }, 5s));
    PumpFor(*channel, 300ms);
    EXPECT_EQ(hangups, 1);
    EXPECT_TRUE(comm.LineFailed());
    EXPECT_FALSE(comm.Write("y", 1));
    EXPECT_EQ(received, 6u);
    comm.Close();
    EXPECT_FALSE(comm.IsOpen());
}

double ProcessCpuSeconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// An open port with nothing to do costs no CPU: both workers sleep in their waits, also after
// a frame went out and its wake-up was used.
TEST_F(PtyPort, AnOpenIdlePortCostsNoCpu) {
    comm.Open();
    ASSERT_TRUE(comm.Write("frame", 5));
    ASSERT_EQ(device.Read(5, 5s).size(), 5u);
    device.Write("reply", 5);
    ASSERT_TRUE(PumpUntilReceived(5, 5s));
    PumpFor(*channel, 200ms);  // the reply's interval and the queue-empty notice are over
    const double cpuBefore = ProcessCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(1s);
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    EXPECT_LT(cpu, 0.05 * elapsed) << cpu << " s of CPU in " << elapsed << " s idle";
}

// Close() while the device is still sending: nothing the workers posted reaches the owner
// after Close() has returned, though it may still sit in the channel.
TEST_F(PtyPort, NothingIsDeliveredAfterCloseReturns) {
    comm.SetReadIntervalTimeout(1);
    comm.Open();
    std::atomic<bool> stop{false};
    // Non-blocking, so that the line stops when asked even with nobody reading any more.
    ::fcntl(device.master(), F_SETFL, ::fcntl(device.master(), F_GETFL) | O_NONBLOCK);
    std::thread line([&] {
        const auto chunk = RandomBytes(512, 8);
        while (!stop.load()) {
            pollfd fd{device.master(), POLLOUT, 0};
            if (::poll(&fd, 1, 20) > 0) {
                if (::write(device.master(), chunk.data(), chunk.size()) > 0) continue;
            }
            std::this_thread::sleep_for(1ms);
        }
    });
    ASSERT_TRUE(PumpUntilReceived(64 * 1024, 10s));
    // Let blocks pile up in the channel, undelivered, before closing.
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (channel->pending() < 4 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_GE(channel->pending(), 4u);
    comm.Close();
    const std::size_t blocksAtClose = blocks.size();
    PumpFor(*channel, 200ms);
    stop = true;
    line.join();
    EXPECT_EQ(blocks.size(), blocksAtClose);
    EXPECT_EQ(channel->pending(), 0u);
    EXPECT_EQ(hangups, 0);
}

TEST(PtyLifetime, DestroyingAnOpenComponentClosesItAndFreesUndeliveredBlocks) {
    kvtest::PtyPair device;
    auto channel = std::make_shared<TQueueChannel>();
#if defined(__linux__)
    std::thread([] {}).join();  // a sanitizer starts its helper thread with the first thread
    const int fds = CountOpenFds();
    const int threads = CountThreads();
#endif
    int delivered = 0;
    {
        TComm comm(channel);
        ConfigureForBinary(comm, device.path());
        comm.SetReadIntervalTimeout(1);
        comm.OnReceiveData = [&](TComm*, const std::uint8_t*, std::uint16_t) { ++delivered; };
        comm.Open();
        const auto data = RandomBytes(60000, 9);
        device.Write(data.data(), 20000);
        ASSERT_TRUE(comm.Write(data.data(), 60000));  // more than the terminal takes at once
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (channel->pending() < 3 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(1ms);
        }
        ASSERT_GE(channel->pending(), 3u);
    }
    // The blocks still queued belong to a component that is gone: freed, never delivered.
    channel->drain();
    EXPECT_EQ(delivered, 0);
    EXPECT_EQ(channel->pending(), 0u);
#if defined(__linux__)
    EXPECT_EQ(CountOpenFds(), fds);
    EXPECT_EQ(CountThreads(), threads);
#endif
}

#if defined(__linux__)
// The component's descriptor for the port, found through /proc/self/fd.
int PortDescriptor(const std::string& path) {
    for (int fd = 0; fd < 1024; ++fd) {
        char target[256] = {};
        std::string link = "/proc/self/fd/" + std::to_string(fd);
        ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
        if (n > 0 && path == target) return fd;
    }
    return -1;
}

TEST_F(PtyPort, ThePortIsNonBlockingAndClosedOnExec) {
    comm.Open();
    const int fd = PortDescriptor(device.path());
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(::fcntl(fd, F_GETFD) & FD_CLOEXEC);
    EXPECT_TRUE(::fcntl(fd, F_GETFL) & O_NONBLOCK);
    EXPECT_EQ(::fcntl(fd, F_GETFL) & O_ACCMODE, O_RDWR);
    comm.Close();
    EXPECT_EQ(PortDescriptor(device.path()), -1);
}

TEST_F(PtyPort, OpenWriteCloseCyclesLeakNoDescriptorAndNoThread) {
    comm.SetReadIntervalTimeout(1);  // each cycle's bytes arrive well before its close
    comm.Open();
    comm.Close();
    channel->drain();
    const int fds = CountOpenFds();
    const int threads = CountThreads();
    constexpr int kCycles = 500;
    for (int i = 0; i < kCycles; ++i) {
        comm.Open();
        ASSERT_TRUE(comm.Write("abcdefgh", 8));
        device.Write("12345678", 8);
        ASSERT_EQ(device.Read(8, 5s).size(), 8u) << "cycle " << i;
        ASSERT_TRUE(PumpUntilReceived(8u * (i + 1), 5s)) << "cycle " << i;
        comm.Close();
    }
    EXPECT_EQ(CountOpenFds(), fds);
    EXPECT_EQ(CountThreads(), threads);
    EXPECT_EQ(hangups, 0);
}
#endif

}  // namespace
}  // namespace spcomm::test
