// Network ports (rfc2217://, tcp://) under the client: through Debian's ser2net in front of
// the simulated collector, and against scripted servers for the failures ser2net never shows.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "CollectorValues.h"
#include "LoopbackServer.h"
#include "SPComm/net/Telnet.h"
#include "Ser2Net.h"
#include "client/Client.h"
#include "client/Operations.h"
#include "ops/Line.h"
#include "protocol/ReadBack.h"
#include "sim/Collector.h"
#include "sim/DeviceState.h"

namespace {

using kvclient::Client;
using kvclient::Millis;
using kvops::ErrorCode;
using kvops::Status;
namespace telnet = spcomm::detail::telnet;

class ThroughSer2Net : public ::testing::TestWithParam<bool> {
protected:
    std::string url(const kvtest::Ser2Net& gateway) const {
        return GetParam() ? gateway.rfc2217Url() : gateway.tcpUrl();
    }
};

TEST_P(ThroughSer2Net, ReadApplyAndVerifyAsOnTheLineItself) {
    kvsim::Collector collector;
    collector.start();
    kvtest::Ser2Net gateway(collector.deviceSlavePath());
    Client client;
    ASSERT_FALSE(client.open(url(gateway))) << gateway.log();

    const kvclient::ReadResult before = client.readParameters();
    ASSERT_FALSE(before.error()) << kvops::describe(before.error());
    EXPECT_EQ(before.outcome.reply, kvsim::parameterText(collector.state()));

    const kvproto::CollectorSettings settings = kvtest::settingsToSend(GetParam());
    const kvclient::CollectorResult applied =
        kvclient::applySettings(client, settings, settings, Millis(2000), "asked");
    EXPECT_FALSE(applied.error) << kvops::describe(applied.error) << " at " << applied.step;
    EXPECT_TRUE(applied.differences.empty());
    EXPECT_TRUE(kvclient::verifySettings(client, settings, Millis(2000)).differences.empty());
    client.close();
    gateway.stop();  // it would read the line too

    // The line itself, not through the gateway, reads what the gateway wrote.
    ASSERT_FALSE(client.open(collector.slavePath()));
    const kvclient::ReadResult direct = client.readParameters();
    EXPECT_EQ(direct.outcome.reply, kvsim::parameterText(collector.state()));
    EXPECT_EQ(kvproto::filtered(direct.listing.settings, {true, false}),
              kvproto::readBackSettings(kvsim::parameterText(collector.state()), nullptr));
}

INSTANTIATE_TEST_SUITE_P(Accepters, ThroughSer2Net, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "rfc2217" : "tcp"; });

TEST(Ser2NetStopped, MidRequestIsOneHangUpAndTheSamePortOpensWhenItIsBack) {
    kvsim::CollectorOptions options;
    options.chunkSize = 20;
    options.chunkGap = Millis(300);  // the listing takes about 4 s
    kvsim::Collector collector(options);
    collector.start();
    kvtest::Ser2Net gateway(collector.deviceSlavePath());
    Client client;
    int hangUps = 0;
    client.tap().listen([&](const kvops::LineEvent& event) {
        if (event.kind == kvops::LineEvent::Kind::HungUp) ++hangUps;
    });
    ASSERT_FALSE(client.open(gateway.rfc2217Url()));

    std::thread stopper([&] {
        std::this_thread::sleep_for(Millis(700));
        gateway.stop();
    });
    const kvclient::ReadResult read = client.readParameters(Millis(30000));
    stopper.join();
    EXPECT_EQ(read.outcome.status, Status::HungUp);
    EXPECT_FALSE(read.outcome.reply.empty()) << "the pieces before the hang-up are kept";
    const kvops::Outcome after = client.request(kvops::kCommunicationTest);
    EXPECT_EQ(after.status, Status::NotSent);
    EXPECT_EQ(after.error.code, ErrorCode::HungUp);
    EXPECT_EQ(hangUps, 1);

    EXPECT_EQ(client.open(gateway.rfc2217Url()).code, ErrorCode::ConnectionRefused);
    gateway.start();
    ASSERT_FALSE(client.open(gateway.rfc2217Url()));
    const kvops::Outcome test = client.request(kvops::kCommunicationTest, Millis(8000));
    EXPECT_TRUE(test.answered()) << kvops::describe(test.error);
    EXPECT_EQ(hangUps, 1);
}

// A server on 127.0.0.1 that answers the client's first bytes with the first reply, the next
// bytes with the next, and so on; then keeps the connection open, silent, until the test ends.
using Replies = std::vector<std::vector<std::uint8_t>>;
class ScriptedServer {
public:
    explicit ScriptedServer(Replies replies)
        : server_([replies = std::move(replies)](kvtest::LoopbackConnection& link) {
              for (const std::vector<std::uint8_t>& reply : replies) {
                  while (!link.closed() && link.read(Millis(20)).empty()) {
                  }
                  if (link.closed() || !link.write(reply)) return;
              }
              while (!link.closed()) link.read(Millis(20));
          }) {}
    std::string url() const { return server_.url("rfc2217"); }

private:
    kvtest::LoopbackServer server_;
};

