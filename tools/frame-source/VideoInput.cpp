#include "VideoInput.h"

#include "PictureSize.h"

namespace optivane::tool {

const uint8_t* VideoInput::Picture(uint64_t) {
    cv::Mat frame;
    if (!m_video.read(frame) || frame.empty()) {
        if (!m_video.open(m_path, cv::CAP_ANY) || !m_video.read(frame) || frame.empty()) return nullptr;
    }
    if (frame.type() != CV_8UC3) return nullptr;
    m_picture = Sized(frame, Width(), Height());
    return m_picture.data;
}

}  // namespace optivane::tool
