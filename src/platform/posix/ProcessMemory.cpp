#include "platform/ProcessMemory.h"

#include <sys/resource.h>

namespace optivane::platform {

uint64_t ProcessMemory::PeakResidentBytes() {
    rusage usage{};
    if (getrusage(RUSAGE_SELF, &usage) != 0 || usage.ru_maxrss < 0) return 0;
    // Linux counts in kibibytes.
    return static_cast<uint64_t>(usage.ru_maxrss) * 1024;
}

}  // namespace optivane::platform
