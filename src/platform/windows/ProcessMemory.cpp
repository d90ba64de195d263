#include "platform/ProcessMemory.h"

#include <windows.h>

#include <psapi.h>

namespace optivane::platform {

uint64_t ProcessMemory::PeakResidentBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters))) return 0;
    return counters.PeakWorkingSetSize;
}

}  // namespace optivane::platform
