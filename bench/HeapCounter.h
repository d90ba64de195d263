// Counts the heap allocations of the whole benchmark process, every thread
// and library included, so that per-frame allocations can be measured.
#pragma once

#include <cstdint>

namespace optivane::bench {

// Allocations (malloc, calloc, realloc, aligned allocations, everything
// built on them such as operator new, and direct memory mappings) since the
// process started.
uint64_t HeapAllocations();

}  // namespace optivane::bench
