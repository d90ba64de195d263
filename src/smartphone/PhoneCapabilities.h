// What a phone says about itself: the 19 elements of its capability
// document, all mandatory, as text. Only the model, maker, serial number and
// the two ranges are used; the rest must be there and is not interpreted.
#pragma once

#include <cstddef>
#include <string>

#include "optivane/com.h"

namespace optivane::phone {

class PhoneCapabilities {
public:
    enum Field {
        Model, Manufacture, Product, Serial, OsVersion, SdkVersion, HwLevel, Capabilities,
        ManualSensorSupport, ManualExposureSupport, RawSupport, AutoFocus, MinimumFocusDistance,
        AutoExposure, SensitivityRange, ExposureTimeRange, AutoWhiteBalance, MaxDigitalZoom,
        MaxFrameDuration, kFieldCount
    };
    // The element names, in the order they are looked up.
    static const char* const kNames[kFieldCount];

    // Parses a NUL-terminated document of size bytes, in place (the text is
    // changed). The first element is the root, whatever its name; each field
    // is the text of the root's first direct child of that name, with spaces
    // (only 0x20) removed at both ends. E_FAIL with a reason in error, the
    // fields unchanged, when the document does not parse or a name is
    // missing (the first missing one in list order is named).
    HRESULT Parse(char* document, size_t size, std::string& error);

    const std::string& Get(Field field) const { return m_values[field]; }

private:
    std::string m_values[kFieldCount];
};

}  // namespace optivane::phone
