// QtDeliveryChannel: messages from worker threads reach the sink on the main thread, in
// posting order per thread; nothing is delivered after the channel or the sink is gone, and
// pending messages are freed with the channel.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <cstring>
#include <map>
#include <memory>
#include <thread>
#include <vector>

#include "main1/adapters/QtDeliveryChannel.h"

namespace {

using spcomm::TCommMessage;

TCommMessage blockMessage(std::uint32_t tag, std::uint16_t length) {
    TCommMessage m;
    m.id = spcomm::PWM_GOTCOMMDATA;
    m.value = tag;
    m.length = length;
    m.block = std::make_unique<std::uint8_t[]>(length + 1u);
    std::memset(m.block.get(), static_cast<int>(tag & 0xFF), length);
    m.block[length] = 0;
    return m;
}

// Runs the event loop until `done` or a generous limit; the limit only keeps a broken
// channel from hanging the suite.
template <class Done>
bool processEventsUntil(Done done) {
    QDeadlineTimer limit(20000);
    while (!done() && !limit.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

void processPending() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

TEST(QtDeliveryChannelTest, PostsFromSeveralThreadsArriveInOrderOnTheMainThread) {
    constexpr int kThreads = 4, kPerThread = 400;
    QObject context;
    QtDeliveryChannel channel(&context);
    std::map<std::uint32_t, std::vector<std::uint32_t>> received;  // thread -> sequence numbers
    int total = 0, wrongThread = 0, badBlocks = 0;
    channel.setSink([&](TCommMessage&& m) {
        wrongThread += QThread::currentThread() != context.thread();
        const std::uint32_t thread = m.value >> 16, seq = m.value & 0xFFFF;
        for (int i = 0; i < m.length; ++i) badBlocks += m.block[i] != (m.value & 0xFF);
        badBlocks += m.block[m.length] != 0;
        received[thread].push_back(seq);
        ++total;
    });

    std::vector<std::thread> workers;
    for (std::uint32_t t = 0; t < kThreads; ++t)
        workers.emplace_back([&channel, t] {
            for (std::uint32_t seq = 0; seq < kPerThread; ++seq)
                EXPECT_TRUE(channel.post(blockMessage(t << 16 | seq, 1 + seq % 64)));
        });
    ASSERT_TRUE(processEventsUntil([&] { return total == kThreads * kPerThread; })) << total;
    for (auto& w : workers) w.join();
    processPending();

    EXPECT_EQ(total, kThreads * kPerThread);  // nothing delivered twice
    EXPECT_EQ(wrongThread, 0);
    EXPECT_EQ(badBlocks, 0);
    for (std::uint32_t t = 0; t < kThreads; ++t) {
        SCOPED_TRACE(t);
        std::vector<std::uint32_t> expected(kPerThread);
        for (std::uint32_t i = 0; i < kPerThread; ++i) expected[i] = i;
        EXPECT_EQ(received[t], expected);
    }
}

TEST(QtDeliveryChannelTest, PostNeverCallsTheSinkDirectly) {
    QObject context;
    QtDeliveryChannel channel(&context);
    std::vector<std::uint32_t> got;
    channel.setSink([&](TCommMessage&& m) { got.push_back(m.value); });
    for (std::uint32_t i = 0; i < 3; ++i) ASSERT_TRUE(channel.post(blockMessage(i, 4)));
    EXPECT_TRUE(got.empty());
    processPending();
    EXPECT_EQ(got, (std::vector<std::uint32_t>{0, 1, 2}));
}

TEST(QtDeliveryChannelTest, DestroyedWithPendingMessagesDeliversNothingAndFreesEverything) {
    QObject context;
    auto sinkAlive = std::make_shared<int>(0);
    int delivered = 0;
    {
        QtDeliveryChannel channel(&context);
        channel.setSink([&delivered, token = sinkAlive](TCommMessage&&) { ++delivered; });
        std::thread worker([&] {
            for (std::uint32_t i = 0; i < 200; ++i) channel.post(blockMessage(i, 2048));
        });
        worker.join();
        EXPECT_EQ(sinkAlive.use_count(), 2);
    }
    // The scheduled drain does not keep the channel's state (queue, sink) alive.
    EXPECT_EQ(sinkAlive.use_count(), 1);
    processPending();
    EXPECT_EQ(delivered, 0);
}

TEST(QtDeliveryChannelTest, EmptySinkDropsMessagesUntilASinkIsSetAgain) {
    QObject context;
    QtDeliveryChannel channel(&context);
    std::vector<std::uint32_t> got;
    channel.setSink([&](TCommMessage&& m) { got.push_back(m.value); });
    channel.post(blockMessage(1, 1));
    channel.setSink({});  // the pending message goes too
    channel.post(blockMessage(2, 1));
    processPending();
    EXPECT_TRUE(got.empty());

    channel.setSink([&](TCommMessage&& m) { got.push_back(m.value); });
    channel.post(blockMessage(3, 1));
    processPending();
    EXPECT_EQ(got, (std::vector<std::uint32_t>{3}));
}

TEST(QtDeliveryChannelTest, SinkMayDestroyTheChannelOrReplaceItself) {
    QObject context;
    auto channel = std::make_unique<QtDeliveryChannel>(&context);
    int calls = 0;
    channel->setSink([&](TCommMessage&&) {
        ++calls;
        channel.reset();  // e.g. the window closes while handling a block
    });
    for (std::uint32_t i = 0; i < 5; ++i) channel->post(blockMessage(i, 16));
    processPending();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(channel, nullptr);

    QtDeliveryChannel second(&context);
    std::vector<std::uint32_t> got;
    second.setSink([&](TCommMessage&& m) {
        got.push_back(m.value);
        second.setSink([&](TCommMessage&& n) { got.push_back(100 + n.value); });
    });
    for (std::uint32_t i = 0; i < 3; ++i) second.post(blockMessage(i, 1));
    processPending();
    EXPECT_EQ(got, (std::vector<std::uint32_t>{0, 101, 102}));
}

TEST(QtDeliveryChannelTest, NestedEventLoopInTheSinkDoesNotLetLaterMessagesOvertake) {
    QObject context;
    QtDeliveryChannel channel(&context);
    std::vector<std::uint32_t> order;
    bool inSink = false, reentered = false;
    channel.setSink([&](TCommMessage&& m) {
        reentered |= inSink;
        inSink = true;
        order.push_back(m.value);
        if (m.value == 0) {
            std::thread([&] { channel.post(blockMessage(1, 1)); }).join();
            processPending();  // like a modal box opened while handling a block
        }
        inSink = false;
    });
    channel.post(blockMessage(0, 1));
    processPending();
    EXPECT_FALSE(reentered);
    EXPECT_EQ(order, (std::vector<std::uint32_t>{0, 1}));
}

// The backlog counts what waits for the event loop; the room signal runs on the main thread
// when a drain takes it below the mark; an empty sink drops everything, backlog included.
TEST(QtDeliveryChannelTest, BacklogCountsWaitingBlocksAndDrainingBelowTheMarkSignalsRoom) {
    QObject context;
    QtDeliveryChannel channel(&context);
    std::vector<std::size_t> backlogSeen;
    channel.setSink([&](TCommMessage&&) { backlogSeen.push_back(channel.backlog()); });
    const std::size_t weight = spcomm::BacklogWeight(blockMessage(0, 100));
    int roomSignals = 0, offThread = 0;
    channel.setRoomSignal(3 * weight, [&] {
        ++roomSignals;
        offThread += QThread::currentThread() != context.thread();
    });
    std::thread worker([&] {
        for (std::uint32_t i = 0; i < 4; ++i) channel.post(blockMessage(i, 100));
    });
    worker.join();
    EXPECT_EQ(channel.backlog(), 4 * weight);
    processPending();
    EXPECT_EQ(channel.backlog(), 0u);
    EXPECT_EQ(backlogSeen, (std::vector<std::size_t>{3 * weight, 2 * weight, weight, 0}));
    EXPECT_EQ(roomSignals, 1);
    EXPECT_EQ(offThread, 0);

    for (std::uint32_t i = 0; i < 2; ++i) channel.post(blockMessage(i, 100));
    processPending();
    EXPECT_EQ(roomSignals, 1);  // never at the mark

    channel.setRoomSignal(0, {});
    for (std::uint32_t i = 0; i < 4; ++i) channel.post(blockMessage(i, 100));
    channel.setSink({});
    EXPECT_EQ(channel.backlog(), 0u);
    processPending();
    EXPECT_EQ(roomSignals, 1);
}

}  // namespace
