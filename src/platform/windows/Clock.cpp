#include "platform/Clock.h"

#include <windows.h>

#include <ctime>

namespace optivane::platform {

UtcTimeSpec Clock::UtcNow() {
    struct timespec now {};
    if (timespec_get(&now, TIME_UTC) != TIME_UTC) return UtcTimeSpec{0, 0};
    return UtcTimeSpec{static_cast<int64_t>(now.tv_sec), static_cast<int64_t>(now.tv_nsec)};
}

LocalCalendarTime Clock::LocalNow() {
    SYSTEMTIME local{};
    GetLocalTime(&local);
    return LocalCalendarTime{local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond,
                             local.wMilliseconds};
}

int64_t Clock::MonotonicTicks() {
    LARGE_INTEGER frequency{};
    LARGE_INTEGER counter{};
    if (!QueryPerformanceFrequency(&frequency) || frequency.QuadPart == 0) return 0;
    if (!QueryPerformanceCounter(&counter)) return 0;
    // Whole seconds and the remainder apart, so that the product cannot overflow.
    const int64_t seconds = counter.QuadPart / frequency.QuadPart;
    const int64_t rest = counter.QuadPart % frequency.QuadPart;
    return seconds * 10000000 + rest * 10000000 / frequency.QuadPart;
}

void Clock::SleepMilliseconds(uint32_t milliseconds) { Sleep(milliseconds); }

}  // namespace optivane::platform
