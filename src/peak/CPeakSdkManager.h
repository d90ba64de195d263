// The one owner of the IDS peak library in the process: it initialises the
// library when it is made and closes it when its last reference goes, and
// keeps the IDS peak cameras that are open, so that a camera whose data
// stream cannot be prepared may restart the library around all of them.
//
// Singleton: made under the process lock, and handed out again while it
// lives; its last Release runs under the same lock, so a creation either
// finds the living instance or makes a new one after the old one is gone.
//
// Threads: host threads register and unregister cameras (from their Open,
// Close and destructor); a camera's streaming thread runs ReinitializeSdk.
// The manager lock guards the camera list and is held for the whole of
// ReinitializeSdk, which takes the peak restart lock before it and each
// camera's device lock inside (lock order: restart, manager, device,
// instance). A camera never calls in here holding its own
// device lock.
//
// Ownership: the list holds plain pointers, no references.
#pragma once

#include <vector>

#include "frame/CUnknown.h"
#include "optivane/optivane.h"
#include "runtime/CVrelLock.h"

namespace optivane {

class CPeakSdkManager : public IPeakSdkManager, public CUnknown {
public:
    static CUnknown* CreateInstance(IUnknown* outer, HRESULT* status);

    OPTIVANE_DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(const IID& iid, void** object) override;
    ULONG NonDelegatingRelease() override;

    // IPeakSdkManager
    HRESULT RegisterCamera(CIdsPeakCamera* camera) override;
    HRESULT UnregisterCamera(CIdsPeakCamera* camera) override;
    HRESULT ReinitializeSdk() override;

private:
    explicit CPeakSdkManager(IUnknown* outer);
    ~CPeakSdkManager() override;

    CVrelLock m_lock;
    std::vector<CIdsPeakCamera*> m_cameras;  // under m_lock, in registration order
};

}  // namespace optivane
