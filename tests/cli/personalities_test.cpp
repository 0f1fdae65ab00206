// kv480t against collectors that answer in other ways than the simulator's own: set frames
// acknowledged, echoed first, answered in other words or not at all, each behind an echoing
// RS-485 converter or not. Whatever the answer, set, apply and commission write every value
// and report done exactly when the read-back holds them; a collector that says yes and keeps
// its old value is a difference, never done.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "CollectorValues.h"
#include "FolderSnapshot.h"
#include "Kv480tProcess.h"
#include "profile/Profile.h"
#include "protocol/ReadBack.h"
#include "sim/Collector.h"

namespace {

namespace fs = std::filesystem;
using kvsim::SetAnswer;
using kvtest::describe;
using kvtest::kv480t;

struct Personality {
    const char* name;
    SetAnswer answer;
    bool echo;
    bool plainListing = false;  // the listing without its counter-base lines
};

class Personalities : public ::testing::TestWithParam<Personality> {
protected:
    std::unique_ptr<kvsim::Collector> start(std::set<std::string, std::less<>> kept = {}) {
        kvsim::CollectorOptions options;
        options.setAnswer = GetParam().answer;
        options.echo = GetParam().echo;
        options.plainListing = GetParam().plainListing;
        options.keptWords = std::move(kept);
        auto collector = std::make_unique<kvsim::Collector>(options);
        collector->start();
        return collector;
    }
    std::string profile(const char* name, bool setB) {
        kvprofile::Profile p;
        p.settings = kvproto::filtered(kvtest::settingsToSend(setB), {});
        const std::string file = (dir / name).string();
        EXPECT_TRUE(kvprofile::writeProfileFile(file, p, nullptr));
        return file;
    }
    // Every configuration value of set A or B is held by the collector.
    static void expectHolds(const kvsim::Collector& collector, bool setB, const char* step) {
        const kvproto::CollectorSettings held =
            kvproto::readBackSettings(kvsim::parameterText(collector.state()), nullptr);
        for (const kvtest::CollectorValue& v : kvtest::kCollectorValues) {
            if (v.parameter().kind == kvproto::ParameterKind::Configuration) {
                EXPECT_EQ(held.get(v.parameter()), v.held(setB)) << step << ": " << v.name;
            }
        }
    }

