// Conversion of the device's floating-point values to the host's uint32 settings.
#pragma once

#include <cstdint>

namespace optivane {

// Truncates toward zero and keeps the low 32 bits; values no 64-bit integer
// holds (NaN included) give 0.
inline uint32_t TruncatedLowBits(double value) {
    if (!(value > -9.2e18 && value < 9.2e18)) return 0;
    return static_cast<uint32_t>(static_cast<int64_t>(value));
}

}  // namespace optivane
