// Where a single frame goes: a snapshot image, sized by the frame's own
// header before its pixels are read. Lives for one read on the reading
// thread; the image and the welcome are the caller's.
#pragma once

#include "host/mirvale/FrameConnection.h"
#include "optivane/host_framework.h"

namespace optivane::mirvale {

// The image format of a frame from a source that sent this welcome.
FrameFormat FormatOf(const FrameInfo& info, const Welcome& welcome);

class SnapshotTarget final : public FrameConnection::Target {
public:
    SnapshotTarget(IFrameImage* image, const Welcome& welcome) : m_image(image), m_welcome(welcome) {}
    // The image's buffer at the frame's size, stamped with its time; null
    // when the image cannot take it.
    uint8_t* PixelsFor(const FrameInfo& info) override;

private:
    IFrameImage* m_image;
    const Welcome& m_welcome;
};

}  // namespace optivane::mirvale
