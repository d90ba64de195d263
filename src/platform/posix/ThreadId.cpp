#include "platform/ThreadId.h"

#include <unistd.h>

namespace optivane::platform {

uint64_t ThreadId::Current() { return static_cast<uint64_t>(gettid()); }

}  // namespace optivane::platform
