// Network ports (rfc2217://, tcp://) through TComm against a gateway scripted in the test on
// 127.0.0.1: the same table runs against the POSIX back end and, cross-built and run under
// wine by scripts/test-windows, against the Winsock one.
#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <future>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "ChannelPump.h"
#include "LoopbackServer.h"
#include "SPComm/TComm.h"
#include "SPComm/TQueueChannel.h"
#include "SPComm/net/Telnet.h"
#include "ops/Error.h"
#include "ops/Line.h"

using namespace std::chrono_literals;

namespace spcomm {
namespace {

namespace telnet = detail::telnet;
using Bytes = std::vector<std::uint8_t>;

enum class Gateway {
    Echo,
    WrongBaud,
    WrongDataSize,
    WrongParity,
    WrongStopSize,
    RefuseComPort,
    DropAfterEcho,
    None
};

// What a gateway that sets another line confirms in place of the setting asked for.
struct WrongSetting {
    Gateway gateway;
    std::uint8_t command;
    Bytes value;
};
const WrongSetting kWrongSettings[] = {
    {Gateway::WrongBaud, telnet::kSetBaudRate, {0, 0, 1, 44}},  // 300 baud
    {Gateway::WrongDataSize, telnet::kSetDataSize, {7}},
    {Gateway::WrongParity, telnet::kSetParity, {3}},  // even
    {Gateway::WrongStopSize, telnet::kSetStopSize, {2}},
};

// The server's side of the telnet session: agrees BINARY, SUPPRESS-GO-AHEAD and (unless told
// otherwise) COM-PORT, confirms the line settings but never the control lines, asks the
// client for TERMINAL-TYPE once the first data comes (it must refuse), and echoes data with
// IAC doubled. `data` collects the data it received, unescaped.
struct TelnetServer {
    explicit TelnetServer(Gateway g) : gateway(g) {}
    Gateway gateway;
    Bytes data;
    std::atomic<bool> terminalTypeRefused{false};
    enum { Data, Iac, Verb, Sub, SubIac } state = Data;
    std::uint8_t verb = 0;
    Bytes sub;
    bool asked = false;

    Bytes Feed(const Bytes& in) {
        Bytes out, echo;
        for (const std::uint8_t b : in) {
            switch (state) {
                case Data:
                    if (b == telnet::kIac)
                        state = Iac;
                    else
                        echo.push_back(b);
                    break;
                case Iac:
                    state = Data;
                    if (b == telnet::kIac) echo.push_back(b);
                    if (b == telnet::kSb) state = Sub, sub.clear();
                    if (b >= telnet::kWill && b <= telnet::kDont) state = Verb, verb = b;
                    break;
                case Verb:
                    state = Data;
                    Answer(verb, b, out);
                    break;
                case Sub:
                    if (b == telnet::kIac)
                        state = SubIac;
                    else
                        sub.push_back(b);
                    break;
                case SubIac:
                    state = b == telnet::kSe ? Data : Sub;
                    if (b == telnet::kIac) sub.push_back(b);
                    if (b == telnet::kSe) Confirm(out);
                    break;
            }
        }
        data.insert(data.end(), echo.begin(), echo.end());
        if (!echo.empty() && !asked) {
            out.insert(out.end(), {telnet::kIac, telnet::kDo, 24});
            asked = true;
        }
        for (const std::uint8_t b : echo) {
            out.push_back(b);
            if (b == telnet::kIac) out.push_back(b);
        }
        return out;
    }

    void Answer(std::uint8_t v, std::uint8_t option, Bytes& out) {
        if (v == telnet::kWont && option == 24) terminalTypeRefused = true;
        if (v == telnet::kWill) {
            const bool refuse = option == telnet::kComPort && gateway == Gateway::RefuseComPort;
            out.insert(out.end(), {telnet::kIac, refuse ? telnet::kDont : telnet::kDo, option});
        } else if (v == telnet::kDo) {
            out.insert(out.end(), {telnet::kIac, telnet::kWill, option});
        }
    }

