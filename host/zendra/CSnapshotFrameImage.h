// The snapshot image (CLSID_SnapshotFrameImage): a blue-green-red picture made
// for one frame handed out on its own, not for a pool. It starts with an empty
// format (0 x 0) and no buffer; SetFormat sizes the buffer. It also answers
// IID_IImageRowAccess so that a writer can fill it row by row.
//
// Ownership: reference counted; the holder of the last reference destroys it.
// Threads: the hold and reference counts may be changed from any thread; the
// picture is used by one holder at a time.
#pragma once

#include "CFramePicture.h"
#include "CHoldCount.h"
#include "frame/CUnknown.h"
#include "optivane/host_framework.h"

namespace optivane {

class CSnapshotFrameImage : public IFrameImage, public IImageRowAccess, public CUnknown {
public:
    // Never aggregated, like every object of this library.
    static CUnknown* CreateInstance(IUnknown* outer, HRESULT* status);

    // Overrides the IUnknown slots of both interfaces.
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

    // IImageRowAccess
    HRESULT GetRow(uint32_t plane, uint32_t row, uint8_t** red, uint8_t** green, uint8_t** blue) override;

private:
    CSnapshotFrameImage();

    CHoldCount m_holds;
    CFramePicture m_picture;
};

}  // namespace optivane
