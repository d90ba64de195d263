// Wall-clock time in UTC microseconds since 1970-01-01.
#pragma once

#include <cstdint>

namespace optivane {

class CTimeUtil {
public:
    CTimeUtil() = default;
    virtual ~CTimeUtil() = default;

    int64_t NowMicroseconds() const;
    // Whole seconds times 1,000,000 plus the nanoseconds divided by 1,000 (truncated).
    static int64_t ToMicroseconds(int64_t seconds, int64_t nanoseconds) { return seconds * 1000000 + nanoseconds / 1000; }
};

}  // namespace optivane
