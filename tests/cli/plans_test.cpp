// Writing plans with kv480t: the names a plan's columns take (kv480t names, against the
// parameter table and what kv480t read shows), the plan skeleton kv480t find --plan writes from
// simulated collectors (read back by the plan parser), and text printed as UTF-8 where the
// locale says the terminal takes it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CollectorValues.h"
#include "FolderSnapshot.h"
#include "Kv480tProcess.h"
#include "PtyPair.h"
#include "SimulatedCollector.h"
#include "profile/Profile.h"
#include "protocol/Parameters.h"
#include "site/Plan.h"

namespace {

namespace fs = std::filesystem;
using kvtest::describe;
using kvtest::kv480t;
using kvtest::ProcessRun;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

TEST(Kv480tNames, EveryTableNameOnceWithItsFormAndWhatReadShows) {
    // What kv480t read shows of a collector that holds every value.
    auto collector = kvtest::collectorHolding(kvtest::settingsToSend(false));
    const ProcessRun read = kv480t({"read", "--port", collector->slavePath()});
    ASSERT_EQ(read.exitCode, 0) << describe(read);
    std::set<std::string> shown;
    for (const std::string& line : lines(read.out)) shown.insert(line.substr(0, line.find(" = ")));

    const ProcessRun json = kv480t({"names", "--json"});
    ASSERT_EQ(json.exitCode, 0) << describe(json);
    const nlohmann::json names = nlohmann::json::parse(json.out);
    const ProcessRun text = kv480t({"names"});
    ASSERT_EQ(text.exitCode, 0) << describe(text);
    const std::vector<std::string> rows = lines(text.out);

    const auto table = kvproto::parameters();
    ASSERT_EQ(names.size(), table.size());
    ASSERT_EQ(rows.size(), table.size() + 1) << text.out;  // a header, then one line per name
    const std::size_t formColumn = rows[0].find("form");
    for (std::size_t i = 0; i < table.size(); ++i) {
        const kvproto::Parameter& p = table[i];
        SCOPED_TRACE(p.name);
        const nlohmann::json& entry = names[i];
        EXPECT_EQ(entry.at("name"), p.name);
        EXPECT_EQ(entry.at("shown_by_read"), shown.count(std::string(p.name)) == 1);
        EXPECT_EQ(entry.at("command"), p.command);
        EXPECT_TRUE(entry.at("form").get<std::string>().starts_with(kvproto::ruleText(p)));
        // Aligned: the form starts in the header's form column on every line.
        const std::string& row = rows[i + 1];
        EXPECT_TRUE(row.starts_with(std::string(p.name) + " ")) << row;
        EXPECT_EQ(row.substr(formColumn), entry.at("form").get<std::string>()) << row;
        EXPECT_NE(row.find(shown.count(std::string(p.name)) ? " yes " : " no "), std::string::npos)
            << row;
    }

    // The parts of a number, a signed decimal, digits and a list with items named by number.
    const auto byName = [&](const std::string& name) {
        for (const nlohmann::json& entry : names)
            if (entry.at("name") == name) return entry;
        return nlohmann::json();
    };
    const struct {
        const char* name;
        nlohmann::json parts;  // every key the entry has but name, shown_by_read (and form)
    } cases[] = {
        {"rs485.address",
         {{"form",
           "a whole number from 1 to 247, 1 to 6 digits; unique per collector on a bus (a plan's "
           "station column)"},
          {"kind", "number"},
          {"width", 6},
          {"signed", false},
          {"min", 1},
          {"max", 247},
          {"role", "station"},
          {"command", "ST"}}},
        {"ad1.urv",
         {{"kind", "decimal"},
          {"width", 6},
          {"signed", true},
          {"role", "configuration"},
          {"command", "AIN1"}}},
        {"pin1.base",
         {{"form", "digits only, 1 to 8 characters; writing it restarts its count"},
          {"kind", "digits"},
          {"width", 8},
          {"signed", false},
          {"min", 0},
          {"max", 99999999},
          {"role", "counter base"},
          {"command", "LP1"}}},
        {"din2.pulse_equivalent",
         {{"kind", "list"},
          {"signed", false},
          {"min", 0},
          {"max", 6},
          {"items",
           {"100 pulses per ton of water", "10 pulses per ton of water",
            "1 pulses per ton of water", "1 pulse for 10 tons of water",
            "1 pulse for 100 tons of water", nullptr, nullptr}},
          {"role", "configuration"},
          {"command", "PUDL"}}},
    };
    for (const auto& c : cases) {
        nlohmann::json entry = byName(c.name);
        for (const char* key : {"name", "form", "shown_by_read"})
            if (!c.parts.contains(key)) entry.erase(key);
        EXPECT_EQ(entry, c.parts) << c.name;
    }
}

class FindPlan : public ::testing::Test {
protected:
    kvtest::TestFolder folder{"kv480t-find-plan"};
    fs::path plan = folder.path() / "site.csv";
};

// Two collectors that answer and a silent port: the skeleton names the two with the station
// address each answered with; filled in, the plan parser takes it.
TEST_F(FindPlan, TheCollectorsThatAnsweredMakeAPlanToFillIn) {
    kvproto::CollectorSettings at5, at17;
    ASSERT_FALSE(at5.set("rs485.address", "5"));
    ASSERT_FALSE(at17.set("rs485.address", "17"));
    kvsim::CollectorOptions quiet;
    quiet.silent = true;
    auto first = kvtest::collectorHolding(at5);
    auto silent = kvtest::collectorHolding({}, quiet);
    auto second = kvtest::collectorHolding(at17);
    const ProcessRun run = kv480t({"find", "--named-only", "--timeout-ms", "300", "--port",
                                   first->slavePath(), "--port", silent->slavePath(), "--port",
                                   second->slavePath(), "--plan", plan.string()});
    ASSERT_EQ(run.exitCode, 0) << describe(run);
    EXPECT_EQ(lines(run.out).size(), 3u) << "the listing as without --plan: " << run.out;
    EXPECT_EQ(run.err, "kv480t: " + plan.string() +
                           ": a plan of 2 collectors written; fill in the profile and label "
                           "columns\n");
    const std::string written = kvtest::slurp(plan);
    EXPECT_EQ(written, "\xEF\xBB\xBFport,station,profile,label\r\n" + first->slavePath() +
                           ",005,,\r\n" + second->slavePath() + ",017,,\r\n");

    // Filled in as a technician would: a profile and a label per row.
    std::string filled;
    for (const std::string& line : lines(written))
        filled += line.ends_with(",,\r") ? line.substr(0, line.size() - 3) + ",pumps.json,Tank\r\n"
                                         : line + "\n";
    kvprofile::Profile profile;
    profile.settings = kvproto::filtered(kvtest::settingsToSend(false), {});
    const kvsite::PlanCheck check =
        kvsite::parsePlan(filled, plan.string(), {}, [&](const std::string& path) {
            EXPECT_EQ(path, (folder.path() / "pumps.json").string());
            return kvprofile::ReadResult{profile, {}};
        });
    ASSERT_TRUE(check.ok()) << check.problems.front();
    ASSERT_EQ(check.plan.rows.size(), 2u);
    EXPECT_EQ(check.plan.rows[0].port, first->slavePath());
    EXPECT_EQ(check.plan.rows[0].station, "005");
    EXPECT_EQ(check.plan.rows[1].port, second->slavePath());
    EXPECT_EQ(check.plan.rows[1].planned.get("rs485.address"), "017");
    EXPECT_EQ(check.plan.rows[1].label, "Tank");
}

// A plan already there is an edited plan: left as it is, and nothing sent, unless --force.
// No collector answering: nothing written. A plan that cannot be written: said, exit 2.
TEST_F(FindPlan, APlanAlreadyThereIsKeptAndNoAnswerWritesNothing) {
    auto collector = kvtest::collectorHolding({});
    kvsim::CollectorOptions quiet;
    quiet.silent = true;
    auto silent = kvtest::collectorHolding({}, quiet);
    const std::string edited = "port,station,profile,label\n/dev/ttyUSB0,3,pumps.json,Tank\n";
    const fs::path nowhere = folder.path() / "missing" / "site.csv";
    const struct {
        const char* what;
        bool planThere;
        bool force;
        bool answering;
        int exitCode;
        bool sent;              // the answering collector's view
        std::string planAfter;  // "": no file
        std::string err;        // on stderr
    } cases[] = {
        {"kept", true, false, true, 2, false, edited,
         "kv480t: " + plan.string() + ": already there, left as it is (--force replaces it)\n"},
        {"replaced", true, true, true, 0, true, "port,station", ": a plan of 1 collector written"},
        {"no answer", false, false, false, 4, true, "", ""},
        {"no answer, --force", true, true, false, 4, true, edited, ""},
        {"no folder", false, false, true, 2, true, "", nowhere.string() + ": cannot be written ("},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(plan);
        if (c.planThere) std::ofstream(plan, std::ios::binary) << edited;
        const std::string file = c.err.find(nowhere.string()) == 0 ? nowhere : plan;
        const kvsim::Collector& target = c.answering ? *collector : *silent;
        const std::uint64_t frames = target.framesHandled();
        std::vector<std::string> args{"find",   "--named-only",     "--timeout-ms", "300",
                                      "--port", target.slavePath(), "--plan",       file};
        if (c.force) args.push_back("--force");
        const ProcessRun run = kv480t(args);
        EXPECT_EQ(run.exitCode, c.exitCode) << describe(run);
        if (c.answering) {
            EXPECT_EQ(target.framesHandled() > frames, c.sent);
        }
        if (c.planAfter.empty()) {
            EXPECT_FALSE(fs::exists(file));
        } else {
            EXPECT_NE(kvtest::slurp(file).find(c.planAfter), std::string::npos);
        }
        EXPECT_EQ(c.err.empty(), run.err.empty()) << run.err;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    }
}

// A plan's label (UTF-8) and a collector's answer (Latin-1) with letters beyond ASCII and
// control characters: letters as letters where the locale is UTF-8, controls escaped; in the C
// locale everything beyond ASCII escaped, as ever.
TEST(Kv480tText, LettersAsUtf8WhereTheLocaleTakesItControlsAlwaysEscaped) {
    kvtest::TestFolder folder{"kv480t-text"};
    kvprofile::Profile profile;
    profile.settings = kvproto::filtered(kvtest::settingsToSend(false), {});
    ASSERT_TRUE(kvprofile::writeProfileFile((folder.path() / "p.json").string(), profile, nullptr));
    auto collector = kvtest::collectorHolding({});
    const fs::path plan = folder.path() / "site.csv";
    std::ofstream(plan, std::ios::binary)
        << "port,station,profile,label\n"
        << collector->slavePath() << ",4,p.json,\"Pumpenhaus S\xC3\xBC"
        << "d\x01\xC2\x85\"\n";

    const struct {
        const char* locale;
        std::string label;
        std::string answer;
    } cases[] = {
        {"LC_ALL=C.UTF-8",
         "Pumpenhaus S\xC3\xBC"
         "d\\x01\\xC2\\x85",
         "Pumpe S\xC3\xBC"
         "d \xC2\xB0"
         "C\\x85\\x01"},
        {"LC_ALL=C",
         "Pumpenhaus S\\xC3\\xBC"
         "d\\x01\\xC2\\x85",
         "Pumpe S\\xFC"
         "d \\xB0"
         "C\\x85\\x01"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.locale);
        const ProcessRun site =
            kv480t({"commission", plan.string(), "--report", (folder.path() / c.locale).string()},
                   false, {c.locale});
        EXPECT_NE(site.out.find(c.label + " " + collector->slavePath() + " "), std::string::npos)
            << describe(site);

        // The test plays a collector whose answers have Latin-1 letters and controls: to the
        // communication test, and to a set command (which then waits for the listing in vain).
        const auto played = [&](std::vector<std::string> args) {
            kvtest::PtyPair pty;
            args.insert(args.end(), {"--port", pty.path(), "--timeout-ms", "300"});
            ProcessRun run;
            std::thread kv([&] { run = kv480t(args, false, {c.locale}); });
            EXPECT_FALSE(pty.readText(1, 5000).empty()) << "no request came";
            pty.writeText(
                "Pumpe S\xFC"
                "d \xB0"
                "C\x85\x01\r\n");
            kv.join();
            return run;
        };
        const ProcessRun test = played({"test"});
        EXPECT_EQ(test.out, c.answer + "\n") << describe(test);
        const ProcessRun set = played({"set", "rs485.address=9"});
        EXPECT_NE(set.out.find("  ST answered: " + c.answer + "\n"), std::string::npos)
            << describe(set);
    }
}

}  // namespace
