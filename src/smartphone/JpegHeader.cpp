#include "smartphone/JpegHeader.h"

namespace optivane::phone {

namespace {

constexpr uint64_t kMaxPictureBytes = uint64_t{1} << 31;

// Start-of-frame markers: C0-CF except C4 (Huffman tables), C8 (reserved)
// and CC (arithmetic conditioning).
bool IsFrameHeader(uint8_t marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Markers that stand alone, without a length.
bool HasNoLength(uint8_t marker) { return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7); }

uint32_t Read16(const uint8_t* at) { return (uint32_t{at[0]} << 8) | at[1]; }

}  // namespace

bool ScanJpegHeader(const uint8_t* data, size_t size, JpegSize& picture) {
    if (data == nullptr || size < 4 || data[0] != 0xFF || data[1] != 0xD8) return false;
    size_t at = 2;
    while (at < size) {
        if (data[at] != 0xFF) return false;
        while (at < size && data[at] == 0xFF) ++at;  // fill bytes
        if (at >= size) return false;
        const uint8_t marker = data[at++];
        if (HasNoLength(marker)) continue;
        if (marker == 0xD9 || marker == 0xDA) return false;  // end or scan before any frame header
        if (size - at < 2) return false;
        const uint32_t length = Read16(data + at);
        if (length < 2 || size - at < length) return false;
        if (IsFrameHeader(marker)) {
            if (length < 7) return false;
            const uint32_t height = Read16(data + at + 3);
            const uint32_t width = Read16(data + at + 5);
            if (width == 0 || height == 0 || uint64_t{width} * height * 3 > kMaxPictureBytes) return false;
            picture = {width, height};
            return true;
        }
        at += length;
    }
    return false;
}

}  // namespace optivane::phone
