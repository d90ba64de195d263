#include "CFrameImage.h"

#include <new>

namespace optivane {

CFrameImage::CFrameImage() : CUnknown(nullptr) {}

CUnknown* CFrameImage::CreateInstance(IUnknown* /*outer*/, HRESULT* status) {
    CFrameImage* image = new (std::nothrow) CFrameImage();
    if (image == nullptr) *status = E_OUTOFMEMORY;
    return image;
}

HRESULT CFrameImage::NonDelegatingQueryInterface(const IID& iid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IFrameImage) return GetInterface(static_cast<IFrameImage*>(this), object);
    if (iid == IID_IPoolMember) return GetInterface(static_cast<IPoolMember*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(iid, object);
}

HRESULT CFrameImage::GetHoldCount(uint32_t* holders) { return m_holds.Get(holders); }
HRESULT CFrameImage::Hold() { return m_holds.Hold(); }
HRESULT CFrameImage::Done() { return m_holds.Done(); }
HRESULT CFrameImage::SetFormat(const FrameFormat* format) { return m_picture.SetFormat(format); }
HRESULT CFrameImage::GetFormat(FrameFormat* format) { return m_picture.GetFormat(format); }
HRESULT CFrameImage::SetTime(const FrameTime* start, const FrameTime* end) { return m_picture.SetTime(start, end); }
HRESULT CFrameImage::GetTime(FrameTime* start, FrameTime* end) { return m_picture.GetTime(start, end); }
HRESULT CFrameImage::GetStride(uint32_t* stride) { return m_picture.GetStride(stride); }
HRESULT CFrameImage::GetBuffer(uint8_t** data, uint32_t* size) { return m_picture.GetBuffer(data, size); }

bool CFrameImage::JoinPool() { return !m_inPool.exchange(true, std::memory_order_acq_rel); }
void CFrameImage::LeavePool() { m_inPool.store(false, std::memory_order_release); }
int32_t CFrameImage::MemberReferenceCount() const { return ReferenceCount(); }
uint32_t CFrameImage::MemberHoldCount() const { return m_holds.Get(); }
bool CFrameImage::ClaimHold() { return m_holds.Claim(); }

}  // namespace optivane
