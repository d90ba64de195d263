#include "peak/CIdsPeakCamera.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "frame/ComponentTable.h"
#include "frame/ExposureSteps.h"
#include "frame/FixedText.h"
#include "peak/CPeakSdkManager.h"
#include "platform/Clock.h"
#include "runtime/CTimeUtil.h"
#include "runtime/CVrelAutoLock.h"

using optivane::CPeakCamInstance;
using optivane::CVrelAutoLock;
using optivane::platform::Clock;

namespace {

constexpr const char* kClassName = "CIdsPeakCamera";
constexpr uint32_t kPauseStepMs = 10;
constexpr int64_t kTicksPerMillisecond = 10000;
constexpr double kShortestExposure = 1000000.0 / 60;
constexpr double kLongestExposure = 30000000.0;
constexpr int32_t kFirstGainParameter = 2;
constexpr int32_t kLastGainParameter = 6;
// Camera kinds are reached through the class factory; the SDK manager is
// made by the same rules here, without the module's exported entry.
const optivane::ComponentTableRow kSdkManagerClass[] = {
    {"Peak SDK Manager", &CLSID_PeakSdkManager, &optivane::CPeakSdkManager::CreateInstance},
};

// Formats the camera streams in as BayerRG8 instead.
bool IsWideBayerRG(const std::string& format) {
    return format == "BayerRG10" || format == "BayerRG12" || format == "BayerRG10p" || format == "BayerRG12p";
}

}  // namespace

optivane::CUnknown* CIdsPeakCamera::CreateInstance(IUnknown* outer, HRESULT* status) {
    return CreateInstance(outer, status, optivane::PeakTimings());
}

optivane::CUnknown* CIdsPeakCamera::CreateInstance(IUnknown* outer, HRESULT* status,
                                                   const optivane::PeakTimings& timings) {
    CIdsPeakCamera* created = new (std::nothrow) CIdsPeakCamera(outer, timings);
    if (created == nullptr) *status = E_OUTOFMEMORY;
    return created;
}

CIdsPeakCamera::CIdsPeakCamera(IUnknown* outer, const optivane::PeakTimings& timings)
    : CUnknown(outer), m_timings(timings) {}

CIdsPeakCamera::~CIdsPeakCamera() { Close(); }

HRESULT CIdsPeakCamera::NonDelegatingQueryInterface(const IID& iid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IAravisCamera) return GetInterface(static_cast<IAravisCamera*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(iid, object);
}

CIdsPeakCamera::DeviceState CIdsPeakCamera::CurrentState() {
    CVrelAutoLock lock(&m_deviceLock);
    return m_state;
}

// --- Device ---------------------------------------------------------------

HRESULT CIdsPeakCamera::Open(const CameraDeviceInfo* device) {
    if (device == nullptr) return E_POINTER;
    char id[sizeof device->DeviceId + 1] = {};
    std::memcpy(id, device->DeviceId, sizeof device->DeviceId);
    {
        CVrelAutoLock control(&m_controlLock);
        StopThread();
    }
    if (m_sdkManager) {
        m_sdkManager->UnregisterCamera(this);
        m_sdkManager.Reset();
    }
    {
        CVrelAutoLock lock(&m_deviceLock);
        m_instance.reset();
        m_deviceId.clear();
        m_state = DeviceState::Closed;
    }
    HRESULT status = optivane::CreateFromTable(kSdkManagerClass, CLSID_PeakSdkManager, IID_IPeakSdkManager,
                                               m_sdkManager.ReceiveVoid());
    if (FAILED(status)) return status;

    auto instance = std::make_shared<CPeakCamInstance>(m_timings);
    CameraDeviceInfo record{};
    status = instance->OpenCamera(id, &record);
    if (FAILED(status)) return status;
    {
        CVrelAutoLock lock(&m_deviceLock);
        CVrelAutoLock instanceLock(&instance->InstanceLock());
        m_instance = instance;
        m_record = record;
        m_deviceId = id;
        m_pixelFormats = instance->PixelFormats();
        m_state = DeviceState::Open;
    }
    m_sdkManager->RegisterCamera(this);

    std::string format;
    status = instance->GetPixelFormat(&format);
    if (FAILED(status)) return status;
    return IsWideBayerRG(format) ? instance->SetPixelFormat("BayerRG8") : S_OK;
}

