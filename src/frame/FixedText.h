// Text in the fixed-size fields of the records exchanged with the host.
#pragma once

#include <cstddef>
#include <cstring>

namespace optivane {

// Copies a text into a fixed field, cut to fit with its terminator, the rest
// zero-filled.
template <size_t N>
void CopyText(char (&field)[N], const char* text) {
    const size_t length = strnlen(text, N - 1);
    std::memcpy(field, text, length);
    std::memset(field + length, 0, N - length);
}

}  // namespace optivane
