// libFuzzer target of a phone's image reply: the first byte chooses the
// receive size, the rest arrives in receives of that size into the camera's
// real 10 MiB buffer, each offered only the buffer's rest; a complete reply's
// picture goes through the JPEG header scan.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "smartphone/ImageReplyReader.h"
#include "smartphone/JpegHeader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using optivane::phone::ImageReplyReader;
    static std::vector<char> buffer(ImageReplyReader::kBufferSize);
    if (size == 0) return 0;
    const size_t chunk = 1 + size_t{data[0]} * 61;
    ImageReplyReader reader(buffer.data(), buffer.size());
    ImageReplyReader::Progress progress = ImageReplyReader::Progress::NeedMore;
    for (size_t at = 1; at < size && progress == ImageReplyReader::Progress::NeedMore;) {
        size_t count = size - at < chunk ? size - at : chunk;
        if (count > reader.Room()) count = reader.Room();
        std::memcpy(reader.Space(), data + at, count);
        at += count;
        progress = reader.Received(count);
    }
    if (progress != ImageReplyReader::Progress::Complete) return 0;
    // In a block of its own size, so that a read past the picture is caught.
    const std::vector<uint8_t> image(reader.Image(), reader.Image() + reader.ImageSize());
    optivane::phone::JpegSize picture{};
    optivane::phone::ScanJpegHeader(image.data(), image.size(), picture);
    return 0;
}