HRESULT CIdsPeakCamera::CheckDevice() {
    CVrelAutoLock lock(&m_deviceLock);
    switch (m_state) {
        case DeviceState::Closed:
            return E_FAIL;
        case DeviceState::Open: {
            HRESULT status = E_FAIL;
            if (m_instance) {
                status = m_instance->CheckAlive();
                if (SUCCEEDED(status)) return S_OK;
            }
            m_instance.reset();
            m_state = DeviceState::Lost;
            return status;
        }
        case DeviceState::Lost:
            return ReOpenDevice();
    }
    return E_UNEXPECTED;
}

std::shared_ptr<CPeakCamInstance> CIdsPeakCamera::Instance() {
    CVrelAutoLock lock(&m_deviceLock);
    return m_instance;
}

HRESULT CIdsPeakCamera::ReOpenDevice() {
    CVrelAutoLock lock(&m_deviceLock);
    if (m_state == DeviceState::Closed) return E_FAIL;
    // One opened while a library restart closed the library is of no use.
    if (m_state == DeviceState::Open && m_instance && SUCCEEDED(m_instance->CheckAlive())) return S_OK;
    m_instance.reset();
    m_state = DeviceState::Lost;
    auto instance = std::make_shared<CPeakCamInstance>(m_timings);
    CameraDeviceInfo record{};
    const HRESULT status = instance->OpenCamera(m_deviceId.c_str(), &record);
    m_log.Trace(kClassName, "ReOpenDevice() hr = 0x%08X (%p)\n", static_cast<unsigned>(status),
                static_cast<void*>(this));
    if (FAILED(status)) return status;
    m_instance = instance;
    m_record = record;
    m_state = DeviceState::Open;
    return S_OK;
}

HRESULT CIdsPeakCamera::ReleaseDevice() {
    CVrelAutoLock lock(&m_deviceLock);
    if (m_instance) {
        m_instance->StopLiveStreaming();
        m_instance.reset();
    }
    if (m_state != DeviceState::Closed) m_state = DeviceState::Lost;
    return S_OK;
}

HRESULT CIdsPeakCamera::Close() {
    {
        CVrelAutoLock control(&m_controlLock);
        StopThread();
    }
    {
        CVrelAutoLock lock(&m_deviceLock);
        m_instance.reset();
        m_state = DeviceState::Closed;
    }
    if (m_sdkManager) {
        m_sdkManager->UnregisterCamera(this);
        m_sdkManager.Reset();
    }
    return S_OK;
}

HRESULT CIdsPeakCamera::GetRegion(uint32_t* x, uint32_t* y, uint32_t* width, uint32_t* height) {
    if (x == nullptr || y == nullptr || width == nullptr || height == nullptr) return E_POINTER;
    CVrelAutoLock lock(&m_deviceLock);
    *x = 0;
    *y = 0;
    *width = m_record.WidthMax;
    *height = m_record.HeightMax;
    return S_OK;
}

HRESULT CIdsPeakCamera::SetRegion(uint32_t, uint32_t, uint32_t, uint32_t) { return S_OK; }

HRESULT CIdsPeakCamera::GetDeviceInfo(CameraDeviceInfo* device) {
    if (device == nullptr) return E_POINTER;
    {
        CVrelAutoLock lock(&m_deviceLock);
        *device = m_record;
    }
    const HRESULT status = CheckDevice();
    if (FAILED(status)) device->DeviceId[0] = '\0';
    return status;
}

HRESULT CIdsPeakCamera::Reserved() { return S_OK; }

// --- Settings -------------------------------------------------------------

