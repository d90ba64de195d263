#include "host/mirvale/FrameStreamer.h"

#include <chrono>
#include <cstring>

#include "host/mirvale/SnapshotTarget.h"
#include "platform/Clock.h"

namespace optivane::mirvale {

namespace {

constexpr int64_t kTicksPerMs = 10000;
constexpr uint32_t kStopPollMs = 20;
constexpr int64_t kMicrosecondsPerSecond = 1000000;

// Ends the holder's use of a pool image: Done, then the reference goes.
void HandBack(ComPtr<IFrameImage>& image) {
    if (!image) return;
    image->Done();
    image.Reset();
}

}  // namespace

FrameStreamer::~FrameStreamer() { Stop(); }

bool FrameStreamer::Start(ISamplePool* pool, ICamImageCallback* sink, uint32_t address, uint16_t port) {
    m_pool = pool;
    m_sink = sink;
    m_address = address;
    m_port = port;
    return CSimpleThread::Start();
}

void FrameStreamer::Stop() {
    if (!HasThread()) return;
    CSimpleThread::Stop();
    m_connection.Close();
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_grab == GrabState::Waiting) {
        m_grab = GrabState::Failed;
        m_grabChanged.notify_all();
    }
}

HRESULT FrameStreamer::Grab(ComPtr<IFrameImage> image, std::unique_lock<std::mutex>& calls, IUnknown** frame) {
    std::unique_lock<std::mutex> lock(m_lock);
    if (m_grab != GrabState::None) return E_FAIL;
    m_grab = GrabState::Waiting;
    m_grabImage = std::move(image);
    calls.unlock();
    const bool answered = m_grabChanged.wait_for(lock, std::chrono::milliseconds(m_timings.grabWaitMs),
                                                 [this] { return m_grab != GrabState::Waiting; });
    const GrabState outcome = m_grab;
    m_grab = GrabState::None;
    image = std::move(m_grabImage);
    if (!answered) return MIRVALE_E_TIMEDOUT;
    if (outcome != GrabState::Filled) return E_ABORT;
    *frame = image.Detach();
    return S_OK;
}

FrameStreamer::Counts FrameStreamer::GetCounts() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_counts;
}

uint8_t* FrameStreamer::PixelsFor(const FrameInfo& info) {
    m_grabFilling.Reset();
    ComPtr<IUnknown> taken;
    if (SUCCEEDED(m_pool->Take(taken.Receive())) && taken) {
        taken->QueryInterface(IID_IFrameImage, m_current.ReceiveVoid());
        // The pool's hold moves with the reference kept in m_current.
        taken.Reset();
        const FrameFormat format = FormatOf(info, m_connection.GetWelcome());
        uint8_t* data = nullptr;
        uint32_t size = 0;
        if (m_current && SUCCEEDED(m_current->SetFormat(&format)) && SUCCEEDED(m_current->GetBuffer(&data, &size)) &&
            size == PictureBytes(info.width, info.height)) {
            return data;
        }
        HandBack(m_current);
        return nullptr;
    }
    // The sink holds every image: a waiting grab may still take this frame.
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_grab != GrabState::Waiting) return nullptr;
    SnapshotTarget target(m_grabImage.Get(), m_connection.GetWelcome());
    uint8_t* data = target.PixelsFor(info);
    // Kept alive here: a grab that times out meanwhile lets its image go.
    if (data != nullptr) m_grabFilling = ComPtr<IFrameImage>::Share(m_grabImage.Get());
    return data;
}

void FrameStreamer::Deliver() {
    const FrameInfo& info = m_connection.LastFrame();
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_grab == GrabState::Waiting) {
            if (m_grabFilling && m_grabFilling.Get() == m_grabImage.Get()) {
                m_grab = GrabState::Filled;
            } else if (m_current) {
                // Copy the streamed frame for the grab; the stream goes on.
                SnapshotTarget target(m_grabImage.Get(), m_connection.GetWelcome());
                uint8_t* data = target.PixelsFor(info);
                uint8_t* source = nullptr;
                uint32_t size = 0;
                if (data != nullptr && SUCCEEDED(m_current->GetBuffer(&source, &size))) std::memcpy(data, source, size);
                m_grab = data != nullptr ? GrabState::Filled : GrabState::Failed;
            }
            // Otherwise the frame filled an earlier grab's image: this grab waits for the next.
            m_grabChanged.notify_all();
        }
        if (!m_current) {
            ++m_counts.dropped;
            m_grabFilling.Reset();
            return;
        }
        ++m_counts.delivered;
    }
    const FrameTime time{info.timestampMicroseconds, kMicrosecondsPerSecond};
    m_current->SetTime(&time, &time);
    m_sink->OnImage(m_current.Get());
    HandBack(m_current);
}

void FrameStreamer::Run() {
    int64_t nextAttempt = 0;
    while (!StopRequested()) {
        if (!m_connection.IsOpen()) {
            const int64_t now = platform::Clock::MonotonicTicks();
            if (now < nextAttempt) {
                platform::Clock::SleepMilliseconds(kStopPollMs);
                continue;
            }
            nextAttempt = now + static_cast<int64_t>(m_timings.reconnectMs) * kTicksPerMs;
            if (FAILED(m_connection.Open(m_address, m_port, StopRequest())) ||
                FAILED(m_connection.Request(RequestMode::Stream))) {
                continue;
            }
            std::lock_guard<std::mutex> lock(m_lock);
            ++m_counts.reconnects;
        }
        const HRESULT status = m_connection.ReadFrame(*this, StopRequest());
        if (FAILED(status)) {
            // No partial frame reaches the sink.
            HandBack(m_current);
            m_grabFilling.Reset();
            continue;
        }
        if (status == S_FALSE) {
            std::lock_guard<std::mutex> lock(m_lock);
            ++m_counts.dropped;
            continue;
        }
        Deliver();
    }
    HandBack(m_current);
    m_grabFilling.Reset();
}

}  // namespace optivane::mirvale