    // Confirms baud rate, data size, parity and stop size (one of them wrong when told to).
    void Confirm(Bytes& out) {
        if (sub.size() < 3 || sub[0] != telnet::kComPort || sub[1] < telnet::kSetBaudRate ||
            sub[1] > telnet::kSetStopSize)
            return;
        Bytes value(sub.begin() + 2, sub.end());
        for (const WrongSetting& w : kWrongSettings)
            if (w.gateway == gateway && w.command == sub[1]) value = w.value;
        telnet::TTelnetSession::AppendComPort(
            static_cast<std::uint8_t>(sub[1] + telnet::kServerOffset), value, out);
    }
};

struct Case {
    const char* what;
    Gateway gateway;
    const char* scheme;
    kvops::ErrorCode openError;  // None: it opens
    const char* text;            // a part of the error's text
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.what;
}

class NetPort : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        comm.SetConnectTimeout(5000);  // a refusal must come as one, not as a time-out
        comm.SetOutx_XonXoffFlow(false);
        comm.SetInx_XonXoffFlow(false);
        comm.OnReceiveData = [this](TComm*, const std::uint8_t* data, std::uint16_t n) {
            received.insert(received.end(), data, data + n);
        };
        comm.OnRequestHangup = [this](TComm*) { ++hangups; };
    }

    std::shared_ptr<TQueueChannel> channel = std::make_shared<TQueueChannel>();
    TComm comm{channel};
    Bytes received;
    int hangups = 0;
};

TEST_P(NetPort, OpensExchangesAndFailsAsTheGatewayDoes) {
    const Case& c = GetParam();
    const bool telnetOn = std::string(c.scheme) == "rfc2217";
    TelnetServer server(c.gateway);
    std::unique_ptr<kvtest::LoopbackServer> gateway;
    if (c.gateway != Gateway::None) {
        gateway = std::make_unique<kvtest::LoopbackServer>([&](kvtest::LoopbackConnection& link) {
            while (!link.closed()) {
                const Bytes in = link.read(100ms);
                if (!telnetOn) {
                    server.data.insert(server.data.end(), in.begin(), in.end());
                    link.write(in);
                } else {
                    link.write(server.Feed(in));
                }
                if (c.gateway == Gateway::DropAfterEcho && !server.data.empty()) {
                    link.close();
                }
            }
        });
    }
    comm.SetCommName(gateway
                         ? gateway->url(c.scheme)
                         : "tcp://127.0.0.1:" + std::to_string(kvtest::LoopbackServer::freePort()));

    kvops::ErrorCode code = kvops::ErrorCode::None;
    std::string text;
    try {
        comm.Open();
    } catch (const ECommsError& e) {
        const kvops::Error error = kvops::openError(e);
        code = error.code;
        text = kvops::describe(error);
    }
    ASSERT_EQ(code, c.openError) << c.what << ": " << text;
    EXPECT_NE(text.find(c.text), std::string::npos) << c.what << ": " << text;
    if (code != kvops::ErrorCode::None) {
        EXPECT_FALSE(comm.IsOpen());
        return;
    }

    // IAC, CR NUL and CR LF among the data pass both ways as they are.
    const Bytes frame = {'P', 0xFF, 'Q', 0xFF, 0xFF, 13, 0, 13, 10, 0xFF, '#'};
    ASSERT_TRUE(comm.Write(frame.data(), static_cast<std::uint16_t>(frame.size())));
    ASSERT_TRUE(test::PumpUntil(
        *channel, [&] { return received.size() >= frame.size(); }, 10s))
        << received.size();
    EXPECT_EQ(received, frame) << c.what;
    if (telnetOn && c.gateway == Gateway::Echo) {
        EXPECT_TRUE(test::PumpUntil(
            *channel, [&] { return server.terminalTypeRefused.load(); }, 5s));
    }
    if (c.gateway == Gateway::DropAfterEcho) {
        ASSERT_TRUE(test::PumpUntil(
            *channel, [&] { return hangups > 0; }, 10s));
        test::PumpFor(*channel, 300ms);
        EXPECT_FALSE(comm.Write("again", 5));
        test::PumpFor(*channel, 100ms);
        EXPECT_EQ(hangups, 1);
        comm.Close();
    } else {
        test::PumpFor(*channel, 100ms);
        EXPECT_EQ(hangups, 0);
        gateway.reset();                          // its thread ends: its record is complete
        EXPECT_EQ(server.data, frame) << c.what;  // what the gateway got, unescaped
    }
}

#if defined(_WIN32)
constexpr const char* kRefusedText = "";  // the system's words differ between versions
#else
constexpr const char* kRefusedText = "Connection refused";
#endif

