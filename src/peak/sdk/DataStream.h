// The data stream of one opened device over the backend's stream. Buffers are
// announced (allocated and listed), queued for filling, handed back by
// WaitForFinishedBuffer in the order they were filled, and revoked once no
// longer queued. Each announced buffer is Announced, Queued or Delivered;
// every call checks that state and raises Exception for a call out of order
// (queueing a queued buffer, revoking a queued one).
//
// Acquisition: StartAcquisition lets buffers be handed out (count of them,
// or without end) and IsGrabbing tells whether it runs; StopAcquisition ends
// it, leaving queued buffers queued. Flush(DiscardAll) takes every queued
// buffer back to Announced (Aravis empties its queues by stopping its
// receiving thread, which the next start runs again); the layer keeps a
// reference of its own to each buffer, so only the queues' references go.
//
// Threads: any thread. The stream lock guards the buffer list, the
// acquisition state and the pending kill; it is never held while waiting
// for a buffer, and is taken before the stream handle's own lock. A wait
// waits in slices of at most kWaitSliceMs and looks for a kill between
// them, so KillWait from another thread ends it within one slice; a kill
// with no wait pending ends the next wait at its start. Dropping the last
// reference closes the backend's stream; so does closing its device or the
// library, after which calls raise NotInitializedException.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "peak/sdk/Buffer.h"

namespace optivane::peak {

// The backend's stream of one open data stream, shared with its device.
class StreamHandle;

class DataStream {
public:
    static constexpr size_t kMinimumBuffers = 5;
    static constexpr uint32_t kWaitSliceMs = 10;
    static constexpr int kStartDefault = 0;
    static constexpr int kStopDefault = 0;
    static constexpr int kFlushDiscardAll = 4;
    static constexpr uint64_t kInfiniteCount = UINT64_MAX;

    DataStream(std::shared_ptr<StreamHandle> stream, uint64_t generation);
    DataStream(const DataStream&) = delete;
    DataStream& operator=(const DataStream&) = delete;

    size_t NumBuffersAnnouncedMinRequired() const;
    std::shared_ptr<Buffer> AllocAndAnnounceBuffer(size_t size);
    std::vector<std::shared_ptr<Buffer>> AnnouncedBuffers() const;
    void QueueBuffer(const std::shared_ptr<Buffer>& buffer);
    void RevokeBuffer(const std::shared_ptr<Buffer>& buffer);

    // Only the default modes are offered; others raise.
    void StartAcquisition(int mode, uint64_t count);
    void StopAcquisition(int mode);
    bool IsGrabbing() const;
    // The next filled buffer. TimeoutException after timeoutMs,
    // AbortedException after a KillWait.
    std::shared_ptr<Buffer> WaitForFinishedBuffer(uint64_t timeoutMs);
    void KillWait();
    void Flush(int mode);

private:
    enum class BufferState { Announced, Queued, Delivered };
    struct Entry {
        std::shared_ptr<Buffer> buffer;
        BufferState state;
    };

    // Under m_lock; Exception when the buffer is not announced here.
    Entry& Find(const Buffer* buffer);
    // A popped buffer's entry: Delivered and counted. Null for one this
    // stream no longer has queued.
    std::shared_ptr<Buffer> Deliver(const BufferHandle& popped);

    const std::shared_ptr<StreamHandle> m_stream;
    const uint64_t m_generation;
    mutable std::mutex m_lock;
    std::vector<Entry> m_buffers;  // under m_lock, in announcing order
    bool m_grabbing = false;       // under m_lock
    uint64_t m_remaining = 0;      // under m_lock; buffers still to hand out
    bool m_killPending = false;    // under m_lock
};

}  // namespace optivane::peak
