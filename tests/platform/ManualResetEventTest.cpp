#include "platform/ManualResetEvent.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace optivane::platform {
namespace {

TEST(ManualResetEvent, SetWakesEveryWaiterAndStaysSet) {
    ManualResetEvent event;
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i) {
        waiters.emplace_back([&] {
            event.Wait();
            ++woken;
        });
    }
    EXPECT_FALSE(event.WaitFor(20));
    EXPECT_EQ(woken.load(), 0);
    event.Set();
    for (auto& waiter : waiters) waiter.join();
    EXPECT_EQ(woken.load(), 4);
    EXPECT_TRUE(event.IsSet());
    event.Wait();  // still set: returns at once
}

TEST(ManualResetEvent, WaitForTimesOutUntilSetAndAfterReset) {
    ManualResetEvent event;
    EXPECT_FALSE(event.IsSet());
    EXPECT_FALSE(event.WaitFor(30));
    EXPECT_FALSE(event.WaitFor(0));
    event.Set();
    EXPECT_TRUE(event.WaitFor(0));
    event.Reset();
    EXPECT_FALSE(event.IsSet());
    EXPECT_FALSE(event.WaitFor(30));

    ManualResetEvent initiallySet(true);
    EXPECT_TRUE(initiallySet.WaitFor(0));
}

TEST(ManualResetEvent, WaitForWakesWhenSetFromAnotherThread) {
    ManualResetEvent event;
    std::thread setter([&] { event.Set(); });
    EXPECT_TRUE(event.WaitFor(60000));
    setter.join();
}

}  // namespace
}  // namespace optivane::platform