INSTANTIATE_TEST_SUITE_P(
    Gateways, NetPort,
    ::testing::Values(
        Case{"rfc2217 echo", Gateway::Echo, "rfc2217", kvops::ErrorCode::None, ""},
        Case{"tcp echo", Gateway::Echo, "tcp", kvops::ErrorCode::None, ""},
        Case{"line settings refused", Gateway::WrongBaud, "rfc2217", kvops::ErrorCode::PortSettings,
             "Cannot apply line settings: the server set 300 baud, 8 data bits, parity 1, stop "
             "size 1 instead of 9600 baud"},
        Case{"gateway sets 7 data bits", Gateway::WrongDataSize, "rfc2217",
             kvops::ErrorCode::PortSettings,
             "the server set 9600 baud, 7 data bits, parity 1, stop size 1 instead of 9600 baud, "
             "8 data bits, parity 1, stop size 1"},
        Case{"gateway sets even parity", Gateway::WrongParity, "rfc2217",
             kvops::ErrorCode::PortSettings,
             "the server set 9600 baud, 8 data bits, parity 3, stop size 1 instead of 9600 baud, "
             "8 data bits, parity 1, stop size 1"},
        Case{"gateway sets two stop bits", Gateway::WrongStopSize, "rfc2217",
             kvops::ErrorCode::PortSettings,
             "the server set 9600 baud, 8 data bits, parity 1, stop size 2 instead of 9600 baud, "
             "8 data bits, parity 1, stop size 1"},
        Case{"COM-PORT refused", Gateway::RefuseComPort, "rfc2217", kvops::ErrorCode::PortSettings,
             "refuses the COM-PORT option"},
        Case{"closes mid-exchange", Gateway::DropAfterEcho, "rfc2217", kvops::ErrorCode::None, ""},
        Case{"nothing listens", Gateway::None, "tcp", kvops::ErrorCode::ConnectionRefused,
             kRefusedText}),
    [](const auto& info) {
        std::string name = info.param.what;
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return name;
    });

using kvtest::SilentGateway;

// An open that would otherwise wait ten minutes for the line settings: only the cancel ends it.
constexpr std::uint32_t kLongConnectTimeoutMs = 600000;

enum class CancelAt { BeforeRun, WhileNegotiating };

class OpenCancel : public ::testing::TestWithParam<CancelAt> {};

TEST_P(OpenCancel, RunGivesUpAndClosesTheConnection) {
    SilentGateway gateway;
    TComm comm;
    comm.SetConnectTimeout(kLongConnectTimeoutMs);
    comm.SetCommName(gateway.url());
    std::unique_ptr<TOpenRequest> request = comm.BeginOpen();
    EXPECT_EQ(request->CommName(), gateway.url());
    if (GetParam() == CancelAt::BeforeRun) request->Cancel();
    auto run = std::async(std::launch::async, [&]() -> std::string {
        try {
            request->Run();
            return "opened";
        } catch (const ECommsError& e) {
            return e.what();
        }
    });
    if (GetParam() == CancelAt::WhileNegotiating) {
        ASSERT_TRUE(SilentGateway::waitFor(gateway.greeted));
        request->Cancel();
    }
    ASSERT_EQ(run.wait_for(10s), std::future_status::ready) << "the cancel did not end the wait";
    EXPECT_EQ(run.get(), "Open cancelled");
    EXPECT_TRUE(request->Cancelled());
    EXPECT_THROW(comm.FinishOpen(*request), std::logic_error);  // nothing to take
    EXPECT_FALSE(comm.IsOpen());
    if (GetParam() == CancelAt::WhileNegotiating) {
        EXPECT_TRUE(SilentGateway::waitFor(gateway.clientClosed)) << "the connection was left open";
    }
}

INSTANTIATE_TEST_SUITE_P(Cancels, OpenCancel,
                         ::testing::Values(CancelAt::BeforeRun, CancelAt::WhileNegotiating),
                         [](const auto& info) {
                             return info.param == CancelAt::BeforeRun ? "BeforeRun"
                                                                      : "WhileNegotiating";
                         });

