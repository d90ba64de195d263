#include "host/mirvale/CFrameReceiver.h"

#include <chrono>
#include <cstring>
#include <new>

#include "platform/Clock.h"
#include "platform/Ipv4Text.h"

namespace optivane {

namespace {

constexpr auto kGrabWait = std::chrono::seconds(8);
constexpr int64_t kReconnectTicks = 10000000;  // 1 s in 100 ns ticks
constexpr uint32_t kStopPollMs = 50;
constexpr int64_t kMicrosecondsPerSecond = 1000000;

FrameFormat FormatOf(const mirvale::FrameInfo& info, const mirvale::Welcome& welcome) {
    return {0, info.width, info.height, 1, 1, welcome.rateNumerator, welcome.rateDenominator};
}

// Ends the holder's use of a pool image: Done, then the reference goes.
void HandBack(ComPtr<IFrameImage>& image) {
    if (!image) return;
    image->Done();
    image.Reset();
}

// A snapshot image sized by the frame's own info.
class SnapshotTarget final : public mirvale::FrameConnection::Target {
public:
    SnapshotTarget(IFrameImage* image, const mirvale::Welcome& welcome) : m_image(image), m_welcome(welcome) {}
    uint8_t* PixelsFor(const mirvale::FrameInfo& info) override {
        const FrameFormat format = FormatOf(info, m_welcome);
        uint8_t* data = nullptr;
        uint32_t size = 0;
        if (FAILED(m_image->SetFormat(&format)) || FAILED(m_image->GetBuffer(&data, &size))) return nullptr;
        const FrameTime time{info.timestampMicroseconds, kMicrosecondsPerSecond};
        m_image->SetTime(&time, &time);
        return size == mirvale::PictureBytes(info.width, info.height) ? data : nullptr;
    }

private:
    IFrameImage* m_image;
    const mirvale::Welcome& m_welcome;
};

}  // namespace

CUnknown* CFrameReceiver::CreateInstance(IUnknown* outer, HRESULT* status) {
    CFrameReceiver* created = new (std::nothrow) CFrameReceiver(outer);
    if (created == nullptr) *status = E_OUTOFMEMORY;
    return created;
}

CFrameReceiver::CFrameReceiver(IUnknown* outer) : CUnknown(outer), m_zendra(ModuleLoader::ForSibling("Zendra")) {}

CFrameReceiver::~CFrameReceiver() {
    Disconnect();
    if (m_pool) m_pool->Clear();
}

HRESULT CFrameReceiver::NonDelegatingQueryInterface(const IID& iid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IFrameReceiver) return GetInterface(static_cast<IFrameReceiver*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(iid, object);
}

HRESULT CFrameReceiver::Connect(const char* host, uint16_t port) {
    if (host == nullptr) return E_POINTER;
    uint32_t address = 0;
    if (!platform::Ipv4Text::Parse(host, &address) || port == 0) return E_INVALIDARG;
    std::lock_guard<std::mutex> calls(m_calls);
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_state == State::Receiving) return E_FAIL;
        m_state = State::Disconnected;
    }
    const HRESULT status = m_connection.Open(address, port, m_neverStop);
    if (FAILED(status)) return status;
    std::lock_guard<std::mutex> lock(m_lock);
    m_address = address;
    m_port = port;
    m_state = State::Connected;
    return S_OK;
}

HRESULT CFrameReceiver::GrabFrame(IUnknown** frame) {
    if (frame == nullptr) return E_POINTER;
    *frame = nullptr;
    std::unique_lock<std::mutex> calls(m_calls);
    State state = State::Disconnected;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        state = m_state;
    }
    if (state == State::Disconnected) return E_FAIL;
    return state == State::Receiving ? GrabStreamed(calls, frame) : GrabIdle(frame);
}

HRESULT CFrameReceiver::MakeSnapshot(ComPtr<IFrameImage>* image) const {
    if (m_zendra.Entry() == nullptr) return E_HANDLE;
    return m_zendra.CreateInstance(CLSID_SnapshotFrameImage, IID_IFrameImage, image->ReceiveVoid());
}

