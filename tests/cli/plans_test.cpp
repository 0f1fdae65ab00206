// Writing plans: kv480t names against the parameter table and what kv480t read shows, the plan
// kv480t find --plan writes from simulated collectors (read back by the plan parser), and text
// printed as UTF-8 where the locale says the terminal takes it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <thread>

#include "CollectorValues.h"
#include "FolderSnapshot.h"
#include "Kv480tProcess.h"
#include "PtyPair.h"
#include "SimulatedCollector.h"
#include "profile/Profile.h"
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
    auto collector = kvtest::collectorHolding(kvtest::settingsToSend(false));
    std::set<std::string> shown;  // by kv480t read, of a collector holding every value
    for (const std::string& line : lines(kv480t({"read", "-p", collector->slavePath()}).out))
        shown.insert(line.substr(0, line.find(" = ")));
    const ProcessRun json = kv480t({"names", "--json"}), text = kv480t({"names"});
    nlohmann::json names = nlohmann::json::parse(json.out);
    const std::vector<std::string> rows = lines(text.out);  // a header, then one line per name
    const auto table = kvproto::parameters();
    ASSERT_EQ(names.size(), table.size());
    ASSERT_EQ(rows.size(), table.size() + 1) << text.out;
    const std::size_t at[] = {0, rows[0].find("set"), rows[0].find("read"), rows[0].find("form")};
    for (std::size_t i = 0; i < table.size(); ++i) {
        const std::string name(table[i].name), form = names[i].at("form");
        EXPECT_EQ(names[i].at("name"), name);
        EXPECT_EQ(names[i].at("shown_by_read"), shown.count(name) == 1) << name;
        EXPECT_TRUE(form.starts_with(kvproto::ruleText(table[i]))) << form;
        const std::string cells[] = {name, std::string(table[i].command),
                                     shown.count(name) ? "yes" : "no"};
        std::string aligned;
        for (std::size_t c = 0; c < 3; ++c)
            aligned += cells[c] + std::string(at[c + 1] - at[c] - cells[c].size(), ' ');
        EXPECT_EQ(rows[i + 1], aligned + form);
    }
    const std::map<std::string, std::string> parts = {
        {"rs485.address",
         R"({"form":"a whole number from 1 to 247, 1 to 6 digits; unique per collector on a bus )"
         R"j((a plan's station column)","kind":"number","width":6,"signed":false,"min":1,)j"
         R"("max":247,"role":"station","command":"ST"})"},
        {"ad1.urv",
         R"({"kind":"decimal","width":6,"signed":true,"role":"configuration","command":"AIN1"})"},
        {"pin1.base",
         R"({"form":"digits only, 1 to 8 characters; writing it restarts its count","kind":)"
         R"("digits","width":8,"signed":false,"min":0,"max":99999999,"role":"counter base",)"
         R"("command":"LP1"})"},
        {"din2.pulse_equivalent",
         R"({"kind":"list","signed":false,"min":0,"max":6,"items":["100 pulses per ton of )"
         R"(water","10 pulses per ton of water","1 pulses per ton of water","1 pulse for 10 )"
         R"(tons of water","1 pulse for 100 tons of water",null,null],"role":"configuration",)"
         R"("command":"PUDL"})"},
    };
    for (nlohmann::json& entry : names) {
        const auto expected = parts.find(entry.at("name"));
        if (expected == parts.end()) continue;
        const nlohmann::json want = nlohmann::json::parse(expected->second);
        for (const char* key : {"name", "form", "shown_by_read"})
            if (!want.contains(key)) entry.erase(key);
        EXPECT_EQ(entry, want) << expected->first;
    }
}

class FindPlan : public ::testing::Test {
protected:
    kvtest::TestFolder folder{"kv480t-find-plan"};
    std::string plan = (folder.path() / "site.csv").string();
};

// Two collectors that answer and a silent port: the plan names the two with the station
// address each answered with; filled in, the plan parser takes it.
TEST_F(FindPlan, TheCollectorsThatAnsweredMakeAPlanToFillIn) {
    kvproto::CollectorSettings at5, at17;
    ASSERT_FALSE(at5.set("rs485.address", "5") || at17.set("rs485.address", "17"));
    kvsim::CollectorOptions quiet;
    quiet.silent = true;
    auto first = kvtest::collectorHolding(at5), silent = kvtest::collectorHolding({}, quiet),
         second = kvtest::collectorHolding(at17);
    const ProcessRun run =
        kv480t({"find", "--named-only", "--timeout-ms", "300", "-p", first->slavePath(), "-p",
                silent->slavePath(), "-p", second->slavePath(), "--plan", plan});
    ASSERT_EQ(run.exitCode, 0) << describe(run);
    EXPECT_EQ(lines(run.out).size(), 3u) << "the listing as without --plan: " << run.out;
    EXPECT_EQ(run.err, "kv480t: " + plan +
                           ": a plan of 2 collectors written; fill in the profile and label "
                           "columns\n");
    std::string filled = kvtest::slurp(plan);
    EXPECT_EQ(filled, "\xEF\xBB\xBFport,station,profile,label\r\n" + first->slavePath() +
                          ",005,,\r\n" + second->slavePath() + ",017,,\r\n");
    for (std::size_t at; (at = filled.find(",,\r\n")) != std::string::npos;)
        filled.replace(at, 2, ",pumps.json,Tank");  // as a technician fills it in
    kvprofile::Profile profile;
    profile.settings = kvproto::filtered(kvtest::settingsToSend(false), {});
    const kvsite::PlanCheck check = kvsite::parsePlan(filled, plan, {}, [&](const std::string&) {
        return kvprofile::ReadResult{profile, {}};
    });
    ASSERT_TRUE(check.ok()) << check.problems.front();
    ASSERT_EQ(check.plan.rows.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        const kvsite::PlanRow& row = check.plan.rows[i];
        EXPECT_EQ(row.port + " " + *row.planned.get("rs485.address") + " " + row.label,
                  (i ? second : first)->slavePath() + (i ? " 017" : " 005") + " Tank");
    }
}

