#include "aravis/CAravisCamera.h"

#include <cstring>
#include <new>
#include <string>

#include "frame/FixedText.h"
#include "platform/SharedLibrary.h"
#include "runtime/CVrelAutoLock.h"

namespace optivane {

CUnknown* CAravisCamera::CreateInstance(IUnknown* outer, HRESULT* status) {
    return CreateInstance(outer, status, AravisTimings{});
}

CUnknown* CAravisCamera::CreateInstance(IUnknown* outer, HRESULT* status, const AravisTimings& timings) {
    // Aravis registers GObject types in GLib, which is never unloaded; were
    // Aravis unloaded with this module, those types would point into freed
    // code. So the first camera keeps Aravis loaded for the process's life.
    static const bool aravisPinned =
        platform::SharedLibrary::PinLibraryContaining(reinterpret_cast<const void*>(&arv_camera_new));
    (void)aravisPinned;
    CAravisCamera* camera = new (std::nothrow) CAravisCamera(outer, timings);
    if (camera == nullptr && status != nullptr) *status = E_OUTOFMEMORY;
    return camera;
}

CAravisCamera::CAravisCamera(IUnknown* outer, const AravisTimings& timings)
    : CUnknown(outer),
      m_timings(timings),
      m_streamer(m_device, m_settings, m_timings),
      m_parameters(m_device, m_settings, m_streamer, m_timings),
      m_snapshot(m_device, m_streamer, m_settings) {}

CAravisCamera::~CAravisCamera() {
    // The thread goes before the parts it uses.
    m_streamer.Stop();
}

HRESULT CAravisCamera::NonDelegatingQueryInterface(const IID& iid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IAravisCamera) return GetInterface(static_cast<IAravisCamera*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(iid, object);
}

CAravisCamera::State CAravisCamera::CurrentState() {
    CVrelAutoLock lock(&m_stateLock);
    return m_state;
}

bool CAravisCamera::Advance(State from, State to) {
    CVrelAutoLock lock(&m_stateLock);
    if (m_state != from) return false;
    m_state = to;
    return true;
}

HRESULT CAravisCamera::Open(const CameraDeviceInfo* device) {
    if (device == nullptr) return E_POINTER;
    if (!Advance(State::Created, State::Opening)) return E_FAIL;

    const std::string id(device->DeviceId, strnlen(device->DeviceId, sizeof device->DeviceId));
    HRESULT status = m_device.Open(id);
    CameraDeviceInfo record{};
    if (SUCCEEDED(status)) {
        const GObjectPtr<ArvCamera> handle = m_device.Current();
        status = handle ? AravisDevice::ReadRecord(handle.Get(), &record) : E_FAIL;
    }
    if (FAILED(status)) {
        m_device.Forget();
        Advance(State::Opening, State::Created);
        return status;
    }
    m_parameters.SetVendorRules(AravisVendorRules::ForVendor(record.VendorName));
    Advance(State::Opening, State::Opened);
    return S_OK;
}

HRESULT CAravisCamera::GetRegion(uint32_t* x, uint32_t* y, uint32_t* width, uint32_t* height) {
    if (x == nullptr || y == nullptr || width == nullptr || height == nullptr) return E_POINTER;
    *x = *y = *width = *height = 0;
    GObjectPtr<ArvCamera> device;
    if (FAILED(m_device.Handle(&device))) return E_FAIL;
    gint rx = 0, ry = 0, rw = 0, rh = 0;
    GErrorPtr error;
    arv_camera_get_region(device.Get(), &rx, &ry, &rw, &rh, error.Out());
    if (error) return E_FAIL;
    *x = static_cast<uint32_t>(rx);
    *y = static_cast<uint32_t>(ry);
    *width = static_cast<uint32_t>(rw);
    *height = static_cast<uint32_t>(rh);
    return S_OK;
}

HRESULT CAravisCamera::SetRegion(uint32_t x, uint32_t y, uint32_t width, uint32_t height) {
    GObjectPtr<ArvCamera> device;
    if (FAILED(m_device.Handle(&device))) return E_FAIL;
    GErrorPtr error;
    arv_camera_set_region(device.Get(), static_cast<gint>(x), static_cast<gint>(y), static_cast<gint>(width),
                          static_cast<gint>(height), error.Out());
    return error ? E_FAIL : S_OK;
}

HRESULT CAravisCamera::GetDeviceInfo(CameraDeviceInfo* record) {
    if (record == nullptr) return E_FAIL;
    GObjectPtr<ArvCamera> device;
    if (FAILED(m_device.Handle(&device))) return E_FAIL;
    return AravisDevice::ReadRecord(device.Get(), record);
}

HRESULT CAravisCamera::GetParameter(int32_t id, uint32_t* value) { return m_parameters.Get(id, value); }

HRESULT CAravisCamera::SetParameter(int32_t id, uint32_t value) { return m_parameters.Set(id, value); }

HRESULT CAravisCamera::GetParameterRange(int32_t channel, uint32_t* min, uint32_t* max) {
    return m_parameters.GetRange(channel, min, max);
}

HRESULT CAravisCamera::GetExposureTimeRange(double* min, double* max) {
    return m_parameters.GetExposureTimeRange(min, max);
}

HRESULT CAravisCamera::GetPixelFormats(CameraPixelFormat* list, uint32_t capacity, uint32_t* count) {
    if (count == nullptr || (list == nullptr && capacity != 0)) return E_POINTER;
    GObjectPtr<ArvCamera> device;
    if (FAILED(m_device.Handle(&device))) return E_FAIL;

    guint codeCount = 0, nameCount = 0;
    GErrorPtr codeError, nameError;
    gint64* codes = arv_camera_dup_available_pixel_formats(device.Get(), &codeCount, codeError.Out());
    // The array is ours, the texts in it belong to the device.
    const char** names = arv_camera_dup_available_pixel_formats_as_strings(device.Get(), &nameCount, nameError.Out());

    HRESULT status = S_OK;
    if (codeError || nameError || codeCount != nameCount || (codeCount != 0 && (codes == nullptr || names == nullptr)) ||
        codeCount > capacity) {
        status = E_FAIL;
    } else {
        for (guint i = 0; i < codeCount; ++i) {
            CopyText(list[i].Name, names[i] != nullptr ? names[i] : "");
            list[i].Code = static_cast<uint32_t>(codes[i]);
        }
        *count = codeCount;
    }
    g_free(codes);
    g_free(names);
    return status;
}

HRESULT CAravisCamera::SaveSnapshot(uint32_t reserved, const char* path) {
    if (path == nullptr) return E_POINTER;
    return m_snapshot.Capture(path, nullptr);
}

HRESULT CAravisCamera::GrabSnapshot(uint32_t reserved, IUnknown** frame) {
    if (frame == nullptr) return E_POINTER;
    *frame = nullptr;
    return m_snapshot.Capture(nullptr, frame);
}

HRESULT CAravisCamera::StartStreaming(IAravisCameraCallback* callback, void* context) {
    return m_streamer.Start(callback, context);
}

HRESULT CAravisCamera::RestartStreaming() { return m_streamer.Restart(); }

HRESULT CAravisCamera::StopStreaming() {
    m_streamer.Stop();
    return S_OK;
}

HRESULT CAravisCamera::Reserved() { return S_OK; }

HRESULT CAravisCamera::Close() {
    m_streamer.Stop();
    m_device.Release();
    m_streamer.ReleaseDeliverer();
    Advance(State::Opened, State::Closed);
    return S_OK;
}

}  // namespace optivane
