#include "runtime/CTimeUtil.h"

#include "platform/Clock.h"

namespace optivane {

int64_t CTimeUtil::NowMicroseconds() const {
    const platform::UtcTimeSpec now = platform::Clock::UtcNow();
    return ToMicroseconds(now.seconds, now.nanoseconds);
}

}  // namespace optivane