HRESULT CIdsPeakCamera::GetParameter(int32_t id, uint32_t* value) {
    if (value == nullptr) return E_POINTER;
    HRESULT status = CheckDevice();
    if (FAILED(status)) return status;
    const std::shared_ptr<CPeakCamInstance> instance = Instance();
    if (!instance) return E_FAIL;
    double minimum = 0, maximum = 0, current = 0;
    std::string name;
    if (id >= kFirstGainParameter && id <= kLastGainParameter) {
        CVrelAutoLock lock(&instance->InstanceLock());
        status = instance->GetGainByIndex(id - kFirstGainParameter, &minimum, &maximum, &current);
        if (SUCCEEDED(status)) *value = static_cast<uint32_t>(current * 100);
        return status;
    }
    switch (id) {
        case 8:
        case 10:
            status = instance->GetExposure(&minimum, &maximum, &current);
            if (SUCCEEDED(status))
                *value = id == 8 ? static_cast<uint32_t>(current + 0.5) : optivane::exposure::StepIndex(current);
            return status;
        case 11: {
            status = instance->GetPixelFormat(&name);
            if (FAILED(status)) return status;
            CVrelAutoLock lock(&m_deviceLock);
            auto found = std::find(m_pixelFormats.begin(), m_pixelFormats.end(), name);
            if (found != m_pixelFormats.end()) *value = static_cast<uint32_t>(found - m_pixelFormats.begin());
            return S_OK;
        }
        case 12:
            status = instance->GetFrameRate(&minimum, &maximum, &current);
            if (SUCCEEDED(status)) *value = static_cast<uint32_t>(current * 100);
            return status;
        case 14:
            *value = m_rotation.load();
            return S_OK;
        case 15:
            *value = m_flip.load();
            return S_OK;
        case 16:
            status = instance->GetColorCorrectionMode(&name);
            if (SUCCEEDED(status)) *value = name == "Auto" ? 1 : 0;
            return status;
        default:
            return status;
    }
}

HRESULT CIdsPeakCamera::SetParameter(int32_t id, uint32_t value) {
    HRESULT status = CheckDevice();
    if (FAILED(status)) return status;
    const std::shared_ptr<CPeakCamInstance> instance = Instance();
    if (!instance) return E_FAIL;
    if (id >= kFirstGainParameter && id <= kLastGainParameter) {
        CVrelAutoLock lock(&instance->InstanceLock());
        return instance->SetGain(instance->GainSelectorName(id - kFirstGainParameter), value / 100.0);
    }
    switch (id) {
        case 8:
            return ApplyExposureTime(value);
        case 10:
            return ApplyExposureTime(value < optivane::exposure::kStepCount
                                         ? optivane::exposure::kSteps[value].microseconds
                                         : 0.0);
        case 11: {
            std::string name;
            {
                CVrelAutoLock lock(&m_deviceLock);
                if (value >= m_pixelFormats.size()) return E_INVALIDARG;
                name = m_pixelFormats[value];
            }
            return instance->SetPixelFormat(name);
        }
        case 12: {
            double rate = value / 100.0, minimum = 0, maximum = 0, current = 0;
            if (SUCCEEDED(instance->GetFrameRate(&minimum, &maximum, &current)))
                rate = std::min(std::max(rate, minimum), maximum);
            return instance->SetFrameRate(rate);
        }
        case 14:
            m_rotation = value;
            return S_OK;
        case 15:
            m_flip = value;
            return S_OK;
        case 16:
            return instance->SetColorCorrectionMode(value == 0 ? "Off" : "Auto");
        default:
            return status;
    }
}

HRESULT CIdsPeakCamera::GetParameterRange(int32_t channel, uint32_t* min, uint32_t* max) {
    if (min == nullptr || max == nullptr) return E_POINTER;
    const HRESULT status = CheckDevice();
    if (FAILED(status)) return status;
    const std::shared_ptr<CPeakCamInstance> instance = Instance();
    if (!instance) return E_FAIL;
    double minimum = 0, maximum = 0, current = 0;
    const HRESULT read = instance->GetGainByIndex(channel, &minimum, &maximum, &current);
    if (FAILED(read)) return read;
    *min = static_cast<uint32_t>(minimum * 100);
    *max = static_cast<uint32_t>(maximum * 100);
    return S_OK;
}

HRESULT CIdsPeakCamera::GetExposureTimeRange(double* min, double* max) {
    if (min == nullptr || max == nullptr) return E_POINTER;
    const HRESULT status = CheckDevice();
    if (FAILED(status)) return status;
    *min = kShortestExposure;
    *max = kLongestExposure;
    return S_OK;
}

HRESULT CIdsPeakCamera::GetPixelFormats(CameraPixelFormat* list, uint32_t capacity, uint32_t* count) {
    if (count == nullptr || (list == nullptr && capacity > 0)) return E_POINTER;
    CVrelAutoLock lock(&m_deviceLock);
    for (uint32_t i = 0; i < m_pixelFormats.size() && i < capacity; ++i) {
        optivane::CopyText(list[i].Name, m_pixelFormats[i].c_str());
        list[i].Code = i;
        *count = i + 1;
    }
    return S_OK;
}

