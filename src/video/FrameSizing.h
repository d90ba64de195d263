// What one acquisition run will deliver, known before its first frame. The
// deliverer sizes every pooled raw sample, image and work picture by it when
// it fills its pools, so that the frames pay for no fresh memory.
#pragma once

#include <cstdint>

#include "optivane/host_framework.h"

namespace optivane {

struct FrameSizing {
    // The format every frame will be pushed with; width or height 0: not
    // known, and the images grow with the first frames instead.
    FrameFormat format{};
    // The largest raw frame (a stream's payload); 0: not known, and the raw
    // samples grow with the first frames instead.
    uint32_t rawBytes = 0;
    // Whether flip or rotation is asked for from the start: only then does
    // each conversion task get its work picture ahead of the frames.
    bool transformed = false;
};

}  // namespace optivane
