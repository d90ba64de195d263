// What host threads set and the streaming thread reads, per frame or per
// acquisition run. Every field is atomic: no lock is taken per frame.
#pragma once

#include <atomic>
#include <cstdint>

namespace optivane {

struct AravisStreamSettings {
    std::atomic<uint32_t> rotation{0};
    std::atomic<uint32_t> flip{0};
    // The frame rate each acquisition run asks the device for, in frames per
    // 1000 seconds; 0 asks for nothing.
    std::atomic<uint32_t> frameRateMillihertz{1000};
    // A run without a frame for this long (microseconds) ends, and the
    // streaming thread reconnects.
    std::atomic<int64_t> noFrameTimeoutMicroseconds{10000000};
};

}  // namespace optivane