// The owner's thread starts the open; another thread runs it and says when it is done; the
// owner takes the port over, and the workers' events arrive on the owner's thread as after a
// synchronous open.
TEST(LineStartOpen, OpensOnItsOwnThreadAndHandsThePortToTheOwner) {
    TelnetServer telnetServer(Gateway::Echo);
    kvtest::LoopbackServer gateway([&](kvtest::LoopbackConnection& link) {
        while (!link.closed()) link.write(telnetServer.Feed(link.read(100ms)));
    });
    auto channel = std::make_shared<TQueueChannel>();
    kvops::Line line(channel, 10);
    Bytes received;
    line.comm().OnReceiveData = [&](TComm*, const std::uint8_t* data, std::uint16_t n) {
        received.insert(received.end(), data, data + n);
    };
    std::promise<std::thread::id> ready;
    line.startOpen(gateway.url("rfc2217"), [&] { ready.set_value(std::this_thread::get_id()); });
    EXPECT_TRUE(line.opening());
    EXPECT_FALSE(line.isOpen());
    EXPECT_EQ(line.write("early").code, kvops::ErrorCode::NotOpen);
    auto readyOn = ready.get_future();
    ASSERT_EQ(readyOn.wait_for(10s), std::future_status::ready);
    EXPECT_NE(readyOn.get(), std::this_thread::get_id());
    const std::optional<kvops::Error> outcome = line.finishOpen();
    ASSERT_TRUE(outcome.has_value());
    EXPECT_FALSE(*outcome) << outcome->text;
    EXPECT_FALSE(line.opening());
    EXPECT_FALSE(line.finishOpen().has_value());  // taken once
    ASSERT_TRUE(line.isOpen());
    EXPECT_FALSE(line.write("PPPPPP#VAR#"));
    ASSERT_TRUE(test::PumpUntil(
        *channel, [&] { return received.size() >= 11; }, 10s));
    EXPECT_EQ(std::string(received.begin(), received.end()), "PPPPPP#VAR#");
}

TEST(LineStartOpen, FailureComesAsTheSynchronousOpenGivesIt) {
    const std::string port =
        "tcp://127.0.0.1:" + std::to_string(kvtest::LoopbackServer::freePort());
    kvops::Line line;
    std::promise<void> ready;
    line.startOpen(port, [&] { ready.set_value(); });
    ASSERT_EQ(ready.get_future().wait_for(10s), std::future_status::ready);
    const std::optional<kvops::Error> outcome = line.finishOpen();
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->code, kvops::ErrorCode::ConnectionRefused);
    EXPECT_EQ(outcome->code, line.open(port).code);
    EXPECT_FALSE(line.isOpen());
}

// Giving the open up, in every way the owner can: its notice never comes, and the connection
// it made is closed on the opening thread.
struct GiveUp {
    const char* what;
    std::function<void(std::unique_ptr<kvops::Line>&)> act;
    bool opensAnother = false;  // the Line is busy with the next open then
};

void PrintTo(const GiveUp& g, std::ostream* os) {
    *os << g.what;
}

class LineGivesUp : public ::testing::TestWithParam<GiveUp> {};

TEST_P(LineGivesUp, ClosesWhatTheOpenMadeAndNeverTellsTheOwner) {
    SilentGateway gateway;
    auto line = std::make_unique<kvops::Line>();
    line->comm().SetConnectTimeout(kLongConnectTimeoutMs);
    std::atomic<int> notices{0};
    line->startOpen(gateway.url(), [&] { ++notices; });
    ASSERT_TRUE(SilentGateway::waitFor(gateway.greeted));
    GetParam().act(line);
    if (line && GetParam().opensAnother) {
        EXPECT_TRUE(line->opening());
    } else if (line) {
        EXPECT_FALSE(line->opening());
        EXPECT_FALSE(line->finishOpen().has_value());
        EXPECT_FALSE(line->isOpen());
    }
    EXPECT_TRUE(SilentGateway::waitFor(gateway.clientClosed)) << "the connection was left open";
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(notices, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, LineGivesUp,
    ::testing::Values(GiveUp{"cancelOpen", [](auto& line) { line->cancelOpen(); }},
                      GiveUp{"close", [](auto& line) { line->close(); }},
                      GiveUp{"destroyed", [](auto& line) { line.reset(); }},
                      GiveUp{"another_open",
                             [](auto& line) {
                                 line->startOpen(
                                     "tcp://127.0.0.1:" +
                                         std::to_string(kvtest::LoopbackServer::freePort()),
                                     {});
                             },
                             true}),
    [](const auto& info) { return std::string(info.param.what); });

}  // namespace
}  // namespace spcomm
