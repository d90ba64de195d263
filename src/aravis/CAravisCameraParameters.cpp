// The numbered camera parameters of CAravisCamera: GetParameter,
// SetParameter, GetParameterRange and the helpers behind them.
//
// Every operation runs on the calling host thread. It takes its own reference
// to the device handle through EnsureDevice, so a reconnection on the
// streaming thread can replace the camera's handle without freeing the one in
// use here. The stream format is shared with the streaming thread and is
// written under the device lock.
#include <cstring>
#include <string>

#include "aravis/CAravisCamera.h"
#include "platform/Clock.h"
#include "runtime/CVrelAutoLock.h"

namespace optivane {

namespace {

// A success status: the channel does not exist on this vendor's devices.
constexpr HRESULT kChannelAbsent = 0x13C;

constexpr int64_t kDefaultUserSet = 0;
constexpr int64_t kLongExposureUserSet = 9920;
// Step 9 while the long-exposure user set is selected.
constexpr double kLongExposureStep9 = 1100000.0;
constexpr uint32_t kExposureStepCount = 20;
constexpr uint32_t kDefaultExposureStep = 14;  // what an index outside the table sets

// A user set that has not taken is written again once a second for 20 s.
constexpr int64_t kUserSetRetryTicks = 200000000;  // 100-ns ticks
constexpr uint32_t kUserSetRetryPauseMs = 1000;
// Lets a restarted stream deliver again before the caller goes on.
constexpr uint32_t kRestartSettleMs = 3000;

constexpr int64_t kMinimumNoFrameTimeout = 1000000;  // microseconds, before the factor 10

const double kExposureSteps[kExposureStepCount] = {
    30000000.0, 15000000.0, 10000000.0, 8000000.0, 6000000.0, 5000000.0, 4000000.0,
    3000000.0,  2000000.0,  1000000.0,  500000.0,  1000000.0 / 3, 250000.0, 200000.0,
    1000000.0 / 6, 100000.0, 1000000.0 / 15, 50000.0, 1000000.0 / 30, 1000000.0 / 60};

// An exposure above threshold i (and not above an earlier one) is step i;
// one at or below the last threshold is step 19.
const double kExposureStepThresholds[kExposureStepCount - 1] = {
    22500000.0, 11500000.0, 9000000.0, 6000000.0, 5500000.0, 4500000.0, 3500000.0,
    2500000.0,  1500000.0,  750000.0,  420000.0,  290000.0,  225000.0,  185000.0,
    140000.0,   80000.0,    60000.0,   42000.0,   25000.0};

const char* const kBalanceWhiteModes[] = {"Off", "Once", "Continuous"};
const char* const kBalanceChannels[] = {"Red", "Green", "Blue"};

// Truncates toward zero and keeps the low 32 bits; values no 64-bit integer
// holds (NaN included) give 0.
uint32_t TruncatedLowBits(double value) {
    if (!(value > -9.2e18 && value < 9.2e18)) return 0;
    return static_cast<uint32_t>(static_cast<int64_t>(value));
}

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

int64_t IdsGainSelector(int32_t channel) {
    switch (channel) {
    case 0:
        return 21;
    case 1:
        return 22;
    case 2:
        return 23;
    case 3:
        return 10;
    case 4:
        return 20;
    default:
        return 0;
    }
}

// The master gain selector reads without the rounding offset of the others.
constexpr int64_t kIdsMasterGainSelector = 10;

bool IsBalanceChannel(int32_t channel) { return channel >= 0 && channel <= 2; }
constexpr int32_t kMasterGainChannel = 3;
constexpr int32_t kFurtherGainChannel = 4;

HRESULT SelectBalanceChannel(ArvCamera* device, int32_t channel) {
    GErrorPtr error;
    arv_camera_set_string(device, "BalanceRatioSelector", kBalanceChannels[channel], error.Out());
    return error ? E_FAIL : S_OK;
}

HRESULT ReadGain(ArvCamera* device, double offset, uint32_t* value) {
    GErrorPtr error;
    const double gain = arv_camera_get_gain(device, error.Out());
    if (error) return E_FAIL;
    *value = TruncatedLowBits((gain + offset) * 100);
    return S_OK;
}

HRESULT WriteGain(ArvCamera* device, uint32_t value) {
    GErrorPtr error;
    arv_camera_set_gain(device, value / 100.0, error.Out());
    return error ? E_FAIL : S_OK;
}

HRESULT ReadGainBounds(ArvCamera* device, uint32_t* min, uint32_t* max) {
    GErrorPtr error;
    double lower = 0;
    double upper = 0;
    arv_camera_get_gain_bounds(device, &lower, &upper, error.Out());
    if (error) return E_FAIL;
    *min = TruncatedLowBits(lower * 100);
    *max = TruncatedLowBits(upper * 100);
    return S_OK;
}

// An unreadable selector counts as the default user set.
int64_t ReadUserSet(ArvCamera* device) {
    GErrorPtr error;
    const int64_t userSet = arv_camera_get_integer(device, "UserSetSelector", error.Out());
    return error ? kDefaultUserSet : userSet;
}

}  // namespace

double CAravisCamera::ExposureStepTime(uint32_t index) {
    return kExposureSteps[index < kExposureStepCount ? index : kDefaultExposureStep];
}

uint32_t CAravisCamera::ExposureStepIndex(double exposureMicroseconds) {
    for (uint32_t index = 0; index < kExposureStepCount - 1; ++index) {
        if (exposureMicroseconds > kExposureStepThresholds[index]) return index;
    }
    return kExposureStepCount - 1;
}

HRESULT CAravisCamera::GetParameter(int32_t id, uint32_t* value) {
    if (value == nullptr) return E_POINTER;
    *value = 0;
    GObjectPtr<ArvCamera> handle;
    const HRESULT status = EnsureDevice(&handle);
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
        const HRESULT channelStatus = GetGainChannel(device, id - CameraParameterRed, &channelValue);
        if (SUCCEEDED(channelStatus)) *value = channelValue;
        return channelStatus;
    }
    case CameraParameterExposureTime:
    case CameraParameterExposureStep: {
        const double exposure = arv_camera_get_exposure_time(device, error.Out());
        if (error) return E_FAIL;
        *value = id == CameraParameterExposureTime ? TruncatedLowBits(exposure + 0.5) : ExposureStepIndex(exposure);
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
        // The next acquisition run asks the device for the rate read here.
        CVrelAutoLock lock(&m_deviceLock);
        m_streamFormat.FrameRateNumerator = TruncatedLowBits(rate * 1000);
        m_streamFormat.FrameRateDenominator = 1000;
        return S_OK;
    }
    case CameraParameterRotation:
        *value = m_rotation.load();
        return S_OK;
    case CameraParameterFlip:
        *value = m_flip.load();
        return S_OK;
    default:  // the long-exposure user set is write-only
        return E_FAIL;
    }
}

