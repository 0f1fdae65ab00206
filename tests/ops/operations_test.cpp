// kvops' operations on listings and outcomes: what a listing reports, how it compares with
// what was asked (a value the listing leaves out differs), and how an apply run counts and
// stops.
#include "ops/Operations.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/SetCommands.h"
#include "sim/DeviceState.h"

namespace {

using kvops::ErrorCode;
using kvops::Status;

// The simulated collector's factory listing with the line of `tag` (say "LP1:") taken out.
std::string listingWithout(const std::string& tag) {
    std::string listing = kvsim::parameterText(kvsim::factoryDefaults());
    if (tag.empty()) return listing;
    const std::size_t at = listing.find(tag);
    EXPECT_NE(at, std::string::npos) << tag;
    listing.erase(at, listing.find("\r\n", at) + 2 - at);
    return listing;
}

// Verify with every value asked (counter bases included) against a listing that lacks one:
// the lacking value differs as not reported, it is never taken as equal.
TEST(Compare, AValueTheListingLeavesOutDiffers) {
    struct Case {
        std::string tagLeftOut;
        std::vector<std::string> differing;
    };
    const std::vector<Case> cases = {
        {"", {}},
        {"LP1:", {"pin1.base"}},
        {"LP2:", {"pin2.base"}},
    };
    // Every value the whole listing reports: the read-back values and the four counter bases.
    const kvproto::CollectorSettings expected = kvops::readListing(listingWithout("")).settings;
    ASSERT_EQ(kvops::comparedCount(expected), 31u);
    for (const Case& c : cases) {
        const kvops::Listing listing = kvops::readListing(listingWithout(c.tagLeftOut));
        EXPECT_FALSE(listing.error) << c.tagLeftOut << ": " << listing.error.text;
        std::vector<std::string> differing;
        for (const kvproto::Difference& d : kvops::compare(expected, listing.settings)) {
            differing.emplace_back(d.parameter->name);
            EXPECT_FALSE(d.actual) << d.parameter->name << " = " << *d.actual;
        }
        EXPECT_EQ(differing, c.differing) << c.tagLeftOut;
    }
}

kvops::Outcome answered(std::string reply) {
    return {Status::Answered, std::move(reply), {}};
}
kvops::Outcome failedWith(Status status, ErrorCode code) {
    return {status, {}, {code, 0, {}}};
}

// The run sends MTM, AIN1 and AIN2 (in the model's order); each case gives the outcomes in
// turn. Whatever the collector answers, the run goes on; it stops only when a frame is not
// sent or the line fails. An unanswered set shortens the next one's wait until one is
// answered again.
TEST(ApplyRun, GoesOnWhateverTheAnswerAndStopsOnlyWhenTheLineFails) {
    kvproto::CollectorSettings settings;
    for (const char* name : {"ad1.urv", "ad1.lrv", "ad1.start", "ad2.urv", "ad2.lrv", "ad2.start"})
        ASSERT_FALSE(settings.set(name, "1"));
    ASSERT_FALSE(settings.set("din2.pulse_width", "5"));
    const kvops::Outcome none = failedWith(Status::TimedOut, ErrorCode::NoAnswer);
    struct Case {
        const char* name;
        std::vector<kvops::Outcome> outcomes;
        std::vector<int> answerTimes;  // ms, before each outcome
        std::vector<std::string> answers;
        const char* failedWord;  // nullptr: every command sent
        ErrorCode error;
    };
    const std::vector<Case> cases = {
        {"each acknowledged",
         {answered("OK:MTM:005\r\n"), answered("OK:AIN1:1\r\n"), answered("OK:AIN2:1\r\n")},
         {3000, 1000, 1000},
         {"answered: OK:MTM:005", "answered: OK:AIN1:1", "answered: OK:AIN2:1"},
         nullptr,
         ErrorCode::None},
        {"refused, other words, noise",
         {answered("ERR:MTM:VALUE\r\n"), answered("SET SUCCESS"), answered("\x13?\r\n")},
         {3000, 1000, 1000},
         {"answered: ERR:MTM:VALUE", "answered: SET SUCCESS", "answered: \x13?"},
         nullptr,
         ErrorCode::None},
        {"never answered: paced after the first",
         {none, none, none},
         {3000, 150, 150},
         {"no answer", "no answer", "no answer"},
         nullptr,
         ErrorCode::None},
        {"answered again: its own time again",
         {none, answered("OK\r\n"), none},
         {3000, 150, 1000},
         {"no answer", "answered: OK", "no answer"},
         nullptr,
         ErrorCode::None},
        {"the line hangs up at the second",
         {answered("OK:MTM:005\r\n"), failedWith(Status::HungUp, ErrorCode::HungUp)},
         {3000, 1000},
         {"answered: OK:MTM:005", "no answer"},
         "AIN1",
         ErrorCode::HungUp},
        {"the first is not sent",
         {failedWith(Status::NotSent, ErrorCode::WriteRefused)},
         {3000},
         {"no answer"},
         "MTM",
         ErrorCode::WriteRefused},
    };
    for (const Case& c : cases) {
        kvops::ApplyRun run(kvops::planApply(settings, {false, false}));
        ASSERT_EQ(run.total(), 3u);
        for (std::size_t i = 0; i < c.outcomes.size(); ++i) {
            EXPECT_EQ(run.answerTime().count(), c.answerTimes[i]) << c.name << " at " << i;
            const bool last = i + 1 == c.outcomes.size();
            EXPECT_EQ(run.record(c.outcomes[i]), !(last && c.failedWord)) << c.name << " at " << i;
        }
        EXPECT_EQ(run.next(), nullptr) << c.name;
        EXPECT_EQ(run.done(), c.failedWord == nullptr) << c.name;
        EXPECT_EQ(run.sent(), c.outcomes.size() - (c.failedWord ? 1 : 0)) << c.name;
        std::vector<std::string> words;
        for (const kvops::CommandAnswer& answer : run.answers())
            words.push_back(kvops::answerWords(answer));
        EXPECT_EQ(words, c.answers) << c.name;
        EXPECT_FALSE(run.record(answered("OK:AIN2:1\r\n"))) << c.name << ": recorded after the end";
        if (!c.failedWord) {
            EXPECT_EQ(run.failedCommand(), nullptr) << c.name;
            continue;
        }
        ASSERT_NE(run.failedCommand(), nullptr) << c.name;
        EXPECT_EQ(run.failedCommand()->word, std::string_view(c.failedWord)) << c.name;
        ASSERT_TRUE(run.failure()) << c.name;
        EXPECT_EQ(run.failure()->error.code, c.error) << c.name;
    }
}

}  // namespace
