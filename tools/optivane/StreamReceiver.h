// The host's frame callback for one stream: counts frames into the status,
// hands every K-th one to the saver, and ignores frames past the limit.
//
// Threads: OnFrame runs on the module's delivery thread; LimitReached and the
// counters are read by the stream command's thread. Lives longer than the
// stream: the camera holds it as a plain pointer until StopStreaming returns.
#pragma once

#include <atomic>
#include <cstdint>

#include "FrameSaver.h"
#include "StreamStatus.h"
#include "optivane/optivane.h"

namespace optivane::tool {

class StreamReceiver : public IAravisCameraCallback {
public:
    // limit 0: no limit. saver may be null; every must be at least 1 when a
    // saver is given.
    StreamReceiver(StreamStatus& status, FrameSaver* saver, uint32_t every, uint64_t limit);

    HRESULT OnFrame(int32_t status, void* context, IUnknown* frame) override;

    bool LimitReached() const { return m_limit != 0 && m_accepted.load() >= m_limit; }
    // Frames that came without a readable 24-bit picture.
    uint64_t Unreadable() const { return m_unreadable.load(); }

private:
    void Receive(IUnknown* frame);

    StreamStatus& m_status;
    FrameSaver* const m_saver;
    const uint32_t m_every;
    const uint64_t m_limit;

    std::atomic<uint64_t> m_accepted{0};
    std::atomic<uint64_t> m_unreadable{0};
};

}  // namespace optivane::tool