HRESULT CAravisCamera::SetParameter(int32_t id, uint32_t value) {
    GObjectPtr<ArvCamera> handle;
    const HRESULT status = EnsureDevice(&handle);
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
        return SetGainChannel(device, id - CameraParameterRed, value);
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
        {
            // Kept even when the device refused it: the next acquisition run asks again.
            CVrelAutoLock lock(&m_deviceLock);
            m_streamFormat.FrameRateNumerator = TruncatedLowBits(rate * 1000);
            m_streamFormat.FrameRateDenominator = 1000;
        }
        return error ? E_FAIL : S_OK;
    }
    case CameraParameterLongExposure:
        return LoadUserSet(device, value == 1 ? kLongExposureUserSet : kDefaultUserSet);
    case CameraParameterRotation:
        m_rotation.store(value);
        return S_OK;
    case CameraParameterFlip:
        m_flip.store(value);
        return S_OK;
    default:
        return E_FAIL;
    }
}

HRESULT CAravisCamera::GetParameterRange(int32_t channel, uint32_t* min, uint32_t* max) {
    if (min == nullptr || max == nullptr) return E_POINTER;
    GObjectPtr<ArvCamera> handle;
    const HRESULT status = EnsureDevice(&handle);
    if (FAILED(status)) return status;
    ArvCamera* device = handle.Get();
    GErrorPtr error;

    switch (Vendor()) {
    case VendorClass::Ids:
        arv_camera_set_integer(device, "GainSelector", IdsGainSelector(channel), error.Out());
        if (error) return E_FAIL;
        return ReadGainBounds(device, min, max);
    case VendorClass::Gev: {
        if (channel == kMasterGainChannel) return ReadGainBounds(device, min, max);
        if (!IsBalanceChannel(channel) || FAILED(SelectBalanceChannel(device, channel))) return E_FAIL;
        int64_t lower = 0;
        int64_t upper = 0;
        arv_camera_get_integer_bounds(device, "BalanceRatio", &lower, &upper, error.Out());
        if (error) return E_FAIL;
        *min = static_cast<uint32_t>(lower);
        *max = static_cast<uint32_t>(upper);
        return S_OK;
    }
    case VendorClass::Dahua: {
        if (channel == kMasterGainChannel) return ReadGainBounds(device, min, max);
        if (!IsBalanceChannel(channel) || FAILED(SelectBalanceChannel(device, channel))) return E_FAIL;
        double lower = 0;
        double upper = 0;
        arv_camera_get_float_bounds(device, "BalanceRatio", &lower, &upper, error.Out());
        if (error) return E_FAIL;
        *min = TruncatedLowBits(lower * 100);
        *max = TruncatedLowBits(upper * 100);
        return S_OK;
    }
    case VendorClass::None:
        break;
    }
    return E_FAIL;
}

