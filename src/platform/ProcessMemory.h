// How much memory this process holds in physical pages, so that a program
// can tell its user what a stream costs.
#pragma once

#include <cstdint>

namespace optivane::platform {

class ProcessMemory {
public:
    // The most resident memory (working set) the process has held so far, in
    // bytes; 0 when the system cannot tell.
    static uint64_t PeakResidentBytes();
};

}  // namespace optivane::platform
