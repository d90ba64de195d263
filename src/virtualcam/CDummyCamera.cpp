#include "virtualcam/CDummyCamera.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "frame/FixedText.h"

namespace optivane {

namespace {

constexpr uint32_t kFixedParameters[] = {100, 0, 192, 100, 183, 100, 100, 0, 15000, 0, 19, 0, 1000, 0};

}  // namespace

CUnknown* CDummyCamera::CreateInstance(IUnknown* outer, HRESULT* status) {
    CDummyCamera* created = new (std::nothrow) CDummyCamera(outer);
    if (created == nullptr) *status = E_OUTOFMEMORY;
    return created;
}

CDummyCamera::CDummyCamera(IUnknown* outer) : CUnknown(outer), m_mirvale(ModuleLoader::ForSibling("Mirvale")) {
    char id[96];
    std::snprintf(id, sizeof(id), "%s:%d", m_host, m_port);
    CopyText(m_device.DeviceId, id);
    CopyText(m_device.DeviceUserId, "VirtualCamera");
    CopyText(m_device.VendorName, "Corvalent");
    CopyText(m_device.IpAddress, m_host);
    CopyText(m_device.ModelName, "VirtualCamera");
    CopyText(m_device.SerialNumber, "00000000");
    m_device.WidthMax = 4000;
    m_device.HeightMax = 3000;
}

CDummyCamera::~CDummyCamera() { Close(); }

HRESULT CDummyCamera::NonDelegatingQueryInterface(const IID& iid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IAravisCamera) return GetInterface(static_cast<IAravisCamera*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(iid, object);
}

HRESULT CDummyCamera::Open(const CameraDeviceInfo* device) {
    if (device == nullptr) return E_POINTER;
    std::lock_guard<std::recursive_mutex> calls(m_calls);
    // Read within the field's 32 bytes, unterminated or not.
    char id[sizeof(device->DeviceId) + 1] = {};
    std::memcpy(id, device->DeviceId, sizeof(device->DeviceId));
    if (char* colon = std::strchr(id, ':')) {
        *colon = '\0';
        CopyText(m_host, id);
        m_port = static_cast<uint16_t>(std::atoi(colon + 1));
    }
    char rewritten[96];
    std::snprintf(rewritten, sizeof(rewritten), "%s:%d", m_host, m_port);
    CopyText(m_device.DeviceId, rewritten);
    CopyText(m_device.IpAddress, m_host);
    if (m_receiver) return S_OK;
    if (m_mirvale.Entry() == nullptr) return E_HANDLE;
    const HRESULT status = m_mirvale.CreateInstance(CLSID_FrameReceiver, IID_IFrameReceiver, m_receiver.ReceiveVoid());
    if (SUCCEEDED(status)) m_state = State::Opened;
    return status;
}

HRESULT CDummyCamera::GetRegion(uint32_t* x, uint32_t* y, uint32_t* width, uint32_t* height) {
    if (x == nullptr || y == nullptr || width == nullptr || height == nullptr) return E_POINTER;
    std::lock_guard<std::recursive_mutex> calls(m_calls);
    if (m_state == State::Created) return E_FAIL;
    *x = 0;
    *y = 0;
    *width = m_device.WidthMax;
    *height = m_device.HeightMax;
    return S_OK;
}

HRESULT CDummyCamera::SetRegion(uint32_t, uint32_t, uint32_t, uint32_t) {
    std::lock_guard<std::recursive_mutex> calls(m_calls);
    return m_state == State::Created ? E_FAIL : S_OK;
}

HRESULT CDummyCamera::GetDeviceInfo(CameraDeviceInfo* device) {
    if (device == nullptr) return E_POINTER;
    std::lock_guard<std::recursive_mutex> calls(m_calls);
    if (m_state == State::Created) return E_FAIL;
    *device = m_device;
    return S_OK;
}

HRESULT CDummyCamera::GetParameter(int32_t id, uint32_t* value) {
    if (value == nullptr) return E_POINTER;
    std::lock_guard<std::recursive_mutex> calls(m_calls);
    *value = 0;
    if (m_state == State::Created) return E_FAIL;
    if (id < 0 || id >= static_cast<int32_t>(sizeof(kFixedParameters) / sizeof(kFixedParameters[0]))) return E_FAIL;
    *value = kFixedParameters[id];
    return S_OK;
}

HRESULT CDummyCamera::SetParameter(int32_t, uint32_t) {
    std::lock_guard<std::recursive_mutex> calls(m_calls);
    return m_state == State::Created ? E_FAIL : S_OK;
}

HRESULT CDummyCamera::GetParameterRange(int32_t, uint32_t* min, uint32_t* max) {
    if (min == nullptr || max == nullptr) return E_POINTER;
    std::lock_guard<std::recursive_mutex> calls(m_calls);
    if (m_state == State::Created) return E_FAIL;
    *min = 100;
    *max = 1300;
    return S_OK;
}

HRESULT CDummyCamera::GetExposureTimeRange(double* min, double* max) {
    if (min == nullptr || max == nullptr) return E_POINTER;
    std::lock_guard<std::recursive_mutex> calls(m_calls);
    if (m_state == State::Created) return E_FAIL;
    // The minimum is larger than the maximum, as hosts of this camera expect.
    *min = 15000.0;
    *max = 30.0;
    return S_OK;
}

HRESULT CDummyCamera::GetPixelFormats(CameraPixelFormat* list, uint32_t capacity, uint32_t* count) {
    if (count == nullptr || (list == nullptr && capacity != 0)) return E_POINTER;
    std::lock_guard<std::recursive_mutex> calls(m_calls);
    *count = 0;
    if (m_state == State::Created) return E_FAIL;
    if (capacity == 0) return S_OK;
    list[0] = {};
    CopyText(list[0].Name, "RGB24");
    list[0].Code = 0;
    *count = 1;
    return S_OK;
}

HRESULT CDummyCamera::SaveSnapshot(uint32_t reserved, const char* path) {
    if (path == nullptr) return E_POINTER;
    ComPtr<IUnknown> frame;
    HRESULT status = GrabSnapshot(reserved, frame.Receive());
    if (FAILED(status)) return status;
    if (!frame) return E_FAIL;
    ComPtr<IFrameImage> image;
    status = frame->QueryInterface(IID_IFrameImage, image.ReceiveVoid());
    if (FAILED(status)) return status;
    FrameFormat format{};
    status = image->GetFormat(&format);
    if (FAILED(status)) return status;
    uint8_t* data = nullptr;
    uint32_t size = 0;
    status = image->GetBuffer(&data, &size);
    if (FAILED(status)) return status;
    if (data == nullptr || size < static_cast<uint64_t>(format.Width) * format.Height * 3) return E_FAIL;
    try {
        const cv::Mat picture(static_cast<int>(format.Height), static_cast<int>(format.Width), CV_8UC3, data);
        return cv::imwrite(path, picture) ? S_OK : E_FAIL;
    } catch (const std::exception&) {
        return E_FAIL;
    }
}

HRESULT CDummyCamera::GrabSnapshot(uint32_t, IUnknown** frame) {
    if (frame == nullptr) return E_POINTER;
    *frame = nullptr;
    std::lock_guard<std::recursive_mutex> calls(m_calls);
    if (m_state == State::Created) return E_FAIL;
    if (m_state == State::Streaming) return m_receiver->GrabFrame(frame);
    const HRESULT status = m_receiver->Connect(m_host, m_port);
    if (FAILED(status)) return status;
    const HRESULT grabbed = m_receiver->GrabFrame(frame);
    m_receiver->Disconnect();
    return grabbed;
}

HRESULT CDummyCamera::StartStreaming(IAravisCameraCallback* callback, void* context) {
    if (callback == nullptr) return E_POINTER;
    std::lock_guard<std::recursive_mutex> calls(m_calls);
    if (m_state == State::Created) return E_FAIL;
    {
        // One pair: a frame never sees the new callback with the old context.
        std::lock_guard<std::mutex> pair(m_pairLock);
        m_callback = callback;
        m_context = context;
    }
    if (m_state == State::Streaming) return S_FALSE;
    HRESULT status = m_receiver->Connect(m_host, m_port);
    if (FAILED(status)) return status;
    status = m_receiver->StartReceiving(this, this);
    if (FAILED(status)) {
        m_receiver->Disconnect();
        return status;
    }
    m_state = State::Streaming;
    return status;
}

HRESULT CDummyCamera::RestartStreaming() {
    IAravisCameraCallback* callback = nullptr;
    void* context = nullptr;
    {
        std::lock_guard<std::mutex> pair(m_pairLock);
        callback = m_callback;
        context = m_context;
    }
    if (callback != nullptr) StartStreaming(callback, context);
    return S_OK;
}

HRESULT CDummyCamera::StopStreaming() {
    std::lock_guard<std::recursive_mutex> calls(m_calls);
    return StopLocked();
}

HRESULT CDummyCamera::StopLocked() {
    if (m_receiver) {
        m_receiver->StopReceiving();
        m_receiver->Disconnect();
    }
    if (m_state == State::Streaming) m_state = State::Opened;
    return S_OK;
}

HRESULT CDummyCamera::Reserved() { return S_OK; }

HRESULT CDummyCamera::Close() {
    std::lock_guard<std::recursive_mutex> calls(m_calls);
    StopLocked();
    m_receiver.Reset();
    m_state = State::Created;
    return S_OK;
}

HRESULT CDummyCamera::OnImage(IUnknown* frame) {
    IAravisCameraCallback* callback = nullptr;
    void* context = nullptr;
    {
        std::lock_guard<std::mutex> pair(m_pairLock);
        callback = m_callback;
        context = m_context;
    }
    if (callback != nullptr) callback->OnFrame(0, context, frame);
    return S_OK;
}

}  // namespace optivane