HRESULT CIdsPeakCamera::ApplyExposureTime(double microseconds) {
    const std::shared_ptr<CPeakCamInstance> instance = Instance();
    if (!instance) return E_FAIL;
    std::string current, normal, longExposure;
    double minimum = 0, maximum = 0;
    {
        CVrelAutoLock lock(&instance->InstanceLock());
        current = instance->CurrentUserSet();
        normal = instance->DefaultUserSet();
        longExposure = instance->LongExposureUserSet();
        minimum = instance->ExposureMinimum();
        maximum = instance->ExposureMaximum();
    }
    const bool inLongExposure = current != normal && current == longExposure;
    if (microseconds > maximum && !inLongExposure) return SwitchUserSet(longExposure, true, microseconds);
    if (microseconds < minimum && inLongExposure) return SwitchUserSet(normal, false, microseconds);
    return instance->SetExposure(microseconds);
}

HRESULT CIdsPeakCamera::SwitchUserSet(const std::string& userSet, bool keepPixelFormat, double microseconds) {
    CVrelAutoLock control(&m_controlLock);
    const bool wasStreaming = HasThread();
    StopThread();
    const std::shared_ptr<CPeakCamInstance> instance = Instance();
    if (!instance) return E_FAIL;
    std::string format;
    if (keepPixelFormat) instance->GetPixelFormat(&format);
    // The overall gains belong to the user set: carry them over.
    double gains[2] = {};
    bool read[2] = {};
    for (int i = 0; i < 2; ++i) {
        CVrelAutoLock lock(&instance->InstanceLock());
        double minimum = 0, maximum = 0;
        read[i] = SUCCEEDED(instance->GetGainByIndex(3 + i, &minimum, &maximum, &gains[i]));
    }
    instance->SelectUserSet(userSet);
    if (keepPixelFormat && !format.empty()) instance->SetPixelFormat(format);
    for (int i = 0; i < 2; ++i) {
        CVrelAutoLock lock(&instance->InstanceLock());
        if (read[i]) instance->SetGain(instance->GainSelectorName(3 + i), gains[i]);
    }
    const HRESULT status = instance->SetExposure(microseconds);
    if (wasStreaming) StartThread();
    return status;
}

// --- Streaming ------------------------------------------------------------

HRESULT CIdsPeakCamera::StartStreaming(IAravisCameraCallback* callback, void* context) {
    const HRESULT status = CheckDevice();
    if (FAILED(status)) return status;
    CVrelAutoLock control(&m_controlLock);
    if (m_streaming.load()) return S_FALSE;
    m_callback = callback;
    m_context = context;
    return StartThread();
}

HRESULT CIdsPeakCamera::RestartStreaming() {
    const HRESULT status = CheckDevice();
    if (FAILED(status)) return status;
    CVrelAutoLock control(&m_controlLock);
    if (m_streaming.load()) return S_FALSE;
    return StartThread();
}

HRESULT CIdsPeakCamera::StopStreaming() {
    CVrelAutoLock control(&m_controlLock);
    StopThread();
    return S_OK;
}

HRESULT CIdsPeakCamera::StartThread() {
    // A thread that ended by itself is joined first.
    if (HasThread()) CSimpleThread::Stop();
    m_stopWanted = false;
    m_streaming = true;
    if (!CSimpleThread::Start()) {
        m_streaming = false;
        return E_FAIL;
    }
    return S_OK;
}

void CIdsPeakCamera::StopThread() {
    if (!HasThread()) return;
    // The flag goes first, so a wait the kill ends is not taken for a lost
    // device.
    m_stopWanted = true;
    if (const std::shared_ptr<CPeakCamInstance> instance = Instance()) instance->StopDataStream();
    CSimpleThread::Stop();
    m_stopWanted = false;
}

void CIdsPeakCamera::Pause(uint32_t milliseconds) const {
    for (uint32_t slept = 0; slept < milliseconds && !Stopping(); slept += kPauseStepMs)
        Clock::SleepMilliseconds(std::min(kPauseStepMs, milliseconds - slept));
}

