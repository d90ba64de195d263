// The operating system's number for the calling thread, as debuggers and
// process viewers show it (the kernel's thread id on POSIX, GetCurrentThreadId
// on Windows), so that trace lines can be matched with them.
#pragma once

#include <cstdint>

namespace optivane::platform {

class ThreadId {
public:
    static uint64_t Current();
};

}  // namespace optivane::platform
