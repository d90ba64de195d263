#include "aravis/AravisStreamer.h"

#include <algorithm>
#include <new>

#include "aravis/AravisUserSets.h"
#include "platform/Clock.h"
#include "runtime/CDebugLog.h"
#include "runtime/CTimeUtil.h"
#include "runtime/CVrelAutoLock.h"

namespace optivane {

namespace {

constexpr const char* kClassName = "AravisStreamer";

// Stream buffers per acquisition run, and the deliverer's pool sizes.
constexpr int kStreamBuffers = 5;
constexpr int32_t kRawSamples = 5;
constexpr int32_t kImages = 8;

// Frame time of a streamed frame: the moment it left the stream, less the
// exposure and a fixed transfer allowance.
constexpr int64_t kTransferAllowanceMicroseconds = 200000;
// Upper bound of a frame period when the stored rate is absurdly small.
constexpr double kLongestFramePeriodMicroseconds = 1.0e12;

int64_t Now() { return CTimeUtil().NowMicroseconds(); }

}  // namespace

AravisStreamer::AravisStreamer(AravisDevice& device, AravisStreamSettings& settings, const AravisTimings& timings)
    : m_device(device), m_settings(settings), m_timings(timings) {}

AravisStreamer::~AravisStreamer() { Stop(); }

HRESULT AravisStreamer::Start(IAravisCameraCallback* sink, void* context) {
    CVrelAutoLock lock(&m_controlLock);
    if (HasThread()) return E_FAIL;
    // Written before the thread exists; the thread only reads them.
    m_sink = sink;
    m_sinkContext = context;
    if (!CSimpleThread::Start()) {
        CDebugLog().Trace(kClassName, "cannot create the streaming thread\n");
        return E_FAIL;
    }
    return S_OK;
}

HRESULT AravisStreamer::Restart() {
    CVrelAutoLock lock(&m_controlLock);
    return Start(m_sink, m_sinkContext);
}

void AravisStreamer::Stop() {
    CVrelAutoLock lock(&m_controlLock);
    CSimpleThread::Stop();
}

bool AravisStreamer::IsStreaming() {
    CVrelAutoLock lock(&m_controlLock);
    return HasThread();
}

void AravisStreamer::ReleaseDeliverer() {
    CVrelAutoLock lock(&m_controlLock);
    if (!HasThread()) m_deliverer.reset();
}

// Streaming thread.
void AravisStreamer::Run() {
    while (!StopRequested()) {
        if (!m_device.Current()) {
            platform::Clock::SleepMilliseconds(m_timings.noDevicePauseMs);
        } else {
            HRESULT result = RunAcquisition();
            if (result == E_ABORT) {
                // Frames stopped coming: reconnect, then run again at once.
                if (StopRequested()) break;
                platform::Clock::SleepMilliseconds(m_timings.retryPauseMs);
                result = m_device.Reconnect() ? S_OK : E_FAIL;
            }
            if (result != E_FAIL) continue;
            if (StopRequested()) break;
            platform::Clock::SleepMilliseconds(m_timings.retryPauseMs);
        }
        m_device.Reconnect();
    }
}

HRESULT AravisStreamer::RunAcquisition() {
    const GObjectPtr<ArvCamera> device = m_device.Current();
    if (!device) return E_FAIL;
    const HRESULT status = PumpFrames(device.Get());
    EndAcquisition(device.Get());
    return status;
}

HRESULT AravisStreamer::PumpFrames(ArvCamera* device) {
    const double frameRate = m_settings.frameRateMillihertz.load() / 1000.0;

    GErrorPtr error;
    // Only GigE Vision devices have a packet delay.
    if (arv_camera_is_gv_device(device)) {
        arv_camera_gv_set_packet_delay(device, 0, error.Out());
        if (error) {
            CDebugLog().Trace(kClassName, "cannot set the packet delay: %s\n", error.Message());
            return E_FAIL;
        }
    }

    uint32_t pixelFormat = 0;
    if (FAILED(aravis::ReadConvertiblePixelFormat(device, &pixelFormat))) {
        CDebugLog().Trace(kClassName, "the pixel format cannot be read or is not converted\n");
        return E_FAIL;
    }
    const double exposure = arv_camera_get_exposure_time(device, error.Out());
    if (error || !(exposure >= 0.0)) return E_FAIL;

    // Ten times the longer of frame period and exposure. A rate of zero
    // leaves the exposure alone to decide.
    const double period = frameRate > 0.0 ? std::min(1000000.0 / frameRate, kLongestFramePeriodMicroseconds) : 0.0;
    const int64_t exposureMicroseconds = static_cast<int64_t>(std::min(exposure, kLongestFramePeriodMicroseconds));
    m_settings.noFrameTimeoutMicroseconds.store(10 * std::max(static_cast<int64_t>(period), exposureMicroseconds));

    if (frameRate > 0.0) {
        GErrorPtr ignored;
        arv_camera_set_float(device, "AcquisitionFrameRate", frameRate, ignored.Out());
    }

    gint x = 0, y = 0, width = 0, height = 0;
    arv_camera_get_region(device, &x, &y, &width, &height, error.Out());
    if (error) return E_FAIL;
    const uint32_t rateNumerator = m_settings.frameRateMillihertz.load();
    const FrameFormat format{0, static_cast<uint32_t>(width), static_cast<uint32_t>(height),
                             static_cast<uint32_t>(width), static_cast<uint32_t>(height), rateNumerator, 1000};

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
        CDebugLog().Trace(kClassName, "cannot create a stream: %s\n", error.Message());
        return E_FAIL;
    }
    for (int i = 0; i < kStreamBuffers; ++i) arv_stream_push_buffer(stream.Get(), arv_buffer_new(payload, nullptr));
    {
        CVrelAutoLock lock(&m_streamLock);
        m_stream = stream;
    }
    {
        GErrorPtr ignored;
        arv_camera_start_acquisition(device, ignored.Out());
    }
    int64_t lastFrameTime = Now();