HRESULT CFrameReceiver::GrabIdle(IUnknown** frame) {
    ComPtr<IFrameImage> image;
    HRESULT status = MakeSnapshot(&image);
    if (FAILED(status)) return status;
    // A stream stopped or a lost link leaves no open connection: connect again.
    if (!m_connection.IsOpen()) {
        status = m_connection.Open(m_address, m_port, m_neverStop);
        if (FAILED(status)) return status;
    }
    status = m_connection.Request(mirvale::RequestMode::OneFrame);
    if (FAILED(status)) return status;
    SnapshotTarget target(image.Get(), m_connection.GetWelcome());
    status = m_connection.ReadFrame(target, m_neverStop);
    if (FAILED(status)) return status;
    if (status != S_OK) {
        m_connection.Close();
        return E_OUTOFMEMORY;
    }
    *frame = image.Detach();
    return S_OK;
}

HRESULT CFrameReceiver::GrabStreamed(std::unique_lock<std::mutex>& calls, IUnknown** frame) {
    ComPtr<IFrameImage> image;
    HRESULT status = MakeSnapshot(&image);
    if (FAILED(status)) return status;
    std::unique_lock<std::mutex> lock(m_lock);
    if (m_grab != Grab::None) return E_FAIL;
    m_grab = Grab::Waiting;
    m_grabImage = std::move(image);
    calls.unlock();
    const bool answered = m_grabChanged.wait_for(lock, kGrabWait, [this] { return m_grab != Grab::Waiting; });
    const Grab outcome = m_grab;
    m_grab = Grab::None;
    image = std::move(m_grabImage);
    if (!answered) return MIRVALE_E_TIMEDOUT;
    if (outcome != Grab::Filled) return E_ABORT;
    *frame = image.Detach();
    return S_OK;
}

HRESULT CFrameReceiver::MakePool() {
    if (m_pool) return S_OK;
    if (m_zendra.Entry() == nullptr) return E_HANDLE;
    ComPtr<ISamplePool> pool;
    HRESULT status = m_zendra.CreateInstance(CLSID_SamplePool, IID_ISamplePool, pool.ReceiveVoid());
    for (uint32_t i = 0; SUCCEEDED(status) && i < kPoolImages; ++i) {
        ComPtr<IUnknown> image;
        status = m_zendra.CreateInstance(CLSID_FrameImage, IID_IFrameImage, image.ReceiveVoid());
        if (SUCCEEDED(status)) status = pool->Add(image.Get());
    }
    if (FAILED(status)) {
        if (pool) pool->Clear();
        return status;
    }
    m_pool = std::move(pool);
    return S_OK;
}

HRESULT CFrameReceiver::StartReceiving(ICamImageCallback* sink, void* /*owner*/) {
    if (sink == nullptr) return E_POINTER;
    std::lock_guard<std::mutex> calls(m_calls);
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_state == State::Receiving) return S_FALSE;
        if (m_state != State::Connected) return E_FAIL;
    }
    HRESULT status = MakePool();
    if (FAILED(status)) return status;
    if (!m_connection.IsOpen()) {
        status = m_connection.Open(m_address, m_port, m_neverStop);
        if (FAILED(status)) return status;
    }
    status = m_connection.Request(mirvale::RequestMode::Stream);
    if (FAILED(status)) return status;
    m_sink = sink;
    m_stop.store(false, std::memory_order_release);
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_state = State::Receiving;
    }
    if (!m_thread.Start(&CFrameReceiver::ReceiveEntry, this)) {
        std::lock_guard<std::mutex> lock(m_lock);
        m_state = State::Connected;
        m_connection.Close();
        return E_FAIL;
    }
    return S_OK;
}

HRESULT CFrameReceiver::StopThread() {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_state != State::Receiving) return S_FALSE;
    }
    m_stop.store(true, std::memory_order_release);
    m_thread.Join();
    m_connection.Close();
    std::lock_guard<std::mutex> lock(m_lock);
    m_state = State::Connected;
    if (m_grab == Grab::Waiting) {
        m_grab = Grab::Failed;
        m_grabChanged.notify_all();
    }
    return S_OK;
}

HRESULT CFrameReceiver::StopReceiving() {
    std::lock_guard<std::mutex> calls(m_calls);
    return StopThread();
}

