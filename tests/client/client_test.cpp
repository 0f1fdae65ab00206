// kvclient::Client on pseudo-terminals against the simulated collector (and, for replies the
// collector never gives, against a line that answers with a fixed text).
#include "client/Client.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "CollectorValues.h"
#include "FakeSysfs.h"
#include "PtyPair.h"
#include "client/Operations.h"
#include "ops/Line.h"
#include "protocol/ReadBack.h"
#include "sim/Collector.h"

namespace {

using kvclient::Client;
using kvclient::Millis;
using kvops::ErrorCode;
using kvops::Status;
using kvsim::Collector;
using kvsim::CollectorOptions;
using Clock = std::chrono::steady_clock;

std::unique_ptr<Collector> startCollector(CollectorOptions options = {}) {
    auto collector = std::make_unique<Collector>(options);
    collector->start();
    return collector;
}

void openOn(Client& client, const Collector& collector) {
    const kvops::Error error = client.open(collector.slavePath());
    ASSERT_FALSE(error) << error.text;
}

const kvproto::SetCommand& command(std::string_view word) {
    return *kvproto::findSetCommandByWord(word);
}

// The read-back holds all 27 values, each as the collector's own listing of its state says,
// and the reply is that listing to its end (the counter bases after the read-back rows too,
// unless `rowsOnly`: after a pause they may come once the listing is over).
void expectWholeListing(const kvclient::ReadResult& read, const Collector& collector,
                        bool rowsOnly = false) {
    ASSERT_FALSE(read.error()) << kvops::describe(read.error());
    if (!rowsOnly) {
        EXPECT_TRUE(read.outcome.reply.ends_with(kvsim::parameterText(collector.state())))
            << read.outcome.reply;
    }
    // The read-back values, and the four counter bases under their own tags.
    if (rowsOnly)
        EXPECT_GE(read.listing.settings.size(), 27u);
    else
        EXPECT_EQ(read.listing.settings.size(), 31u);
    EXPECT_EQ(kvproto::filtered(read.listing.settings, {true, false}),
              kvproto::readBackSettings(kvsim::parameterText(collector.state()), nullptr));
}

TEST(ClientRequests, EachRequestGetsItsWholeReply) {
    auto collector = startCollector();
    Client client;
    openOn(client, *collector);
    kvproto::CollectorSettings station;
    ASSERT_FALSE(station.set("rs485.address", "77"));
    EXPECT_EQ(client.set(command("ST"), station).reply, "OK:ST:077\r\n");
    EXPECT_EQ(client.request(kvops::kCommunicationTest).reply,
              kvsim::versionText(collector->state()));
    const std::string status = client.request(kvops::kDataQuery).reply;
    EXPECT_TRUE(status.starts_with("AD1:") && status.ends_with("\r\n")) << status;
    EXPECT_NE(status.find("\r\nSUM1:"), std::string::npos) << status;
    EXPECT_EQ(client.request(kvops::kReset).reply, "OK:RESET\r\n");
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
            const kvops::Outcome set = client.set(command, settings);
            EXPECT_TRUE(set.reply.starts_with("OK:" + std::string(command.word) + ":"))
                << command.word << ": " << set.error.text << set.reply;
        }
        const kvclient::ReadResult read = client.readParameters();
        expectWholeListing(read, *collector);
        const std::string listing = kvsim::parameterText(collector->state());
        for (const kvtest::CollectorValue& v : kvtest::kCollectorValues) {
            const kvproto::Parameter& p = v.parameter();
            EXPECT_EQ(read.listing.settings.get(p), v.held(setB)) << v.name;
            if (!p.readBack()) {  // counter bases: under their own tags in the listing
                EXPECT_NE(listing.find(std::string(p.tag) + v.held(setB)), std::string::npos)
                    << v.name;
            }
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
        // In pieces 150 ms apart, the rows may end the listing: the counter bases' piece is
        // not waited for.
        expectWholeListing(client.readParameters(), *collector, options.chunkSize > 0);
    }
}

