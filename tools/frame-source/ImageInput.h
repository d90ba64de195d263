// Image files, each read once at opening and shown in turn. The pictures
// share one size and are owned here; used by one connection's thread.
#pragma once

#include <opencv2/core.hpp>
#include <vector>

#include "FrameInput.h"

namespace optivane::tool {

class ImageInput final : public FrameInput {
public:
    explicit ImageInput(std::vector<cv::Mat> pictures) : m_pictures(std::move(pictures)) {}
    uint32_t Width() const override { return static_cast<uint32_t>(m_pictures[0].cols); }
    uint32_t Height() const override { return static_cast<uint32_t>(m_pictures[0].rows); }
    const uint8_t* Picture(uint64_t n) override { return m_pictures[n % m_pictures.size()].data; }

private:
    std::vector<cv::Mat> m_pictures;
};

}  // namespace optivane::tool
