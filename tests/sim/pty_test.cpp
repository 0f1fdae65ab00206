// The simulated collector on a real pseudo-terminal: the test opens the slave side with plain
// termios, as a serial port, writes frames and reads the answers.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <tuple>

#include "sim/Collector.h"
#include "sim/DemoCollector.h"
#include "sim/Device.h"
#include "sim/PseudoTerminal.h"

extern char** environ;

namespace {

using kvsim::Collector;
using kvsim::CollectorOptions;
using kvsim::FileDescriptor;
using kvsim::Millis;
using Clock = std::chrono::steady_clock;

FileDescriptor openPort(const std::string& path) {
    FileDescriptor fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    EXPECT_TRUE(fd.valid()) << path << ": " << std::strerror(errno);
    if (!fd.valid()) return fd;
    termios tio{};
    EXPECT_EQ(::tcgetattr(fd.get(), &tio), 0);
    ::cfmakeraw(&tio);
    ::cfsetspeed(&tio, B9600);
    EXPECT_EQ(::tcsetattr(fd.get(), TCSANOW, &tio), 0);
    return fd;
}

void writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EAGAIN) {
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, 100);
            continue;
        }
        ASSERT_GT(n, 0) << std::strerror(errno);
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

struct ReadResult {
    std::string bytes;
    bool hungUp = false;
};

// Reads until `done` holds for what arrived, the line hangs up, or `limit` passes.
ReadResult readUntil(int fd, const std::function<bool(const std::string&)>& done,
                     Millis limit = Millis(3000)) {
    ReadResult result;
    const auto deadline = Clock::now() + limit;
    while (!done(result.bytes)) {
        const auto left = std::chrono::duration_cast<Millis>(deadline - Clock::now());
        if (left.count() <= 0) break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        char buf[1024];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) {
            result.bytes.append(buf, static_cast<std::size_t>(n));
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            result.hungUp = true;
            break;
        }
    }
    return result;
}

ReadResult readPort(int fd, std::size_t enough, Millis limit = Millis(3000)) {
    return readUntil(
        fd, [enough](const std::string& s) { return s.size() >= enough; }, limit);
}

// What the collector answers to `frames`, from a device in the given state.
std::string expectedAnswer(std::string_view frames, const kvsim::DeviceState& state) {
    kvsim::Device device(state);
    return device.receive(frames, Millis{0});
}

struct LineCase {
    const char* name;
    CollectorOptions options;
};

class CollectorOnPty : public testing::TestWithParam<LineCase> {};

// Whatever the line options (pacing, delay, chunks with gaps), the tool gets the answers
// complete and in order; with noise, the answers follow the noise.
TEST_P(CollectorOnPty, AnswersFramesSplitAcrossWrites) {
    Collector collector(GetParam().options);
    collector.start();
    FileDescriptor port = openPort(collector.slavePath());
    ASSERT_TRUE(port.valid());

    writeAll(port.get(), "xxKORVEL#AIN2:1.6,-.5,0");
    writeAll(port.get(), ".25#PPPPP");
    ASSERT_TRUE(collector.waitForFrames(1, Millis(3000)));
    writeAll(port.get(), "P#CHEACK1#");

    kvsim::DeviceState changed = kvsim::factoryDefaults();
    changed.set("ad2.urv", "1.6000");
    changed.set("ad2.lrv", "-0.500");
    changed.set("ad2.start", "0.250");
    const std::string expected = "OK:AIN2:1.6000,-0.500,0.250\r\n" + kvsim::parameterText(changed);
    const std::string parameters = kvsim::parameterText(changed);
    const ReadResult got = readUntil(
        port.get(), [&](const std::string& s) { return s.ends_with(parameters); }, Millis(5000));
    if (GetParam().options.garbage) {
        // noise, acknowledgement, noise, parameter listing
        ASSERT_TRUE(got.bytes.ends_with(parameters)) << got.bytes;
        const std::string ack = "OK:AIN2:1.6000,-0.500,0.250\r\n";
        const auto ackAt = got.bytes.find(ack);
        ASSERT_NE(ackAt, std::string::npos) << got.bytes;
        const std::string noise =
            got.bytes.substr(0, ackAt) +
            got.bytes.substr(ackAt + ack.size(),
                             got.bytes.size() - ackAt - ack.size() - parameters.size());
        EXPECT_GE(noise.size(), 6u);
        for (char c : noise) {
            const auto byte = static_cast<unsigned char>(c);
            EXPECT_TRUE((byte >= 0x80 || byte < 0x20) && byte != 0x11 && byte != 0x13)
                << "noise byte " << int(byte);
        }
    } else {
        EXPECT_EQ(got.bytes, expected);
    }
    EXPECT_EQ(collector.state(), changed);
    EXPECT_EQ(collector.framesHandled(), 2u);
}

