// How the phone camera's exposure settings map onto the shared 20-step
// table: limits compare as unsigned numbers, the minimum applied first.
#pragma once

#include <cstdint>

#include "frame/ExposureSteps.h"

namespace optivane::phone {

inline uint32_t Limited(uint32_t value, uint32_t minimum, uint32_t maximum) {
    if (value < minimum) value = minimum;
    if (value > maximum) value = maximum;
    return value;
}

// The step nearest an exposure in microseconds: distances cut to integers,
// the lower index winning a tie.
inline uint32_t NearestStep(uint32_t microseconds) {
    uint32_t best = 0;
    int64_t bestDistance = 99999999;
    for (uint32_t index = 0; index < exposure::kStepCount; ++index) {
        double difference = exposure::kSteps[index].microseconds - microseconds;
        if (difference < 0) difference = -difference;
        const int64_t distance = static_cast<int64_t>(difference);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = index;
        }
    }
    return best;
}

}  // namespace optivane::phone
