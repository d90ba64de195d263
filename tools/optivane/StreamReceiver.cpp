#include "StreamReceiver.h"

#include "frame/ComPtr.h"

namespace optivane::tool {

StreamReceiver::StreamReceiver(StreamStatus& status, FrameSaver* saver, uint32_t every, uint64_t limit)
    : m_status(status), m_saver(saver), m_every(every == 0 ? 1 : every), m_limit(limit) {}

HRESULT StreamReceiver::OnFrame(int32_t status, void* context, IUnknown* frame) {
    // Nothing may be thrown into the module's thread.
    try {
        Receive(frame);
    } catch (...) {
        ++m_unreadable;
    }
    return S_OK;
}

void StreamReceiver::Receive(IUnknown* frame) {
    const StreamStatus::Clock::time_point now = StreamStatus::Clock::now();
    // Only the delivery thread adds frames, so the check and the count below
    // cannot race with each other.
    if (LimitReached()) return;
    ComPtr<IFrameImage> image;
    if (frame == nullptr || FAILED(frame->QueryInterface(IID_IFrameImage, image.ReceiveVoid())) || !image) {
        ++m_unreadable;
        return;
    }
    FrameFormat format{};
    uint8_t* pixels = nullptr;
    uint32_t size = 0;
    if (FAILED(image->GetFormat(&format)) || FAILED(image->GetBuffer(&pixels, &size)) || pixels == nullptr ||
        static_cast<uint64_t>(format.Width) * format.Height * 3 > size || format.Width == 0 || format.Height == 0) {
        ++m_unreadable;
        return;
    }
    const uint64_t number = ++m_accepted;
    m_status.RecordFrame(now, format.Width, format.Height);
    if (m_saver != nullptr && number % m_every == 0) m_saver->Offer(number, format.Width, format.Height, pixels);
}

}  // namespace optivane::tool
