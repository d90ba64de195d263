#include "aravis/AravisParameters.h"

#include <cstring>

#include "aravis/AravisUserSets.h"
#include "aravis/GObjectPtr.h"
#include "aravis/ValueScaling.h"
#include "frame/ExposureSteps.h"
#include "platform/Clock.h"
#include "runtime/CDebugLog.h"

namespace optivane {

namespace {

// Step 9 while the long-exposure user set is selected.
constexpr uint32_t kLongExposureStep = 9;
constexpr double kLongExposureStep9Microseconds = 1100000.0;
constexpr int64_t kMinimumNoFrameTimeout = 1000000;  // microseconds, before the factor 10

const char* const kBalanceWhiteModes[] = {"Off", "Once", "Continuous"};

ArvAuto AutoMode(uint32_t value) {
    switch (value) {
    case 1:
        return ARV_AUTO_ONCE;
    case 2:
        return ARV_AUTO_CONTINUOUS;
    default:
        return ARV_AUTO_OFF;
    }
}

int32_t Channel(int32_t id) { return id - CameraParameterRed; }

}  // namespace

AravisParameters::AravisParameters(AravisDevice& device, AravisStreamSettings& settings, AravisStreamer& streamer,
                                   const AravisTimings& timings)
    : m_device(device),
      m_settings(settings),
      m_streamer(streamer),
      m_timings(timings),
      m_rules(&AravisVendorRules::ForVendor("")) {}

void AravisParameters::KeepFrameRate(double rate) { m_settings.frameRateMillihertz.store(TruncatedLowBits(rate * 1000)); }

HRESULT AravisParameters::Get(int32_t id, uint32_t* value) {
    if (value == nullptr) return E_POINTER;
    *value = 0;
    GObjectPtr<ArvCamera> handle;
    const HRESULT status = m_device.Handle(&handle);
    if (FAILED(status)) return status;
    ArvCamera* device = handle.Get();
    GErrorPtr error;

    switch (id) {
    case CameraParameterBrightness: {
        const int64_t brightness = arv_camera_get_integer(device, "Brightness", error.Out());
        if (error) return E_FAIL;
        *value = static_cast<uint32_t>(brightness);
        return S_OK;
    }
    case CameraParameterGainAuto:
    case CameraParameterExposureAuto: {
        const ArvAuto mode = id == CameraParameterGainAuto ? arv_camera_get_gain_auto(device, error.Out())
                                                           : arv_camera_get_exposure_time_auto(device, error.Out());
        if (error) return E_FAIL;
        *value = static_cast<uint32_t>(mode);
        return S_OK;
    }
    case CameraParameterRed:
    case CameraParameterGreen:
    case CameraParameterBlue:
    case CameraParameterGain:
    case CameraParameterGain2: {
        uint32_t channelValue = 0;
        const HRESULT channelStatus = m_rules.load()->GetChannel(device, Channel(id), &channelValue);
        if (SUCCEEDED(channelStatus)) *value = channelValue;
        return channelStatus;
    }
    case CameraParameterExposureTime:
    case CameraParameterExposureStep: {
        const double exposure = arv_camera_get_exposure_time(device, error.Out());
        if (error) return E_FAIL;
        *value = id == CameraParameterExposureTime ? TruncatedLowBits(exposure + 0.5) : exposure::StepIndex(exposure);
        return S_OK;
    }
    case CameraParameterWhiteBalanceAuto: {
        const char* mode = arv_camera_get_string(device, "BalanceWhiteAuto", error.Out());
        if (error || mode == nullptr) return E_FAIL;
        // Texts other than the three modes (such as "Auto") read as off.
        for (uint32_t index = 0; index < 3; ++index) {
            if (std::strcmp(mode, kBalanceWhiteModes[index]) == 0) *value = index;
        }
        return S_OK;
    }
    case CameraParameterPixelFormat: {
        const ArvPixelFormat format = arv_camera_get_pixel_format(device, error.Out());
        if (error) return E_FAIL;
        *value = static_cast<uint32_t>(format);
        return S_OK;
    }
    case CameraParameterFrameRate: {
        const double rate = arv_camera_get_float(device, "AcquisitionFrameRate", error.Out());
        if (error) return E_FAIL;
        *value = TruncatedLowBits(rate * 100 + 0.5);
        KeepFrameRate(rate);
        return S_OK;
    }
    case CameraParameterRotation:
        *value = m_settings.rotation.load();
        return S_OK;
    case CameraParameterFlip:
        *value = m_settings.flip.load();
        return S_OK;
    default:  // the long-exposure user set is write-only
        return E_FAIL;
    }
}

HRESULT AravisParameters::Set(int32_t id, uint32_t value) {
    GObjectPtr<ArvCamera> handle;
    const HRESULT status = m_device.Handle(&handle);
    if (FAILED(status)) return status;
    ArvCamera* device = handle.Get();
    GErrorPtr error;

    switch (id) {
    case CameraParameterBrightness:
        arv_camera_set_integer(device, "Brightness", static_cast<int32_t>(value), error.Out());
        return error ? E_FAIL : S_OK;
    case CameraParameterGainAuto:
        arv_camera_set_gain_auto(device, AutoMode(value), error.Out());
        return error ? E_FAIL : S_OK;
    case CameraParameterExposureAuto:
        arv_camera_set_exposure_time_auto(device, AutoMode(value), error.Out());
        return error ? E_FAIL : S_OK;
    case CameraParameterRed:
    case CameraParameterGreen:
    case CameraParameterBlue:
    case CameraParameterGain:
    case CameraParameterGain2:
        return m_rules.load()->SetChannel(device, Channel(id), value);
    case CameraParameterExposureTime:
        return SetExposureTime(device, static_cast<int32_t>(value));
    case CameraParameterWhiteBalanceAuto:
        // No mode text exists for other values: refused before the device sees them.
        if (value > 2) return E_INVALIDARG;
        arv_camera_set_string(device, "BalanceWhiteAuto", kBalanceWhiteModes[value], error.Out());
        return error ? E_FAIL : S_OK;
    case CameraParameterExposureStep:
        return SetExposureStep(device, value);
    case CameraParameterPixelFormat:
        arv_camera_set_pixel_format(device, value, error.Out());
        return error ? E_FAIL : S_OK;
    case CameraParameterFrameRate: {
        const double rate = static_cast<int32_t>(value) / 100.0;
        arv_camera_set_float(device, "AcquisitionFrameRate", rate, error.Out());
        // Kept even when the device refused it: the next acquisition run asks again.
        KeepFrameRate(rate);
        return error ? E_FAIL : S_OK;
    }
    case CameraParameterLongExposure:
        return LoadUserSet(device, value == 1 ? aravis::kLongExposureUserSet : aravis::kDefaultUserSet);
    case CameraParameterRotation:
        m_settings.rotation.store(value);
        return S_OK;
    case CameraParameterFlip:
        m_settings.flip.store(value);
        return S_OK;
    default:
        return E_FAIL;
    }
}

HRESULT AravisParameters::GetRange(int32_t channel, uint32_t* min, uint32_t* max) {
    if (min == nullptr || max == nullptr) return E_POINTER;
    GObjectPtr<ArvCamera> handle;
    const HRESULT status = m_device.Handle(&handle);
    if (FAILED(status)) return status;
    return m_rules.load()->GetChannelRange(handle.Get(), channel, min, max);
}

HRESULT AravisParameters::GetExposureTimeRange(double* min, double* max) {
    if (min == nullptr || max == nullptr) return E_POINTER;
    GObjectPtr<ArvCamera> device;
    if (FAILED(m_device.Handle(&device))) return E_FAIL;
    double lower = 0.0, upper = 0.0;
    GErrorPtr error;
    arv_camera_get_exposure_time_bounds(device.Get(), &lower, &upper, error.Out());
    if (error) return E_FAIL;
    *min = lower;
    *max = upper;
    return S_OK;
}

HRESULT AravisParameters::SetExposureTime(ArvCamera* device, double microseconds) {
    GErrorPtr error;
    double lower = 0;
    double upper = 0;
    arv_camera_get_exposure_time_bounds(device, &lower, &upper, error.Out());
    if (error) return E_FAIL;
    // Only values strictly inside the device's range are taken.
    if (!(lower < microseconds && microseconds < upper)) return E_FAIL;
    arv_camera_set_exposure_time(device, microseconds, error.Out());
    if (error) return E_FAIL;
    const int64_t exposure = static_cast<int64_t>(microseconds);
    m_settings.noFrameTimeoutMicroseconds.store(10 * (exposure > kMinimumNoFrameTimeout ? exposure : kMinimumNoFrameTimeout));
    return S_OK;
}

HRESULT AravisParameters::SetExposureStep(ArvCamera* device, uint32_t index) {
    const int64_t userSet = aravis::ReadUserSet(device);
    double lower = 0;
    double upper = 0;
    const HRESULT rangeStatus = GetExposureTimeRange(&lower, &upper);
    if (FAILED(rangeStatus)) return rangeStatus;

    double exposure = exposure::StepTime(index);
    if (index < exposure::kStepCount) {
        // Steps beyond the device's range switch to the long-exposure user set
        // and short ones back to the default set.
        HRESULT loadStatus = S_OK;
        if (exposure > upper && userSet == aravis::kDefaultUserSet && aravis::ImplementsLongExposure(device)) {
            loadStatus = LoadUserSet(device, aravis::kLongExposureUserSet);
        } else if (lower >= exposure && userSet == aravis::kLongExposureUserSet) {
            loadStatus = LoadUserSet(device, aravis::kDefaultUserSet);
        }
        if (FAILED(loadStatus)) return loadStatus;
    }
    if (index == kLongExposureStep && aravis::ReadUserSet(device) == aravis::kLongExposureUserSet) {
        exposure = kLongExposureStep9Microseconds;
    }
    return SetExposureTime(device, exposure);
}

HRESULT AravisParameters::LoadUserSet(ArvCamera* device, int64_t userSet) {
    int64_t current = aravis::kDefaultUserSet;
    {
        GErrorPtr error;
        const int64_t selected = arv_camera_get_integer(device, "UserSetSelector", error.Out());
        if (error) {
            CDebugLog().TraceW(L"[AravisCamera] error = %d", error.Code());
        } else {
            current = selected;
        }
    }
    if (current == aravis::kDefaultUserSet && !aravis::ImplementsLongExposure(device)) return S_OK;
    if (current == userSet) return S_OK;

    // The device switches user sets only while it does not acquire.
    const bool wasStreaming = m_streamer.IsStreaming();
    if (wasStreaming) m_streamer.Stop();

    const int64_t start = platform::Clock::MonotonicTicks();
    while (platform::Clock::MonotonicTicks() - start < m_timings.userSetRetryWindowTicks) {
        GErrorPtr ignored;
        arv_camera_set_integer(device, "UserSetSelector", userSet, ignored.Out());
        arv_camera_set_integer(device, "UserSetLoad_Value_ctrl", 1, ignored.Out());
        const int64_t selected = arv_camera_get_integer(device, "UserSetSelector", ignored.Out());
        if (!ignored && selected == userSet) break;
        platform::Clock::SleepMilliseconds(m_timings.userSetRetryPauseMs);
    }

    if (wasStreaming) {
        m_streamer.Restart();
        platform::Clock::SleepMilliseconds(m_timings.restartSettleMs);
    }
    return S_OK;
}

}  // namespace optivane
