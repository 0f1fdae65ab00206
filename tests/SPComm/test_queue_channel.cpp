// TQueueChannel: order across threads, dropping without a sink, freeing what is left.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "SPComm/TQueueChannel.h"

using namespace std::chrono_literals;

namespace spcomm {
namespace {

TCommMessage Block(std::uint32_t tag) {
    TCommMessage m;
    m.id = PWM_GOTCOMMDATA;
    m.length = sizeof tag;
    m.block = std::make_unique<std::uint8_t[]>(sizeof tag + 1);
    std::memcpy(m.block.get(), &tag, sizeof tag);
    return m;
}

std::uint32_t Tag(const TCommMessage& m) {
    std::uint32_t tag = 0;
    std::memcpy(&tag, m.block.get(), sizeof tag);
    return tag;
}

TEST(QueueChannel, DeliversEachPostersMessagesInOrderOnTheDrainingThread) {
    TQueueChannel channel;
    constexpr std::uint32_t kPosters = 4, kEach = 5000;
    std::vector<std::uint32_t> next(kPosters, 0);
    std::size_t delivered = 0;
    const auto owner = std::this_thread::get_id();
    channel.setSink([&](TCommMessage&& m) {
        ASSERT_EQ(std::this_thread::get_id(), owner);
        std::uint32_t tag = Tag(m);
        std::uint32_t poster = tag / kEach, seq = tag % kEach;
        ASSERT_LT(poster, kPosters);
        EXPECT_EQ(seq, next[poster]) << "poster " << poster;
        next[poster] = seq + 1;
        ++delivered;
    });
    std::vector<std::thread> posters;
    for (std::uint32_t p = 0; p < kPosters; ++p) {
        posters.emplace_back([&channel, p] {
            for (std::uint32_t i = 0; i < kEach; ++i)
                EXPECT_TRUE(channel.post(Block(p * kEach + i)));
        });
    }
    while (delivered < kPosters * kEach) {
        if (channel.waitAndDrain(10s) == 0) break;
    }
    for (auto& t : posters) t.join();
    EXPECT_EQ(delivered, kPosters * kEach);
}

TEST(QueueChannel, WaitTimesOutWithNothingPosted) {
    TQueueChannel channel;
    int calls = 0;
    channel.setSink([&](TCommMessage&&) { ++calls; });
    EXPECT_EQ(channel.waitAndDrain(20ms), 0u);
    EXPECT_EQ(calls, 0);
}

TEST(QueueChannel, WithoutASinkMessagesAreDroppedNotKept) {
    TQueueChannel channel;
    channel.post(Block(1));
    EXPECT_EQ(channel.drain(), 0u);
    EXPECT_EQ(channel.pending(), 0u);
    int calls = 0;
    channel.setSink([&](TCommMessage&&) { ++calls; });
    channel.drain();
    EXPECT_EQ(calls, 0);
}

TEST(QueueChannel, AHandlerThatClearsTheSinkStopsLaterDeliveries) {
    TQueueChannel channel;
    std::vector<std::uint32_t> seen;
    channel.setSink([&](TCommMessage&& m) {
        seen.push_back(Tag(m));
        channel.setSink({});
    });
    for (std::uint32_t i = 0; i < 3; ++i) channel.post(Block(i));
    EXPECT_EQ(channel.drain(), 1u);
    EXPECT_EQ(seen, std::vector<std::uint32_t>{0});
}

// The backlog weighs every queued block with its bytes plus a share for the message; the room
// signal fires once each time a drain takes the backlog from at or above the low-water mark
// to below it, and never after it was cleared.
TEST(QueueChannel, BacklogCountsQueuedBlocksAndSignalsRoomWhenDrainedBelowTheMark) {
    TQueueChannel channel;
    int signals = 0;
    std::vector<std::size_t> backlogInSink;
    channel.setSink([&](TCommMessage&&) { backlogInSink.push_back(channel.backlog()); });
    const std::size_t weight = BacklogWeight(Block(0));
    ASSERT_GT(weight, sizeof(std::uint32_t));
    channel.setRoomSignal(2 * weight, [&] { ++signals; });

    struct Step {
        int post;            // blocks posted first
        std::size_t before;  // backlog then
        int signalsAfter;    // after draining all
    };
    const Step steps[] = {
        {1, weight, 0},      // below the mark all along: no signal
        {2, 2 * weight, 1},  // at the mark, drained below it
        {5, 5 * weight, 2},
    };
    for (const Step& step : steps) {
        for (int i = 0; i < step.post; ++i) channel.post(Block(static_cast<std::uint32_t>(i)));
        TCommMessage empty;  // no block: weighs nothing
        empty.id = PWM_SENDDATAEMPTY;
        channel.post(std::move(empty));
        EXPECT_EQ(channel.backlog(), step.before);
        backlogInSink.clear();
        channel.drain();
        EXPECT_EQ(channel.backlog(), 0u);
        EXPECT_EQ(signals, step.signalsAfter);
        ASSERT_EQ(backlogInSink.size(), static_cast<std::size_t>(step.post) + 1);
        EXPECT_EQ(backlogInSink.front(), step.before - weight) << "taken out before the sink";
    }
    channel.setRoomSignal(2 * weight, {});
    for (int i = 0; i < 3; ++i) channel.post(Block(1));
    channel.setSink({});
    channel.drain();  // dropped without a sink: out of the backlog as well
    EXPECT_EQ(channel.backlog(), 0u);
    EXPECT_EQ(signals, 2);
}

TEST(QueueChannel, PendingBlocksAreFreedWithTheChannel) {
    // Leak checking in the sanitizer builds shows any block that is not freed.
    auto channel = std::make_unique<TQueueChannel>();
    for (std::uint32_t i = 0; i < 100; ++i) channel->post(Block(i));
    EXPECT_EQ(channel->pending(), 100u);
    channel.reset();
}

}  // namespace
}  // namespace spcomm
