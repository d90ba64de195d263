// One GigE Vision or USB3 Vision camera driven through Aravis.
//
// Threads: host threads call the IAravisCamera operations; the streaming
// thread (CSimpleThread::Run) performs acquisition runs back to back,
// re-creating the device handle when frames stop; the deliverer adds its
// delivery thread (which calls the host's OnFrame) and four conversion workers.
//
// Device handle: replaced by the streaming thread during reconnection while
// host threads may use it. Every user takes its own GObject reference through
// Device() under the device lock, so a replacement only drops the camera's
// reference and never frees a handle in use.
//
// The camera lock serialises a snapshot against the tear-down of a stream and
// guards the stream member. The device lock also guards the device id, the
// device record and the stream format, which host threads and the streaming
// thread both touch; it is never held across a device call. The only nesting
// is camera lock, then device lock (a snapshot takes the handle).
//
// Ownership: the camera owns its device handle, its stream and its deliverer;
// the frame sink is a plain pointer, not owned.
#pragma once

#include <arv.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "aravis/GObjectPtr.h"
#include "frame/CUnknown.h"
#include "frame/modules/ModuleLoader.h"
#include "optivane/optivane.h"
#include "runtime/CDebugLog.h"
#include "runtime/CSimpleThread.h"
#include "runtime/CVrelLock.h"
#include "video/CVideoCallbacker.h"

namespace cv {
class Mat;
}

namespace optivane {

class CAravisCamera : public IAravisCamera, public CSimpleThread, public CUnknown {
public:
    static CUnknown* CreateInstance(IUnknown* outer, HRESULT* status);

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

    // The streaming thread.
    void Run() override;

    // Exposure steps: index 0 (30 s) to 19 (1/60 s), in microseconds.
    static double ExposureStepTime(uint32_t index);
    static uint32_t ExposureStepIndex(double exposureMicroseconds);

private:
    enum class VendorClass { None, Ids, Gev, Dahua };

    explicit CAravisCamera(IUnknown* outer);
    ~CAravisCamera() override;

    // Device handle on demand: E_FAIL without a device id or when none can be made.
    HRESULT EnsureDevice(GObjectPtr<ArvCamera>* device);
    // The current handle with a reference of the caller's own (may be empty).
    GObjectPtr<ArvCamera> Device();
    void ReplaceDevice(GObjectPtr<ArvCamera> device);
    // Releases the handle and makes a new one from the device id. False when
    // the device id is empty (the handle is then left alone) or no device answers.
    bool RecreateDevice();
    std::string DeviceId();

    HRESULT CaptureFrame(const char* path, IUnknown** frame);
    // Converts one grabbed frame, flips and rotates it, writes the file and
    // makes the image object. Image-library failures become E_FAIL.
    HRESULT RenderSnapshot(ArvBuffer* buffer, uint32_t width, uint32_t height, uint32_t pixelFormat,
                           int64_t frameTime, const char* path, IUnknown** frame);
    HRESULT MakeSnapshotImage(const cv::Mat& picture, int64_t frameTime, IUnknown** frame);

    // One acquisition run on the streaming thread: set-up, pop loop, tear-down.
    HRESULT RunAcquisition();
    HRESULT PumpFrames(ArvCamera* device);
    void EndAcquisition(ArvCamera* device);
    // Switches a camera in the long-exposure user set to BayerRG8, then reads
    // the pixel format; E_FAIL when it is none of the five converted ones.
    HRESULT ReadConvertiblePixelFormat(ArvCamera* device, uint32_t* pixelFormat);

    // Parameters
    // Reads the device record under the device lock.
    VendorClass Vendor();
    HRESULT GetGainChannel(ArvCamera* device, int32_t channel, uint32_t* value);
    HRESULT SetGainChannel(ArvCamera* device, int32_t channel, uint32_t value);
    HRESULT SetExposureTime(ArvCamera* device, double microseconds);
    HRESULT SetExposureStep(ArvCamera* device, uint32_t index);
    HRESULT LoadUserSet(ArvCamera* device, int32_t userSet);
    bool ImplementsLongExposure(ArvCamera* device);

    int32_t m_opened = 0;
    IAravisCameraCallback* m_sink = nullptr;
    void* m_sinkContext = nullptr;
    std::atomic<bool> m_streaming{false};
    ModuleLoader m_zendra;
    FrameFormat m_streamFormat{0, 4000, 3000, 4, 3, 1000, 1000};  // under m_deviceLock
    CVrelLock m_deviceLock;  // guards the fields marked, never held across a device call
    GObjectPtr<ArvCamera> m_device;  // under m_deviceLock
    char m_deviceId[128] = {};       // under m_deviceLock
    CameraDeviceInfo m_deviceInfo{};  // written under m_deviceLock (Open)
    GObjectPtr<ArvStream> m_stream;  // under m_cameraLock; set and cleared by the streaming thread
    CVrelLock m_cameraLock;
    std::atomic<int64_t> m_noFrameTimeout{10000000};
    std::unique_ptr<CVideoCallbacker> m_deliverer;
    std::atomic<uint32_t> m_rotation{0};
    std::atomic<uint32_t> m_flip{0};
    CDebugLog m_log;
};

}  // namespace optivane
