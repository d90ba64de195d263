// Clocks: UTC timespec, local calendar time with milliseconds, a monotonic
// clock, and sleeping.
#pragma once

#include <cstdint>

namespace optivane::platform {

struct UtcTimeSpec {
    int64_t seconds;
    int64_t nanoseconds;
};

struct LocalCalendarTime {
    int year;
    int month;  // 1..12
    int day;    // 1..31
    int hour;
    int minute;
    int second;
    int millisecond;
};

class Clock {
public:
    // The C runtime's UTC timespec clock.
    static UtcTimeSpec UtcNow();
    static LocalCalendarTime LocalNow();
    // Monotonic time in 100-nanosecond ticks, for measuring intervals.
    static int64_t MonotonicTicks();
    static void SleepMilliseconds(uint32_t milliseconds);
};

}  // namespace optivane::platform
