// The 7-byte header shared by capability and image replies: a three-letter
// tag and the payload's length as a big-endian uint32.
#pragma once

#include <cstdint>
#include <cstring>

namespace optivane::phone {

// False when the first three bytes are not the tag. data holds at least 7 bytes.
inline bool ReadReplyHeader(const char* data, const char (&tag)[4], uint32_t& length) {
    if (std::memcmp(data, tag, 3) != 0) return false;
    const auto* bytes = reinterpret_cast<const unsigned char*>(data + 3);
    length = (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | uint32_t{bytes[3]};
    return true;
}

// Writes the header for a payload of the given length (the simulator's side).
inline void WriteReplyHeader(char* data, const char* tag, uint32_t length) {
    std::memcpy(data, tag, 3);
    data[3] = static_cast<char>(length >> 24);
    data[4] = static_cast<char>(length >> 16);
    data[5] = static_cast<char>(length >> 8);
    data[6] = static_cast<char>(length);
}

}  // namespace optivane::phone
