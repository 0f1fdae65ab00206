// kvclient::Client on pseudo-terminals against the simulated collector (and, for replies the
// collector never gives, against a line that answers with a scripted text).
#include "client/Client.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "CollectorValues.h"
#include "protocol/Parameters.h"
#include "sim/Collector.h"
#include "sim/PseudoTerminal.h"

namespace {

using kvclient::Client;
using kvclient::Millis;
using kvclient::Status;
using kvsim::Collector;
using kvsim::CollectorOptions;
using Clock = std::chrono::steady_clock;

std::unique_ptr<Collector> startCollector(CollectorOptions options = {}) {
    auto collector = std::make_unique<Collector>(options);
    collector->start();
    return collector;
}

void openOn(Client& client, const Collector& collector) {
    const kvclient::Result opened = client.open(collector.slavePath());
    ASSERT_TRUE(opened.done()) << opened.reason;
}

// Every read-back value equals what the collector holds, and there is one for each row.
void expectReadBackOf(const kvclient::ReadResult& read, const Collector& collector) {
    ASSERT_TRUE(read.done()) << kvclient::statusText(read.status) << ": " << read.reason;
    const auto held = kvtest::heldBy(collector.state());
    std::size_t readBack = 0;
    for (const kvproto::Parameter& p : kvproto::parameters()) {
        if (!p.readBack()) continue;
        ++readBack;
        EXPECT_EQ(read.settings.get(p).value_or("<none>"), held.at(std::string(p.name))) << p.name;
    }
    EXPECT_EQ(read.settings.size(), readBack);
}

TEST(ClientRequests, EachRequestGetsItsWholeReply) {
    auto collector = startCollector();
    Client client;
    openOn(client, *collector);
    kvproto::CollectorSettings station;
    ASSERT_FALSE(station.set("rs485.address", "77"));

    struct Case {
        const char* what;
        std::function<kvclient::Result()> send;
        std::function<std::string()> expected;  // the whole reply; empty: check by prefix
        const char* prefix;
    };
    const std::vector<Case> cases = {
        {"set ST", [&] { return client.set("ST", station); }, [] { return "OK:ST:077\r\n"; }, ""},
        {"communication test", [&] { return client.communicationTest(); },
         [&] { return kvsim::versionText(collector->state()); }, ""},
        {"data query", [&] { return client.dataQuery(); }, {}, "AD1:"},
        {"reset", [&] { return client.reset(); }, [] { return "OK:RESET\r\n"; }, ""},
    };
    for (const Case& c : cases) {
        const kvclient::Result result = c.send();
        ASSERT_TRUE(result.done()) << c.what << ": " << result.reason;
        if (c.expected) {
            EXPECT_EQ(result.reply, c.expected()) << c.what;
        } else {
            EXPECT_TRUE(result.reply.starts_with(c.prefix)) << c.what << ": " << result.reply;
            EXPECT_NE(result.reply.find("SUM1:"), std::string::npos) << c.what;
            EXPECT_TRUE(result.reply.ends_with("\r\n")) << c.what;
        }
    }
    EXPECT_EQ(collector->state(), kvsim::factoryDefaults()) << "the reset was not carried out";
    expectReadBackOf(client.readParameters(), *collector);
}

TEST(ClientRequests, DistinctValuesRoundTripThroughEverySetCommand) {
    auto collector = startCollector();
    Client client;
    openOn(client, *collector);
    for (const auto* values : {&kvtest::kValuesA, &kvtest::kValuesB}) {
        const kvproto::CollectorSettings settings = kvtest::settingsToSend(*values);
        for (const kvproto::SetCommand& command : kvproto::setCommands()) {
            const kvclient::Result set = client.set(command, settings);
            ASSERT_TRUE(set.done()) << command.word << ": " << set.reason;
            EXPECT_TRUE(set.reply.starts_with("OK:" + std::string(command.word) + ":"))
                << set.reply;
        }
        const auto held = kvtest::heldBy(collector->state());
        for (const kvtest::RoundTripValue& v : *values)
            EXPECT_EQ(held.at(v.name), v.held) << v.name;
        expectReadBackOf(client.readParameters(), *collector);
    }
}

TEST(ClientRequests, TheListingArrivesWholeDespiteHowTheLineDeliversIt) {
    struct Case {
        const char* what;
        CollectorOptions options;
    };
    CollectorOptions pieces;
    pieces.chunkSize = 140;
    pieces.chunkGap = Millis(150);
    CollectorOptions noisy;
    noisy.garbage = true;
    CollectorOptions late;
    late.answerDelay = Millis(400);
    for (const Case& c :
         {Case{"in pieces", pieces}, Case{"after noise", noisy}, Case{"late", late}}) {
        SCOPED_TRACE(c.what);
        auto collector = startCollector(c.options);
        Client client;
        openOn(client, *collector);
        expectReadBackOf(client.readParameters(Millis(2000)), *collector);
    }
}

TEST(ClientFailures, SilenceTimesOutAfterTheTimeOut) {
    CollectorOptions options;
    options.silent = true;
    auto collector = startCollector(options);
    Client client;
    openOn(client, *collector);
    const auto start = Clock::now();
    const kvclient::Result result = client.communicationTest(Millis(300));
    EXPECT_GE(Clock::now() - start, Millis(300));
    EXPECT_EQ(result.status, Status::TimedOut);
    EXPECT_EQ(result.reason, "no answer within 300 ms");
}

TEST(ClientFailures, HangUpDuringTheReplyEndsTheRequestAtOnce) {
    CollectorOptions options;
    options.chunkSize = 20;
    options.chunkGap = Millis(300);  // the listing takes several seconds
    options.dropAfter = Millis(1000);
    auto collector = startCollector(options);
    Client client;
    openOn(client, *collector);
    const auto start = Clock::now();
    const kvclient::ReadResult read = client.readParameters(Millis(20000));
    EXPECT_LT(Clock::now() - start, Millis(10000)) << "the request waited for its time-out";
    EXPECT_EQ(read.status, Status::NotSent);
    EXPECT_EQ(read.reason, "the line hung up");
    EXPECT_FALSE(read.reply.empty()) << "the pieces before the hang-up are kept";
    EXPECT_FALSE(client.isOpen());
    EXPECT_EQ(client.communicationTest().status, Status::NotSent);
}

// A line that answers every frame with one fixed text.
class ScriptedLine {
public:
    explicit ScriptedLine(std::string reply)
        : pty_(kvsim::PseudoTerminal::open(9600)), reply_(std::move(reply)) {
        thread_ = std::thread([this] { run(); });
    }
    ~ScriptedLine() {
        stop_ = true;
        thread_.join();
    }
    const std::string& path() const { return pty_.slavePath(); }

private:
    void run() {
        while (!stop_) {
            pollfd p{pty_.master(), POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            char buf[256];
            const ssize_t n = ::read(pty_.master(), buf, sizeof buf);
            if (n > 0 && std::string_view(buf, static_cast<std::size_t>(n)).ends_with('#')) {
                EXPECT_EQ(::write(pty_.master(), reply_.data(), reply_.size()),
                          static_cast<ssize_t>(reply_.size()));
            }
        }
    }
    kvsim::PseudoTerminal pty_;
    std::string reply_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

TEST(ClientFailures, AListingThatCannotBeReadIsNotUnderstood) {
    const std::string full = kvsim::parameterText(kvsim::factoryDefaults());
    std::string badIndex = full;
    badIndex.replace(badIndex.find("MDL:") + 4, 1, "x");
    const std::string truncated = full.substr(0, full.find("AXS3:"));
    struct Case {
        std::string reply;
        std::string reason;
    };
    for (const Case& c : {Case{badIndex, "'x' is not a valid integer value"},
                          Case{truncated,
                               "no values for AXS3:, AXS4:, DI01:, ARS485X:, "
                               "BRS485X:, MTM:, PUDL"},
                          Case{"ERR:FRAME\r\n",
                               "no values for TC1:, ZOM, MDL, MKT, AIN1:, "
                               "AIN2:, AIN3:, AIN4:, AXS1:, AXS2:, AXS3:, "
                               "AXS4:, DI01:, ARS485X:, BRS485X:, MTM:, PUDL"}}) {
        ScriptedLine line(c.reply);
        Client client;
        ASSERT_TRUE(client.open(line.path()).done());
        const kvclient::ReadResult read = client.readParameters(Millis(2000));
        EXPECT_EQ(read.status, Status::NotUnderstood) << c.reply;
        EXPECT_EQ(read.reason, c.reason);
        EXPECT_EQ(read.reply, c.reply);
    }
}

TEST(ClientFailures, NothingIsSentWithoutAPortOrAValidRequest) {
    auto collector = startCollector();
    Client client;
    EXPECT_EQ(client.communicationTest().status, Status::NotSent);
    const kvclient::Result bad = client.open("/nonexistent/ttyKV0");
    EXPECT_EQ(bad.status, Status::NotSent);
    EXPECT_EQ(bad.reason, "Error opening serial port");
    EXPECT_EQ(client.reset().reason, "the port is not open");

    openOn(client, *collector);
    const kvproto::CollectorSettings empty;
    EXPECT_EQ(client.set("NOSUCH", empty).status, Status::BadRequest);
    const kvclient::Result missing = client.set("AIN1", empty);
    EXPECT_EQ(missing.status, Status::BadRequest);
    EXPECT_NE(missing.reason.find("ad1.urv"), std::string::npos) << missing.reason;
    EXPECT_TRUE(client.communicationTest().done());
    EXPECT_EQ(collector->framesHandled(), 1u) << "a bad request reached the collector";
}

TEST(ClientFailures, ALateReplyIsNotTakenForTheNextOne) {
    CollectorOptions options;
    options.answerDelay = Millis(300);
    auto collector = startCollector(options);
    Client client;
    openOn(client, *collector);
    EXPECT_EQ(client.dataQuery(Millis(50)).status, Status::TimedOut);
    std::this_thread::sleep_for(Millis(1200));  // its reply comes in meanwhile
    const kvclient::Result test = client.communicationTest();
    ASSERT_TRUE(test.done()) << test.reason;
    EXPECT_EQ(test.reply, kvsim::versionText(collector->state()));
}

TEST(ClientParallel, ClientsOnTheirOwnThreadsWorkAtOnce) {
    constexpr int kCollectors = 3;
    std::vector<std::unique_ptr<Collector>> collectors;
    for (int i = 0; i < kCollectors; ++i) collectors.push_back(startCollector());
    std::vector<std::string> failures(kCollectors);
    std::vector<std::thread> threads;
    for (int i = 0; i < kCollectors; ++i) {
        threads.emplace_back([&, i] {
            Client client;
            if (!client.open(collectors[i]->slavePath()).done()) {
                failures[i] = "open";
                return;
            }
            kvproto::CollectorSettings s;
            s.set("rs485.address", std::to_string(100 + i));
            for (int round = 0; round < 3; ++round) {
                const kvclient::ReadResult read = client.readParameters();
                const std::string expected = round == 0 ? "001" : std::to_string(100 + i);
                if (!read.done() || read.settings.get("rs485.address") != expected)
                    failures[i] += "read " + std::to_string(round) + ": " + read.reason + " ";
                if (!client.set("ST", s).done()) failures[i] += "set " + std::to_string(round);
            }
        });
    }
    for (auto& t : threads) t.join();
    for (int i = 0; i < kCollectors; ++i) {
        EXPECT_EQ(failures[i], "") << "collector " << i;
        EXPECT_EQ(collectors[i]->state().station, 100 + i);
    }
}

}  // namespace