HRESULT CFrameReceiver::Disconnect() {
    std::lock_guard<std::mutex> calls(m_calls);
    StopThread();
    m_connection.Close();
    std::lock_guard<std::mutex> lock(m_lock);
    m_state = State::Disconnected;
    return S_OK;
}

HRESULT CFrameReceiver::GetCounts(uint64_t* delivered, uint64_t* dropped, uint64_t* reconnects) {
    if (delivered == nullptr || dropped == nullptr || reconnects == nullptr) return E_POINTER;
    std::lock_guard<std::mutex> lock(m_lock);
    *delivered = m_delivered;
    *dropped = m_dropped;
    *reconnects = m_reconnects;
    return S_OK;
}

void CFrameReceiver::ReceiveEntry(void* self) { static_cast<CFrameReceiver*>(self)->Receive(); }

uint8_t* CFrameReceiver::PixelsFor(const mirvale::FrameInfo& info) {
    m_intoGrab = false;
    ComPtr<IUnknown> taken;
    if (SUCCEEDED(m_pool->Take(taken.Receive())) && taken) {
        taken->QueryInterface(IID_IFrameImage, m_current.ReceiveVoid());
        // The pool's hold moves with the reference kept in m_current.
        taken.Reset();
        const FrameFormat format = FormatOf(info, m_connection.GetWelcome());
        uint8_t* data = nullptr;
        uint32_t size = 0;
        if (m_current && SUCCEEDED(m_current->SetFormat(&format)) && SUCCEEDED(m_current->GetBuffer(&data, &size)) &&
            size == mirvale::PictureBytes(info.width, info.height)) {
            return data;
        }
        HandBack(m_current);
        return nullptr;
    }
    // The sink holds every image: a waiting grab may still take this frame.
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_grab != Grab::Waiting) return nullptr;
    SnapshotTarget target(m_grabImage.Get(), m_connection.GetWelcome());
    uint8_t* data = target.PixelsFor(info);
    m_intoGrab = data != nullptr;
    return data;
}

void CFrameReceiver::Deliver() {
    const mirvale::FrameInfo& info = m_connection.LastFrame();
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_grab == Grab::Waiting) {
            if (!m_intoGrab) {
                // Copy the streamed frame for the grab; the stream goes on.
                SnapshotTarget target(m_grabImage.Get(), m_connection.GetWelcome());
                uint8_t* data = target.PixelsFor(info);
                uint8_t* source = nullptr;
                uint32_t size = 0;
                if (data != nullptr && SUCCEEDED(m_current->GetBuffer(&source, &size))) std::memcpy(data, source, size);
                m_grab = data != nullptr ? Grab::Filled : Grab::Failed;
            } else {
                m_grab = Grab::Filled;
            }
            m_grabChanged.notify_all();
        }
        if (!m_current) {
            ++m_dropped;
            return;
        }
        ++m_delivered;
    }
    const FrameTime time{info.timestampMicroseconds, kMicrosecondsPerSecond};
    m_current->SetTime(&time, &time);
    m_sink->OnImage(m_current.Get());
    HandBack(m_current);
}

void CFrameReceiver::Receive() {
    int64_t nextAttempt = 0;
    while (!m_stop.load(std::memory_order_acquire)) {
        if (!m_connection.IsOpen()) {
            const int64_t now = platform::Clock::MonotonicTicks();
            if (now < nextAttempt) {
                platform::Clock::SleepMilliseconds(kStopPollMs);
                continue;
            }
            nextAttempt = now + kReconnectTicks;
            if (FAILED(m_connection.Open(m_address, m_port, m_stop)) ||
                FAILED(m_connection.Request(mirvale::RequestMode::Stream))) {
                continue;
            }
            std::lock_guard<std::mutex> lock(m_lock);
            ++m_reconnects;
        }
        const HRESULT status = m_connection.ReadFrame(*this, m_stop);
        if (FAILED(status)) {
            // No partial frame reaches the sink.
            HandBack(m_current);
            m_intoGrab = false;
            continue;
        }
        if (status == S_FALSE) {
            std::lock_guard<std::mutex> lock(m_lock);
            ++m_dropped;
            continue;
        }
        Deliver();
    }
    HandBack(m_current);
}

}  // namespace optivane
