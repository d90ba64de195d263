#include "host/mirvale/CFrameReceiver.h"

#include <new>

#include "host/mirvale/SnapshotTarget.h"
#include "platform/Ipv4Text.h"

namespace optivane {

CUnknown* CFrameReceiver::CreateInstance(IUnknown* outer, HRESULT* status) {
    return CreateWithTimings(outer, mirvale::ReceiveTimings{}, status);
}

CUnknown* CFrameReceiver::CreateWithTimings(IUnknown* outer, const mirvale::ReceiveTimings& timings, HRESULT* status) {
    CFrameReceiver* created = new (std::nothrow) CFrameReceiver(outer, timings);
    if (created == nullptr) *status = E_OUTOFMEMORY;
    return created;
}

CFrameReceiver::CFrameReceiver(IUnknown* outer, const mirvale::ReceiveTimings& timings)
    : CUnknown(outer), m_timings(timings), m_zendra(ModuleLoader::ForSibling("Zendra")) {}

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
    if (state == State::Connected) return GrabIdle(frame);
    ComPtr<IFrameImage> image;
    const HRESULT status = MakeSnapshot(&image);
    if (FAILED(status)) return status;
    return m_streamer.Grab(std::move(image), calls, frame);
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
    mirvale::SnapshotTarget target(image.Get(), m_connection.GetWelcome());
    status = m_connection.ReadFrame(target, m_neverStop);
    if (FAILED(status)) return status;
    if (status != S_OK) {
        m_connection.Close();
        return E_OUTOFMEMORY;
    }
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
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_state = State::Receiving;
    }
    if (!m_streamer.Start(m_pool.Get(), sink, m_address, m_port)) {
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
    m_streamer.Stop();
    std::lock_guard<std::mutex> lock(m_lock);
    m_state = State::Connected;
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
    const mirvale::FrameStreamer::Counts counts = m_streamer.GetCounts();
    *delivered = counts.delivered;
    *dropped = counts.dropped;
    *reconnects = counts.reconnects;
    return S_OK;
}

}  // namespace optivane
