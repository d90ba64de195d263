#include "SettingAssignment.h"

namespace optivane::tool {

bool SettingAssignment::Read(const std::string& text, SettingAssignment* assignment, std::string* error) {
    const size_t equals = text.find('=');
    if (equals == std::string::npos || equals == 0) {
        *error = "'" + text + "' is not NAME=VALUE (for example frame-rate=29.97)";
        return false;
    }
    const std::string name = text.substr(0, equals);
    const ParameterInfo* parameter = ParameterTable::Find(name);
    if (parameter == nullptr) {
        *error = "unknown parameter '" + name + "'; known parameters: " + ParameterTable::Names();
        return false;
    }
    const std::string value = text.substr(equals + 1);
    if (parameter->kind != ParameterKind::PixelFormat) {
        uint32_t encoded = 0;
        if (!ParameterTable::Parse(*parameter, value, PixelFormatNames(), &encoded, error)) return false;
    } else if (value.empty()) {
        *error = "missing value for pixel-format: expected " + std::string(parameter->values);
        return false;
    }
    assignment->m_parameter = parameter;
    assignment->m_value = value;
    return true;
}

}  // namespace optivane::tool
