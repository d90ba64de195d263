// The 20 fixed exposure steps every camera kind offers as one setting: index
// 0 is the longest (30 s), index 19 the shortest (1/60 s).
#pragma once

#include <cstdint>

namespace optivane::exposure {

constexpr uint32_t kStepCount = 20;
// What an index outside the table sets.
constexpr uint32_t kFallbackStep = 14;

struct Step {
    double microseconds;  // the exposure the step sets
    // An exposure above this (and not above the threshold of the step
    // before) reads as this step; unused for the last step.
    double readThreshold;
    const char* label;
};

constexpr Step kSteps[kStepCount] = {
    {30000000.0, 22500000.0, "30 s"},    {15000000.0, 11500000.0, "15 s"},     {10000000.0, 9000000.0, "10 s"},
    {8000000.0, 6000000.0, "8 s"},       {6000000.0, 5500000.0, "6 s"},        {5000000.0, 4500000.0, "5 s"},
    {4000000.0, 3500000.0, "4 s"},       {3000000.0, 2500000.0, "3 s"},        {2000000.0, 1500000.0, "2 s"},
    {1000000.0, 750000.0, "1 s"},        {500000.0, 420000.0, "1/2 s"},        {1000000.0 / 3, 290000.0, "1/3 s"},
    {250000.0, 225000.0, "1/4 s"},       {200000.0, 185000.0, "1/5 s"},        {1000000.0 / 6, 140000.0, "1/6 s"},
    {100000.0, 80000.0, "1/10 s"},       {1000000.0 / 15, 60000.0, "1/15 s"},  {50000.0, 42000.0, "1/20 s"},
    {1000000.0 / 30, 25000.0, "1/30 s"}, {1000000.0 / 60, 0.0, "1/60 s"},
};

// The exposure of a step; an index outside the table gives the fallback step's.
constexpr double StepTime(uint32_t index) { return kSteps[index < kStepCount ? index : kFallbackStep].microseconds; }

// The step an exposure reads as: the first whose threshold it exceeds, else
// the last.
constexpr uint32_t StepIndex(double exposureMicroseconds) {
    for (uint32_t index = 0; index + 1 < kStepCount; ++index) {
        if (exposureMicroseconds > kSteps[index].readThreshold) return index;
    }
    return kStepCount - 1;
}

}  // namespace optivane::exposure
