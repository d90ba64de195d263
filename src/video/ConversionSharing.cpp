#include "video/ConversionSharing.h"

#include <algorithm>

#include "video/ConversionGate.h"

namespace optivane {

ConversionSharing ConversionSharing::For(uint32_t width, uint32_t height, int cores, int openCvThreads,
                                         int ringSize) {
    const uint64_t pixels = uint64_t{width} * height;
    if (pixels == 0 || pixels > kOwnThreadPixels) {
        return {false, ConversionGate::WidthFor(cores, openCvThreads, ringSize)};
    }
    // One conversion a core, oldest first; an unknown core count as two.
    return {true, std::clamp(cores > 0 ? cores : 2, 1, ringSize)};
}

}  // namespace optivane