CollectorOptions with(void (*change)(CollectorOptions&)) {
    CollectorOptions o;
    change(o);
    return o;
}

INSTANTIATE_TEST_SUITE_P(
    Options, CollectorOnPty,
    testing::Values(
        LineCase{"paced_9600", {}},
        LineCase{"fast_line", with([](CollectorOptions& o) { o.baud = 115200; })},
        LineCase{"late_answer", with([](CollectorOptions& o) { o.answerDelay = Millis(150); })},
        LineCase{"chunks_with_gaps", with([](CollectorOptions& o) {
                     o.chunkSize = 40;
                     o.chunkGap = Millis(30);
                 })},
        LineCase{"noise_before_answers", with([](CollectorOptions& o) { o.garbage = true; })}),
    [](const auto& info) { return std::string(info.param.name); });

struct AnswerForm {
    kvsim::SetAnswer form;
    const char* name;
    const char* reply;    // to "KORVEL#ST:041#"
    const char* refused;  // to "KORVEL#ST:000#"
};

class OtherCollectorOnPty
    : public testing::TestWithParam<std::tuple<AnswerForm, LineCase, bool /* keeps ST */>> {};

// However set frames are answered, with or without an echoing converter in front: the echo
// comes first and as sent, the reset and the queries keep their answers, the value is held
// (or kept).
TEST_P(OtherCollectorOnPty, SetFrameQueryAndReset) {
    const auto& [answer, line, keeps] = GetParam();
    CollectorOptions options = line.options;
    options.setAnswer = answer.form;
    if (keeps) options.keptWords.insert("ST");
    Collector collector(options);
    collector.start();
    FileDescriptor port = openPort(collector.slavePath());
    const auto exchange = [&](std::string_view frame, const std::string& reply) {
        const std::string echo = options.echo ? std::string(frame) : "";
        writeAll(port.get(), frame);
        const std::string got = readUntil(port.get(), [&](const std::string& s) {
                                    return s.size() >= echo.size() && s.ends_with(reply);
                                }).bytes;
        EXPECT_TRUE(got.starts_with(echo) && got.ends_with(reply) &&
                    (options.garbage || got == echo + reply))
            << frame << " got " << got;
        if (reply.empty()) {  // not even noise, however late
            EXPECT_EQ(readPort(port.get(), 1, options.answerDelay + Millis(100)).bytes, "");
        }
    };
    exchange("KORVEL#ST:041#", answer.reply);
    exchange("KORVEL#ST:000#", answer.refused);
    exchange("PPPPPP#VAR#",
             std::string("VAR:KV480T-R-2,V1.2,ADR:") + (keeps ? "001" : "041") + ",OK\r\n");
    exchange("KORVEL#RESET#", "OK:RESET\r\n");
    EXPECT_EQ(collector.state(), kvsim::factoryDefaults());
    if (options.answerDelay > Millis(0)) {  // the echo overtakes an answer still waiting
        writeAll(port.get(), "PPPPPP#VAR#");
        ASSERT_TRUE(collector.waitForFrames(5, Millis(3000)));
        writeAll(port.get(), "PPPPPP#STATUS#");
        EXPECT_EQ(readPort(port.get(), 25).bytes.substr(0, 25), "PPPPPP#VAR#PPPPPP#STATUS#");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, OtherCollectorOnPty,
    testing::Combine(
        testing::Values(AnswerForm{kvsim::SetAnswer::Ok, "ok", "OK:ST:041\r\n", "ERR:ST:VALUE\r\n"},
                        AnswerForm{kvsim::SetAnswer::EchoFrame, "echo_frame",
                                   "KORVEL#ST:041#OK:ST:041\r\n", "KORVEL#ST:000#ERR:ST:VALUE\r\n"},
                        AnswerForm{kvsim::SetAnswer::Other, "other", "SET SUCCESS\r\n",
                                   "SET SUCCESS\r\n"},
                        AnswerForm{kvsim::SetAnswer::None, "none", "", ""}),
        testing::Values(LineCase{"direct", {}},
                        LineCase{"echoed", with([](CollectorOptions& o) { o.echo = true; })},
                        LineCase{"echoed_late_in_pieces_with_noise", with([](CollectorOptions& o) {
                                     o.echo = o.garbage = true;
                                     o.answerDelay = Millis(250);
                                     o.chunkSize = 4;
                                     o.chunkGap = Millis(5);
                                 })}),
        testing::Bool()),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name +
               (std::get<2>(info.param) ? "_keeping" : "");
    });

