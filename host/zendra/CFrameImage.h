// The pooled image (CLSID_FrameImage): a blue-green-red picture made to live
// in a SamplePool. It starts with an empty format (0 x 0) and no buffer; the
// first SetFormat makes a touched buffer of exactly that picture, and a later
// one grows it (a new touched block) only when its picture needs more. It
// never shrinks, so formats up to the largest set so far never allocate: the
// owner of a pool sets each image's format once, when it fills the pool, and
// the frame path after it pays for no fresh pages.
//
// Ownership: reference counted; the pool keeps one reference, each user one.
// Threads: the hold and reference counts may be changed from any thread; the
// picture (format, time, pixels) is used by one holder at a time.
#pragma once

#include <atomic>

#include "CFramePicture.h"
#include "CHoldCount.h"
#include "IPoolMember.h"
#include "frame/CUnknown.h"
#include "optivane/host_framework.h"

namespace optivane {

class CFrameImage : public IFrameImage, public IPoolMember, public CUnknown {
public:
    // Never aggregated: a pool reads the object's own reference count.
    static CUnknown* CreateInstance(IUnknown* outer, HRESULT* status);

    OPTIVANE_DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(const IID& iid, void** object) override;

    // IFrameImage
    HRESULT GetHoldCount(uint32_t* holders) override;
    HRESULT Hold() override;
    HRESULT Done() override;
    HRESULT SetFormat(const FrameFormat* format) override;
    HRESULT GetFormat(FrameFormat* format) override;
    HRESULT SetTime(const FrameTime* start, const FrameTime* end) override;
    HRESULT GetTime(FrameTime* start, FrameTime* end) override;
    HRESULT GetStride(uint32_t* stride) override;
    HRESULT GetBuffer(uint8_t** data, uint32_t* size) override;

    // IPoolMember
    bool JoinPool() override;
    void LeavePool() override;
    int32_t MemberReferenceCount() const override;
    uint32_t MemberHoldCount() const override;
    bool ClaimHold() override;

private:
    CFrameImage();

    CHoldCount m_holds;
    std::atomic<bool> m_inPool{false};
    CFramePicture m_picture;
};

}  // namespace optivane
