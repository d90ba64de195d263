// The counter pattern: byte i of frame n is (n + i) mod 256. One ramp 255
// bytes longer than a picture serves every frame by its offset, so any rate
// costs nothing. Used by one connection's thread.
#pragma once

#include <vector>

#include "FrameInput.h"

namespace optivane::tool {

class CounterInput final : public FrameInput {
public:
    CounterInput(uint32_t width, uint32_t height);
    uint32_t Width() const override { return m_width; }
    uint32_t Height() const override { return m_height; }
    const uint8_t* Picture(uint64_t n) override { return m_ramp.data() + n % 256; }

private:
    uint32_t m_width, m_height;
    std::vector<uint8_t> m_ramp;
};

}  // namespace optivane::tool
