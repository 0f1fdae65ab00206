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

// The run sends AIN1 then AIN2 (in the model's order); each case gives the outcomes in turn.
TEST(ApplyRun, CountsAndStopsAtTheFirstFailure) {
    kvproto::CollectorSettings settings;
    for (const char* name : {"ad1.urv", "ad1.lrv", "ad1.start", "ad2.urv", "ad2.lrv", "ad2.start"})
        ASSERT_FALSE(settings.set(name, "1"));
    struct Case {
        const char* name;
        std::vector<kvops::Outcome> outcomes;
        std::size_t answered;
        const char* failedWord;  // nullptr: the run is done
        ErrorCode error;
    };
    const std::vector<Case> cases = {
        {"both answered",
         {answered("OK:AIN1:000001,000001,00001\r\n"), answered("OK:AIN2:1\r\n")},
         2,
         nullptr,
         ErrorCode::None},
        {"the first times out",
         {failedWith(Status::TimedOut, ErrorCode::NoAnswer)},
         0,
         "AIN1",
         ErrorCode::NoAnswer},
        {"the line hangs up at the second",
         {answered("OK:AIN1:1\r\n"), failedWith(Status::HungUp, ErrorCode::HungUp)},
         1,
         "AIN2",
         ErrorCode::HungUp},
        {"the second is not sent",
         {answered("OK:AIN1:1\r\n"), failedWith(Status::NotSent, ErrorCode::WriteRefused)},
         1,
         "AIN2",
         ErrorCode::WriteRefused},
        {"the collector refuses a value",
         {answered("ERR:AIN1:VALUE\r\n")},
         0,
         "AIN1",
         ErrorCode::NotUnderstood},
        {"the answer is another command's",
         {answered("OK:ST:012\r\n")},
         0,
         "AIN1",
         ErrorCode::NotUnderstood},
        {"the answer is noise", {answered("\x13\x7f?\r\n")}, 0, "AIN1", ErrorCode::NotUnderstood},
    };
    for (const Case& c : cases) {
        kvops::ApplyRun run(kvops::planApply(settings, {false, false}));
        ASSERT_EQ(run.total(), 2u);
        EXPECT_EQ(run.next()->word, std::string_view("AIN1"));
        std::size_t fed = 0;
        for (const kvops::Outcome& outcome : c.outcomes) {
            const bool goesOn = run.record(outcome);
            ++fed;
            EXPECT_EQ(goesOn, fed <= c.answered) << c.name << " at " << fed;
        }
        EXPECT_EQ(run.next(), nullptr) << c.name;
        EXPECT_EQ(run.answered(), c.answered) << c.name;
        EXPECT_EQ(run.done(), c.failedWord == nullptr) << c.name;
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
