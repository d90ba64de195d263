#include "aravis/AravisVendorRules.h"

#include <cstring>

#include "aravis/GObjectPtr.h"
#include "aravis/ValueScaling.h"

namespace optivane {

namespace {

constexpr int32_t kMasterGainChannel = 3;
constexpr int32_t kFurtherGainChannel = 4;
const char* const kBalanceChannels[] = {"Red", "Green", "Blue"};

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

// IDS devices select every channel through GainSelector.
class IdsRules final : public AravisVendorRules {
public:
    HRESULT GetChannel(ArvCamera* device, int32_t channel, uint32_t* value) const override {
        const int64_t selector = Selector(channel);
        if (FAILED(Select(device, selector))) return E_FAIL;
        // The master gain reads without the rounding offset of the others.
        return ReadGain(device, selector == kMasterGainSelector ? 0.0 : 0.005, value);
    }
    HRESULT SetChannel(ArvCamera* device, int32_t channel, uint32_t value) const override {
        if (FAILED(Select(device, Selector(channel)))) return E_FAIL;
        return WriteGain(device, value);
    }
    HRESULT GetChannelRange(ArvCamera* device, int32_t channel, uint32_t* min, uint32_t* max) const override {
        if (FAILED(Select(device, Selector(channel)))) return E_FAIL;
        return ReadGainBounds(device, min, max);
    }

private:
    static constexpr int64_t kMasterGainSelector = 10;

    static int64_t Selector(int32_t channel) {
        static constexpr int64_t kSelectors[] = {21, 22, 23, kMasterGainSelector, 20};
        return channel >= 0 && channel <= kFurtherGainChannel ? kSelectors[channel] : 0;
    }
    static HRESULT Select(ArvCamera* device, int64_t selector) {
        GErrorPtr error;
        arv_camera_set_integer(device, "GainSelector", selector, error.Out());
        return error ? E_FAIL : S_OK;
    }
};

// GEV and Dahua devices: colour channels are white-balance ratios chosen by
// BalanceRatioSelector, the master gain is the gain, no further gain.
class BalanceRatioRules : public AravisVendorRules {
public:
    HRESULT GetChannel(ArvCamera* device, int32_t channel, uint32_t* value) const override {
        if (channel == kFurtherGainChannel) return kChannelAbsent;
        if (channel == kMasterGainChannel) return ReadGain(device, 0.005, value);
        if (FAILED(SelectBalance(device, channel))) return E_FAIL;
        return ReadRatio(device, value);
    }
    HRESULT SetChannel(ArvCamera* device, int32_t channel, uint32_t value) const override {
        if (channel == kFurtherGainChannel) return kChannelAbsent;
        if (channel == kMasterGainChannel) return WriteGain(device, value);
        if (FAILED(SelectBalance(device, channel))) return E_FAIL;
        return WriteRatio(device, value);
    }
    HRESULT GetChannelRange(ArvCamera* device, int32_t channel, uint32_t* min, uint32_t* max) const override {
        if (channel == kMasterGainChannel) return ReadGainBounds(device, min, max);
        if (FAILED(SelectBalance(device, channel))) return E_FAIL;
        return ReadRatioBounds(device, min, max);
    }

protected:
    virtual HRESULT ReadRatio(ArvCamera* device, uint32_t* value) const = 0;
    virtual HRESULT WriteRatio(ArvCamera* device, uint32_t value) const = 0;
    virtual HRESULT ReadRatioBounds(ArvCamera* device, uint32_t* min, uint32_t* max) const = 0;

private:
    static HRESULT SelectBalance(ArvCamera* device, int32_t channel) {
        if (channel < 0 || channel > 2) return E_FAIL;
        GErrorPtr error;
        arv_camera_set_string(device, "BalanceRatioSelector", kBalanceChannels[channel], error.Out());
        return error ? E_FAIL : S_OK;
    }
};

// GEV ratios are plain integers, unscaled.
class GevRules final : public BalanceRatioRules {
    HRESULT ReadRatio(ArvCamera* device, uint32_t* value) const override {
        GErrorPtr error;
        const int64_t ratio = arv_camera_get_integer(device, "BalanceRatio", error.Out());
        if (error) return E_FAIL;
        *value = static_cast<uint32_t>(ratio);
        return S_OK;
    }
    HRESULT WriteRatio(ArvCamera* device, uint32_t value) const override {
        GErrorPtr error;
        arv_camera_set_integer(device, "BalanceRatio", value, error.Out());
        return error ? E_FAIL : S_OK;
    }
    HRESULT ReadRatioBounds(ArvCamera* device, uint32_t* min, uint32_t* max) const override {
        GErrorPtr error;
        int64_t lower = 0;
        int64_t upper = 0;
        arv_camera_get_integer_bounds(device, "BalanceRatio", &lower, &upper, error.Out());
        if (error) return E_FAIL;
        *min = static_cast<uint32_t>(lower);
        *max = static_cast<uint32_t>(upper);
        return S_OK;
    }
};

// Dahua ratios are floats, scaled by 100.
class DahuaRules final : public BalanceRatioRules {
    HRESULT ReadRatio(ArvCamera* device, uint32_t* value) const override {
        GErrorPtr error;
        const double ratio = arv_camera_get_float(device, "BalanceRatio", error.Out());
        if (error) return E_FAIL;
        *value = TruncatedLowBits((ratio + 0.005) * 100);
        return S_OK;
    }
    HRESULT WriteRatio(ArvCamera* device, uint32_t value) const override {
        // Dahua devices take the ratio as the single-precision quotient.
        const float ratio = static_cast<float>(value) / 100.0f;
        GErrorPtr error;
        arv_camera_set_float(device, "BalanceRatio", static_cast<double>(ratio), error.Out());
        return error ? E_FAIL : S_OK;
    }
    HRESULT ReadRatioBounds(ArvCamera* device, uint32_t* min, uint32_t* max) const override {
        GErrorPtr error;
        double lower = 0;
        double upper = 0;
        arv_camera_get_float_bounds(device, "BalanceRatio", &lower, &upper, error.Out());
        if (error) return E_FAIL;
        *min = TruncatedLowBits(lower * 100);
        *max = TruncatedLowBits(upper * 100);
        return S_OK;
    }
};

class NoRules final : public AravisVendorRules {
public:
    HRESULT GetChannel(ArvCamera*, int32_t, uint32_t*) const override { return E_FAIL; }
    HRESULT SetChannel(ArvCamera*, int32_t, uint32_t) const override { return E_FAIL; }
    HRESULT GetChannelRange(ArvCamera*, int32_t, uint32_t*, uint32_t*) const override { return E_FAIL; }
};

}  // namespace

const AravisVendorRules& AravisVendorRules::ForVendor(const char* vendorName) {
    static const IdsRules ids;
    static const GevRules gev;
    static const DahuaRules dahua;
    static const NoRules none;
    if (std::strstr(vendorName, "IDS") != nullptr) return ids;
    if (std::strstr(vendorName, "GEV") != nullptr) return gev;
    if (std::strstr(vendorName, "Dahua") != nullptr) return dahua;
    return none;
}

}  // namespace optivane
