// The pauses and time limits of an IDS peak camera. The defaults are what a
// camera in the field needs; tests shorten them to run quickly.
#pragma once

#include <cstdint>

namespace optivane {

struct PeakTimings {
    // Shortest wait for a finished buffer; longer waits follow slow rates
    // (ten frame periods).
    uint64_t minimumBufferWaitMs = 5000;
    // Between attempts to read the frame rate before a wait.
    uint32_t frameRateRetryPauseMs = 50;
    // Streaming thread: after each delivered frame, between the steps of a
    // reconnection, and between two looks at a lost device.
    uint32_t framePauseMs = 50;
    uint32_t reconnectStepPauseMs = 50;
    uint32_t lostDevicePollMs = 500;
    // A camera that made the library restart may not make it again until
    // this long after that restart ended.
    uint32_t restartSpacingMs = 2000;
    // Snapshot: between two looks for the kept frame.
    uint32_t snapshotPollMs = 100;
};

}  // namespace optivane