// A gateway forwards the line in segments of its own timing: the counter-base lines may come
// well after the read-back rows (here 120 ms, twice a serial line's settle time) and are still
// part of the listing.
TEST(NetListing, LinesAfterTheReadBackRowsArriveLateAndAreKept) {
    const kvsim::DeviceState state = kvsim::factoryDefaults();
    const std::string full = kvsim::parameterText(state);
    const std::string plain = kvsim::parameterText(state, kvsim::Listing::Plain);
    ASSERT_TRUE(full.size() > plain.size() && full.compare(0, plain.size(), plain) == 0);
    kvtest::LoopbackServer server([&](kvtest::LoopbackConnection& link) {
        while (!link.closed() && link.read(Millis(20)).empty()) {
        }
        link.write({plain.begin(), plain.end()});
        std::this_thread::sleep_for(Millis(120));
        link.write({full.begin() + static_cast<std::ptrdiff_t>(plain.size()), full.end()});
        while (!link.closed()) link.read(Millis(20));
    });
    Client client;
    ASSERT_FALSE(client.open(server.url("tcp")));
    const kvclient::ReadResult read = client.readParameters();
    ASSERT_FALSE(read.error()) << kvops::describe(read.error());
    EXPECT_EQ(read.outcome.reply, full);
}

TEST(NetOpenFailures, EachSaysWhyAndLeavesThePortClosed) {
    // COM-PORT agreed, then nothing more; or the settings confirmed as 300 baud.
    const std::vector<std::uint8_t> slowLine = {telnet::kIac, telnet::kDo, telnet::kComPort};
    std::vector<std::uint8_t> wrongBaud = telnet::TTelnetSession::SetLine({300, 8, 1, 1}, {});
    for (std::size_t i = 0; i + 3 < wrongBaud.size(); ++i)
        if (wrongBaud[i] == telnet::kIac && wrongBaud[i + 1] == telnet::kSb)
            wrongBaud[i + 3] += 100;
    struct Case {
        const char* what;
        Replies replies;  // a scripted server's; none: `port` as given
        std::string port;
        ErrorCode code;
        std::string text;           // a part of the error's sentence (kvops::describe)
        kvsys::ErrorSource source;  // what the system number counts in
    };
    const std::vector<Case> cases = {
        {"nothing listens",
         {},
         "tcp://127.0.0.1:" + std::to_string(kvtest::LoopbackServer::freePort()),
         ErrorCode::ConnectionRefused,
         "Connection refused",
         kvsys::ErrorSource::Errno},
        {"unknown host",
         {},
         "rfc2217://no-such-host.invalid:4001",
         ErrorCode::HostNotFound,
         "Cannot resolve host name: no-such-host.invalid: ",
         kvsys::ErrorSource::Resolver},
        {"COM-PORT refused",
         {{telnet::kIac, telnet::kDont, telnet::kComPort}},
         "",
         ErrorCode::PortSettings,
         "refuses the COM-PORT option",
         kvsys::ErrorSource::Errno},
        {"another baud rate set",
         {slowLine, wrongBaud},
         "",
         ErrorCode::PortSettings,
         "the server set 300 baud, 8 data bits, parity 1, stop size 1 instead of 9600 baud",
         kvsys::ErrorSource::Errno},
        {"settings never confirmed",
         {slowLine},
         "",
         ErrorCode::PortSettings,
         "did not confirm the line settings within 300 ms",
         kvsys::ErrorSource::Errno},
    };
    for (const Case& c : cases) {
        std::unique_ptr<ScriptedServer> server;
        if (!c.replies.empty()) server = std::make_unique<ScriptedServer>(c.replies);
        kvops::Line line;
        line.comm().SetConnectTimeout(300);
        const kvops::Error error = line.open(server ? server->url() : c.port);
        const std::string sentence = kvops::describe(error);
        EXPECT_EQ(error.code, c.code) << c.what << ": " << sentence;
        EXPECT_NE(sentence.find(c.text), std::string::npos) << c.what << ": " << sentence;
        EXPECT_NE(error.systemError, 0) << c.what;
        // A look-up that failed inside the system (EAI_SYSTEM) gives its errno instead.
        const bool systemLookUp = c.source == kvsys::ErrorSource::Resolver &&
                                  error.systemSource == kvsys::ErrorSource::Errno;
        EXPECT_EQ(systemLookUp ? c.source : error.systemSource, c.source) << c.what;
        EXPECT_FALSE(line.isOpen()) << c.what;
    }
}

}  // namespace
