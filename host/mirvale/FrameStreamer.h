// The receiving thread of a frame receiver: reads the stream into pool
// images and lends each to the sink, reads and drops frames while the sink
// holds every image, fills a grab waiting for the next frame, and connects
// again after a lost or hung source (every reconnectMs, to the same sink).
//
// Threads: the receiver's host threads call Start, Stop, Grab and Counts,
// serialised by the receiver's call lock (Grab gives it up while it waits).
// Run is the receiving thread (CSimpleThread, with COM set up for it): Start
// starts it and Stop joins it, and this object is its only owner. The lock
// guards the pending grab and the counters; it is never held across a
// socket wait or a call into the sink, and nothing else is taken under it.
//
// Ownership: the connection, the pool and the timings belong to the
// receiver, which outlives this object; between Start and Stop the thread
// alone uses the connection. The image being filled is the thread's. The
// sink is not owned.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "frame/ComPtr.h"
#include "host/mirvale/FrameConnection.h"
#include "host/mirvale/ReceiveTimings.h"
#include "optivane/host_framework.h"
#include "optivane/optivane.h"
#include "runtime/CSimpleThread.h"

namespace optivane::mirvale {

class FrameStreamer : private CSimpleThread, private FrameConnection::Target {
public:
    struct Counts {
        uint64_t delivered = 0;
        uint64_t dropped = 0;
        uint64_t reconnects = 0;
    };

    FrameStreamer(FrameConnection& connection, const ReceiveTimings& timings)
        : m_connection(connection), m_timings(timings) {}
    ~FrameStreamer() override;

    // Starts the thread on a connection that has asked for the stream; the
    // address and port are where a lost source is looked for again. False
    // when the thread cannot be created.
    bool Start(ISamplePool* pool, ICamImageCallback* sink, uint32_t address, uint16_t port);
    // Joins the thread (waiting for a sink call that runs) and closes the
    // connection; no OnImage follows. A waiting grab fails with E_ABORT.
    // Returns at once when no thread runs. Never from the thread itself.
    void Stop();
    bool IsRunning() const { return HasThread(); }
    // The next frame read, copied into image (a snapshot image) and handed
    // out with its reference; calls is unlocked while waiting.
    // MIRVALE_E_TIMEDOUT after grabWaitMs, E_FAIL while another grab waits.
    HRESULT Grab(ComPtr<IFrameImage> image, std::unique_lock<std::mutex>& calls, IUnknown** frame);
    Counts GetCounts();

private:
    enum class GrabState { None, Waiting, Filled, Failed };

    void Run() override;
    uint8_t* PixelsFor(const FrameInfo& info) override;
    void Deliver();

    FrameConnection& m_connection;
    const ReceiveTimings& m_timings;
    ISamplePool* m_pool = nullptr;          // set while no thread runs
    ICamImageCallback* m_sink = nullptr;    // set while no thread runs
    uint32_t m_address = 0;                 // set while no thread runs
    uint16_t m_port = 0;

    std::mutex m_lock;
    std::condition_variable m_grabChanged;
    GrabState m_grab = GrabState::None;     // m_lock
    ComPtr<IFrameImage> m_grabImage;        // m_lock
    Counts m_counts;                        // m_lock

    ComPtr<IFrameImage> m_current;  // thread: the pool image being filled
    ComPtr<IFrameImage> m_grabFilling;  // thread: the grab image this frame is read into
};

}  // namespace optivane::mirvale
