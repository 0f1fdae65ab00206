// TPollEvent, whichever implementation this executable was linked with (the eventfd one on
// Linux, the self-pipe one everywhere; both run here on Linux): readable exactly while set,
// from any thread, never blocking.
#include <gtest/gtest.h>
#include <poll.h>

#include <thread>

#include "SPComm/posix/PollEvent.h"

namespace spcomm::detail {
namespace {

bool IsSet(const TPollEvent& event, int waitMs = 0) {
    pollfd fd{event.fd(), POLLIN, 0};
    return ::poll(&fd, 1, waitMs) == 1 && (fd.revents & POLLIN);
}

TEST(PollEvent, ReadableExactlyWhileSet) {
    TPollEvent event;
    EXPECT_EQ(event.fd(), -1);
    ASSERT_TRUE(event.Create());
    ASSERT_GE(event.fd(), 0);
    struct Step {
        int sets;
        bool reset;
        bool readable;
    };
    const Step steps[] = {
        {0, false, false}, {1, false, true},    {0, false, true},
        {0, true, false},  {3, false, true},    {0, true, false},
        {0, true, false},  {1000, false, true}, {0, true, false},
    };
    for (const Step& step : steps) {
        for (int i = 0; i < step.sets; ++i) event.Set();
        if (step.reset) event.Reset();
        EXPECT_EQ(IsSet(event), step.readable) << step.sets << " sets, reset " << step.reset;
    }
}

TEST(PollEvent, SetFromAnotherThreadWakesAWait) {
    TPollEvent event;
    ASSERT_TRUE(event.Create());
    std::thread setter([&] { event.Set(); });
    EXPECT_TRUE(IsSet(event, 10000));
    setter.join();
}

TEST(PollEvent, SettingAFullPipeNeitherBlocksNorFails) {
    TPollEvent event;
    ASSERT_TRUE(event.Create());
    for (int i = 0; i < 200000; ++i) event.Set();  // more than a pipe holds
    EXPECT_TRUE(IsSet(event));
    event.Reset();
    EXPECT_FALSE(IsSet(event));
}

}  // namespace
}  // namespace spcomm::detail