    // The region and pixel format hold for the whole run (changing them
    // takes a new one), so the deliverer holds buffers for these frames only.
    FrameSizing sizing;
    sizing.format = format;
    sizing.rawBytes = payload;
    sizing.transformed = m_settings.rotation.load() != 0 || m_settings.flip.load() != 0;
    HRESULT status = StartDeliverer(sizing);
    if (FAILED(status)) return status;

    const int64_t timeOffset = exposureMicroseconds + kTransferAllowanceMicroseconds;
    while (!StopRequested()) {
        ArvBuffer* buffer = arv_stream_try_pop_buffer(stream.Get());
        if (buffer == nullptr) {
            if (Now() - lastFrameTime > m_settings.noFrameTimeoutMicroseconds.load()) return E_ABORT;
            platform::Clock::SleepMilliseconds(m_timings.emptyStreamPollMs);
            continue;
        }
        lastFrameTime = Now();
        if (arv_buffer_get_status(buffer) == ARV_BUFFER_STATUS_SUCCESS) {
            size_t size = 0;
            const void* data = arv_buffer_get_data(buffer, &size);
            m_deliverer->SetTransform(m_settings.rotation.load(), m_settings.flip.load());
            status = m_deliverer->PushFrame(&format, pixelFormat, data, static_cast<uint32_t>(size),
                                            lastFrameTime - timeOffset);
        } else {
            platform::Clock::SleepMilliseconds(m_timings.emptyStreamPollMs);
        }
        arv_stream_push_buffer(stream.Get(), buffer);
    }
    return status;
}

HRESULT AravisStreamer::StartDeliverer(const FrameSizing& sizing) {
    if (!m_deliverer) {
        m_deliverer.reset(new (std::nothrow) CVideoCallbacker());
        if (!m_deliverer) return E_FAIL;
    }
    HRESULT status = m_deliverer->CreateTasks();
    if (SUCCEEDED(status)) status = m_deliverer->CreatePools(kRawSamples, kImages, sizing);
    if (SUCCEEDED(status)) status = m_deliverer->SetSink(m_sink, m_sinkContext);
    if (SUCCEEDED(status)) status = m_deliverer->Start();
    if (FAILED(status)) {
        CDebugLog().Trace(kClassName, "the deliverer did not start: 0x%08X\n", static_cast<unsigned>(status));
        // E_FAIL whatever the cause: the thread then pauses before retrying.
        return E_FAIL;
    }
    return S_OK;
}

void AravisStreamer::EndAcquisition(ArvCamera* device) {
    {
        GErrorPtr ignored;
        arv_camera_stop_acquisition(device, ignored.Out());
    }
    if (m_deliverer) {
        m_deliverer->Stop();
        m_deliverer->ReleaseResources();
    }
    CVrelAutoLock lock(&m_streamLock);
    if (m_stream) {
        while (ArvBuffer* buffer = arv_stream_try_pop_buffer(m_stream.Get())) g_object_unref(buffer);
        m_stream.Reset();
    }
}

}  // namespace optivane
