// The Aravis stream of one open data stream, shared by the data stream and
// the device it belongs to. Closing the device (or the library's last Close)
// drops it with the device handle, since the stream holds the device and so
// would keep control of it; later calls raise NotInitializedException.
//
// Threads: any thread. The lock guards the stream and whether its receiving
// thread runs, and is held across the Aravis call. Waiting for a buffer does
// not hold it: Take hands out a reference of its own, so a Release while a
// wait runs frees the stream only once that wait's slice ends. Taken inside
// the device lock (DeviceHandle::Release), never the other way round.
#pragma once

#include <arv.h>

#include <mutex>
#include <utility>

#include "aravis/GObjectPtr.h"
#include "peak/sdk/Exception.h"

namespace optivane::peak {

class StreamHandle {
public:
    // Aravis starts the receiving thread with the stream.
    explicit StreamHandle(GObjectPtr<ArvStream> stream) : m_stream(std::move(stream)), m_receiving(true) {}
    ~StreamHandle() { Drop(); }
    StreamHandle(const StreamHandle&) = delete;
    StreamHandle& operator=(const StreamHandle&) = delete;

    // Runs call(ArvStream*, bool& receiving) under the lock.
    template <typename Call>
    auto Use(Call call) {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!m_stream) throw NotInitializedException("data stream closed");
        return call(m_stream.Get(), m_receiving);
    }
    GObjectPtr<ArvStream> Take() {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!m_stream) throw NotInitializedException("data stream closed");
        return m_stream;
    }
    void Release() {
        std::lock_guard<std::mutex> guard(m_lock);
        Drop();
    }

private:
    // Aravis stops the receiving thread as it frees the stream, and
    // complains when it is not running.
    void Drop() {
        if (m_stream && !m_receiving) arv_stream_start_thread(m_stream.Get());
        m_receiving = true;
        m_stream.Reset();
    }

    std::mutex m_lock;
    GObjectPtr<ArvStream> m_stream;  // under m_lock
    bool m_receiving;                // under m_lock
};

}  // namespace optivane::peak
