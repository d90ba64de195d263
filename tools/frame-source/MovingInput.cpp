#include "MovingInput.h"

namespace optivane::tool {

MovingInput::MovingInput(uint32_t width, uint32_t height)
    : m_picture(static_cast<int>(height), static_cast<int>(width), CV_8UC3) {}

const uint8_t* MovingInput::Picture(uint64_t n) {
    const int bar = static_cast<int>((n * 8) % static_cast<uint64_t>(m_picture.cols));
    for (int y = 0; y < m_picture.rows; ++y) {
        cv::Vec3b* row = m_picture.ptr<cv::Vec3b>(y);
        for (int x = 0; x < m_picture.cols; ++x) {
            const bool onBar = x >= bar && x < bar + 16;
            row[x] = onBar ? cv::Vec3b(255, 255, 255)
                           : cv::Vec3b(static_cast<uint8_t>(x * 255 / m_picture.cols),
                                       static_cast<uint8_t>(y * 255 / m_picture.rows), static_cast<uint8_t>(n));
        }
    }
    return m_picture.data;
}

}  // namespace optivane::tool