TEST(ClientFailures, SilenceTimesOutAfterTheTimeOut) {
    CollectorOptions options;
    options.silent = true;
    auto collector = startCollector(options);
    Client client;
    openOn(client, *collector);
    const auto start = Clock::now();
    const kvops::Outcome result = client.request(kvops::kCommunicationTest, Millis(300));
    EXPECT_GE(Clock::now() - start, Millis(300));
    EXPECT_EQ(result.status, Status::TimedOut);
    EXPECT_EQ(result.error.code, ErrorCode::NoAnswer);
    EXPECT_EQ(kvops::describe(result.error), "no answer within 300 ms");
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
    EXPECT_EQ(read.outcome.status, Status::HungUp);
    EXPECT_EQ(kvops::describe(read.error()), "the line hung up");
    EXPECT_FALSE(read.outcome.reply.empty()) << "the pieces before the hang-up are kept";
    EXPECT_FALSE(client.isOpen());
    const kvops::Outcome after = client.request(kvops::kCommunicationTest);
    EXPECT_EQ(after.status, Status::NotSent);
    EXPECT_EQ(after.error.code, ErrorCode::HungUp);
}

// A line that answers every frame with one fixed text.
class ScriptedLine {
public:
    explicit ScriptedLine(std::string reply) : reply_(std::move(reply)) {}
    ~ScriptedLine() {
        stop_ = true;
        thread_.join();
    }
    const std::string& path() const { return pty_.path(); }

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
    kvtest::PtyPair pty_;
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
        ASSERT_FALSE(client.open(line.path()));
        const kvclient::ReadResult read = client.readParameters();
        EXPECT_EQ(read.outcome.status, Status::Answered) << reply;
        EXPECT_EQ(read.error().code, ErrorCode::NotUnderstood) << reply;
        EXPECT_TRUE(read.error().text.starts_with(reason)) << read.error().text;
        EXPECT_EQ(read.outcome.reply, reply);
    }
}

// verify with the counter bases asked for, against a collector whose listing leaves one out:
// the one left out differs ("not reported"), the collector is not ok.
TEST(ClientFailures, ACounterBaseTheListingLeavesOutDiffers) {
    const std::string full = kvsim::parameterText(kvsim::factoryDefaults());
    const kvproto::CollectorSettings expected = kvops::readListing(full).settings;
    ASSERT_TRUE(expected.get("pin1.base"));
    std::string withoutLp1 = full;
    const std::size_t at = withoutLp1.find("LP1:");
    withoutLp1.erase(at, withoutLp1.find("\r\n", at) + 2 - at);
    ScriptedLine line(withoutLp1);
    Client client;
    ASSERT_FALSE(client.open(line.path()));
    const kvclient::CollectorResult result =
        kvclient::verifySettings(client, expected, Millis(2000));
    EXPECT_FALSE(result.error) << result.error.text;
    ASSERT_EQ(result.differences.size(), 1u);
    EXPECT_EQ(result.differences[0].parameter->name, "pin1.base");
    EXPECT_FALSE(result.differences[0].actual);
}

TEST(ClientFailures, NothingIsSentWithoutAPortOrAValidRequest) {
    auto collector = startCollector();
    Client client;
    EXPECT_EQ(client.request(kvops::kCommunicationTest).status, Status::NotSent);
    const kvops::Error bad = client.open("/nonexistent/ttyKV0");
    EXPECT_EQ(bad.code, ErrorCode::PortNotFound);
    EXPECT_EQ(kvops::describe(bad, "/nonexistent/ttyKV0"),
              "Error opening serial port (/nonexistent/ttyKV0): No such file or directory");
    EXPECT_EQ(kvops::describe(client.request(kvops::kReset).error), "the port is not open");

    openOn(client, *collector);
    EXPECT_EQ(client.request("", kvops::Completeness::Line).error.code, ErrorCode::BadRequest);
    const kvops::Outcome missing = client.set(command("AIN1"), {});
    EXPECT_EQ(missing.status, Status::NotSent);
    EXPECT_EQ(missing.error.code, ErrorCode::BadRequest);
    EXPECT_TRUE(missing.error.text.starts_with("ad1.urv has no value")) << missing.error.text;
    EXPECT_TRUE(client.request(kvops::kCommunicationTest).answered());
    EXPECT_EQ(collector->framesHandled(), 1u) << "a bad request reached the collector";
}

