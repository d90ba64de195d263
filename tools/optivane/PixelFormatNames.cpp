#include "PixelFormatNames.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace optivane::tool {

namespace {

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

}  // namespace

PixelFormatNames::PixelFormatNames(const std::vector<CameraPixelFormat>& cameraFormats) {
    for (const CameraPixelFormat& format : cameraFormats) {
        // The record's name field is NUL-terminated within its 16 bytes.
        const char* end = std::find(format.Name, format.Name + sizeof(format.Name), '\0');
        m_entries.push_back({std::string(format.Name, end), format.Code});
    }
    const Entry converted[] = {{"Mono8", PixelFormatMono8},
                               {"BayerRG8", PixelFormatBayerRG8},
                               {"BayerGB8", PixelFormatBayerGB8},
                               {"BayerGR8", PixelFormatBayerGR8},
                               {"BayerBG8", PixelFormatBayerBG8},
                               {"RGB8", PixelFormatRGB8},
                               {"BGR8", PixelFormatBGR8}};
    for (const Entry& entry : converted) {
        bool listed = false;
        for (const Entry& known : m_entries) listed = listed || known.code == entry.code;
        if (!listed) m_entries.push_back(entry);
    }
}

std::string PixelFormatNames::Name(uint32_t code) const {
    for (const Entry& entry : m_entries) {
        if (entry.code == code) return entry.name;
    }
    char hex[16];
    std::snprintf(hex, sizeof(hex), "0x%08X", static_cast<unsigned>(code));
    return hex;
}

bool PixelFormatNames::Code(const std::string& text, uint32_t* code) const {
    for (const Entry& entry : m_entries) {
        if (SameIgnoringCase(entry.name, text)) {
            *code = entry.code;
            return true;
        }
    }
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || end == nullptr || *end != '\0' || value > 0xFFFFFFFFull) return false;
    *code = static_cast<uint32_t>(value);
    return true;
}

std::vector<std::string> PixelFormatNames::Names() const {
    std::vector<std::string> names;
    for (const Entry& entry : m_entries) names.push_back(entry.name);
    return names;
}

}  // namespace optivane::tool
