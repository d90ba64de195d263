// libFuzzer target of the frame-source protocol's reader: the first byte
// chooses the side and the chunk size, the rest is fed in chunks, frame
// pixels into a buffer sized by the reader's own (checked) numbers.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/mirvale/protocol/MessageReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using optivane::mirvale::MessageReader;
    if (size == 0) return 0;
    MessageReader reader((data[0] & 1) != 0 ? MessageReader::Side::Source : MessageReader::Side::Receiver);
    const size_t chunk = 1 + (data[0] >> 1);
    std::vector<uint8_t> pixels;
    size_t at = 1;
    while (at < size) {
        size_t used = 0;
        const size_t length = size - at < chunk ? size - at : chunk;
        const MessageReader::Event event = reader.Feed(data + at, length, &used);
        at += used;
        if (event == MessageReader::Event::Failed) break;
        if (event == MessageReader::Event::FrameStarted) {
            // Small pictures only: a large one is read and dropped.
            if (reader.FramePictureBytes() <= (1u << 20)) {
                pixels.assign(static_cast<size_t>(reader.FramePictureBytes()), 0);
                reader.SetFrameDestination(pixels.data());
            }
        }
        if (used == 0 && event == MessageReader::Event::NeedMore) break;
    }
    return 0;
}
