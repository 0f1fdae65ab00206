// kvops::Exchange driven by a script: the blocks the line delivers and when, a hang-up, a
// writer that refuses. The clock is the script's; the engine is ticked every millisecond until
// it reports, so the moment of the outcome is checked as well as the outcome.
#include "ops/Exchange.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "sim/DeviceState.h"

namespace {

using kvops::Completeness;
using kvops::ErrorCode;
using kvops::Millis;
using kvops::Status;

struct Block {
    int at;            // ms after the frame was written
    std::string text;  // empty: the line hangs up here
    int since = -1;    // >= 0: no block; the owner says bytes are arriving since then
};

struct Case {
    const char* name;
    Completeness completeness;
    std::vector<Block> blocks;
    Status status;
    std::string reply;  // "*": not compared (see `replySize`)
    int reportedAt;     // ms after the frame was written
    std::size_t replySize = 0;
};

struct Played {
    std::optional<kvops::Outcome> outcome;
    int at = -1;
};

// Sends at 0 with a 2000 ms time-out, plays the blocks, ticks every ms for 10 s.
Played play(const Case& c, std::vector<Block> blocks) {
    kvops::Exchange exchange([](std::string_view) { return kvops::Error{}; });
    EXPECT_FALSE(exchange.send("PPPPPP#VAR#", c.completeness, Millis(2000), Millis(0)));
    std::size_t next = 0;
    for (int now = 0; now <= 10000; ++now) {
        std::optional<kvops::Outcome> outcome;
        for (; next < blocks.size() && blocks[next].at == now; ++next) {
            if (blocks[next].since >= 0)
                exchange.arriving(Millis(blocks[next].since));
            else if (blocks[next].text.empty())
                outcome = exchange.hangUp();
            else
                exchange.received(blocks[next].text, Millis(now));
        }
        if (!outcome) outcome = exchange.tick(Millis(now));
        if (outcome) {
            EXPECT_FALSE(exchange.waiting()) << c.name;
            EXPECT_FALSE(exchange.tick(Millis(now + 5000))) << c.name << ": reported twice";
            return {outcome, now};
        }
    }
    return {};
}

std::vector<Block> every(int from, int step, int until, const std::string& text) {
    std::vector<Block> blocks;
    for (int at = from; at <= until; at += step) blocks.push_back({at, text});
    return blocks;
}

TEST(Exchange, ScriptedLines) {
    const std::string listing = kvsim::parameterText(kvsim::factoryDefaults());
    const std::size_t half = listing.size() / 2;
    const std::vector<Case> cases = {
        {"one line",
         Completeness::Line,
         {{40, "OK:ST:012\r\n"}},
         Status::Answered,
         "OK:ST:012\r\n",
         40},
        {"a line in pieces",
         Completeness::Line,
         {{40, "OK:ST"}, {440, ":012\r\n"}},
         Status::Answered,
         "OK:ST:012\r\n",
         440},
        {"a piece after a long silence starts a new reply",
         Completeness::Line,
         {{40, "OK:ST"}, {900, ":012\r\n"}},
         Status::Answered,
         ":012\r\n",
         900},
        {"a line ends by quiet when its end never comes",
         Completeness::Line,
         {{40, "OK:ST"}},
         Status::Answered,
         "OK:ST",
         1040},
        {"the listing in two pieces, over once the line settles",
         Completeness::Listing,
         {{100, listing.substr(0, half)}, {450, listing.substr(half)}},
         Status::Answered,
         listing,
         550},
        {"an answer of any form ends at its line end",
         Completeness::Answer,
         {{40, "SET SUCCESS\r\n"}},
         Status::Answered,
         "SET SUCCESS\r\n",
         40},
        {"... or once the line is quiet for a while",
         Completeness::Answer,
         {{40, "OK"}},
         Status::Answered,
         "OK",
         240},
        {"an echo of the frame is no answer",
         Completeness::Answer,
         {{20, "PPPPPP#VAR#"}},
         Status::TimedOut,
         "",
         2000},
        {"the echo in pieces, then the answer",
         Completeness::Answer,
         {{10, "PPPP"}, {20, "PP#VAR#"}, {500, "VAR:OK\r\n"}},
         Status::Answered,
         "VAR:OK\r\n",
         500},
        {"the echo and the answer in one block",
         Completeness::Line,
         {{40, "PPPPPP#VAR#VAR:OK\r\n"}},
         Status::Answered,
         "VAR:OK\r\n",
         40},
        {"readings of unknown length end by quiet",
         Completeness::Quiet,
         {{50, "AD1:4.00\r\n"}, {300, "SUM1:1\r\n"}},
         Status::Answered,
         "AD1:4.00\r\nSUM1:1\r\n",
         1300},
        {"no block: time-out", Completeness::Line, {}, Status::TimedOut, "", 2000},
        {"bytes on their way before the time-out hold it off until their block",
         Completeness::Listing,
         {{2000, "", 1990}, {2310, listing}},
         Status::Answered,
         listing,
         2410},
        {"... but not the bytes of a block already there",
         Completeness::Line,
         {{40, "PPPPPP#VAR#"}, {41, "", 10}},
         Status::TimedOut,
         "",
         2000},
        {"... an echo alone among them still times out",
         Completeness::Line,
         {{2000, "", 1995}, {2020, "PPPPPP#VAR#"}},
         Status::TimedOut,
         "",
         2020},
        {"... bytes whose block never comes end at the answer's own limit",
         Completeness::Line,
         {{2000, "", 1990}},
         Status::TimedOut,
         "",
         1990 + 5267},
        {"a block after the time-out is too late",
         Completeness::Line,
         {{2500, "OK\r\n"}},
         Status::TimedOut,
         "",
         2000},
        {"a hang-up keeps the reply so far",
         Completeness::Listing,
         {{60, listing.substr(0, 100)}, {300, ""}},
         Status::HungUp,
         listing.substr(0, 100),
         300},
        {"a hang-up before any block", Completeness::Line, {{10, ""}}, Status::HungUp, "", 10},
    };
    for (const Case& c : cases) {
        const Played run = play(c, c.blocks);
        ASSERT_TRUE(run.outcome) << c.name << ": no outcome";
        EXPECT_EQ(run.outcome->status, c.status) << c.name;
        EXPECT_EQ(run.outcome->reply, c.reply) << c.name;
        EXPECT_EQ(run.at, c.reportedAt) << c.name;
        const ErrorCode code = c.status == Status::Answered   ? ErrorCode::None
                               : c.status == Status::TimedOut ? ErrorCode::NoAnswer
                                                              : ErrorCode::HungUp;
        EXPECT_EQ(run.outcome->error.code, code) << c.name;
    }
}

// A collector that never stops talking: the reply ends by the longest time or the largest
// size, whichever comes first.
TEST(Exchange, AReplyThatNeverEndsIsBounded) {
    struct Bounded {
        const char* name;
        std::vector<Block> blocks;
        int reportedAt;
        std::size_t size;
    };
    const std::vector<Bounded> cases = {
        {"short blocks: 3 s after the first", every(50, 100, 10000, "AD1:4.00\r\n"), 3050, 310},
        {"long blocks: at 4096 bytes", every(50, 100, 10000, std::string(1024, 'x')), 350, 4096},
    };
    for (const Bounded& b : cases) {
        const Case c{b.name, Completeness::Quiet, {}, Status::Answered, "*", 0};
        const Played run = play(c, b.blocks);
        ASSERT_TRUE(run.outcome) << b.name;
        EXPECT_EQ(run.outcome->status, Status::Answered) << b.name;
        EXPECT_EQ(run.at, b.reportedAt) << b.name;
        EXPECT_EQ(run.outcome->reply.size(), b.size) << b.name;
        EXPECT_LE(run.outcome->reply.size(), kvproto::ReplyCollector::kMaxSize) << b.name;
    }
}

TEST(Exchange, NotSentWhenTheWriterRefuses) {
    int writes = 0;
    kvops::Exchange exchange([&](std::string_view frame) {
        ++writes;
        EXPECT_EQ(frame, "PPPPPP#VAR#");
        return kvops::Error{ErrorCode::WriteRefused, 5, "the port refused the write"};
    });
    const std::optional<kvops::Outcome> outcome =
        exchange.send("PPPPPP#VAR#", Completeness::Line, Millis(2000), Millis(0));
    ASSERT_TRUE(outcome);
    EXPECT_EQ(writes, 1);
    EXPECT_EQ(outcome->status, Status::NotSent);
    EXPECT_EQ(outcome->error.code, ErrorCode::WriteRefused);
    EXPECT_FALSE(exchange.waiting());
    EXPECT_FALSE(exchange.tick(Millis(5000))) << "a refused frame times out all the same";
    EXPECT_FALSE(exchange.deadline());
}

}  // namespace
