// One NAME=VALUE of the set command, checked before any camera is opened so
// that mistyped names and values are refused at once.
#pragma once

#include <string>

#include "ParameterTable.h"

namespace optivane::tool {

class SettingAssignment {
public:
    // False, with the reason in words, for a text without '=', an unknown
    // name, or a value that the setting cannot take. Pixel-format names are
    // checked later against the camera's own list.
    static bool Read(const std::string& text, SettingAssignment* assignment, std::string* error);

    const ParameterInfo& Parameter() const { return *m_parameter; }
    const std::string& ValueText() const { return m_value; }

private:
    const ParameterInfo* m_parameter = nullptr;
    std::string m_value;
};

}  // namespace optivane::tool
