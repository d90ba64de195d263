// The camera settings by name: which CameraParameterId each name stands for,
// how a value typed by a person is encoded for the module (most settings
// travel as integers scaled by 100) and how a value read back is shown.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "PixelFormatNames.h"
#include "optivane/optivane.h"

namespace optivane::tool {

enum class ParameterKind {
    Integer,          // raw signed integer
    AutoMode,         // off, once, continuous
    Hundredths,       // decimal, sent x 100
    Microseconds,     // exposure time
    ExposureStep,     // index into the 20 fixed exposure times
    PixelFormat,      // GenICam code, by name or number
    FrameRate,        // frames per second, sent x 100
    LongExposure,     // on or off, written only
    Rotation,         // 0, 90, 180, 270 degrees
    Flip,             // none, vertical, horizontal, both
    ColorCorrection,  // off, auto
};

struct ParameterInfo {
    const char* name;
    CameraParameterId id;
    ParameterKind kind;
    bool readable;
    const char* values;  // what may be written, for help texts
};

class ParameterTable {
public:
    // Every setting in the order of the module's numbering.
    static const std::vector<ParameterInfo>& All();
    // Null for an unknown name.
    static const ParameterInfo* Find(const std::string& name);
    // "brightness, gain-auto, ..."
    static std::string Names();
    // One line per setting with its accepted values, for --help.
    static std::string Help();

    // Encodes a value typed by a person. False, with the reason in words, when
    // the text does not fit the setting.
    static bool Parse(const ParameterInfo& parameter, const std::string& text, const PixelFormatNames& formats,
                      uint32_t* value, std::string* error);
    // Shows a value read from the module in human units ("29.97 fps",
    // "1.24", "15000 µs", "Mono8").
    static std::string Format(const ParameterInfo& parameter, uint32_t value, const PixelFormatNames& formats);
};

}  // namespace optivane::tool
