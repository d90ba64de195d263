#include "platform/ThreadId.h"

#include <windows.h>

namespace optivane::platform {

uint64_t ThreadId::Current() { return GetCurrentThreadId(); }

}  // namespace optivane::platform
