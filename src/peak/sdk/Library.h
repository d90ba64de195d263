// The layer's lifetime: Initialize and Close are counted, and the layer is
// usable from the first Initialize to the matching last Close. Each such span
// is one generation; objects remember theirs and raise
// NotInitializedException once it has ended, also after a new Initialize.
//
// Threads: any thread calls everything. One process lock guards the count and
// the generation; the last Close releases the device manager's objects under
// it (lock order: library, then device manager).
#pragma once

#include <cstdint>

namespace optivane::peak {

class Library {
public:
    static void Initialize();
    // NotInitializedException when there is nothing left to close.
    static void Close();
    static bool IsInitialized();
    // The current generation; NotInitializedException outside a span.
    static uint64_t Generation();
    // NotInitializedException unless generation is the current one.
    static void CheckGeneration(uint64_t generation);
};

}  // namespace optivane::peak
