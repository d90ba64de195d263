// Names of pixel formats and their GenICam codes: the camera's own list
// first, then the formats the module converts, so that a format is shown by
// name and can be given by name (any case) or by number (decimal or 0x hex).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "optivane/optivane.h"

namespace optivane::tool {

class PixelFormatNames {
public:
    PixelFormatNames() = default;
    explicit PixelFormatNames(const std::vector<CameraPixelFormat>& cameraFormats);

    // "Mono8"; an unknown code gives its hexadecimal text.
    std::string Name(uint32_t code) const;
    // False when the text is neither a known name nor a number.
    bool Code(const std::string& text, uint32_t* code) const;
    // The known names, camera's first.
    std::vector<std::string> Names() const;

private:
    struct Entry {
        std::string name;
        uint32_t code;
    };
    std::vector<Entry> m_entries;
};

}  // namespace optivane::tool
