// Where a frame source's pictures come from: the counter or moving pattern,
// image files in turn, or a video file. One input per connection.
//
// Picture returns a BGR picture of Width() x Height() for frame n, valid until
// the next call; null when the input fails (a video that cannot be read).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "SourceOptions.h"

namespace optivane::tool {

// Implementations: CounterInput, MovingInput, ImageInput, VideoInput; each is
// owned by one connection and used only by its thread.
class FrameInput {
public:
    virtual ~FrameInput() = default;
    virtual uint32_t Width() const = 0;
    virtual uint32_t Height() const = 0;
    virtual const uint8_t* Picture(uint64_t n) = 0;

    // The input the options name; null with *error when files cannot be read.
    static std::unique_ptr<FrameInput> Open(const SourceOptions& options, std::string* error);
};

}  // namespace optivane::tool
