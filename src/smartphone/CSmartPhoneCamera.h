// A phone running the camera application, presented as a camera: settings
// are commands, every frame is one JPEG photograph asked for over a new
// connection and decoded into an image, about once a second when streaming.
//
// State: Created until Open stores a connection object (Open does not
// contact the phone), then Opened; Close stops streaming and returns to
// Created. GetDeviceInfo, SetParameter and snapshots need Opened and fail
// with E_FAIL, nothing sent, before.
//
// Threads: host threads call the IAravisCamera operations; the streaming
// thread (CSimpleThread::Run) captures and calls the host's OnFrame.
// m_lock (recursive) is held for every exchange with the phone -- captures,
// snapshots, queries, settings -- so they never overlap on the wire; it
// also guards the state, the connection, the record, the receive buffer and
// the decoded picture. It is never held while OnFrame runs. The settings
// and ranges read without the lock (GetParameter, GetRegion, ranges) are
// atomics. m_callbackLock guards the host callback and its context, read as
// a pair and called outside it. m_pauseLock and m_pauseWake let
// StopStreaming cut the pause between two photographs short;
// m_streamControl serialises starting and stopping the thread (never taken
// by the thread itself).
//
// Ownership: the camera owns the connection object, the 10 MiB receive
// buffer (made on first use, kept) and the sibling modules; the host
// callback is a plain pointer.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "frame/CUnknown.h"
#include "frame/ComPtr.h"
#include "frame/modules/ModuleLoader.h"
#include "optivane/host_framework.h"
#include "optivane/optivane.h"
#include "runtime/CSimpleThread.h"
#include "runtime/CVrelLock.h"
#include "smartphone/PhonePictureDecoder.h"
#include "smartphone/PhoneTimings.h"

namespace optivane {

class CSmartPhoneCamera : public IAravisCamera, public ICamImageCallback, public CSimpleThread, public CUnknown {
public:
    enum class State { Created, Opened };

    static CUnknown* CreateInstance(IUnknown* outer, HRESULT* status);
    // With time limits of the caller's choice (tests).
    static CUnknown* CreateInstance(IUnknown* outer, HRESULT* status, const phone::PhoneTimings& timings);

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

    // ICamImageCallback
    HRESULT OnImage(IUnknown* frame) override;

private:
    CSmartPhoneCamera(IUnknown* outer, const phone::PhoneTimings& timings);
    ~CSmartPhoneCamera() override;

    void Run() override;
    // One photograph into image (an IFrameImage), under the lock.
    HRESULT CapturePhoneFrame(IFrameImage* image);
    // The phone's address in host order (0 when the text is none).
    uint32_t Address() const;
    char* ReceiveBuffer();
    // Streaming thread: waits, and ends at once when a stop is wanted; then
    // true, and the thread must not capture again.
    bool StreamPause(uint32_t milliseconds);

    const phone::PhoneTimings m_timings;
    const ModuleLoader m_linquet;
    const ModuleLoader m_zendra;

    CVrelLock m_lock;
    State m_state = State::Created;            // under m_lock
    ComPtr<ITcpConnection> m_connection;       // under m_lock; exists when Opened
    CameraDeviceInfo m_record{};               // under m_lock
    char m_host[64] = "0.0.0.0";               // under m_lock
    uint16_t m_port = 6000;                    // under m_lock
    std::unique_ptr<char[]> m_buffer;          // under m_lock
    phone::PhonePictureDecoder m_decoder;      // under m_lock

    std::atomic<uint32_t> m_widthMax{4000};
    std::atomic<uint32_t> m_heightMax{3000};
    std::atomic<uint32_t> m_exposureStep{19};
    std::atomic<uint32_t> m_exposureTime{16666};
    std::atomic<uint32_t> m_sensitivity{100};
    std::atomic<uint32_t> m_exposureMin{16666};
    std::atomic<uint32_t> m_exposureMax{1000000};
    std::atomic<uint32_t> m_sensitivityMin{100};
    std::atomic<uint32_t> m_sensitivityMax{6400};
    std::atomic<int32_t> m_streaming{0};

    std::mutex m_streamControl;  // serialises StartStreaming and StopStreaming
    std::mutex m_callbackLock;
    IAravisCameraCallback* m_callback = nullptr;  // under m_callbackLock
    void* m_context = nullptr;                    // under m_callbackLock

    std::mutex m_pauseLock;
    std::condition_variable m_pauseWake;
    bool m_stopWanted = false;  // under m_pauseLock
};

}  // namespace optivane
