// The pooled image (CLSID_FrameImage): a blue-green-red picture made to live
// in a SamplePool. It owns from creation a touched buffer for a 4000 x 3000
// picture, so that formats up to that size never allocate.
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

    // The format every pooled image starts with.
    static constexpr FrameFormat kInitialFormat = {0, 4000, 3000, 4, 3, 1000, 1000};

private:
    CFrameImage();

    CHoldCount m_holds;
    std::atomic<bool> m_inPool{false};
    CFramePicture m_picture;
};

}  // namespace optivane
