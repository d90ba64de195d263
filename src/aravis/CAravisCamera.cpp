#include "aravis/CAravisCamera.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "frame/ComPtr.h"
#include "platform/Clock.h"
#include "platform/SharedLibrary.h"
#include "runtime/CTimeUtil.h"
#include "runtime/CVrelAutoLock.h"

namespace optivane {

namespace {

constexpr const char* kClassName = "CAravisCamera";

// Stream buffers per acquisition run, and the deliverer's pool sizes.
constexpr int kStreamBuffers = 5;
constexpr int32_t kRawSamples = 5;
constexpr int32_t kImages = 8;

constexpr int64_t kUserSetLongExposure = 9920;
// Frame time of a streamed frame: the moment it left the stream, less the
// exposure and a fixed transfer allowance.
constexpr int64_t kTransferAllowanceMicroseconds = 200000;
// A snapshot waits for its frame up to the exposure plus this.
constexpr double kSnapshotWaitMicroseconds = 10000000.0;
// Upper bound of a frame period when the stored rate is absurdly small.
constexpr double kLongestFramePeriodMicroseconds = 1.0e12;

// Copies a text into a fixed field, cut to fit with its terminator, the rest
// zero-filled.
template <size_t N>
void CopyText(char (&field)[N], const char* text) {
    const size_t length = strnlen(text, N - 1);
    std::memcpy(field, text, length);
    std::memset(field + length, 0, N - length);
}

bool IsConvertible(uint32_t pixelFormat) {
    return pixelFormat == PixelFormatMono8 || pixelFormat == PixelFormatBayerRG8 ||
           pixelFormat == PixelFormatBayerGB8 || pixelFormat == PixelFormatRGB8 || pixelFormat == PixelFormatBGR8;
}

int64_t Now() { return CTimeUtil().NowMicroseconds(); }

}  // namespace

// ---------------------------------------------------------------------------
// Object

CUnknown* CAravisCamera::CreateInstance(IUnknown* outer, HRESULT* status) {
    // Aravis registers GObject types in GLib, which is never unloaded; were
    // Aravis unloaded with this module, those types would point into freed
    // code. So the first camera keeps Aravis loaded for the process's life.
    static const bool aravisPinned =
        platform::SharedLibrary::PinLibraryContaining(reinterpret_cast<const void*>(&arv_camera_new));
    (void)aravisPinned;
    CAravisCamera* camera = new (std::nothrow) CAravisCamera(outer);
    if (camera == nullptr && status != nullptr) *status = E_OUTOFMEMORY;
    return camera;
}

CAravisCamera::CAravisCamera(IUnknown* outer) : CUnknown(outer), m_zendra(ModuleLoader::ForSibling("Zendra")) {}

CAravisCamera::~CAravisCamera() {
    // Always Stop: it returns at once without a thread, and a Run must never
    // outlive this part of the object.
    StopStreaming();
    ReplaceDevice(GObjectPtr<ArvCamera>());
    m_deliverer.reset();
}

HRESULT CAravisCamera::NonDelegatingQueryInterface(const IID& iid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IAravisCamera) return GetInterface(static_cast<IAravisCamera*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(iid, object);
}

// ---------------------------------------------------------------------------
// Device handle

GObjectPtr<ArvCamera> CAravisCamera::Device() {
    CVrelAutoLock lock(&m_deviceLock);
    return m_device;
}

void CAravisCamera::ReplaceDevice(GObjectPtr<ArvCamera> device) {
    GObjectPtr<ArvCamera> old;
    {
        CVrelAutoLock lock(&m_deviceLock);
        old = std::move(m_device);
        m_device = std::move(device);
    }
    // The camera's reference to the old handle goes here, outside the lock;
    // users that took their own reference keep it alive.
}

std::string CAravisCamera::DeviceId() {
    CVrelAutoLock lock(&m_deviceLock);
    return std::string(m_deviceId);
}

HRESULT CAravisCamera::EnsureDevice(GObjectPtr<ArvCamera>* device) {
    const std::string id = DeviceId();
    if (id.empty()) return E_FAIL;
    *device = Device();
    if (*device) return S_OK;

    // Opening a device takes time; do it outside the lock.
    GErrorPtr error;
    GObjectPtr<ArvCamera> created = GObjectPtr<ArvCamera>::Adopt(arv_camera_new(id.c_str(), error.Out()));
    if (error || !created) {
        m_log.Trace(kClassName, "cannot open device %s: %s\n", id.c_str(), error.Message());
        return E_FAIL;
    }
    CVrelAutoLock lock(&m_deviceLock);
    // Another thread may have made one meanwhile: keep that one.
    if (!m_device) m_device = std::move(created);
    *device = m_device;
    return S_OK;
}

bool CAravisCamera::RecreateDevice() {
    const std::string id = DeviceId();
    if (id.empty()) return false;
    // Release first: the device admits one controlling connection.
    ReplaceDevice(GObjectPtr<ArvCamera>());
    GErrorPtr error;
    GObjectPtr<ArvCamera> created = GObjectPtr<ArvCamera>::Adopt(arv_camera_new(id.c_str(), error.Out()));
    if (error || !created) return false;
    CVrelAutoLock lock(&m_deviceLock);
    if (!m_device) m_device = std::move(created);
    return true;
}

// ---------------------------------------------------------------------------
// IAravisCamera

HRESULT CAravisCamera::Open(const CameraDeviceInfo* device) {
    if (device == nullptr) return E_POINTER;
    if (m_opened != 0) return E_FAIL;

    char id[sizeof(device->DeviceId) + 1] = {};
    std::memcpy(id, device->DeviceId, sizeof(device->DeviceId));
    if (id[0] == '\0') return E_FAIL;  // Aravis would take an empty name as "the first device"

    GErrorPtr error;
    GObjectPtr<ArvCamera> camera = GObjectPtr<ArvCamera>::Adopt(arv_camera_new(id, error.Out()));
    if (error || !camera) {
        m_log.Trace(kClassName, "Open: no device answers %s: %s\n", id, error.Message());
        return E_FAIL;
    }
    CameraDeviceInfo record;
    {
        CVrelAutoLock lock(&m_deviceLock);
        CopyText(m_deviceId, id);
        record = m_deviceInfo;
    }
    ReplaceDevice(std::move(camera));

    const HRESULT status = GetDeviceInfo(&record);
    {
        CVrelAutoLock lock(&m_deviceLock);
        m_deviceInfo = record;
    }
    if (FAILED(status)) {
        ReplaceDevice(GObjectPtr<ArvCamera>());
        return status;
    }
    // The streaming flag is left as it is: it is clear unless a streaming
    // thread started before Open is running, and that thread owns it.
    m_opened = 1;
    return status;
}

HRESULT CAravisCamera::GetRegion(uint32_t* x, uint32_t* y, uint32_t* width, uint32_t* height) {
    if (x == nullptr || y == nullptr || width == nullptr || height == nullptr) return E_POINTER;
    *x = *y = *width = *height = 0;
    GObjectPtr<ArvCamera> device;
    if (FAILED(EnsureDevice(&device))) return E_FAIL;
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
    if (FAILED(EnsureDevice(&device))) return E_FAIL;
    GErrorPtr error;
    arv_camera_set_region(device.Get(), static_cast<gint>(x), static_cast<gint>(y), static_cast<gint>(width),
                          static_cast<gint>(height), error.Out());
    return error ? E_FAIL : S_OK;
}

HRESULT CAravisCamera::GetDeviceInfo(CameraDeviceInfo* record) {
    if (record == nullptr) return E_FAIL;
    GObjectPtr<ArvCamera> device;
    if (FAILED(EnsureDevice(&device))) return E_FAIL;
    ArvCamera* camera = device.Get();

    GErrorPtr error;
    const char* id = arv_camera_get_device_id(camera, error.Out());
    if (error || id == nullptr) {
        record->DeviceId[0] = '\0';
        return E_FAIL;
    }
    CopyText(record->DeviceId, id);

    // Each field only when its own call worked; the others keep what they had.
    const char* text = arv_camera_get_string(camera, "DeviceUserID", error.Out());
    if (!error && text != nullptr) CopyText(record->DeviceUserId, text);
    text = arv_camera_get_vendor_name(camera, error.Out());
    if (!error && text != nullptr) CopyText(record->VendorName, text);
    if (arv_camera_is_gv_device(camera)) {
        GInetAddress* ip = nullptr;
        GInetAddressMask* mask = nullptr;
        GInetAddress* gateway = nullptr;
        arv_camera_gv_get_persistent_ip(camera, &ip, &mask, &gateway, error.Out());
        const GObjectPtr<GInetAddress> ipOwner = GObjectPtr<GInetAddress>::Adopt(ip);
        const GObjectPtr<GInetAddressMask> maskOwner = GObjectPtr<GInetAddressMask>::Adopt(mask);
        const GObjectPtr<GInetAddress> gatewayOwner = GObjectPtr<GInetAddress>::Adopt(gateway);
        if (!error && ip != nullptr) {
            gchar* dotted = g_inet_address_to_string(ip);
            if (dotted != nullptr) CopyText(record->IpAddress, dotted);
            g_free(dotted);
        }
    }
    text = arv_camera_get_model_name(camera, error.Out());
    if (!error && text != nullptr) CopyText(record->ModelName, text);
    text = arv_camera_get_device_serial_number(camera, error.Out());
    if (!error && text != nullptr) CopyText(record->SerialNumber, text);
    gint lower = 0, upper = 0;
    arv_camera_get_width_bounds(camera, &lower, &upper, error.Out());
    if (!error) record->WidthMax = static_cast<uint32_t>(upper);
    arv_camera_get_height_bounds(camera, &lower, &upper, error.Out());
    if (!error) record->HeightMax = static_cast<uint32_t>(upper);

    return record->DeviceId[0] != '\0' ? S_OK : E_FAIL;
}

HRESULT CAravisCamera::GetExposureTimeRange(double* min, double* max) {
    if (min == nullptr || max == nullptr) return E_POINTER;
    GObjectPtr<ArvCamera> device;
    if (FAILED(EnsureDevice(&device))) return E_FAIL;
    double lower = 0.0, upper = 0.0;
    GErrorPtr error;
    arv_camera_get_exposure_time_bounds(device.Get(), &lower, &upper, error.Out());
    if (error) return E_FAIL;
    *min = lower;
    *max = upper;
    return S_OK;
}

HRESULT CAravisCamera::GetPixelFormats(CameraPixelFormat* list, uint32_t capacity, uint32_t* count) {
    if (count == nullptr || (list == nullptr && capacity != 0)) return E_POINTER;
    GObjectPtr<ArvCamera> device;
    if (FAILED(EnsureDevice(&device))) return E_FAIL;

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
    return CaptureFrame(path, nullptr);
}

HRESULT CAravisCamera::GrabSnapshot(uint32_t reserved, IUnknown** frame) {
    if (frame == nullptr) return E_POINTER;
    *frame = nullptr;
    return CaptureFrame(nullptr, frame);
}

HRESULT CAravisCamera::StartStreaming(IAravisCameraCallback* callback, void* context) {
    if (m_streaming.load()) return E_FAIL;
    // Written before the thread exists; the thread only reads them.
    m_sink = callback;
    m_sinkContext = context;
    m_streaming.store(true);
    if (!Start()) {
        // Nothing would ever clear the flag without a thread.
        m_streaming.store(false);
        m_log.Trace(kClassName, "StartStreaming: cannot create the streaming thread\n");
        return E_FAIL;
    }
    return S_OK;
}

HRESULT CAravisCamera::RestartStreaming() { return StartStreaming(m_sink, m_sinkContext); }

HRESULT CAravisCamera::StopStreaming() {
    Stop();
    return S_OK;
}

HRESULT CAravisCamera::Reserved() { return S_OK; }

HRESULT CAravisCamera::Close() {
    // Without a thread this returns at once, so it is the same as asking
    // the streaming flag first, without a window between flag and thread.
    StopStreaming();
    ReplaceDevice(GObjectPtr<ArvCamera>());
    m_deliverer.reset();
    return S_OK;
}

// ---------------------------------------------------------------------------
// Snapshots

HRESULT CAravisCamera::ReadConvertiblePixelFormat(ArvCamera* device, uint32_t* pixelFormat) {
    // Long-exposure rule; its errors are ignored.
    if (ImplementsLongExposure(device)) {
        GErrorPtr error;
        const gint64 userSet = arv_camera_get_integer(device, "UserSetSelector", error.Out());
        if (!error && userSet == kUserSetLongExposure) arv_camera_set_pixel_format(device, PixelFormatBayerRG8, error.Out());
    }
    GErrorPtr error;
    const ArvPixelFormat format = arv_camera_get_pixel_format(device, error.Out());
    if (error) return E_FAIL;
    if (!IsConvertible(format)) return E_FAIL;
    *pixelFormat = format;
    return S_OK;
}

HRESULT CAravisCamera::CaptureFrame(const char* path, IUnknown** frame) {
    CVrelAutoLock lock(&m_cameraLock);
    const GObjectPtr<ArvCamera> device = Device();
    if (!device) return E_FAIL;

    gint x = 0, y = 0, width = 0, height = 0;
    GErrorPtr regionError;
    arv_camera_get_region(device.Get(), &x, &y, &width, &height, regionError.Out());

    uint32_t pixelFormat = 0;
    if (FAILED(ReadConvertiblePixelFormat(device.Get(), &pixelFormat))) return E_FAIL;

    GErrorPtr error;
    const double exposure = arv_camera_get_exposure_time(device.Get(), error.Out());
    if (error || !(exposure >= 0.0)) return E_FAIL;
    const guint64 timeout = static_cast<guint64>(exposure + kSnapshotWaitMicroseconds);

    // During an acquisition run the frame comes from the live stream and goes
    // back to it; otherwise one frame is grabbed on its own.
    ArvStream* stream = m_stream.Get();
    ArvBuffer* buffer = nullptr;
    if (stream != nullptr) {
        buffer = arv_stream_timeout_pop_buffer(stream, timeout);
    } else {
        buffer = arv_camera_acquisition(device.Get(), timeout, error.Out());
        if (error && buffer != nullptr) {
            g_object_unref(buffer);
            buffer = nullptr;
        }
    }
    if (buffer == nullptr) return E_FAIL;
    const int64_t frameTime = Now();

    const HRESULT status =
        arv_buffer_get_status(buffer) == ARV_BUFFER_STATUS_SUCCESS && width > 0 && height > 0
            ? RenderSnapshot(buffer, static_cast<uint32_t>(width), static_cast<uint32_t>(height), pixelFormat,
                             frameTime, path, frame)
            : E_FAIL;

    if (stream != nullptr) {
        arv_stream_push_buffer(stream, buffer);
    } else {
        g_object_unref(buffer);
    }
    return status;
}

HRESULT CAravisCamera::RenderSnapshot(ArvBuffer* buffer, uint32_t width, uint32_t height, uint32_t pixelFormat,
                                      int64_t frameTime, const char* path, IUnknown** frame) {
    size_t size = 0;
    const void* data = arv_buffer_get_data(buffer, &size);
    const bool threeChannels = pixelFormat == PixelFormatRGB8 || pixelFormat == PixelFormatBGR8;
    const uint64_t needed = static_cast<uint64_t>(width) * height * (threeChannels ? 3 : 1);
    // The region may have changed since the frame was taken: never read past it.
    if (data == nullptr || size < needed) return E_FAIL;

    try {
        const cv::Mat raw(static_cast<int>(height), static_cast<int>(width), threeChannels ? CV_8UC3 : CV_8UC1,
                          const_cast<void*>(data));
        cv::Mat picture;
        switch (pixelFormat) {
            case PixelFormatBayerRG8:
                cv::cvtColor(raw, picture, cv::COLOR_BayerBG2BGR);
                break;
            case PixelFormatBayerGB8:
                cv::cvtColor(raw, picture, cv::COLOR_BayerGR2BGR);
                break;
            case PixelFormatRGB8:
                cv::cvtColor(raw, picture, cv::COLOR_RGB2BGR);
                break;
            case PixelFormatMono8:
                cv::cvtColor(raw, picture, cv::COLOR_GRAY2BGR);
                break;
            default:  // BGR8
                picture = raw.clone();
                break;
        }

        const uint32_t flip = m_flip.load();
        if (flip != 0) cv::flip(picture, picture, flip == 1 ? 0 : flip == 2 ? 1 : -1);

        const uint32_t rotation = m_rotation.load();
        if (rotation == 90 || rotation == 180 || rotation == 270) {
            // cv::rotate cannot work in place when the shape changes.
            cv::Mat rotated;
            cv::rotate(picture, rotated,
                       rotation == 90 ? cv::ROTATE_90_CLOCKWISE
                                      : rotation == 180 ? cv::ROTATE_180 : cv::ROTATE_90_COUNTERCLOCKWISE);
            picture = rotated;
        }

        if (path != nullptr && path[0] != '\0' && !cv::imwrite(path, picture)) {
            m_log.Trace(kClassName, "cannot write the snapshot %s\n", path);
            return E_FAIL;
        }
        if (frame != nullptr) return MakeSnapshotImage(picture, frameTime, frame);
        return S_OK;
    } catch (const std::exception& exception) {
        // cv::Exception for an unknown file type, an unwritable path or a
        // failed conversion; std::bad_alloc for a picture too large.
        m_log.Trace(kClassName, "snapshot failed: %s\n", exception.what());
        return E_FAIL;
    }
}

HRESULT CAravisCamera::MakeSnapshotImage(const cv::Mat& picture, int64_t frameTime, IUnknown** frame) {
    if (m_zendra.Entry() == nullptr) return E_HANDLE;
    ComPtr<IFrameImage> image;
    const HRESULT created = m_zendra.CreateInstance(CLSID_SnapshotFrameImage, IID_IFrameImage, image.ReceiveVoid());
    if (FAILED(created)) return created;
    if (!image) return E_FAIL;

    const FrameFormat format{0, static_cast<uint32_t>(picture.cols), static_cast<uint32_t>(picture.rows), 0, 0, 0, 0};
    image->SetFormat(&format);
    const FrameTime time{frameTime, 1000000};
    image->SetTime(&time, &time);
    uint8_t* buffer = nullptr;
    uint32_t bufferSize = 0;
    image->GetBuffer(&buffer, &bufferSize);

    ComPtr<IImageRowAccess> rows;
    const HRESULT queried = image->QueryInterface(IID_IImageRowAccess, rows.ReceiveVoid());
    if (FAILED(queried)) return queried;
    if (!rows) return E_FAIL;
    for (int y = 0; y < picture.rows; ++y) {
        uint8_t* red = nullptr;
        uint8_t* green = nullptr;
        uint8_t* blue = nullptr;
        const HRESULT row = rows->GetRow(0, static_cast<uint32_t>(y), &red, &green, &blue);
        if (FAILED(row)) return row;
        if (red == nullptr || green == nullptr || blue == nullptr) return E_FAIL;
        const uint8_t* pixel = picture.ptr<uint8_t>(y);
        for (int x = 0; x < picture.cols; ++x, pixel += 3) {
            red[3 * x] = pixel[2];
            green[3 * x] = pixel[1];
            blue[3 * x] = pixel[0];
        }
    }
    *frame = image.Detach();
    return S_OK;
}

// ---------------------------------------------------------------------------
// Streaming thread

void CAravisCamera::Run() {
    while (!StopRequested()) {
        if (!Device()) {
            platform::Clock::SleepMilliseconds(500);
        } else {
            HRESULT result = RunAcquisition();
            if (result == E_ABORT) {
                // Frames stopped coming: reconnect, then run again at once.
                if (StopRequested()) break;
                platform::Clock::SleepMilliseconds(100);
                result = RecreateDevice() ? S_OK : E_FAIL;
            }
            if (result != E_FAIL) continue;
            if (StopRequested()) break;
            platform::Clock::SleepMilliseconds(100);
        }
        RecreateDevice();
    }
    m_streaming.store(false);
}

HRESULT CAravisCamera::RunAcquisition() {
    const GObjectPtr<ArvCamera> device = Device();
    if (!device) return E_FAIL;
    const HRESULT status = PumpFrames(device.Get());
    EndAcquisition(device.Get());
    return status;
}

HRESULT CAravisCamera::PumpFrames(ArvCamera* device) {
    double frameRate = 0.0;
    {
        CVrelAutoLock lock(&m_deviceLock);
        if (m_streamFormat.FrameRateDenominator != 0)
            frameRate = static_cast<double>(m_streamFormat.FrameRateNumerator) / m_streamFormat.FrameRateDenominator;
    }

    GErrorPtr error;
    // Only GigE Vision devices have a packet delay.
    if (arv_camera_is_gv_device(device)) {
        arv_camera_gv_set_packet_delay(device, 0, error.Out());
        if (error) {
            m_log.Trace(kClassName, "cannot set the packet delay: %s\n", error.Message());
            return E_FAIL;
        }
    }

    uint32_t pixelFormat = 0;
    if (FAILED(ReadConvertiblePixelFormat(device, &pixelFormat))) {
        m_log.Trace(kClassName, "the pixel format cannot be read or is not converted\n");
        return E_FAIL;
    }
    const double exposure = arv_camera_get_exposure_time(device, error.Out());
    if (error || !(exposure >= 0.0)) return E_FAIL;

    // Ten times the longer of frame period and exposure. A rate of zero
    // leaves the exposure alone to decide.
    const double period = frameRate > 0.0 ? std::min(1000000.0 / frameRate, kLongestFramePeriodMicroseconds) : 0.0;
    const int64_t exposureMicroseconds = static_cast<int64_t>(std::min(exposure, kLongestFramePeriodMicroseconds));
    m_noFrameTimeout.store(10 * std::max(static_cast<int64_t>(period), exposureMicroseconds));

    if (frameRate > 0.0) {
        GErrorPtr ignored;
        arv_camera_set_float(device, "AcquisitionFrameRate", frameRate, ignored.Out());
    }

    gint x = 0, y = 0, width = 0, height = 0;
    arv_camera_get_region(device, &x, &y, &width, &height, error.Out());
    if (error) return E_FAIL;
    FrameFormat format;
    {
        CVrelAutoLock lock(&m_deviceLock);
        m_streamFormat.Width = m_streamFormat.AspectX = static_cast<uint32_t>(width);
        m_streamFormat.Height = m_streamFormat.AspectY = static_cast<uint32_t>(height);
        format = m_streamFormat;
    }

    const ArvAcquisitionMode mode = arv_camera_get_acquisition_mode(device, error.Out());
    if (error) return E_FAIL;
    if (mode != ARV_ACQUISITION_MODE_CONTINUOUS) {
        arv_camera_set_acquisition_mode(device, ARV_ACQUISITION_MODE_CONTINUOUS, error.Out());
        if (error) return E_FAIL;
    }
    const guint payload = arv_camera_get_payload(device, error.Out());
    if (error || payload == 0) return E_FAIL;

    GObjectPtr<ArvStream> stream =
        GObjectPtr<ArvStream>::Adopt(arv_camera_create_stream(device, nullptr, nullptr, error.Out()));
    if (error || !stream) {
        m_log.Trace(kClassName, "cannot create a stream: %s\n", error.Message());
        return E_FAIL;
    }
    for (int i = 0; i < kStreamBuffers; ++i) arv_stream_push_buffer(stream.Get(), arv_buffer_new(payload, nullptr));
    {
        CVrelAutoLock lock(&m_cameraLock);
        m_stream = stream;
    }

    {
        GErrorPtr ignored;
        arv_camera_start_acquisition(device, ignored.Out());
    }
    int64_t lastFrameTime = Now();

    if (!m_deliverer) {
        m_deliverer.reset(new (std::nothrow) CVideoCallbacker());
        // E_FAIL, not E_OUTOFMEMORY: the thread then pauses before retrying.
        if (!m_deliverer) return E_FAIL;
    }
    HRESULT status = m_deliverer->CreateTasks();
    if (FAILED(status)) return status;
    status = m_deliverer->CreatePools(kRawSamples, kImages);
    if (FAILED(status)) {
        m_log.Trace(kClassName, "cannot fill the frame pools: 0x%08X\n", static_cast<unsigned>(status));
        return status;
    }
    m_deliverer->SetSink(m_sink, m_sinkContext);
    if (!m_deliverer->Start()) return E_FAIL;

    const int64_t timeOffset = exposureMicroseconds + kTransferAllowanceMicroseconds;
    status = S_OK;
    while (!StopRequested()) {
        ArvBuffer* buffer = arv_stream_try_pop_buffer(stream.Get());
        if (buffer == nullptr) {
            if (Now() - lastFrameTime > m_noFrameTimeout.load()) return E_ABORT;
            platform::Clock::SleepMilliseconds(10);
            continue;
        }
        lastFrameTime = Now();
        if (arv_buffer_get_status(buffer) == ARV_BUFFER_STATUS_SUCCESS) {
            size_t size = 0;
            const void* data = arv_buffer_get_data(buffer, &size);
            m_deliverer->SetTransform(m_rotation.load(), m_flip.load());
            status = m_deliverer->PushFrame(&format, pixelFormat, data, static_cast<uint32_t>(size),
                                            lastFrameTime - timeOffset);
        } else {
            platform::Clock::SleepMilliseconds(10);
        }
        arv_stream_push_buffer(stream.Get(), buffer);
    }
    return status;
}

void CAravisCamera::EndAcquisition(ArvCamera* device) {
    {
        GErrorPtr ignored;
        arv_camera_stop_acquisition(device, ignored.Out());
    }
    if (m_deliverer) {
        m_deliverer->Stop();
        m_deliverer->ReleaseResources();
    }
    CVrelAutoLock lock(&m_cameraLock);
    if (m_stream) {
        while (ArvBuffer* buffer = arv_stream_try_pop_buffer(m_stream.Get())) g_object_unref(buffer);
        m_stream.Reset();
    }
}

}  // namespace optivane
