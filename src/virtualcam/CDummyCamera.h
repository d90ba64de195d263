// The virtual camera (CLSID_DummyCamera): frames of a frame source on this
// computer, received by Mirvale's FrameReceiver and passed on unchanged.
// Settings are fixed answers; the camera has no thread of its own.
//
// State: Created until Open makes the receiver, then Opened; Streaming while
// the receiver delivers; Close releases the receiver and returns to Created.
// Calls that need the receiver answer E_FAIL before Open; null pointers
// E_POINTER; Open answers E_HANDLE when Mirvale or its entry is missing.
//
// Threads: host threads call the IAravisCamera operations, serialised by the
// call lock. Frames arrive on the receiver's one receiving thread, which
// StartStreaming starts (StartReceiving) and StopStreaming, Close and the
// destructor join (StopReceiving) while holding the call lock; once that
// returns, no OnImage runs and none follows. OnImage reads the host callback
// and its context as one pair under the pair lock and calls the host with no
// lock held; StartStreaming replaces the pair under that lock while frames
// flow. The pair lock is taken after the call lock or alone, never the other
// way round, and nothing is called while it is held.
//
// Ownership: the camera owns the receiver and its Mirvale loader; the host
// callback is a plain pointer. Frames are the receiver's, lent for OnFrame.
#pragma once

#include <cstdint>
#include <mutex>

#include "frame/CUnknown.h"
#include "frame/ComPtr.h"
#include "frame/modules/ModuleLoader.h"
#include "optivane/host_framework.h"
#include "optivane/optivane.h"

namespace optivane {

class CDummyCamera : public IAravisCamera, public ICamImageCallback, public CUnknown {
public:
    enum class State { Created, Opened, Streaming };

    static CUnknown* CreateInstance(IUnknown* outer, HRESULT* status);

    OPTIVANE_DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(const IID& iid, void** object) override;

    HRESULT Open(const CameraDeviceInfo* device) override;
    HRESULT GetRegion(uint32_t* x, uint32_t* y, uint32_t* width, uint32_t* height) override;
    HRESULT SetRegion(uint32_t x, uint32_t y, uint32_t width, uint32_t height) override;
    HRESULT GetDeviceInfo(CameraDeviceInfo* device) override;
    HRESULT GetParameter(int32_t id, uint32_t* value) override;
    HRESULT SetParameter(int32_t id, uint32_t value) override;
    HRESULT GetParameterRange(int32_t channel, uint32_t* min, uint32_t* max) override;
    HRESULT GetExposureTimeRange(double* min, double* max) override;
    HRESULT GetPixelFormats(CameraPixelFormat* list, uint32_t capacity, uint32_t* count) override;
    HRESULT SaveSnapshot(uint32_t reserved, const char* path) override;
    HRESULT GrabSnapshot(uint32_t reserved, IUnknown** frame) override;
    HRESULT StartStreaming(IAravisCameraCallback* callback, void* context) override;
    HRESULT RestartStreaming() override;
    HRESULT StopStreaming() override;
    HRESULT Reserved() override;
    HRESULT Close() override;

    // ICamImageCallback, on the receiver's thread.
    HRESULT OnImage(IUnknown* frame) override;

private:
    explicit CDummyCamera(IUnknown* outer);
    ~CDummyCamera() override;

    HRESULT StopLocked();

    std::recursive_mutex m_calls;  // serialises host calls
    std::mutex m_pairLock;         // guards the callback and its context
    IAravisCameraCallback* m_callback = nullptr;
    void* m_context = nullptr;

    State m_state = State::Created;  // call lock
    char m_host[64] = "127.0.0.1";
    uint16_t m_port = 45000;
    CameraDeviceInfo m_device = {};
    ModuleLoader m_mirvale;
    ComPtr<IFrameReceiver> m_receiver;
};

}  // namespace optivane
