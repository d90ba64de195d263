// Sizing of pictures read from files: scaled to the size asked for, and
// checked against the largest frame the protocol carries.
#pragma once

#include <cstdint>
#include <opencv2/core.hpp>

namespace optivane::tool {

// The picture at width x height (width 0: its own size), in one block.
cv::Mat Sized(const cv::Mat& picture, uint32_t width, uint32_t height);
// Whether a frame of this picture's size may be sent.
bool FitsProtocol(const cv::Mat& picture);

}  // namespace optivane::tool
