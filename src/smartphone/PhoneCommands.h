// The four commands a phone's camera application understands: one line of
// ASCII each, a fixed prefix, one carriage return and no terminator. The
// words after the value are what the application expects, sent unchanged.
#pragma once

#include <cstdint>
#include <string>

namespace optivane::phone {

inline constexpr char kCommandPrefix[] = "command string : ";

std::string SearchCommand();
std::string CaptureCommand();
// The exposure in nanoseconds, as signed 64-bit decimal.
std::string ExposureCommand(int64_t nanoseconds);
// The sensitivity (ISO), as signed 32-bit decimal.
std::string SensitivityCommand(int32_t iso);

}  // namespace optivane::phone
