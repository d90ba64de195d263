#include "ParameterTable.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "frame/ExposureSteps.h"

namespace optivane::tool {

namespace {

// The module takes exposure and frame rate as signed values: stay below 2^31.
constexpr double kLargestSigned = 2147483647.0;

std::string Lower(const std::string& text) {
    std::string lower;
    for (char c : text) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

std::string Trim(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    return text.substr(begin, end - begin);
}

// A decimal number followed by an optional unit word; both parts trimmed.
bool SplitNumber(const std::string& text, double* number, std::string* unit) {
    const std::string trimmed = Trim(text);
    if (trimmed.empty()) return false;
    const char first = trimmed[0];
    if (!std::isdigit(static_cast<unsigned char>(first)) && first != '.' && first != '-' && first != '+') return false;
    errno = 0;
    char* end = nullptr;
    const double parsed = std::strtod(trimmed.c_str(), &end);
    if (errno != 0 || end == trimmed.c_str() || !std::isfinite(parsed)) return false;
    // strtod also reads hexadecimal and exponents; a person means plain decimals.
    for (const char* c = trimmed.c_str(); c != end; ++c) {
        if (!std::isdigit(static_cast<unsigned char>(*c)) && *c != '.' && *c != '-' && *c != '+') return false;
    }
    *number = parsed;
    *unit = Lower(Trim(std::string(end)));
    return true;
}

bool ParseInteger(const std::string& text, long long* number) {
    const std::string trimmed = Trim(text);
    if (trimmed.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long long parsed = std::strtoll(trimmed.c_str(), &end, 10);
    if (errno != 0 || end == trimmed.c_str() || *end != '\0') return false;
    *number = parsed;
    return true;
}

// A word from a list (any case) or its index as a number.
bool ParseChoice(const std::string& text, const std::vector<std::string>& words, uint32_t* value) {
    const std::string lower = Lower(Trim(text));
    for (size_t i = 0; i < words.size(); ++i) {
        if (lower == words[i]) {
            *value = static_cast<uint32_t>(i);
            return true;
        }
    }
    long long number = 0;
    if (!ParseInteger(lower, &number) || number < 0 || number >= static_cast<long long>(words.size())) return false;
    *value = static_cast<uint32_t>(number);
    return true;
}

std::string Fixed(double number, int decimals) {
    char text[64];
    std::snprintf(text, sizeof(text), "%.*f", decimals, number);
    return text;
}

std::string Choice(const std::vector<std::string>& words, uint32_t value) {
    if (value < words.size()) return words[value];
    return "unknown (" + std::to_string(value) + ")";
}

const std::vector<std::string> kAutoModes = {"off", "once", "continuous"};
const std::vector<std::string> kOnOff = {"off", "on"};
const std::vector<std::string> kFlips = {"none", "vertical", "horizontal", "both"};
const std::vector<std::string> kCorrections = {"off", "auto"};

}  // namespace

const std::vector<ParameterInfo>& ParameterTable::All() {
    static const std::vector<ParameterInfo> table = {
        {"brightness", CameraParameterBrightness, ParameterKind::Integer, true, "integer"},
        {"gain-auto", CameraParameterGainAuto, ParameterKind::AutoMode, true, "off | once | continuous"},
        {"red", CameraParameterRed, ParameterKind::Hundredths, true, "decimal, e.g. 1.24"},
        {"green", CameraParameterGreen, ParameterKind::Hundredths, true, "decimal, e.g. 1.00"},
        {"blue", CameraParameterBlue, ParameterKind::Hundredths, true, "decimal, e.g. 1.83"},
        {"gain", CameraParameterGain, ParameterKind::Hundredths, true, "decimal, e.g. 2.50"},
        {"gain2", CameraParameterGain2, ParameterKind::Hundredths, true, "decimal, further gain channel"},
        // A phone's sensitivity travels in the same setting.
        {"iso", CameraParameterGain2, ParameterKind::Hundredths, true, "ISO of a phone, e.g. 400"},
        {"exposure-auto", CameraParameterExposureAuto, ParameterKind::AutoMode, true, "off | once | continuous"},
        {"exposure", CameraParameterExposureTime, ParameterKind::Microseconds, true,
         "microseconds, or with a unit: 15000, 15ms, 0.5s"},
        {"white-balance-auto", CameraParameterWhiteBalanceAuto, ParameterKind::AutoMode, true,
         "off | once | continuous"},
        {"exposure-step", CameraParameterExposureStep, ParameterKind::ExposureStep, true,
         "0 (30 s) to 19 (1/60 s)"},
        {"pixel-format", CameraParameterPixelFormat, ParameterKind::PixelFormat, true,
         "a name such as Mono8 or BayerRG8, or a GenICam code"},
        {"frame-rate", CameraParameterFrameRate, ParameterKind::FrameRate, true, "frames per second, e.g. 29.97"},
        {"long-exposure", CameraParameterLongExposure, ParameterKind::LongExposure, false,
         "on | off (written only)"},
        {"rotation", CameraParameterRotation, ParameterKind::Rotation, true, "0 | 90 | 180 | 270 (degrees)"},
        {"flip", CameraParameterFlip, ParameterKind::Flip, true, "none | vertical | horizontal | both"},
        {"color-correction", CameraParameterColorCorrection, ParameterKind::ColorCorrection, true, "off | auto"},
    };
    return table;
}

const ParameterInfo* ParameterTable::Find(const std::string& name) {
    const std::string lower = Lower(name);
    for (const ParameterInfo& parameter : All()) {
        if (lower == parameter.name) return &parameter;
    }
    return nullptr;
}

std::string ParameterTable::Names() {
    std::string names;
    for (const ParameterInfo& parameter : All()) {
        if (!names.empty()) names += ", ";
        names += parameter.name;
    }
    return names;
}

std::string ParameterTable::Help() {
    std::string help = "Settings:\n";
    for (const ParameterInfo& parameter : All()) {
        std::string line = std::string("  ") + parameter.name;
        line.resize(22, ' ');
        help += line + parameter.values + "\n";
    }
    return help;
}

bool ParameterTable::Parse(const ParameterInfo& parameter, const std::string& text, const PixelFormatNames& formats,
                           uint32_t* value, std::string* error) {
    const std::string bad = "bad value '" + text + "' for " + parameter.name + ": expected " + parameter.values;
    double number = 0;
    std::string unit;
    switch (parameter.kind) {
        case ParameterKind::Integer: {
            long long integer = 0;
            if (!ParseInteger(text, &integer) || integer < -2147483648LL || integer > 2147483647LL) break;
            *value = static_cast<uint32_t>(static_cast<int32_t>(integer));
            return true;
        }
        case ParameterKind::AutoMode:
            if (ParseChoice(text, kAutoModes, value)) return true;
            break;
        case ParameterKind::Hundredths:
            if (!SplitNumber(text, &number, &unit) || !unit.empty() || number < 0 || number * 100 > 4294967295.0) {
                break;
            }
            *value = static_cast<uint32_t>(std::lround(number * 100));
            return true;
        case ParameterKind::Microseconds: {
            if (!SplitNumber(text, &number, &unit)) break;
            double scale = 0;
            if (unit.empty() || unit == "us" || unit == "\xC2\xB5s") scale = 1;
            if (unit == "ms") scale = 1000;
            if (unit == "s") scale = 1000000;
            const double microseconds = number * scale;
            if (scale == 0 || microseconds <= 0 || microseconds > kLargestSigned) break;
            *value = static_cast<uint32_t>(std::lround(microseconds));
            return true;
        }
        case ParameterKind::ExposureStep: {
            long long index = 0;
            if (!ParseInteger(text, &index) || index < 0 || index >= exposure::kStepCount) break;
            *value = static_cast<uint32_t>(index);
            return true;
        }
        case ParameterKind::PixelFormat: {
            if (formats.Code(Trim(text), value)) return true;
            std::string known;
            for (const std::string& name : formats.Names()) known += (known.empty() ? "" : ", ") + name;
            *error = "unknown pixel format '" + text + "' for pixel-format: expected one of " + known +
                     ", or a GenICam code";
            return false;
        }
        case ParameterKind::FrameRate:
            if (!SplitNumber(text, &number, &unit) || !(unit.empty() || unit == "fps") || number <= 0 ||
                number * 100 > kLargestSigned) {
                break;
            }
            if (std::lround(number * 100) == 0) break;
            *value = static_cast<uint32_t>(std::lround(number * 100));
            return true;
        case ParameterKind::LongExposure:
            if (ParseChoice(text, kOnOff, value)) return true;
            break;
        case ParameterKind::Rotation: {
            long long degrees = 0;
            if (!ParseInteger(text, &degrees) || (degrees != 0 && degrees != 90 && degrees != 180 && degrees != 270)) {
                break;
            }
            *value = static_cast<uint32_t>(degrees);
            return true;
        }
        case ParameterKind::Flip:
            if (ParseChoice(text, kFlips, value)) return true;
            break;
        case ParameterKind::ColorCorrection:
            if (ParseChoice(text, kCorrections, value)) return true;
            break;
    }
    *error = bad;
    return false;
}

std::string ParameterTable::Format(const ParameterInfo& parameter, uint32_t value, const PixelFormatNames& formats) {
    switch (parameter.kind) {
        case ParameterKind::Integer:
            return std::to_string(static_cast<int32_t>(value));
        case ParameterKind::AutoMode:
            return Choice(kAutoModes, value);
        case ParameterKind::Hundredths:
            return Fixed(value / 100.0, 2);
        case ParameterKind::Microseconds:
            return std::to_string(value) + " \xC2\xB5s";
        case ParameterKind::ExposureStep:
            if (value < exposure::kStepCount) return std::to_string(value) + " (" + exposure::kSteps[value].label + ")";
            return std::to_string(value);
        case ParameterKind::PixelFormat:
            return formats.Name(value);
        case ParameterKind::FrameRate:
            return Fixed(value / 100.0, 2) + " fps";
        case ParameterKind::LongExposure:
            return value == 1 ? "on" : "off";
        case ParameterKind::Rotation:
            return std::to_string(value);
        case ParameterKind::Flip:
            return value <= 3 ? kFlips[value] : "both (" + std::to_string(value) + ")";
        case ParameterKind::ColorCorrection:
            return Choice(kCorrections, value);
    }
    return std::to_string(value);
}

}  // namespace optivane::tool
