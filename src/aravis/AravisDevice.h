// The device handle of one Aravis camera: opened by device id, made again
// from that id on demand, and replaced when the streaming thread reconnects.
//
// Threads: host threads and the camera's streaming thread call everything.
// The device lock guards the id and the handle and is never held across a
// device call. Every user takes a GObject reference of its own (Handle,
// Current), so a replacement drops only this object's reference and never
// frees a handle in use.
#pragma once

#include <arv.h>

#include <string>

#include "aravis/GObjectPtr.h"
#include "optivane/optivane.h"
#include "runtime/CVrelLock.h"

namespace optivane {

class AravisDevice {
public:
    // Makes a handle for the id and keeps both. E_FAIL for an empty id
    // (Aravis would take it as "the first device") or when nobody answers;
    // nothing is kept then.
    HRESULT Open(const std::string& id);
    // The handle, made from the id when there is none. E_FAIL without an id
    // or when nobody answers.
    HRESULT Handle(GObjectPtr<ArvCamera>* handle);
    // The handle as it is, possibly empty; never makes one.
    GObjectPtr<ArvCamera> Current();
    // Drops the handle, then makes a new one (the device admits one
    // controlling connection). False without an id (nothing is dropped) or
    // when nobody answers.
    bool Reconnect();
    // Drops the handle; the id stays, so a handle comes back on demand.
    void Release();
    // Drops handle and id.
    void Forget();

    // Fills the record from the device; each field only when its own query
    // works, the others keep what they had. E_FAIL without a device id.
    static HRESULT ReadRecord(ArvCamera* device, CameraDeviceInfo* record);

private:
    std::string Id();
    // Keeps a freshly made handle unless another thread made one meanwhile.
    GObjectPtr<ArvCamera> Install(GObjectPtr<ArvCamera> created);

    CVrelLock m_lock;
    std::string m_id;                 // under m_lock
    GObjectPtr<ArvCamera> m_handle;   // under m_lock
};

}  // namespace optivane