// Streaming thread.
void CIdsPeakCamera::Run() {
    m_log.Trace(kClassName, "ThreadProc() Start. (%s)\n", m_deviceId.c_str());
    std::shared_ptr<CPeakCamInstance> instance;
    uint32_t pixelFormat = 0;
    uint32_t bufferCount = optivane::peak::DataStream::kMinimumBuffers;
    std::unique_ptr<optivane::CVideoCallbacker> deliverer(new (std::nothrow) optivane::CVideoCallbacker());
    bool ready = deliverer && PrepareStream(&instance, &pixelFormat, &bufferCount) && !Stopping();
    if (ready) {
        ready = SUCCEEDED(deliverer->CreateTasks()) &&
                SUCCEEDED(deliverer->CreatePools(static_cast<int32_t>(bufferCount),
                                                 static_cast<int32_t>(bufferCount) + 2, optivane::FrameSizing{})) &&
                SUCCEEDED(deliverer->SetSink(this, this)) && SUCCEEDED(deliverer->Start());
    }
    if (ready) {
        const HRESULT started = instance->StartLiveStreaming();
        m_log.Trace(kClassName, "StartLiveStreaming() hr = 0x%08X (%p)\n", static_cast<unsigned>(started),
                    static_cast<void*>(this));
    }
    while (ready && !Stopping()) {
        deliverer->SetTransform(m_rotation.load(), m_flip.load());
        // A stream that did not start fails here too, and is reconnected.
        if (SUCCEEDED(instance->LiveStreaming(pixelFormat, deliverer.get()))) {
            Pause(m_timings.framePauseMs);
            continue;
        }
        if (Stopping()) break;
        m_log.Trace(kClassName, "ThreadProc() Try to reconnect. (%s)\n", m_deviceId.c_str());
        Reconnect(std::move(instance));
        ready = PrepareStream(&instance, &pixelFormat, &bufferCount) && !Stopping();
        const HRESULT started = ready ? instance->StartLiveStreaming() : E_ABORT;
        m_log.Trace(kClassName, "ThreadProc() Reconnect done, hr = 0x%08X. (%s)\n", static_cast<unsigned>(started),
                    m_deviceId.c_str());
    }
    if (instance) {
        instance->StopLiveStreaming();
        // A settings call in progress on this instance finishes first.
        CVrelAutoLock lock(&instance->InstanceLock());
    }
    if (deliverer) {
        deliverer->Stop();
        deliverer->ReleaseResources();
    }
    m_log.Trace(kClassName, "ThreadProc() End. (%s)\n", m_deviceId.c_str());
    m_streaming = false;
}

bool CIdsPeakCamera::PrepareStream(std::shared_ptr<CPeakCamInstance>* instance, uint32_t* pixelFormat,
                                   uint32_t* bufferCount) {
    while (!Stopping()) {
        if (FAILED(CheckDevice())) {
            Pause(m_timings.lostDevicePollMs);
            continue;
        }
        {
            CVrelAutoLock lock(&m_deviceLock);
            *instance = m_instance;
            // Gone since the check (another camera's restart): check again.
            if (!*instance) continue;
            std::string format;
            if (SUCCEEDED((*instance)->GetPixelFormat(&format)) &&
                SUCCEEDED(CPeakCamInstance::PixelFormatCode(format, pixelFormat)) &&
                SUCCEEDED((*instance)->OpenDataStream(bufferCount)))
                return true;
        }
        instance->reset();
        if (FAILED(RestartLibrary())) return false;
    }
    return false;
}

HRESULT CIdsPeakCamera::RestartLibrary() {
    // A camera whose stream never prepares would restart the library, and
    // interrupt every IDS peak camera of the process, again and again. The
    // spacing counts from the end of the last restart, which reopens every
    // camera (a discovery each), so the others stream in between.
    if (m_restarted) {
        const int64_t sinceMs = (Clock::MonotonicTicks() - m_lastRestartTicks) / kTicksPerMillisecond;
        if (sinceMs < m_timings.restartSpacingMs) Pause(static_cast<uint32_t>(m_timings.restartSpacingMs - sinceMs));
        if (Stopping()) return E_ABORT;
    } else {
        m_log.Error(kClassName, "the data stream of %s does not prepare: restarting the IDS peak library\n",
                    m_deviceId.c_str());
    }
    const HRESULT status = m_sdkManager ? m_sdkManager->ReinitializeSdk() : E_FAIL;
    m_restarted = true;
    m_lastRestartTicks = Clock::MonotonicTicks();
    return status;
}

