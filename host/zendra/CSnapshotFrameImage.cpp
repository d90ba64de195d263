#include "CSnapshotFrameImage.h"

#include <new>

namespace optivane {

CSnapshotFrameImage::CSnapshotFrameImage() : CUnknown(nullptr) {}

CUnknown* CSnapshotFrameImage::CreateInstance(IUnknown* /*outer*/, HRESULT* status) {
    CSnapshotFrameImage* image = new (std::nothrow) CSnapshotFrameImage();
    if (image == nullptr) *status = E_OUTOFMEMORY;
    return image;
}

HRESULT CSnapshotFrameImage::NonDelegatingQueryInterface(const IID& iid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IFrameImage) return GetInterface(static_cast<IFrameImage*>(this), object);
    if (iid == IID_IImageRowAccess) return GetInterface(static_cast<IImageRowAccess*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(iid, object);
}

HRESULT CSnapshotFrameImage::GetHoldCount(uint32_t* holders) { return m_holds.Get(holders); }
HRESULT CSnapshotFrameImage::Hold() { return m_holds.Hold(); }
HRESULT CSnapshotFrameImage::Done() { return m_holds.Done(); }
HRESULT CSnapshotFrameImage::SetFormat(const FrameFormat* format) { return m_picture.SetFormat(format); }
HRESULT CSnapshotFrameImage::GetFormat(FrameFormat* format) { return m_picture.GetFormat(format); }
HRESULT CSnapshotFrameImage::SetTime(const FrameTime* start, const FrameTime* end) {
    return m_picture.SetTime(start, end);
}
HRESULT CSnapshotFrameImage::GetTime(FrameTime* start, FrameTime* end) { return m_picture.GetTime(start, end); }
HRESULT CSnapshotFrameImage::GetStride(uint32_t* stride) { return m_picture.GetStride(stride); }
HRESULT CSnapshotFrameImage::GetBuffer(uint8_t** data, uint32_t* size) { return m_picture.GetBuffer(data, size); }

HRESULT CSnapshotFrameImage::GetRow(uint32_t plane, uint32_t row, uint8_t** red, uint8_t** green, uint8_t** blue) {
    return m_picture.GetRow(plane, row, red, green, blue);
}

}  // namespace optivane
