#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <ctime>

namespace optivane::platform {
namespace {

TEST(Clock, UtcNowAgreesWithTheSystemTime) {
    const time_t before = time(nullptr);
    const UtcTimeSpec now = Clock::UtcNow();
    const time_t after = time(nullptr);
    EXPECT_GE(now.seconds, static_cast<int64_t>(before) - 1);
    EXPECT_LE(now.seconds, static_cast<int64_t>(after) + 1);
    EXPECT_GE(now.nanoseconds, 0);
    EXPECT_LT(now.nanoseconds, 1000000000);
}

TEST(Clock, LocalNowIsTheLocalCalendarDay) {
    const time_t seconds = time(nullptr);
    struct tm local {};
    ASSERT_NE(localtime_r(&seconds, &local), nullptr);
    const LocalCalendarTime now = Clock::LocalNow();
    // The same day unless midnight passed in between.
    if (now.hour != 0 || now.minute != 0) {
        EXPECT_EQ(now.year, local.tm_year + 1900);
        EXPECT_EQ(now.month, local.tm_mon + 1);
        EXPECT_EQ(now.day, local.tm_mday);
    }
    EXPECT_GE(now.month, 1);
    EXPECT_LE(now.month, 12);
    EXPECT_LE(now.hour, 23);
    EXPECT_LE(now.minute, 59);
    EXPECT_LE(now.second, 60);
    EXPECT_GE(now.millisecond, 0);
    EXPECT_LE(now.millisecond, 999);
}

TEST(Clock, SleepingAdvancesTheMonotonicClockByAtLeastTheTime) {
    const int64_t before = Clock::MonotonicTicks();
    Clock::SleepMilliseconds(50);
    const int64_t after = Clock::MonotonicTicks();
    EXPECT_GE(after - before, 50 * 10000);
    Clock::SleepMilliseconds(0);
    EXPECT_GE(Clock::MonotonicTicks(), after);
}

}  // namespace
}  // namespace optivane::platform
