// A colour gradient with a white bar moving across, for people to look at.
// Each frame is drawn anew into one picture; used by one connection's thread.
#pragma once

#include <opencv2/core.hpp>

#include "FrameInput.h"

namespace optivane::tool {

class MovingInput final : public FrameInput {
public:
    MovingInput(uint32_t width, uint32_t height);
    uint32_t Width() const override { return static_cast<uint32_t>(m_picture.cols); }
    uint32_t Height() const override { return static_cast<uint32_t>(m_picture.rows); }
    const uint8_t* Picture(uint64_t n) override;

private:
    cv::Mat m_picture;
};

}  // namespace optivane::tool
