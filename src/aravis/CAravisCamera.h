// One GigE Vision or USB3 Vision camera driven through Aravis: the component
// the host holds, a front over parts with one job each.
//
//   AravisDevice      the device handle, opened by id and made again on demand
//   AravisStreamer    the streaming thread: acquisition runs and reconnection
//   AravisParameters  the numbered settings, with one rules object per vendor
//   AravisSnapshot    single frames, converted as streamed frames are
//
// State: Created until Open succeeds, Opening while one Open talks to the
// device (a second Open meanwhile fails), then Opened; Close moves an opened
// camera to Closed, where no Open is accepted any more but handles are
// still made on demand. Every entry checks its arguments first; entries that
// need the device then fail with E_FAIL until an Open has succeeded, as
// AravisDevice knows no device id before. Streaming may start in any state:
// the streaming thread waits for a device. Whether it streams is the
// streaming thread's own state (AravisStreamer).
//
// Threads: host threads call the IAravisCamera operations; the state lock
// guards the state and is held only while it is read or changed, never
// across a device call. The streamer's thread, the deliverer's delivery
// thread (which calls the host's OnFrame) and its conversion workers are
// described in AravisStreamer.h.
//
// Ownership: the camera owns its parts; the frame sink is a plain pointer,
// not owned. Parts are declared in the order they depend on one another, so
// that the streaming thread is stopped before anything it uses goes.
#pragma once

#include <cstdint>

#include "aravis/AravisDevice.h"
#include "aravis/AravisParameters.h"
#include "aravis/AravisSnapshot.h"
#include "aravis/AravisStreamSettings.h"
#include "aravis/AravisStreamer.h"
#include "aravis/AravisTimings.h"
#include "frame/CUnknown.h"
#include "optivane/optivane.h"
#include "runtime/CVrelLock.h"

namespace optivane {

class CAravisCamera : public IAravisCamera, public CUnknown {
public:
    enum class State { Created, Opening, Opened, Closed };

    static CUnknown* CreateInstance(IUnknown* outer, HRESULT* status);
    // With pauses and time limits of the caller's choice (tests).
    static CUnknown* CreateInstance(IUnknown* outer, HRESULT* status, const AravisTimings& timings);

    OPTIVANE_DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(const IID& iid, void** object) override;

    // IAravisCamera
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

    State CurrentState();

private:
    CAravisCamera(IUnknown* outer, const AravisTimings& timings);
    ~CAravisCamera() override;

    // Moves from one state to another; false, nothing changed, when the
    // camera is not in the first.
    bool Advance(State from, State to);

    const AravisTimings m_timings;
    CVrelLock m_stateLock;
    State m_state = State::Created;  // under m_stateLock
    AravisDevice m_device;
    AravisStreamSettings m_settings;
    AravisStreamer m_streamer;
    AravisParameters m_parameters;
    AravisSnapshot m_snapshot;
};

}  // namespace optivane
