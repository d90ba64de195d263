// One IDS peak camera: the component the host holds, over one opened device
// (CPeakCamInstance) at a time, registered with the peak SDK manager from
// Open to Close so that a library restart may close and reopen it.
//
// State: the device is Closed until Open succeeds, then Open; it is Lost
// once its liveness probe or its stream fails, or a library restart released
// it, until a reopening succeeds (on the next call that needs the device,
// from the streaming thread or from the restart). Close makes it Closed, and
// a Closed device is never reopened. Whether it streams is a flag of its
// own, set when the streaming thread starts and cleared by the thread as it
// ends.
//
// Threads: host threads call the IAravisCamera operations. The streaming
// thread (Run) prepares the data stream, runs the deliverer and feeds it one
// buffer at a time, reconnects when the stream fails, and asks the SDK
// manager to restart the library when a data stream cannot be prepared. The
// deliverer's delivery thread calls OnFrame, which forwards to the host.
// Another camera's streaming thread may call ReleaseDevice and ReOpenDevice
// through the SDK manager.
//
// Locks: the control lock serialises starting and stopping the streaming
// thread between host threads (and guards the host callback, written only
// while no thread runs); the streaming thread never takes it. The device
// lock guards the state, the instance pointer, the record, the device id and
// the pixel-format list; it is held while reopening and releasing and while
// the thread prepares a stream. The snapshot lock guards the snapshot
// request, its time and the kept frame. Order: control, then (through the
// SDK manager's lock) device, then the instance's own lock; the host is
// never called under any of them.
//
// Ownership: the instance is shared, so the streaming thread keeps the one it
// streams from alive while another thread releases the device. The SDK
// manager holds a plain pointer to this camera while it is registered.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "frame/CUnknown.h"
#include "frame/ComPtr.h"
#include "optivane/optivane.h"
#include "peak/CPeakCamInstance.h"
#include "peak/PeakTimings.h"
#include "runtime/CDebugLog.h"
#include "runtime/CSimpleThread.h"
#include "runtime/CVrelLock.h"

class CIdsPeakCamera : public IAravisCamera,
                       public IAravisCameraCallback,
                       private optivane::CSimpleThread,
                       public optivane::CUnknown {
public:
    enum class DeviceState : int32_t { Closed = 0, Open = 1, Lost = 2 };

    static optivane::CUnknown* CreateInstance(IUnknown* outer, HRESULT* status);
    // With pauses and time limits of the caller's choice (tests).
    static optivane::CUnknown* CreateInstance(IUnknown* outer, HRESULT* status, const optivane::PeakTimings& timings);

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

    // IAravisCameraCallback: frames from the deliverer.
    HRESULT OnFrame(int32_t status, void* context, IUnknown* frame) override;

    // For the SDK manager around a library restart, and for reconnection:
    // ReleaseDevice stops and drops the instance (Lost unless Closed);
    // ReOpenDevice opens a new one by the stored id, E_FAIL once Closed.
    HRESULT ReleaseDevice();
    HRESULT ReOpenDevice();

    DeviceState CurrentState();
    bool IsStreaming() const { return m_streaming.load(); }

private:
    CIdsPeakCamera(IUnknown* outer, const optivane::PeakTimings& timings);
    ~CIdsPeakCamera() override;

    // The streaming thread.
    void Run() override;
    // Prepares a data stream on a usable device; false when stopping or when
    // the library restart it needed failed. Sets instance and pixel format.
    bool PrepareStream(std::shared_ptr<optivane::CPeakCamInstance>* instance, uint32_t* pixelFormat,
                       uint32_t* bufferCount);
    // Drops the instance whose stream failed, unless a library restart
    // replaced it already; PrepareStream then finds the device again.
    void Reconnect(std::shared_ptr<optivane::CPeakCamInstance> failed);
    HRESULT RestartLibrary();
    bool Stopping() const { return m_stopWanted.load() || StopRequested(); }
    // Sleeps in short steps, ending early when stopping.
    void Pause(uint32_t milliseconds) const;

    // Under the control lock.
    HRESULT StartThread();
    void StopThread();

    // The device check every device operation runs first; reopens a lost one.
    HRESULT CheckDevice();
    // The instance to use, after CheckDevice; null when gone meanwhile.
    std::shared_ptr<optivane::CPeakCamInstance> Instance();
    HRESULT ApplyExposureTime(double microseconds);
    // Loads a user set, keeping both overall gains (and the pixel format when
    // asked), and writes the exposure; streaming stops around it.
    HRESULT SwitchUserSet(const std::string& userSet, bool keepPixelFormat, double microseconds);

    const optivane::PeakTimings m_timings;
    optivane::ComPtr<IPeakSdkManager> m_sdkManager;  // host threads, while no streaming thread runs

    optivane::CVrelLock m_controlLock;
    IAravisCameraCallback* m_callback = nullptr;  // under m_controlLock
    void* m_context = nullptr;                    // under m_controlLock
    std::atomic<bool> m_streaming{false};
    std::atomic<bool> m_stopWanted{false};
    std::atomic<uint32_t> m_rotation{0};
    std::atomic<uint32_t> m_flip{0};
    // Streaming thread only.
    int64_t m_lastRestartTicks = 0;
    bool m_restarted = false;

    optivane::CVrelLock m_deviceLock;
    DeviceState m_state = DeviceState::Closed;                 // under m_deviceLock
    std::string m_deviceId;                                    // under m_deviceLock
    CameraDeviceInfo m_record{};                               // under m_deviceLock
    std::shared_ptr<optivane::CPeakCamInstance> m_instance;    // under m_deviceLock
    std::vector<std::string> m_pixelFormats;                   // under m_deviceLock

    optivane::CVrelLock m_snapshotLock;
    bool m_snapshotRequested = false;                  // under m_snapshotLock
    int64_t m_snapshotTime = 0;                        // under m_snapshotLock
    optivane::ComPtr<IFrameImage> m_snapshotFrame;     // under m_snapshotLock

    optivane::CDebugLog m_log;
};
