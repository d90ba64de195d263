#include "host/linquet/CTcpConnection.h"

#include <new>

namespace optivane {

namespace {

constexpr int64_t kDefaultTimeoutMicroseconds = 5 * 1000000LL;

// The time-out in microseconds, or -1 when the record is malformed.
int64_t TimeoutMicroseconds(const NetTimeout* timeout) {
    if (timeout == nullptr) return kDefaultTimeoutMicroseconds;
    if (timeout->Seconds < 0 || timeout->Microseconds < 0 || timeout->Microseconds > 999999) return -1;
    return static_cast<int64_t>(timeout->Seconds) * 1000000LL + timeout->Microseconds;
}

HRESULT StatusOf(platform::TcpSocket::Result result) {
    switch (result) {
        case platform::TcpSocket::Result::Ok:
            return S_OK;
        case platform::TcpSocket::Result::TimedOut:
            return LINQUET_E_TIMEDOUT;
        case platform::TcpSocket::Result::Refused:
            return LINQUET_E_REFUSED;
        case platform::TcpSocket::Result::Closed:
        case platform::TcpSocket::Result::Failed:
            break;
    }
    return E_FAIL;
}

}  // namespace

CTcpConnection::CTcpConnection(IUnknown* outer) : CUnknown(outer) {}

CUnknown* CTcpConnection::CreateInstance(IUnknown* outer, HRESULT* status) {
    CTcpConnection* created = new (std::nothrow) CTcpConnection(outer);
    if (created == nullptr) *status = E_OUTOFMEMORY;
    return created;
}

HRESULT CTcpConnection::NonDelegatingQueryInterface(const IID& iid, void** object) {
    if (iid == IID_ITcpConnection) return GetInterface(static_cast<ITcpConnection*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(iid, object);
}

HRESULT CTcpConnection::Init() {
    std::lock_guard<std::mutex> guard(m_lock);
    switch (m_state) {
        case State::Created:
            m_state = State::Initialised;
            return S_OK;
        case State::Initialised:
        case State::Connected:
            return S_FALSE;
        case State::Uninitialised:
            break;
    }
    return E_FAIL;
}

HRESULT CTcpConnection::IsConnected(int32_t* connected) {
    if (connected == nullptr) return E_POINTER;
    std::lock_guard<std::mutex> guard(m_lock);
    *connected = m_state == State::Connected ? 1 : 0;
    return S_OK;
}

HRESULT CTcpConnection::Connect(uint32_t reserved1, uint32_t reserved2, uint16_t port, uint32_t address,
                                const NetTimeout* timeout) {
    const int64_t waitMicroseconds = TimeoutMicroseconds(timeout);
    // Port 0 and the unspecified address name no peer.
    if (reserved1 != 0 || reserved2 != 0 || port == 0 || address == 0 || waitMicroseconds < 0) return E_INVALIDARG;
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_state != State::Initialised) return E_FAIL;
    const HRESULT status = StatusOf(m_socket.Connect(address, port, waitMicroseconds));
    if (SUCCEEDED(status)) m_state = State::Connected;
    return status;
}

HRESULT CTcpConnection::SetNoDelay(int32_t enable) {
    if (enable != 0 && enable != 1) return E_INVALIDARG;
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_state != State::Connected) return E_FAIL;
    return m_socket.SetNoDelay(enable == 1) ? S_OK : E_FAIL;
}

HRESULT CTcpConnection::GetPeer(uint32_t* address, uint16_t* port) {
    if (address == nullptr || port == nullptr) return E_POINTER;
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_state != State::Connected) return E_FAIL;
    return m_socket.GetPeer(address, port) ? S_OK : E_FAIL;
}

HRESULT CTcpConnection::Send(const char* data, size_t length, size_t* sent, const NetTimeout* timeout) {
    if (sent != nullptr) *sent = 0;
    if (data == nullptr && length != 0) return E_POINTER;
    const int64_t waitMicroseconds = TimeoutMicroseconds(timeout);
    if (waitMicroseconds < 0) return E_INVALIDARG;
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_state != State::Connected) return E_FAIL;
    const platform::TcpSocket::Result result = m_socket.SendAll(data, length, sent, waitMicroseconds);
    if (result == platform::TcpSocket::Result::Failed) {
        m_socket.Close();
        m_state = State::Initialised;
    }
    return StatusOf(result);
}

HRESULT CTcpConnection::Receive(char* buffer, size_t capacity, size_t* received, const NetTimeout* timeout) {
    if (received == nullptr) return E_POINTER;
    *received = 0;
    if (buffer == nullptr || capacity == 0) return E_INVALIDARG;
    const int64_t waitMicroseconds = TimeoutMicroseconds(timeout);
    if (waitMicroseconds < 0) return E_INVALIDARG;
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_state != State::Connected) return E_FAIL;
    const platform::TcpSocket::Result result = m_socket.Receive(buffer, capacity, received, waitMicroseconds);
    if (result == platform::TcpSocket::Result::Closed || result == platform::TcpSocket::Result::Failed) {
        m_socket.Close();
        m_state = State::Initialised;
    }
    return StatusOf(result);
}

HRESULT CTcpConnection::Disconnect() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_socket.Close();
    if (m_state == State::Connected) m_state = State::Initialised;
    return S_OK;
}

HRESULT CTcpConnection::Uninit() {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_state == State::Uninitialised) return S_FALSE;
    m_socket.Close();
    m_state = State::Uninitialised;
    return S_OK;
}

}  // namespace optivane
