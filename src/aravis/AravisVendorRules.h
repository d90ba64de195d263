// How one vendor's cameras expose their colour channels and gains. The
// channels are 0 red, 1 green, 2 blue, 3 the master gain and 4 a further
// gain; values are scaled by 100 unless a vendor's ratios are plain integers.
//
// One rules object per vendor class, chosen once from the vendor name when
// the camera opens; the objects are constant and shared by every camera.
#pragma once

#include <arv.h>

#include <cstdint>

#include "optivane/com.h"

namespace optivane {

class AravisVendorRules {
public:
    // A success status: the channel does not exist on this vendor's devices.
    static constexpr HRESULT kChannelAbsent = 0x13C;

    // "IDS", "GEV" or "Dahua" anywhere in the vendor name, in that order of
    // precedence; rules that refuse every channel for other vendors.
    static const AravisVendorRules& ForVendor(const char* vendorName);

    virtual HRESULT GetChannel(ArvCamera* device, int32_t channel, uint32_t* value) const = 0;
    virtual HRESULT SetChannel(ArvCamera* device, int32_t channel, uint32_t value) const = 0;
    virtual HRESULT GetChannelRange(ArvCamera* device, int32_t channel, uint32_t* min, uint32_t* max) const = 0;

protected:
    AravisVendorRules() = default;
    ~AravisVendorRules() = default;
};

}  // namespace optivane
