// The pauses and time limits of an Aravis camera. The defaults are what a
// camera in the field needs; tests shorten them to run quickly.
#pragma once

#include <cstdint>

namespace optivane {

struct AravisTimings {
    // Streaming thread: before a handle is made again after a failed or
    // stalled run, and while no handle can be made.
    uint32_t retryPauseMs = 100;
    uint32_t noDevicePauseMs = 500;
    // Pop loop: the wait between two looks at an empty stream.
    uint32_t emptyStreamPollMs = 10;
    // A user set that has not taken is written again once a pause, for as
    // long as the window lasts (100-ns ticks).
    int64_t userSetRetryWindowTicks = 200000000;
    uint32_t userSetRetryPauseMs = 1000;
    // Lets a stream restarted after a user-set switch deliver again before
    // the caller goes on.
    uint32_t restartSettleMs = 3000;
};

}  // namespace optivane
