// One buffer a data stream announced: memory of the payload size that the
// stream fills while the buffer is queued. What it reports describes the last
// frame received into it and holds until it is queued again. Belongs to the
// library generation of its stream and raises NotInitializedException once
// that has ended.
//
// Threads: any thread may read it; the data stream decides when it is filled
// (only while queued), so reads between a wait and the next queue are safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace optivane::peak {

// The backend's buffer behind a Buffer.
struct BufferHandle;

class Buffer {
public:
    Buffer(std::unique_ptr<BufferHandle> handle, uint64_t generation);
    ~Buffer();
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;

    void* BasePtr() const;
    // Bytes received into it.
    size_t Size() const;
    // The received image's size; 0 while it holds no complete image.
    size_t Width() const;
    size_t Height() const;
    bool IsIncomplete() const;

    const BufferHandle& Handle() const { return *m_handle; }

private:
    bool HoldsImage() const;

    const std::unique_ptr<BufferHandle> m_handle;
    const uint64_t m_generation;
};

}  // namespace optivane::peak
