// The contents of an image: its format, its two times and its blue-green-red
// buffer. Plain class owned by one image object.
//
// Not locked: an image is worked on by one holder at a time (the pool hands
// it to one user; a user who hands it on stops touching it).
#pragma once

#include <cstdint>

#include "optivane/host_framework.h"
#include "platform/TouchedMemory.h"

namespace optivane {

class CFramePicture {
public:
    // An empty picture: format 0 x 0, no buffer.
    CFramePicture() = default;
    virtual ~CFramePicture() = default;
    CFramePicture(const CFramePicture&) = delete;
    CFramePicture& operator=(const CFramePicture&) = delete;

    // E_INVALIDARG for zero width or height or a picture above
    // kMaxPictureBytes. Grows the buffer (a new touched block, old contents
    // dropped) only when the picture needs more than it has; never shrinks.
    // E_OUTOFMEMORY when it cannot grow. On failure nothing changes.
    HRESULT SetFormat(const FrameFormat* format);
    HRESULT GetFormat(FrameFormat* format) const;
    // Until set, both times are {0, 0}.
    HRESULT SetTime(const FrameTime* start, const FrameTime* end);
    HRESULT GetTime(FrameTime* start, FrameTime* end) const;
    HRESULT GetStride(uint32_t* stride) const;
    // E_FAIL while the format is empty.
    HRESULT GetBuffer(uint8_t** data, uint32_t* size) const;
    // Blue, green and red of the first pixel of a row; E_INVALIDARG for a
    // plane other than 0 or a row outside the picture.
    HRESULT GetRow(uint32_t plane, uint32_t row, uint8_t** red, uint8_t** green, uint8_t** blue) const;

    // The largest picture a format may describe, in bytes.
    static constexpr uint64_t kMaxPictureBytes = uint64_t{1} << 31;

private:
    static constexpr uint32_t kBytesPerPixel = 3;

    uint32_t Stride() const { return m_format.Width * kBytesPerPixel; }
    uint32_t PictureBytes() const { return m_format.Height * Stride(); }

    FrameFormat m_format{};
    FrameTime m_start{};
    FrameTime m_end{};
    platform::TouchedMemory m_buffer;
};

}  // namespace optivane