CAravisCamera::VendorClass CAravisCamera::Vendor() {
    std::string vendor;
    {
        CVrelAutoLock lock(&m_deviceLock);
        vendor.assign(m_deviceInfo.VendorName, strnlen(m_deviceInfo.VendorName, sizeof m_deviceInfo.VendorName));
    }
    if (vendor.find("IDS") != std::string::npos) return VendorClass::Ids;
    if (vendor.find("GEV") != std::string::npos) return VendorClass::Gev;
    if (vendor.find("Dahua") != std::string::npos) return VendorClass::Dahua;
    return VendorClass::None;
}

HRESULT CAravisCamera::GetGainChannel(ArvCamera* device, int32_t channel, uint32_t* value) {
    const VendorClass vendor = Vendor();
    if (vendor == VendorClass::Ids) {
        const int64_t selector = IdsGainSelector(channel);
        GErrorPtr error;
        arv_camera_set_integer(device, "GainSelector", selector, error.Out());
        if (error) return E_FAIL;
        return ReadGain(device, selector == kIdsMasterGainSelector ? 0.0 : 0.005, value);
    }
    if (vendor == VendorClass::None) return E_FAIL;

    if (channel == kFurtherGainChannel) return kChannelAbsent;
    if (channel == kMasterGainChannel) return ReadGain(device, 0.005, value);
    if (!IsBalanceChannel(channel) || FAILED(SelectBalanceChannel(device, channel))) return E_FAIL;
    GErrorPtr error;
    if (vendor == VendorClass::Gev) {
        const int64_t ratio = arv_camera_get_integer(device, "BalanceRatio", error.Out());
        if (error) return E_FAIL;
        *value = static_cast<uint32_t>(ratio);
        return S_OK;
    }
    const double ratio = arv_camera_get_float(device, "BalanceRatio", error.Out());
    if (error) return E_FAIL;
    *value = TruncatedLowBits((ratio + 0.005) * 100);
    return S_OK;
}

