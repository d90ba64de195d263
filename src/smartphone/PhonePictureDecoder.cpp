#include "smartphone/PhonePictureDecoder.h"

#include <cstring>
#include <exception>

#include <opencv2/imgcodecs.hpp>

#include "smartphone/JpegHeader.h"

namespace optivane::phone {

HRESULT PhonePictureDecoder::Decode(const uint8_t* data, size_t size) {
    JpegSize picture{};
    if (!ScanJpegHeader(data, size, picture)) return E_FAIL;
    try {
        const cv::Mat encoded(1, static_cast<int>(size), CV_8UC1, const_cast<uint8_t*>(data));
        cv::imdecode(encoded, cv::IMREAD_COLOR, &m_picture);
    } catch (const std::exception&) {
        return E_FAIL;
    }
    return m_picture.empty() || m_picture.type() != CV_8UC3 ? E_FAIL : S_OK;
}

bool PhonePictureDecoder::CopyTo(uint8_t* data, size_t size) const {
    const size_t row = size_t{Width()} * 3;
    if (m_picture.empty() || data == nullptr || size < row * Height()) return false;
    for (uint32_t y = 0; y < Height(); ++y) std::memcpy(data + row * y, m_picture.ptr(static_cast<int>(y)), row);
    return true;
}

}  // namespace optivane::phone
