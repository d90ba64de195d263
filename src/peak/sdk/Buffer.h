// One buffer a data stream announced: memory of the payload size that the
// stream fills while the buffer is queued. What it reports describes the last
// frame received into it and holds until it is queued again. Belongs to the
// library generation of its stream and raises NotInitializedException once
// that has ended.
//
// Threads: any thread may read it; the data stream decides when it is filled
// (only while queued), so reads between a wait and the next queue are safe.
#pragma once

#include <arv.h>

#include <cstddef>
#include <cstdint>

#include "aravis/GObjectPtr.h"

namespace optivane::peak {

class Buffer {
public:
    Buffer(GObjectPtr<ArvBuffer> buffer, uint64_t generation);

    void* BasePtr() const;
    // Bytes received into it.
    size_t Size() const;
    // The received image's size; 0 while it holds no complete image.
    size_t Width() const;
    size_t Height() const;
    bool IsIncomplete() const;

    ArvBuffer* Aravis() const { return m_buffer.Get(); }

private:
    bool HoldsImage() const;

    const GObjectPtr<ArvBuffer> m_buffer;
    const uint64_t m_generation;
};

}  // namespace optivane::peak