HRESULT CAravisCamera::SetGainChannel(ArvCamera* device, int32_t channel, uint32_t value) {
    const VendorClass vendor = Vendor();
    if (vendor == VendorClass::Ids) {
        GErrorPtr error;
        arv_camera_set_integer(device, "GainSelector", IdsGainSelector(channel), error.Out());
        if (error) return E_FAIL;
        return WriteGain(device, value);
    }
    if (vendor == VendorClass::None) return E_FAIL;

    if (channel == kFurtherGainChannel) return kChannelAbsent;
    if (channel == kMasterGainChannel) return WriteGain(device, value);
    if (!IsBalanceChannel(channel) || FAILED(SelectBalanceChannel(device, channel))) return E_FAIL;
    GErrorPtr error;
    if (vendor == VendorClass::Gev) {
        arv_camera_set_integer(device, "BalanceRatio", value, error.Out());
    } else {
        // Dahua devices take the ratio as the single-precision quotient.
        const float ratio = static_cast<float>(value) / 100.0f;
        arv_camera_set_float(device, "BalanceRatio", static_cast<double>(ratio), error.Out());
    }
    return error ? E_FAIL : S_OK;
}

HRESULT CAravisCamera::SetExposureTime(ArvCamera* device, double microseconds) {
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
    m_noFrameTimeout.store(10 * (exposure > kMinimumNoFrameTimeout ? exposure : kMinimumNoFrameTimeout));
    return S_OK;
}

HRESULT CAravisCamera::SetExposureStep(ArvCamera* device, uint32_t index) {
    const int64_t userSet = ReadUserSet(device);
    double lower = 0;
    double upper = 0;
    const HRESULT rangeStatus = GetExposureTimeRange(&lower, &upper);
    if (FAILED(rangeStatus)) return rangeStatus;

    double exposure = ExposureStepTime(index);
    if (index < kExposureStepCount) {
        // Steps beyond the device's range switch to the long-exposure user set
        // and short ones back to the default set.
        HRESULT loadStatus = S_OK;
        if (exposure > upper && userSet == kDefaultUserSet && ImplementsLongExposure(device)) {
            loadStatus = LoadUserSet(device, kLongExposureUserSet);
        } else if (lower >= exposure && userSet == kLongExposureUserSet) {
            loadStatus = LoadUserSet(device, kDefaultUserSet);
        }
        if (FAILED(loadStatus)) return loadStatus;
    }
    if (index == 9 && ReadUserSet(device) == kLongExposureUserSet) exposure = kLongExposureStep9;
    return SetExposureTime(device, exposure);
}

HRESULT CAravisCamera::LoadUserSet(ArvCamera* device, int32_t userSet) {
    int64_t current = kDefaultUserSet;
    {
        GErrorPtr error;
        const int64_t selected = arv_camera_get_integer(device, "UserSetSelector", error.Out());
        if (error) {
            m_log.TraceW(L"[AravisCamera] error = %d", error.Code());
        } else {
            current = selected;
        }
    }
    if (current == kDefaultUserSet && !ImplementsLongExposure(device)) return S_OK;
    if (current == userSet) return S_OK;

    // The device switches user sets only while it does not acquire.
    const bool wasStreaming = m_streaming.load();
    if (wasStreaming) StopStreaming();

    const int64_t start = platform::Clock::MonotonicTicks();
    while (platform::Clock::MonotonicTicks() - start < kUserSetRetryTicks) {
        GErrorPtr ignored;
        arv_camera_set_integer(device, "UserSetSelector", userSet, ignored.Out());
        arv_camera_set_integer(device, "UserSetLoad_Value_ctrl", 1, ignored.Out());
        const int64_t selected = arv_camera_get_integer(device, "UserSetSelector", ignored.Out());
        if (!ignored && selected == userSet) break;
        platform::Clock::SleepMilliseconds(kUserSetRetryPauseMs);
    }

    if (wasStreaming) {
        StartStreaming(m_sink, m_sinkContext);
        platform::Clock::SleepMilliseconds(kRestartSettleMs);
    }
    return S_OK;
}

bool CAravisCamera::ImplementsLongExposure(ArvCamera* device) {
    GErrorPtr error;
    const int64_t implemented =
        arv_camera_get_integer(device, "UserSetSelector_LongExposure_IsImplemented_ctrl", error.Out());
    return !error && implemented != 0;
}

}  // namespace optivane