void CIdsPeakCamera::Reconnect(std::shared_ptr<CPeakCamInstance> failed) {
    // Dropped only while it is still the camera's: one that a library restart
    // reopened meanwhile is kept rather than found again.
    bool dropped = false;
    {
        CVrelAutoLock lock(&m_deviceLock);
        if (m_instance && m_instance == failed) {
            m_instance->StopLiveStreaming();
            m_instance.reset();
            if (m_state != DeviceState::Closed) m_state = DeviceState::Lost;
            dropped = true;
        }
    }
    // The last reference goes before a reopening, which the held device
    // would otherwise refuse.
    failed.reset();
    if (dropped) Pause(m_timings.reconnectStepPauseMs);
}

// --- Frames and snapshots -------------------------------------------------

// Delivery thread.
HRESULT CIdsPeakCamera::OnFrame(int32_t status, void*, IUnknown* frame) {
    if (status >= 0 && frame != nullptr) {
        CVrelAutoLock lock(&m_snapshotLock);
        if (m_snapshotRequested) {
            optivane::ComPtr<IFrameImage> image;
            FrameTime start{}, end{};
            if (FAILED(frame->QueryInterface(IID_IFrameImage, image.ReceiveVoid())) ||
                FAILED(image->GetTime(&start, &end)) || start.UnitsPerSecond <= 0)
                return S_OK;
            // Whole seconds first: the product of a time since 1970 and a
            // million overflows.
            const int64_t startMicroseconds = start.Value / start.UnitsPerSecond * 1000000 +
                                              start.Value % start.UnitsPerSecond * 1000000 / start.UnitsPerSecond;
            if (startMicroseconds >= m_snapshotTime) {
                image->Hold();
                m_snapshotFrame = std::move(image);
                m_snapshotRequested = false;
            }
        }
    }
    // Written only while no streaming thread (and so no delivery) runs.
    if (m_callback != nullptr) m_callback->OnFrame(status, m_context, frame);
    return S_OK;
}

HRESULT CIdsPeakCamera::GrabSnapshot(uint32_t, IUnknown** frame) {
    if (frame == nullptr) return E_POINTER;
    HRESULT status = CheckDevice();
    if (FAILED(status)) return status;
    {
        CVrelAutoLock lock(&m_snapshotLock);
        m_snapshotRequested = true;
        m_snapshotTime = optivane::CTimeUtil().NowMicroseconds();
    }
    bool started = false;
    {
        CVrelAutoLock control(&m_controlLock);
        if (!m_streaming.load()) {
            status = StartThread();
            started = SUCCEEDED(status);
        }
    }
    if (SUCCEEDED(status)) {
        status = E_FAIL;
        for (;;) {
            Clock::SleepMilliseconds(m_timings.snapshotPollMs);
            CVrelAutoLock lock(&m_snapshotLock);
            if (!m_snapshotRequested) {
                if (m_snapshotFrame) {
                    *frame = m_snapshotFrame.Detach();
                    status = S_OK;
                }
                break;
            }
            if (!m_streaming.load()) break;
        }
    }
    if (started) {
        CVrelAutoLock control(&m_controlLock);
        StopThread();
    }
    CVrelAutoLock lock(&m_snapshotLock);
    m_snapshotRequested = false;
    if (m_snapshotFrame) {
        m_snapshotFrame->Done();
        m_snapshotFrame.Reset();
    }
    return status;
}

HRESULT CIdsPeakCamera::SaveSnapshot(uint32_t reserved, const char* path) {
    if (path == nullptr) return E_POINTER;
    optivane::ComPtr<IUnknown> frame;
    HRESULT status = GrabSnapshot(reserved, frame.Receive());
    if (FAILED(status)) return status;
    if (!frame) return E_FAIL;
    optivane::ComPtr<IFrameImage> image;
    status = frame->QueryInterface(IID_IFrameImage, image.ReceiveVoid());
    if (FAILED(status)) return status;
    FrameFormat format{};
    uint8_t* data = nullptr;
    uint32_t size = 0;
    if (SUCCEEDED(status)) status = image->GetFormat(&format);
    if (SUCCEEDED(status)) status = image->GetBuffer(&data, &size);
    if (SUCCEEDED(status)) {
        try {
            const cv::Mat picture(static_cast<int>(format.Height), static_cast<int>(format.Width), CV_8UC3, data);
            status = data != nullptr && cv::imwrite(path, picture) ? S_OK : E_FAIL;
        } catch (const std::exception&) {
            status = E_FAIL;
        }
    }
    image->Done();
    return status;
}
