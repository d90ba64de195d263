#include "host/mirvale/SnapshotTarget.h"

namespace optivane::mirvale {

namespace {

constexpr int64_t kMicrosecondsPerSecond = 1000000;

}  // namespace

FrameFormat FormatOf(const FrameInfo& info, const Welcome& welcome) {
    return {0, info.width, info.height, 1, 1, welcome.rateNumerator, welcome.rateDenominator};
}

uint8_t* SnapshotTarget::PixelsFor(const FrameInfo& info) {
    const FrameFormat format = FormatOf(info, m_welcome);
    uint8_t* data = nullptr;
    uint32_t size = 0;
    if (FAILED(m_image->SetFormat(&format)) || FAILED(m_image->GetBuffer(&data, &size))) return nullptr;
    const FrameTime time{info.timestampMicroseconds, kMicrosecondsPerSecond};
    m_image->SetTime(&time, &time);
    return size == PictureBytes(info.width, info.height) ? data : nullptr;
}

}  // namespace optivane::mirvale
