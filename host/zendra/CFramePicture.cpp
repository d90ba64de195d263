#include "CFramePicture.h"

#include <utility>

namespace optivane {

HRESULT CFramePicture::SetFormat(const FrameFormat* format) {
    if (format == nullptr) return E_POINTER;
    if (format->Width == 0 || format->Height == 0) return E_INVALIDARG;
    const uint64_t bytes = uint64_t{format->Width} * format->Height * kBytesPerPixel;
    if (bytes > kMaxPictureBytes) return E_INVALIDARG;
    if (bytes > m_buffer.Size()) {
        platform::TouchedMemory grown(static_cast<size_t>(bytes));
        if (grown.Data() == nullptr) return E_OUTOFMEMORY;
        m_buffer = std::move(grown);
    }
    m_format = *format;
    return S_OK;
}

HRESULT CFramePicture::GetFormat(FrameFormat* format) const {
    if (format == nullptr) return E_POINTER;
    *format = m_format;
    return S_OK;
}

HRESULT CFramePicture::SetTime(const FrameTime* start, const FrameTime* end) {
    if (start == nullptr || end == nullptr) return E_POINTER;
    m_start = *start;
    m_end = *end;
    return S_OK;
}

HRESULT CFramePicture::GetTime(FrameTime* start, FrameTime* end) const {
    if (start == nullptr || end == nullptr) return E_POINTER;
    *start = m_start;
    *end = m_end;
    return S_OK;
}

HRESULT CFramePicture::GetStride(uint32_t* stride) const {
    if (stride == nullptr) return E_POINTER;
    *stride = Stride();
    return S_OK;
}

HRESULT CFramePicture::GetBuffer(uint8_t** data, uint32_t* size) const {
    if (data == nullptr || size == nullptr) return E_POINTER;
    if (PictureBytes() == 0) {
        *data = nullptr;
        *size = 0;
        return E_FAIL;
    }
    *data = m_buffer.Data();
    *size = PictureBytes();
    return S_OK;
}

HRESULT CFramePicture::GetRow(uint32_t plane, uint32_t row, uint8_t** red, uint8_t** green, uint8_t** blue) const {
    if (red == nullptr || green == nullptr || blue == nullptr) return E_POINTER;
    if (plane != 0 || row >= m_format.Height) return E_INVALIDARG;
    uint8_t* const first = m_buffer.Data() + size_t{row} * Stride();
    *blue = first;
    *green = first + 1;
    *red = first + 2;
    return S_OK;
}

}  // namespace optivane