TEST(CollectorOnPty, SilentCollectorNeverAnswers) {
    CollectorOptions options;
    options.silent = true;
    Collector collector(options);
    collector.start();
    FileDescriptor port = openPort(collector.slavePath());
    writeAll(port.get(), "PPPPPP#VAR#KORVEL#ST:012#");
    const ReadResult got = readPort(port.get(), 1, Millis(400));
    EXPECT_EQ(got.bytes, "");
    EXPECT_FALSE(got.hungUp);
    EXPECT_EQ(collector.state(), kvsim::factoryDefaults());
}

TEST(CollectorOnPty, PortClosedAndOpenedAgainKeepsWorking) {
    Collector collector;
    collector.start();
    {
        FileDescriptor port = openPort(collector.slavePath());
        writeAll(port.get(), "KORVEL#MDL:2#");
        EXPECT_EQ(readPort(port.get(), 10).bytes, "OK:MDL:2\r\n");
    }
    FileDescriptor port = openPort(collector.slavePath());
    writeAll(port.get(), "PPPPPP#VAR#");
    EXPECT_EQ(readPort(port.get(), 32).bytes, "VAR:KV480T-R-2,V1.2,ADR:001,OK\r\n");
    EXPECT_EQ(collector.state().text("output.pulse_equivalent"), "2");
}

TEST(CollectorOnPty, DroppedLineHangsUpAndReopensUnderTheLink) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("kvsim-test-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    CollectorOptions options;
    options.linkPath = (dir / "ttyKV").string();
    Collector collector(options);
    collector.start();
    EXPECT_EQ(collector.slavePath(), options.linkPath);
    EXPECT_EQ(std::filesystem::read_symlink(options.linkPath).string(),
              collector.deviceSlavePath());

    FileDescriptor port = openPort(collector.slavePath());
    writeAll(port.get(), "KORVEL#ST:100#");
    EXPECT_EQ(readPort(port.get(), 11).bytes, "OK:ST:100\r\n");

    ASSERT_TRUE(collector.dropLine());
    EXPECT_FALSE(collector.lineOpen());
    EXPECT_TRUE(readPort(port.get(), 1).hungUp);
    port.reset();

    ASSERT_TRUE(collector.reopenLine());
    EXPECT_EQ(std::filesystem::read_symlink(options.linkPath).string(),
              collector.deviceSlavePath());
    port = openPort(collector.slavePath());
    writeAll(port.get(), "PPPPPP#VAR#");
    // The settings survive the hang-up: the collector is the same device.
    EXPECT_EQ(readPort(port.get(), 32).bytes, "VAR:KV480T-R-2,V1.2,ADR:100,OK\r\n");

    collector.stop();
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(options.linkPath)));
    std::filesystem::remove_all(dir);
}

