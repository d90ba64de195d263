// A phone's JPEG photograph decoded into one BGR picture that is kept and
// reused: photographs of the same size decode into the same memory, and the
// camera copies each into the host's image. The header is scanned first, so
// data that is no JPEG, or a picture no image could hold, never reaches the
// decoder (which throws on some inputs, an empty one among them).
//
// Threads: used by one thread at a time (the camera holds its lock).
#pragma once

#include <cstddef>
#include <cstdint>

#include <opencv2/core/mat.hpp>

#include "optivane/com.h"

namespace optivane::phone {

class PhonePictureDecoder {
public:
    // S_OK with the picture kept; E_FAIL for data that is no JPEG, cannot be
    // decoded or gives no 3-channel picture (the kept one is then undefined).
    HRESULT Decode(const uint8_t* data, size_t size);
    uint32_t Width() const { return static_cast<uint32_t>(m_picture.cols); }
    uint32_t Height() const { return static_cast<uint32_t>(m_picture.rows); }
    // Copies the picture, rows of Width() * 3 bytes without gaps, to data;
    // false when size is smaller than that or nothing was decoded.
    bool CopyTo(uint8_t* data, size_t size) const;

private:
    cv::Mat m_picture;
};

}  // namespace optivane::phone
