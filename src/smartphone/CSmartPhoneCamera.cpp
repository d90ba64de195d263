#include "smartphone/CSmartPhoneCamera.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include <opencv2/imgcodecs.hpp>

#include "frame/FixedText.h"
#include "platform/Ipv4Text.h"
#include "runtime/CTimeUtil.h"
#include "runtime/CVrelAutoLock.h"
#include "smartphone/CPhoneLink.h"
#include "smartphone/PhoneCapabilities.h"
#include "smartphone/PhoneCommands.h"
#include "smartphone/PhoneExposure.h"
#include "smartphone/PhoneRange.h"

namespace optivane {

namespace {

constexpr uint32_t kPoolImages = 5;
// The setting numbers the phone knows.
constexpr int32_t kSensitivityId = 6;
constexpr int32_t kExposureTimeId = 8;
constexpr int32_t kExposureStepId = 10;

}  // namespace

CUnknown* CSmartPhoneCamera::CreateInstance(IUnknown* outer, HRESULT* status) {
    return CreateInstance(outer, status, phone::PhoneTimings{});
}

CUnknown* CSmartPhoneCamera::CreateInstance(IUnknown* outer, HRESULT* status, const phone::PhoneTimings& timings) {
    CSmartPhoneCamera* camera = new (std::nothrow) CSmartPhoneCamera(outer, timings);
    if (camera == nullptr && status != nullptr) *status = E_OUTOFMEMORY;
    return camera;
}

CSmartPhoneCamera::CSmartPhoneCamera(IUnknown* outer, const phone::PhoneTimings& timings)
    : CUnknown(outer),
      m_timings(timings),
      m_linquet(ModuleLoader::ForSibling("Linquet")),
      m_zendra(ModuleLoader::ForSibling("Zendra")) {
    CopyText(m_record.DeviceUserId, "SmartPhoneCamera");
    CopyText(m_record.VendorName, "Corvalent");
    CopyText(m_record.IpAddress, m_host);
    CopyText(m_record.ModelName, "SmartPhoneCamera");
    CopyText(m_record.SerialNumber, "00000000");
    m_record.WidthMax = 4000;
    m_record.HeightMax = 3000;
}

CSmartPhoneCamera::~CSmartPhoneCamera() {
    StopStreaming();
    if (m_connection) m_connection->Uninit();
}

HRESULT CSmartPhoneCamera::NonDelegatingQueryInterface(const IID& iid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IAravisCamera) return GetInterface(static_cast<IAravisCamera*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(iid, object);
}

uint32_t CSmartPhoneCamera::Address() const {
    uint32_t address = 0;
    return platform::Ipv4Text::Parse(m_host, &address) ? address : 0;
}

char* CSmartPhoneCamera::ReceiveBuffer() {
    if (!m_buffer) m_buffer.reset(new (std::nothrow) char[phone::ImageReplyReader::kBufferSize]);
    return m_buffer.get();
}

HRESULT CSmartPhoneCamera::Open(const CameraDeviceInfo* device) {
    if (device == nullptr) return E_POINTER;
    CVrelAutoLock lock(&m_lock);
    const std::string id(device->DeviceId, strnlen(device->DeviceId, sizeof device->DeviceId));
    const size_t colon = id.find(':');
    if (colon != std::string::npos) {
        // Ids begin with eight characters ("SMPHCA00") before the address.
        const std::string host = colon > 8 ? id.substr(8, colon - 8) : std::string();
        CopyText(m_host, host.c_str());
        m_port = static_cast<uint16_t>(std::atoi(id.c_str() + colon + 1));
        CopyText(m_record.DeviceId, id.c_str());
        CopyText(m_record.IpAddress, m_host);
    }
    if (m_state == State::Opened) return S_OK;
    ComPtr<ITcpConnection> connection;
    HRESULT status = m_linquet.CreateInstance(CLSID_TcpConnection, IID_ITcpConnection, connection.ReceiveVoid());
    if (FAILED(status)) return status;
    status = connection->Init();
    if (FAILED(status)) return status;
    m_connection = std::move(connection);
    m_state = State::Opened;
    return status;
}

HRESULT CSmartPhoneCamera::GetRegion(uint32_t* x, uint32_t* y, uint32_t* width, uint32_t* height) {
    if (x == nullptr || y == nullptr || width == nullptr || height == nullptr) return E_POINTER;
    *x = 0;
    *y = 0;
    *width = m_widthMax.load();
    *height = m_heightMax.load();
    return S_OK;
}

HRESULT CSmartPhoneCamera::SetRegion(uint32_t, uint32_t, uint32_t, uint32_t) { return S_OK; }

HRESULT CSmartPhoneCamera::GetDeviceInfo(CameraDeviceInfo* device) {
    if (device == nullptr) return E_POINTER;
    CVrelAutoLock lock(&m_lock);
    if (m_state != State::Opened) return E_FAIL;
    phone::CPhoneLink link(*m_connection.Get(), m_timings);
    HRESULT status = link.Connect(Address(), m_port);
    if (FAILED(status)) return status;
    phone::CapabilityReply reply;
    status = link.QueryCapabilities(reply);
    if (FAILED(status)) return status;
    phone::PhoneCapabilities capabilities;
    std::string error;
    if (FAILED(capabilities.Parse(reply.Document(), reply.DocumentSize(), error))) return E_FAIL;
    CopyText(m_record.ModelName, capabilities.Get(phone::PhoneCapabilities::Model).c_str());
    CopyText(m_record.VendorName, capabilities.Get(phone::PhoneCapabilities::Manufacture).c_str());
    CopyText(m_record.SerialNumber, capabilities.Get(phone::PhoneCapabilities::Serial).c_str());
    phone::ExposureRange exposure{};
    if (FAILED(phone::ParseExposureRange(capabilities.Get(phone::PhoneCapabilities::ExposureTimeRange), exposure,
                                         error)))
        return E_FAIL;
    m_exposureMin = exposure.minimumUs;
    m_exposureMax = exposure.maximumUs;
    phone::SensitivityRange sensitivity{};
    if (FAILED(phone::ParseSensitivityRange(capabilities.Get(phone::PhoneCapabilities::SensitivityRange),
                                            sensitivity, error)))
        return E_FAIL;
    m_sensitivityMin = static_cast<uint32_t>(sensitivity.minimum);
    m_sensitivityMax = static_cast<uint32_t>(sensitivity.maximum);
    // Only now the 10 MiB buffer: a search probes hundreds of hosts that are no phones.
    char* buffer = ReceiveBuffer();
    if (buffer == nullptr) return E_OUTOFMEMORY;
    phone::ImageReplyReader reader(buffer, phone::ImageReplyReader::kBufferSize);
    status = link.Capture(reader);
    if (FAILED(status)) return status;
    if (FAILED(m_decoder.Decode(reader.Image(), reader.ImageSize()))) return E_FAIL;
    m_record.WidthMax = m_decoder.Width();
    m_record.HeightMax = m_decoder.Height();
    m_widthMax = m_record.WidthMax;
    m_heightMax = m_record.HeightMax;
    *device = m_record;
    return S_OK;
}

HRESULT CSmartPhoneCamera::GetParameter(int32_t id, uint32_t* value) {
    if (value == nullptr) return E_POINTER;
    switch (id) {
        case 0: *value = 100; return S_OK;
        case 1: case 2: case 3: case 4: case 5: case 7: case 9: case 11: case 13: *value = 0; return S_OK;
        case kSensitivityId: *value = m_sensitivity.load() * 100; return S_OK;
        case kExposureTimeId: *value = m_exposureTime.load(); return S_OK;
        case kExposureStepId: *value = m_exposureStep.load(); return S_OK;
        case 12: *value = 1000; return S_OK;
        default: *value = 0; return E_FAIL;
    }
}

HRESULT CSmartPhoneCamera::SetParameter(int32_t id, uint32_t value) {
    // Checked first: a step outside the table is refused with nothing sent.
    if (id == kExposureStepId && value >= exposure::kStepCount) return E_FAIL;
    CVrelAutoLock lock(&m_lock);
    if (m_state != State::Opened) return E_FAIL;
    phone::CPhoneLink link(*m_connection.Get(), m_timings);
    const HRESULT status = link.Connect(Address(), m_port);
    if (FAILED(status)) return status;
    std::string command;
    if (id == kExposureStepId) {
        const double microseconds = exposure::kSteps[value].microseconds;
        m_exposureStep = value;
        m_exposureTime = phone::Limited(static_cast<uint32_t>(microseconds), m_exposureMin, m_exposureMax);
        command = phone::ExposureCommand(static_cast<int64_t>(microseconds * 1000.0));
    } else if (id == kExposureTimeId) {
        const uint32_t limited = phone::Limited(value, m_exposureMin, m_exposureMax);
        m_exposureTime = limited;
        m_exposureStep = phone::NearestStep(limited);
        command = phone::ExposureCommand(static_cast<int64_t>(value) * 1000);
    } else if (id == kSensitivityId) {
        const int32_t iso = static_cast<int32_t>(value) / 100;
        const uint32_t limited = phone::Limited(static_cast<uint32_t>(iso), m_sensitivityMin, m_sensitivityMax);
        m_sensitivity = limited;
        command = phone::SensitivityCommand(static_cast<int32_t>(limited));
    } else {
        return status;
    }
    return link.Setup(command);
}

HRESULT CSmartPhoneCamera::GetParameterRange(int32_t channel, uint32_t* min, uint32_t* max) {
    if (min == nullptr || max == nullptr) return E_POINTER;
    const bool sensitivity = channel == 4;
    *min = sensitivity ? m_sensitivityMin.load() * 100 : 0;
    *max = sensitivity ? m_sensitivityMax.load() * 100 : 0;
    return S_OK;
}

HRESULT CSmartPhoneCamera::GetExposureTimeRange(double* min, double* max) {
    if (min == nullptr || max == nullptr) return E_POINTER;
    *min = m_exposureMin.load();
    *max = m_exposureMax.load();
    return S_OK;
}

HRESULT CSmartPhoneCamera::GetPixelFormats(CameraPixelFormat* list, uint32_t capacity, uint32_t* count) {
    if (count == nullptr) return E_POINTER;
    *count = 1;
    if (list != nullptr && capacity >= 1) {
        CopyText(list[0].Name, "RGB24");
        list[0].Code = 0;
    }
    return S_OK;
}

HRESULT CSmartPhoneCamera::CapturePhoneFrame(IFrameImage* image) {
    CVrelAutoLock lock(&m_lock);
    if (m_state != State::Opened) return E_FAIL;
    char* buffer = ReceiveBuffer();
    if (buffer == nullptr) return E_OUTOFMEMORY;
    phone::CPhoneLink link(*m_connection.Get(), m_timings);
    HRESULT status = link.Connect(Address(), m_port);
    if (FAILED(status)) return status;
    phone::ImageReplyReader reader(buffer, phone::ImageReplyReader::kBufferSize);
    status = link.Capture(reader);
    if (FAILED(status)) return status;
    if (FAILED(m_decoder.Decode(reader.Image(), reader.ImageSize()))) return E_FAIL;
    const uint32_t width = m_decoder.Width(), height = m_decoder.Height();
    const FrameFormat format{0, width, height, width, height, 10000, 1000};
    status = image->SetFormat(&format);
    if (FAILED(status)) return status;
    const FrameTime time{CTimeUtil().NowMicroseconds(), 1000000};
    status = image->SetTime(&time, &time);
    if (FAILED(status)) return status;
    uint8_t* data = nullptr;
    uint32_t size = 0;
    status = image->GetBuffer(&data, &size);
    if (FAILED(status)) return status;
    return m_decoder.CopyTo(data, size) ? S_OK : E_FAIL;
}

HRESULT CSmartPhoneCamera::GrabSnapshot(uint32_t, IUnknown** frame) {
    if (frame == nullptr) return E_POINTER;
    *frame = nullptr;
    ComPtr<IFrameImage> image;
    const HRESULT created = m_zendra.CreateInstance(CLSID_FrameImage, IID_IFrameImage, image.ReceiveVoid());
    if (FAILED(created)) return created;
    const HRESULT status = CapturePhoneFrame(image.Get());
    if (FAILED(status)) return status;
    *frame = image.Detach();
    return S_OK;
}

HRESULT CSmartPhoneCamera::SaveSnapshot(uint32_t reserved, const char* path) {
    if (path == nullptr) return E_POINTER;
    ComPtr<IUnknown> frame;
    HRESULT status = GrabSnapshot(reserved, frame.Receive());
    if (FAILED(status)) return status;
    ComPtr<IFrameImage> image;
    status = frame->QueryInterface(IID_IFrameImage, image.ReceiveVoid());
    if (FAILED(status)) return status;
    FrameFormat format{};
    uint8_t* data = nullptr;
    uint32_t size = 0;
    if (FAILED(image->GetFormat(&format)) || FAILED(image->GetBuffer(&data, &size)) || data == nullptr) return E_FAIL;
    try {
        const cv::Mat picture(static_cast<int>(format.Height), static_cast<int>(format.Width), CV_8UC3, data);
        return cv::imwrite(path, picture) ? S_OK : E_FAIL;
    } catch (const std::exception&) {
        return E_FAIL;
    }
}

HRESULT CSmartPhoneCamera::StartStreaming(IAravisCameraCallback* callback, void* context) {
    std::lock_guard<std::mutex> control(m_streamControl);
    {
        std::lock_guard<std::mutex> guard(m_callbackLock);
        m_callback = callback;
        m_context = context;
    }
    if (m_streaming.load() != 0) return S_FALSE;
    {
        std::lock_guard<std::mutex> guard(m_pauseLock);
        m_stopWanted = false;
    }
    if (!Start()) return E_FAIL;
    m_streaming = 1;
    return S_OK;
}

HRESULT CSmartPhoneCamera::RestartStreaming() {
    IAravisCameraCallback* callback;
    void* context;
    {
        std::lock_guard<std::mutex> guard(m_callbackLock);
        callback = m_callback;
        context = m_context;
    }
    StartStreaming(callback, context);
    return S_OK;
}

HRESULT CSmartPhoneCamera::StopStreaming() {
    std::lock_guard<std::mutex> control(m_streamControl);
    {
        std::lock_guard<std::mutex> guard(m_pauseLock);
        m_stopWanted = true;
    }
    m_pauseWake.notify_all();
    Stop();
    m_streaming = 0;
    return S_OK;
}

HRESULT CSmartPhoneCamera::Reserved() { return S_OK; }

HRESULT CSmartPhoneCamera::Close() {
    StopStreaming();
    CVrelAutoLock lock(&m_lock);
    if (m_connection) m_connection->Uninit();
    m_connection.Reset();
    m_state = State::Created;
    return S_OK;
}

HRESULT CSmartPhoneCamera::OnImage(IUnknown* frame) {
    std::lock_guard<std::mutex> guard(m_callbackLock);
    if (m_callback != nullptr) m_callback->OnFrame(0, m_context, frame);
    return S_OK;
}

bool CSmartPhoneCamera::StreamPause(uint32_t milliseconds) {
    std::unique_lock<std::mutex> guard(m_pauseLock);
    return m_pauseWake.wait_for(guard, std::chrono::milliseconds(milliseconds), [this] { return m_stopWanted; });
}

void CSmartPhoneCamera::Run() {
    ComPtr<ISamplePool> pool;
    if (FAILED(m_zendra.CreateInstance(CLSID_SamplePool, IID_ISamplePool, pool.ReceiveVoid()))) return;
    for (uint32_t made = 0; made < kPoolImages; ++made) {
        ComPtr<IUnknown> image;
        if (FAILED(m_zendra.CreateInstance(CLSID_FrameImage, IID_IUnknown, image.ReceiveVoid())) ||
            FAILED(pool->Add(image.Get()))) {
            pool->Clear();
            return;
        }
    }
    while (!StopRequested()) {
        ComPtr<IUnknown> taken;
        ComPtr<IFrameImage> image;
        if (FAILED(pool->Take(taken.Receive())) || !taken ||
            FAILED(taken->QueryInterface(IID_IFrameImage, image.ReceiveVoid()))) {
            if (StreamPause(m_timings.retryPauseMs)) break;
            continue;
        }
        const HRESULT status = CapturePhoneFrame(image.Get());
        if (SUCCEEDED(status)) {
            IAravisCameraCallback* callback;
            void* context;
            {
                std::lock_guard<std::mutex> guard(m_callbackLock);
                callback = m_callback;
                context = m_context;
            }
            if (callback != nullptr) callback->OnFrame(status, context, image.Get());
        }
        image->Done();
        image.Reset();
        taken.Reset();
        // A stop wanted during a pause ends the run before another capture,
        // even before StopStreaming has asked the thread itself to end.
        if (FAILED(status) && StreamPause(m_timings.retryPauseMs)) break;
        if (StreamPause(m_timings.streamPauseMs)) break;
    }
    pool->Clear();
}

}  // namespace optivane
