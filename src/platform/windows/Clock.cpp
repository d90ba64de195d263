#include "platform/Clock.h"

#include <windows.h>

namespace optivane::platform {

namespace {

// FILETIME counts 100-nanosecond ticks from 1601-01-01; Unix time from 1970.
constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kUnixEpochInFileTimeTicks = 116444736000000000;

}  // namespace

// The system clock read directly: what the UCRT's timespec_get reads, and
// also there where the C runtime (MinGW's msvcrt) has no timespec_get.
UtcTimeSpec Clock::UtcNow() {
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    const int64_t ticks =
        static_cast<int64_t>((static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime) -
        kUnixEpochInFileTimeTicks;
    if (ticks < 0) return UtcTimeSpec{0, 0};
    return UtcTimeSpec{ticks / kTicksPerSecond, (ticks % kTicksPerSecond) * 100};
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
