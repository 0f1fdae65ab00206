// kvclient::Client on pseudo-terminals against the simulated collector (and, for replies the
// collector never gives, against a line that answers with a fixed text).
#include "client/Client.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "CollectorValues.h"
#include "protocol/ReadBack.h"
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

// The read-back holds all 27 values, each as the collector's own listing of its state says,
// and the reply is that listing to its end (the counter bases after the read-back rows too).
void expectWholeListing(const kvclient::ReadResult& read, const Collector& collector) {
    ASSERT_TRUE(read.done()) << kvclient::statusText(read.status) << ": " << read.reason;
    EXPECT_TRUE(read.reply.ends_with(kvsim::parameterText(collector.state()))) << read.reply;
    EXPECT_EQ(read.settings.size(), 27u);
    EXPECT_EQ(read.settings,
              kvproto::readBackSettings(kvsim::parameterText(collector.state()), nullptr));
}

TEST(ClientRequests, EachRequestGetsItsWholeReply) {
    auto collector = startCollector();
    Client client;
    openOn(client, *collector);
    kvproto::CollectorSettings station;
    ASSERT_FALSE(station.set("rs485.address", "77"));
    EXPECT_EQ(client.set("ST", station).reply, "OK:ST:077\r\n");
    EXPECT_EQ(client.communicationTest().reply, kvsim::versionText(collector->state()));
    const std::string status = client.dataQuery().reply;
    EXPECT_TRUE(status.starts_with("AD1:") && status.ends_with("\r\n")) << status;
    EXPECT_NE(status.find("\r\nSUM1:"), std::string::npos) << status;
    EXPECT_EQ(client.reset().reply, "OK:RESET\r\n");
    EXPECT_EQ(collector->state(), kvsim::factoryDefaults()) << "the reset was not carried out";
    expectWholeListing(client.readParameters(), *collector);
}

TEST(ClientRequests, DistinctValuesRoundTripThroughEverySetCommand) {
    auto collector = startCollector();
    Client client;
    openOn(client, *collector);
    for (const bool setB : {false, true}) {
        const kvproto::CollectorSettings settings = kvtest::settingsToSend(setB);
        for (const kvproto::SetCommand& command : kvproto::setCommands()) {
            const kvclient::Result set = client.set(command, settings);
            EXPECT_TRUE(set.reply.starts_with("OK:" + std::string(command.word) + ":"))
                << command.word << ": " << set.reason << set.reply;
        }
        const kvclient::ReadResult read = client.readParameters();
        expectWholeListing(read, *collector);
        const std::string listing = kvsim::parameterText(collector->state());
        for (const kvtest::RoundTripValue& v : kvtest::kRoundTripValues) {
            const kvproto::Parameter& p = *kvproto::findParameter(v.name);
            const std::string held = setB ? v.heldB : v.heldA;
            if (p.readBack())
                EXPECT_EQ(read.settings.get(p), held) << v.name;
            else  // counter bases: in the listing, not read back
                EXPECT_NE(listing.find(std::string(p.tag) + held), std::string::npos) << v.name;
        }
    }
}

TEST(ClientRequests, TheListingArrivesWholeHoweverTheLineDeliversIt) {
    CollectorOptions pieces, noisy, late;
    pieces.chunkSize = 140;
    pieces.chunkGap = Millis(150);
    noisy.garbage = true;
    late.answerDelay = Millis(400);
    for (const CollectorOptions& options : {pieces, noisy, late}) {
        auto collector = startCollector(options);
        Client client;
        openOn(client, *collector);
        expectWholeListing(client.readParameters(), *collector);
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
    options.chunkGap = Millis(300);  // the listing would take about 4 s
    options.dropAfter = Millis(1000);
    auto collector = startCollector(options);
    Client client;
    openOn(client, *collector);
    const auto start = Clock::now();
    const kvclient::ReadResult read = client.readParameters(Millis(30000));
    EXPECT_LT(Clock::now() - start, Millis(15000)) << "the request waited for its time-out";
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
        : pty_(kvsim::PseudoTerminal::open(9600)), reply_(std::move(reply)) {}
    ~ScriptedLine() {
        stop_ = true;
        thread_.join();
    }
    const std::string& path() const { return pty_.slavePath(); }

private:
    void run() {
        while (!stop_) {
            pollfd p{pty_.master(), POLLIN, 0};
            char buf[256];
            if (::poll(&p, 1, 50) > 0 && ::read(pty_.master(), buf, sizeof buf) > 0) {
                EXPECT_GT(::write(pty_.master(), reply_.data(), reply_.size()), 0);
            }
        }
    }
    kvsim::PseudoTerminal pty_;
    std::string reply_;
    std::atomic<bool> stop_{false};
    std::thread thread_{[this] { run(); }};
};

TEST(ClientFailures, AListingThatCannotBeReadIsNotUnderstood) {
    const std::string full = kvsim::parameterText(kvsim::factoryDefaults());
    std::string badIndex = full;
    badIndex.replace(badIndex.find("MDL:") + 4, 1, "x");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {badIndex, "'x' is not a valid integer value"},
        {full.substr(0, full.find("MTM:") + 5), "no values for MTM:, PUDL"},
        {"ERR:FRAME\r\n", "no values for TC1:, ZOM, MDL, MKT, AIN1:,"},
    };
    for (const auto& [reply, reason] : cases) {
        ScriptedLine line(reply);
        Client client;
        ASSERT_TRUE(client.open(line.path()).done());
        const kvclient::ReadResult read = client.readParameters();
        EXPECT_EQ(read.status, Status::NotUnderstood) << reply;
        EXPECT_TRUE(read.reason.starts_with(reason)) << read.reason;
        EXPECT_EQ(read.reply, reply);
    }
}

TEST(ClientFailures, NothingIsSentWithoutAPortOrAValidRequest) {
    auto collector = startCollector();
    Client client;
    EXPECT_EQ(client.communicationTest().status, Status::NotSent);
    const kvclient::Result bad = client.open("/nonexistent/ttyKV0");
    EXPECT_EQ(bad.status, Status::NotSent);
    EXPECT_EQ(bad.reason, "Error opening serial port (No such file or directory)");
    EXPECT_EQ(client.reset().reason, "the port is not open");

    openOn(client, *collector);
    EXPECT_EQ(client.set("NOSUCH", {}).status, Status::BadRequest);
    const kvclient::Result missing = client.set("AIN1", {});
    EXPECT_EQ(missing.status, Status::BadRequest);
    EXPECT_TRUE(missing.reason.starts_with("ad1.urv has no value")) << missing.reason;
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
    EXPECT_EQ(client.communicationTest().reply, kvsim::versionText(collector->state()));
}

TEST(ClientParallel, ClientsOnTheirOwnThreadsWorkAtOnce) {
    constexpr int kCollectors = 3;
    std::vector<std::unique_ptr<Collector>> collectors;
    std::vector<std::string> failures(kCollectors);
    std::vector<std::thread> threads;
    for (int i = 0; i < kCollectors; ++i) collectors.push_back(startCollector());
    for (int i = 0; i < kCollectors; ++i) {
        threads.emplace_back([&, i] {
            Client client;
            client.open(collectors[i]->slavePath());
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
    for (int i = 0; i < kCollectors; ++i) {
        threads[i].join();
        EXPECT_EQ(failures[i], "") << "collector " << i;
        EXPECT_EQ(collectors[i]->state().number("rs485.address"), 100 + i);
    }
}

}  // namespace