TEST(ClientFailures, ALateReplyIsNotTakenForTheNextOne) {
    CollectorOptions options;
    options.answerDelay = Millis(300);
    auto collector = startCollector(options);
    Client client;
    openOn(client, *collector);
    EXPECT_EQ(client.request(kvops::kDataQuery, Millis(50)).status, Status::TimedOut);
    std::this_thread::sleep_for(Millis(1200));  // its reply comes in meanwhile
    EXPECT_EQ(client.request(kvops::kCommunicationTest).reply,
              kvsim::versionText(collector->state()));
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
                if (read.error() || read.listing.settings.get("rs485.address") != expected)
                    failures[i] += "read " + std::to_string(round) + ": " + read.error().text + " ";
                if (!client.set(command("ST"), s).answered())
                    failures[i] += "set " + std::to_string(round);
            }
        });
    }
    for (int i = 0; i < kCollectors; ++i) {
        threads[i].join();
        EXPECT_EQ(failures[i], "") << "collector " << i;
        EXPECT_EQ(collectors[i]->state().number("rs485.address"), 100 + i);
    }
}

// A port named by its adapter's USB serial number: the Line opens the device that adapter is at
// (a link in the sysfs tree to a pseudo-terminal), opened at once or on a thread of its own,
// and keeps the name given; without that one adapter the open fails as a device that is not
// there does, saying why.
TEST(UsbSerialPort, OpensTheAdaptersDeviceEitherWayOrSaysWhyNot) {
    kvtest::FakeSysfs sysfs;
    kvtest::PtyPair device;
    sysfs.usbSerialPort("ttyUSB0", "1-1", "FT123ABC", device.path());
    sysfs.usbSerialPort("ttyUSB1", "1-2", "FTDUAL");
    sysfs.tty("ttyUSB2", "pci0/usb1/1-2/1-2:1.1/ttyUSB2");
    kvops::Line line;
    line.setPortLayout(sysfs.layout());
    const auto startOpen = [&line](const std::string& port) {
        std::promise<void> ready;
        line.startOpen(port, [&ready] { ready.set_value(); });
        EXPECT_EQ(ready.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
        const std::optional<kvops::Error> outcome = line.finishOpen();
        return outcome.value_or(kvops::Error{ErrorCode::BadRequest, 0, "no outcome"});
    };

    ASSERT_FALSE(line.open("usb-serial:ft123abc"));
    EXPECT_EQ(line.port(), "usb-serial:ft123abc");
    ASSERT_FALSE(line.write("X1"));
    EXPECT_EQ(device.readText(2), "X1");
    line.close();
    const kvops::Error opened = startOpen("usb-serial:FT123ABC");
    ASSERT_FALSE(opened) << kvops::describe(opened);
    EXPECT_EQ(line.port(), "usb-serial:FT123ABC");
    ASSERT_FALSE(line.write("X2"));
    EXPECT_EQ(device.readText(2), "X2");
    line.close();

    struct Case {
        std::string port;
        ErrorCode code;
        std::string sentence;  // kvops::describe with the port
    };
    const std::vector<Case> cases = {
        {"usb-serial:NOPE", ErrorCode::PortNotFound,
         "Error opening serial port (usb-serial:NOPE): no USB adapter with serial number NOPE "
         "is plugged in"},
        {"usb-serial:FTDUAL", ErrorCode::PortOpenFailed,
         "Error opening serial port (usb-serial:FTDUAL): 2 ports have the USB serial number "
         "FTDUAL (" +
             sysfs.dev("ttyUSB1") + ", " + sysfs.dev("ttyUSB2") +
             "): name the one meant by its path"},
    };
    for (const Case& c : cases) {
        for (const bool atOnce : {true, false}) {
            const kvops::Error error = atOnce ? line.open(c.port) : startOpen(c.port);
            EXPECT_EQ(error.code, c.code) << c.port << (atOnce ? " at once" : " on a thread");
            EXPECT_EQ(kvops::describe(error, line.port()), c.sentence);
            EXPECT_FALSE(line.isOpen());
        }
    }
}

}  // namespace