TEST(CollectorOnPty, DropAfterAndReopenAfterOptions) {
    CollectorOptions options;
    options.dropAfter = Millis(500);
    options.reopenAfter = Millis(100);
    Collector collector(options);
    collector.start();
    EXPECT_EQ(collector.linesOpened(), 1u);
    FileDescriptor first = openPort(collector.deviceSlavePath());
    EXPECT_TRUE(readPort(first.get(), 1, Millis(5000)).hungUp);

    ASSERT_TRUE(collector.waitForLines(2, Millis(5000)));
    FileDescriptor port = openPort(collector.deviceSlavePath());
    writeAll(port.get(), "PPPPPP#VAR#");
    EXPECT_EQ(readPort(port.get(), 32).bytes, "VAR:KV480T-R-2,V1.2,ADR:001,OK\r\n");
    // Dropped once only: the line stays up.
    EXPECT_EQ(collector.linesOpened(), 2u);
    EXPECT_TRUE(collector.lineOpen());
}

TEST(CollectorOnPty, StopsWhileThePortIsStillOpen) {
    Collector collector;
    collector.start();
    FileDescriptor port = openPort(collector.slavePath());
    writeAll(port.get(), "PPPPPP#CHEACK1#");  // a long answer is still going out
    collector.stop();
    EXPECT_FALSE(collector.lineOpen());
    // Whatever arrived is a prefix of the answer, and then the line is gone.
    const ReadResult got = readPort(port.get(), 10000, Millis(1000));
    EXPECT_TRUE(expectedAnswer("PPPPPP#CHEACK1#", kvsim::factoryDefaults()).starts_with(got.bytes));
    EXPECT_TRUE(got.hungUp);
}

// Demo mode's entry point: one collector per process, the same port on every call.
TEST(DemoCollector, OnePortPerProcessUntilStopped) {
    const std::string path = kvsim::startDemoCollector();
    EXPECT_EQ(kvsim::startDemoCollector(), path);
    {
        FileDescriptor port = openPort(path);
        writeAll(port.get(), "PPPPPP#VAR#");
        EXPECT_EQ(readPort(port.get(), 32).bytes, "VAR:KV480T-R-2,V1.2,ADR:001,OK\r\n");
        kvsim::stopDemoCollector();
        EXPECT_TRUE(readPort(port.get(), 1).hungUp);
    }
    const std::string again = kvsim::startDemoCollector();
    FileDescriptor port = openPort(again);
    writeAll(port.get(), "PPPPPP#VAR#");
    EXPECT_EQ(readPort(port.get(), 32).bytes, "VAR:KV480T-R-2,V1.2,ADR:001,OK\r\n");
    kvsim::stopDemoCollector();
}

// The program: prints its port first, answers on it, ends cleanly on SIGTERM.
TEST(Kv480tSimProgram, PrintsPortAnswersAndStopsOnSigterm) {
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const char* argv[] = {KV480T_SIM_PATH, "--delay-ms", "20",           "--chunk",   "7",
                          "--gap-ms",      "5",          "--echo",       "--listing", "plain",
                          "--set-answer",  "echo-frame", "--keep-value", "ST",        nullptr};
    pid_t pid = 0;
    ASSERT_EQ(::posix_spawn(&pid, KV480T_SIM_PATH, &actions, nullptr,
                            const_cast<char* const*>(argv), environ),
              0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    FileDescriptor stdoutPipe(out[0]);

    const std::string line = readPort(stdoutPipe.get(), 1, Millis(5000)).bytes;
    std::string path = line.substr(0, line.find('\n'));
    ASSERT_FALSE(path.empty());
    FileDescriptor port = openPort(path);
    // ST kept: the listing still says TC1:001.
    const std::string frames = "KORVEL#ST:041#PPPPPP#CHEACK1#";
    writeAll(port.get(), frames);
    const std::string expected =
        frames + "KORVEL#ST:041#OK:ST:041\r\n" +
        kvsim::parameterText(kvsim::factoryDefaults(), kvsim::Listing::Plain);
    std::string got = readPort(port.get(), expected.size()).bytes;
    got += readPort(port.get(), 1, Millis(200)).bytes;  // and nothing more
    EXPECT_EQ(got, expected);

    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(Kv480tSimProgram, RefusesBadOptions) {
    for (const char* bad :
         {"--delay-ms=5", "--baud", "--gap-ms x", "--frobnicate 1", "--set-answer x",
          "--set-answer", "--listing short", "--keep-value FOO"}) {
        const std::string command = std::string(KV480T_SIM_PATH) + " " + bad + " >/dev/null 2>&1";
        const int status = std::system(command.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << bad;
    }
}

}  // namespace
