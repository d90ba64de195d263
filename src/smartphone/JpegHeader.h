// A look at a JPEG file's markers before it is decoded: data without a frame
// header, or a picture no image of the frame module can hold (a zero side,
// or more than 2^31 bytes at 3 bytes a pixel), is refused without the
// decoder ever seeing it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace optivane::phone {

struct JpegSize {
    uint32_t width;
    uint32_t height;
};

// True with the picture's size when the data starts a JPEG file whose frame
// header comes before its first scan and describes a picture that fits.
bool ScanJpegHeader(const uint8_t* data, size_t size, JpegSize& picture);

}  // namespace optivane::phone
