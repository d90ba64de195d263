// A local video file, read frame by frame and from its start again at its
// end, every frame at the first one's size. Owns its reader; used by one
// connection's thread.
#pragma once

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>
#include <string>

#include "FrameInput.h"

namespace optivane::tool {

class VideoInput final : public FrameInput {
public:
    // first: the video's first frame, already at the size to serve.
    VideoInput(std::string path, cv::Mat first) : m_path(std::move(path)), m_picture(std::move(first)) {}
    bool Open() { return m_video.open(m_path, cv::CAP_ANY); }
    uint32_t Width() const override { return static_cast<uint32_t>(m_picture.cols); }
    uint32_t Height() const override { return static_cast<uint32_t>(m_picture.rows); }
    const uint8_t* Picture(uint64_t n) override;

private:
    std::string m_path;
    cv::Mat m_picture;
    cv::VideoCapture m_video;
};

}  // namespace optivane::tool
