// kv480t with network ports: read through ser2net as on the line itself, and find over
// simulated collectors that answer, one that is silent and one that another program holds.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "Kv480tProcess.h"
#include "Ser2Net.h"
#include "client/Client.h"
#include "client/Operations.h"
#include "sim/Collector.h"

namespace {

using kvtest::describe;
using kvtest::kv480t;
using kvtest::ProcessRun;

TEST(Kv480tNetwork, ReadThroughEitherAccepterPrintsWhatTheLinePrints) {
    kvsim::Collector collector;
    collector.start();
    kvtest::Ser2Net gateway(collector.deviceSlavePath());
    const ProcessRun direct = kv480t({"read", "--port", collector.slavePath()});
    ASSERT_EQ(direct.exitCode, 0) << describe(direct);
    for (const std::string& url : {gateway.rfc2217Url(), gateway.tcpUrl()}) {
        const ProcessRun r = kv480t({"read", "--port", url});
        EXPECT_EQ(r.exitCode, 0) << url << "\n" << describe(r) << gateway.log();
        EXPECT_EQ(r.out, direct.out) << url;
        EXPECT_EQ(r.err, "") << url;
        // ser2net keeps reading the line a while after its client has gone; restarted, it
        // has let go of it.
        gateway.stop();
        gateway.start();
    }
}

TEST(Kv480tFind, ListsTheCollectorsAndMarksTheSilentAndBusyPorts) {
    std::vector<std::unique_ptr<kvsim::Collector>> collectors;
    std::map<std::string, std::string> expected;  // port -> state or station
    for (const char* station : {"7", "42", "200"}) {
        collectors.push_back(std::make_unique<kvsim::Collector>());
        collectors.back()->start();
        kvclient::Client client;
        ASSERT_FALSE(client.open(collectors.back()->slavePath()));
        kvproto::CollectorSettings address;
        ASSERT_FALSE(address.set("rs485.address", station));
        const kvclient::CollectorResult set =
            kvclient::setValues(client, address, kvclient::Millis(2000));
        ASSERT_FALSE(set.error) << kvops::describe(set.error) << " at " << set.step;
        expected[collectors.back()->slavePath()] =
            "collector " + std::string(3 - std::string(station).size(), '0') + station;
    }
    kvsim::CollectorOptions silent;
    silent.silent = true;
    collectors.push_back(std::make_unique<kvsim::Collector>(silent));
    collectors.back()->start();
    expected[collectors.back()->slavePath()] = "no answer";
    collectors.push_back(std::make_unique<kvsim::Collector>());
    collectors.back()->start();
    kvclient::Client holder;  // another program holding the port
    ASSERT_FALSE(holder.open(collectors.back()->slavePath()));
    expected[collectors.back()->slavePath()] = "busy";

    std::vector<std::string> args = {"find", "--named-only", "--json", "--timeout-ms", "500"};
    for (const auto& c : collectors) {
        args.push_back("--port");
        args.push_back(c->slavePath());
    }
    ProcessRun r = kv480t(args);
    EXPECT_EQ(r.exitCode, 0) << describe(r);
    std::map<std::string, std::string> found;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        const auto item = nlohmann::json::parse(line);
        const std::string state = item.at("state");
        found[item.at("port")] =
            state == "collector" ? state + " " + item.at("station").get<std::string>() : state;
    }
    EXPECT_EQ(found, expected) << r.out;
    const kvops::Outcome stillHeld = holder.request(kvops::kCommunicationTest);
    EXPECT_TRUE(stillHeld.answered()) << "the busy port was taken from its holder";

    // In words; no collector at all: exit code 4.
    r = kv480t({"find", "--named-only", "--timeout-ms", "300", "--port", collectors[3]->slavePath(),
                "--port", collectors[4]->slavePath()});
    EXPECT_EQ(r.exitCode, 4) << describe(r);
    EXPECT_EQ(r.out, collectors[3]->slavePath() + "\tno answer\n" + collectors[4]->slavePath() +
                         "\tbusy: Error opening serial port: " + std::strerror(EBUSY) + "\n");
}

}  // namespace