    kvtest::TestFolder folder{"kv480t-personality"};
    const fs::path& dir = folder.path();
};

TEST_P(Personalities, SetApplyAndCommissionAreDoneWhenTheReadBackHoldsTheValues) {
    const auto collector = start();
    const std::string port = collector->slavePath();

    kvtest::ProcessRun r = kv480t({"set", "--port", port, "rs485.address=41", "--json"});
    ASSERT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(collector->state().text("rs485.address"), "041");
    const nlohmann::json command = nlohmann::json::parse(r.out).at("commands").at(0);
    EXPECT_EQ(command.at("command"), "ST");
    if (GetParam().answer == SetAnswer::None) {
        EXPECT_EQ(command.at("answer"), nullptr) << command;
    } else {
        // The collector's answer without the first echo of the frame (a converter's, or the
        // collector's own when no converter echoes).
        const std::string answer = command.at("answer");
        EXPECT_TRUE(answer.ends_with("\r\n")) << answer;
        EXPECT_EQ(answer.starts_with("KORVEL#ST:041#"),
                  GetParam().answer == SetAnswer::EchoFrame && GetParam().echo)
            << answer;
    }

    r = kv480t({"apply", "--port", port, profile("b.json", true)});
    EXPECT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(r.out, port + " ok\n");
    expectHolds(*collector, true, "apply");

    std::ofstream(dir / "site.csv")
        << "label,port,station,profile\nPump," << port << ",41,a.json\n";
    profile("a.json", false);
    r = kv480t({"commission", (dir / "site.csv").string(), "--report", (dir / "report").string()});
    EXPECT_EQ(r.exitCode, 0) << describe(r);
    EXPECT_EQ(r.out, "Pump " + port + " ok\n");
    expectHolds(*collector, false, "commission");
}

TEST_P(Personalities, ACollectorThatSaysYesAndKeepsItsValueDiffers) {
    const auto collector = start({"AIN1"});
    const std::string port = collector->slavePath();
    kvtest::ProcessRun r = kv480t({"apply", "--port", port, profile("b.json", true)});
    EXPECT_EQ(r.exitCode, 1) << describe(r);
    EXPECT_NE(r.out.find(port + " differs: 3 parameters\n"), std::string::npos) << r.out;
    const std::size_t row = r.out.find("\n  ad1.urv ");
    ASSERT_NE(row, std::string::npos) << r.out;
    const std::string line = r.out.substr(row + 1, r.out.find('\n', row + 1) - row - 1);
    EXPECT_NE(line.find("000100"), std::string::npos) << line;  // on the collector
    EXPECT_NE(line.find("7.25"), std::string::npos) << line;    // in the profile
    EXPECT_EQ(collector->state().text("ad2.urv"), "654321") << "the other commands were written";

    r = kv480t({"set", "--port", port, "ad1.start=5"});
    EXPECT_EQ(r.exitCode, 1) << describe(r);
    EXPECT_NE(r.out.find("ad1.start"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  AIN1 "), std::string::npos) << "the answers are listed: " << r.out;
}

INSTANTIATE_TEST_SUITE_P(
    Collectors, Personalities,
    ::testing::Values(Personality{"acknowledges", SetAnswer::Ok, false},
                      Personality{"echoes_the_frame_first", SetAnswer::EchoFrame, false},
                      Personality{"other_words_plain_listing", SetAnswer::Other, false, true},
                      Personality{"no_answer", SetAnswer::None, false},
                      Personality{"acknowledges_behind_an_echo", SetAnswer::Ok, true},
                      Personality{"echoes_the_frame_behind_an_echo", SetAnswer::EchoFrame, true},
                      Personality{"other_words_behind_an_echo", SetAnswer::Other, true},
                      Personality{"no_answer_behind_an_echo_plain_listing", SetAnswer::None, true,
                                  true}),
    [](const ::testing::TestParamInfo<Personality>& info) { return info.param.name; });

// Behind an echoing converter every request comes out as it does without one.
TEST(EchoingConverter, ReadTestQueryFindAndResetAsWithout) {
    kvsim::CollectorOptions echo;
    echo.echo = true;
    kvsim::Collector plain, echoed(echo);
    plain.start();
    echoed.start();
    const struct {
        std::vector<std::string> args;
        bool sameOutput;  // false: live readings differ from moment to moment
    } requests[] = {
        {{"read"}, true},   {{"read", "--json"}, true}, {{"test"}, true},
        {{"query"}, false}, {{"reset", "--yes"}, true},
    };
    for (const auto& request : requests) {
        std::vector<std::string> a = request.args, b = request.args;
        a.insert(a.begin() + 1, {"--port", plain.slavePath()});
        b.insert(b.begin() + 1, {"--port", echoed.slavePath()});
        const kvtest::ProcessRun without = kv480t(a), with = kv480t(b);
        EXPECT_EQ(with.exitCode, 0) << describe(with);
        EXPECT_EQ(with.exitCode, without.exitCode) << request.args[0];
        EXPECT_EQ(with.out.find("PPPPPP#"), std::string::npos) << with.out;
        if (request.sameOutput) {
            EXPECT_EQ(with.out, without.out) << request.args[0];
        }
    }
    const kvtest::ProcessRun found =
        kv480t({"find", "--named-only", "--port", echoed.slavePath(), "--json"});
    EXPECT_EQ(found.exitCode, 0) << describe(found);
    EXPECT_NE(found.out.find("\"station\":\"001\""), std::string::npos) << found.out;
}

}  // namespace
