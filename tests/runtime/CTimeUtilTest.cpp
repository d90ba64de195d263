#include "runtime/CTimeUtil.h"

#include <gtest/gtest.h>

#include <ctime>

#include "platform/Clock.h"

namespace optivane {
namespace {

TEST(CTimeUtil, MicrosecondsTruncateNanoseconds) {
    // 1970-01-01T00:00:01.000999 UTC
    EXPECT_EQ(CTimeUtil::ToMicroseconds(1, 999000), 1000999);
    EXPECT_EQ(CTimeUtil::ToMicroseconds(1, 999999), 1000999);
    EXPECT_EQ(CTimeUtil::ToMicroseconds(0, 999), 0);
    EXPECT_EQ(CTimeUtil::ToMicroseconds(0, 0), 0);
    // 2026-12-04T02:13:00.045 UTC, far past 32 bits
    EXPECT_EQ(CTimeUtil::ToMicroseconds(1796350380, 45000000), 1796350380045000);
}

TEST(CTimeUtil, NowIsTheUtcClockInMicroseconds) {
    const platform::UtcTimeSpec before = platform::Clock::UtcNow();
    const int64_t now = CTimeUtil().NowMicroseconds();
    const platform::UtcTimeSpec after = platform::Clock::UtcNow();
    EXPECT_GE(now, CTimeUtil::ToMicroseconds(before.seconds, before.nanoseconds));
    EXPECT_LE(now, CTimeUtil::ToMicroseconds(after.seconds, after.nanoseconds));
    const int64_t wall = static_cast<int64_t>(time(nullptr)) * 1000000;
    EXPECT_LT(now > wall ? now - wall : wall - now, 5 * 1000000);
}

}  // namespace
}  // namespace optivane
