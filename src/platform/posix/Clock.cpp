#include "platform/Clock.h"

#include <cerrno>
#include <ctime>

namespace optivane::platform {

UtcTimeSpec Clock::UtcNow() {
    struct timespec now {};
    if (timespec_get(&now, TIME_UTC) != TIME_UTC) return UtcTimeSpec{0, 0};
    return UtcTimeSpec{static_cast<int64_t>(now.tv_sec), static_cast<int64_t>(now.tv_nsec)};
}

LocalCalendarTime Clock::LocalNow() {
    struct timespec now {};
    if (timespec_get(&now, TIME_UTC) != TIME_UTC) return LocalCalendarTime{1970, 1, 1, 0, 0, 0, 0};
    struct tm local {};
    if (localtime_r(&now.tv_sec, &local) == nullptr) return LocalCalendarTime{1970, 1, 1, 0, 0, 0, 0};
    return LocalCalendarTime{local.tm_year + 1900,
                             local.tm_mon + 1,
                             local.tm_mday,
                             local.tm_hour,
                             local.tm_min,
                             local.tm_sec,
                             static_cast<int>(now.tv_nsec / 1000000)};
}

int64_t Clock::MonotonicTicks() {
    struct timespec now {};
    if (clock_gettime(CLOCK_MONOTONIC, &now) != 0) return 0;
    return static_cast<int64_t>(now.tv_sec) * 10000000 + now.tv_nsec / 100;
}

void Clock::SleepMilliseconds(uint32_t milliseconds) {
    struct timespec remaining {};
    remaining.tv_sec = static_cast<time_t>(milliseconds / 1000);
    remaining.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    // A signal ends nanosleep early; sleep the rest.
    while (nanosleep(&remaining, &remaining) == -1 && errno == EINTR) {
    }
}

}  // namespace optivane::platform