// A plan already there may have been edited: left as it is, and nothing sent, unless --force.
// No collector answering: nothing written. A plan that cannot be written: said, exit 2.
TEST_F(FindPlan, APlanAlreadyThereIsKeptAndNoAnswerWritesNothing) {
    kvsim::CollectorOptions quiet;
    quiet.silent = true;
    auto collector = kvtest::collectorHolding({}), silent = kvtest::collectorHolding({}, quiet);
    const std::string edited = "port,station,profile,label\n/dev/ttyUSB0,3,pumps.json,Tank\n";
    const std::string nowhere = (folder.path() / "missing" / "site.csv").string();
    const struct {
        bool planThere, force, answering;
        int exitCode;
        std::string file, planAfter, err;  // planAfter "": no file
    } cases[] = {
        {true, false, true, 2, plan, edited,
         "kv480t: " + plan + ": already there, left as it is (--force replaces it)\n"},
        {true, true, true, 0, plan, "\xEF\xBB\xBFport,station", ": a plan of 1 collector written"},
        {false, false, false, 4, plan, "", ""},
        {true, true, false, 4, plan, edited, ""},
        {false, false, true, 2, nowhere, "", nowhere + ": cannot be written ("},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.err);
        fs::remove(plan);
        if (c.planThere) std::ofstream(plan, std::ios::binary) << edited;
        const kvsim::Collector& target = c.answering ? *collector : *silent;
        const std::uint64_t frames = target.framesHandled();
        std::vector<std::string> args{"find", "--named-only",     "--timeout-ms", "300",
                                      "-p",   target.slavePath(), "--plan",       c.file};
        if (c.force) args.push_back("--force");
        const ProcessRun run = kv480t(args);
        EXPECT_EQ(run.exitCode, c.exitCode) << describe(run);
        EXPECT_EQ(target.framesHandled() > frames, c.answering && !(c.planThere && !c.force));
        EXPECT_EQ(fs::exists(c.file) ? kvtest::slurp(c.file).substr(0, c.planAfter.size()) : "",
                  c.planAfter);
        EXPECT_EQ(c.err.empty(), run.err.empty()) << run.err;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    }
}

// A plan's label (UTF-8) and a collector's answers (Latin-1) with letters beyond ASCII and
// control characters: letters as letters where the locale is UTF-8, controls escaped; in the C
// locale everything beyond ASCII escaped, as ever.
TEST(Kv480tText, LettersAsUtf8WhereTheLocaleTakesItControlsAlwaysEscaped) {
    kvtest::TestFolder folder{"kv480t-text"};
    kvprofile::Profile profile;
    profile.settings = kvproto::filtered(kvtest::settingsToSend(false), {});
    ASSERT_TRUE(kvprofile::writeProfileFile((folder.path() / "p.json").string(), profile, nullptr));
    auto collector = kvtest::collectorHolding({});
    const std::string plan = (folder.path() / "site.csv").string();
    std::ofstream(plan, std::ios::binary)
        << "port,station,profile,label\n"
        << collector->slavePath() << ",4,p.json,\"Pumpenhaus Süd\x01\xC2\x85\"\n";
    const struct {
        const char* locale;
        std::string label, answer;
    } cases[] = {
        {"LC_ALL=C.UTF-8", "Pumpenhaus Süd\\x01\\xC2\\x85", "Mühle §\\x85\\x01"},
        {"LC_ALL=C", "Pumpenhaus S\\xC3\\xBCd\\x01\\xC2\\x85", "M\\xFChle \\xA7\\x85\\x01"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.locale);
        const ProcessRun site =
            kv480t({"commission", plan, "--report", (folder.path() / c.locale).string()}, false,
                   {c.locale});
        EXPECT_NE(site.out.find(c.label + " " + collector->slavePath() + " "), std::string::npos)
            << describe(site);
        // The test plays a collector answering the communication test, and a set command (which
        // then waits for the listing in vain).
        const auto played = [&](std::vector<std::string> args) {
            kvtest::PtyPair pty;
            // No history: a write would read the listing first, which this collector is not.
            args.insert(args.end(), {"--port", pty.path(), "--timeout-ms", "300"});
            if (args[0] == "set") args.push_back("--no-history");
            ProcessRun run;
            std::thread kv([&] { run = kv480t(args, false, {c.locale}); });
            EXPECT_FALSE(pty.readText(1, 5000).empty()) << "no request came";
            pty.writeText("M\xFChle \xA7\x85\x01\r\n");
            kv.join();
            return run;
        };
        EXPECT_EQ(played({"test"}).out, c.answer + "\n");
        EXPECT_NE(played({"set", "rs485.address=9"}).out.find("  ST answered: " + c.answer + "\n"),
                  std::string::npos);
    }
}

}  // namespace
