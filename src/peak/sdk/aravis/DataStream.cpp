#include "peak/sdk/DataStream.h"

#include <algorithm>
#include <string>
#include <utility>

#include "peak/sdk/Exception.h"
#include "peak/sdk/Library.h"
#include "peak/sdk/aravis/BufferHandle.h"
#include "peak/sdk/aravis/StreamHandle.h"
#include "platform/Clock.h"

namespace optivane::peak {

namespace {

constexpr int64_t kTicksPerMillisecond = 10000;
constexpr int64_t kTicksPerMicrosecond = 10;

}  // namespace

DataStream::DataStream(std::shared_ptr<StreamHandle> stream, uint64_t generation)
    : m_stream(std::move(stream)), m_generation(generation) {}

size_t DataStream::NumBuffersAnnouncedMinRequired() const {
    Library::CheckGeneration(m_generation);
    return kMinimumBuffers;
}

std::shared_ptr<Buffer> DataStream::AllocAndAnnounceBuffer(size_t size) {
    Library::CheckGeneration(m_generation);
    if (size == 0) throw Exception("a buffer needs a size");
    GObjectPtr<ArvBuffer> memory = GObjectPtr<ArvBuffer>::Adopt(arv_buffer_new_allocate(size));
    if (!memory) throw Exception("no memory for a buffer");
    auto handle = std::make_unique<BufferHandle>(BufferHandle{std::move(memory)});
    auto buffer = std::make_shared<Buffer>(std::move(handle), m_generation);
    std::lock_guard<std::mutex> guard(m_lock);
    m_buffers.push_back({buffer, BufferState::Announced});
    return buffer;
}

std::vector<std::shared_ptr<Buffer>> DataStream::AnnouncedBuffers() const {
    Library::CheckGeneration(m_generation);
    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<std::shared_ptr<Buffer>> buffers;
    for (const Entry& entry : m_buffers) buffers.push_back(entry.buffer);
    return buffers;
}

DataStream::Entry& DataStream::Find(const Buffer* buffer) {
    auto found = std::find_if(m_buffers.begin(), m_buffers.end(),
                              [buffer](const Entry& entry) { return entry.buffer.get() == buffer; });
    if (found == m_buffers.end()) throw Exception("buffer not announced on this data stream");
    return *found;
}

void DataStream::QueueBuffer(const std::shared_ptr<Buffer>& buffer) {
    Library::CheckGeneration(m_generation);
    std::lock_guard<std::mutex> guard(m_lock);
    Entry& entry = Find(buffer.get());
    if (entry.state == BufferState::Queued) throw Exception("buffer already queued");
    m_stream->Use([&buffer](ArvStream* stream, bool&) {
        // The queue takes a reference of its own.
        arv_stream_push_buffer(stream, ARV_BUFFER(g_object_ref(buffer->Handle().buffer.Get())));
    });
    entry.state = BufferState::Queued;
}

void DataStream::RevokeBuffer(const std::shared_ptr<Buffer>& buffer) {
    Library::CheckGeneration(m_generation);
    std::lock_guard<std::mutex> guard(m_lock);
    // Aravis cannot take one buffer out of its queue: flush first.
    if (Find(buffer.get()).state == BufferState::Queued) throw Exception("buffer still queued");
    m_buffers.erase(std::remove_if(m_buffers.begin(), m_buffers.end(),
                                   [&buffer](const Entry& entry) { return entry.buffer == buffer; }),
                    m_buffers.end());
}

void DataStream::StartAcquisition(int mode, uint64_t count) {
    Library::CheckGeneration(m_generation);
    if (mode != kStartDefault) throw Exception("start mode not offered");
    if (count == 0) throw Exception("nothing to acquire");
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_grabbing) throw Exception("acquisition already started");
    m_stream->Use([](ArvStream* stream, bool& receiving) {
        if (!receiving) arv_stream_start_thread(stream);
        receiving = true;
    });
    m_grabbing = true;
    m_remaining = count;
}

void DataStream::StopAcquisition(int mode) {
    Library::CheckGeneration(m_generation);
    if (mode != kStopDefault) throw Exception("stop mode not offered");
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_grabbing) throw Exception("acquisition not started");
    m_grabbing = false;
}

bool DataStream::IsGrabbing() const {
    Library::CheckGeneration(m_generation);
    std::lock_guard<std::mutex> guard(m_lock);
    return m_grabbing;
}

std::shared_ptr<Buffer> DataStream::WaitForFinishedBuffer(uint64_t timeoutMs) {
    Library::CheckGeneration(m_generation);
    const int64_t deadline =
        platform::Clock::MonotonicTicks() + static_cast<int64_t>(std::min<uint64_t>(timeoutMs, INT64_MAX / kTicksPerMillisecond)) * kTicksPerMillisecond;
    for (;;) {
        bool grabbing = false;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            if (m_killPending) {
                m_killPending = false;
                throw AbortedException("wait killed");
            }
            grabbing = m_grabbing;
        }
        const int64_t remaining = deadline - platform::Clock::MonotonicTicks();
        if (remaining <= 0) throw TimeoutException("no buffer within " + std::to_string(timeoutMs) + " ms");
        const int64_t slice = std::min<int64_t>(remaining, kWaitSliceMs * kTicksPerMillisecond);
        const GObjectPtr<ArvStream> stream = m_stream->Take();
        if (!grabbing) {
            platform::Clock::SleepMilliseconds(static_cast<uint32_t>((slice + kTicksPerMillisecond - 1) / kTicksPerMillisecond));
            continue;
        }
        const BufferHandle popped{GObjectPtr<ArvBuffer>::Adopt(
            arv_stream_timeout_pop_buffer(stream.Get(), static_cast<guint64>(slice / kTicksPerMicrosecond)))};
        if (!popped.buffer) continue;
        if (std::shared_ptr<Buffer> buffer = Deliver(popped)) return buffer;
    }
}

std::shared_ptr<Buffer> DataStream::Deliver(const BufferHandle& popped) {
    std::lock_guard<std::mutex> guard(m_lock);
    auto found = std::find_if(m_buffers.begin(), m_buffers.end(), [&popped](const Entry& entry) {
        return entry.buffer->Handle().buffer.Get() == popped.buffer.Get();
    });
    if (found == m_buffers.end() || found->state != BufferState::Queued) return nullptr;
    found->state = BufferState::Delivered;
    if (m_remaining != kInfiniteCount && --m_remaining == 0) m_grabbing = false;
    return found->buffer;
}

void DataStream::KillWait() {
    Library::CheckGeneration(m_generation);
    std::lock_guard<std::mutex> guard(m_lock);
    m_killPending = true;
}

void DataStream::Flush(int mode) {
    Library::CheckGeneration(m_generation);
    if (mode != kFlushDiscardAll) throw Exception("flush mode not offered");
    std::lock_guard<std::mutex> guard(m_lock);
    const bool anyQueued = std::any_of(m_buffers.begin(), m_buffers.end(),
                                       [](const Entry& entry) { return entry.state == BufferState::Queued; });
    m_stream->Use([anyQueued](ArvStream* stream, bool& receiving) {
        // Aravis empties its queues only as it stops the thread.
        if (!receiving && anyQueued) {
            arv_stream_start_thread(stream);
            receiving = true;
        }
        if (receiving) arv_stream_stop_thread(stream, TRUE);
        receiving = false;
    });
    for (Entry& entry : m_buffers) {
        if (entry.state == BufferState::Queued) entry.state = BufferState::Announced;
    }
}

}  // namespace optivane::peak
