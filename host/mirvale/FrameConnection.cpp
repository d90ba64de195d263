#include "host/mirvale/FrameConnection.h"

#include "optivane/host_framework.h"
#include "platform/Clock.h"

namespace optivane::mirvale {

namespace {

constexpr int64_t kTicksPerMs = 10000;
constexpr int64_t kPollMicroseconds = 50000;
constexpr int64_t kConnectMicroseconds = 2000000;
constexpr int64_t kSendMicroseconds = 2000000;

int64_t Now() { return platform::Clock::MonotonicTicks(); }

}  // namespace

void FrameConnection::Close() {
    m_socket.Close();
    m_reader.Reset();
}

HRESULT FrameConnection::Fail(HRESULT status) {
    Close();
    return status;
}

HRESULT FrameConnection::Open(uint32_t address, uint16_t port, const StopRequest& stop) {
    Close();
    switch (m_socket.Connect(address, port, kConnectMicroseconds)) {
        case platform::TcpSocket::Result::Ok: break;
        case platform::TcpSocket::Result::Refused: return MIRVALE_E_REFUSED;
        case platform::TcpSocket::Result::TimedOut: return MIRVALE_E_TIMEDOUT;
        default: return E_FAIL;
    }
    m_socket.SetNoDelay(true);
    const ControlMessage hello = EncodeHello(&kVersion, 1);
    if (m_socket.SendAll(hello.data.data(), hello.size, nullptr, kSendMicroseconds) != platform::TcpSocket::Result::Ok) {
        return Fail(E_FAIL);
    }
    MessageReader::Event event = MessageReader::Event::NeedMore;
    const HRESULT status = NextEvent(&event, Now() + static_cast<int64_t>(m_timings.handshakeMs) * kTicksPerMs, stop);
    if (FAILED(status)) return status;
    return event == MessageReader::Event::Welcome ? S_OK : Fail(MIRVALE_E_BADDATA);
}

HRESULT FrameConnection::Request(RequestMode mode) {
    if (!m_socket.IsOpen()) return E_FAIL;
    const ControlMessage request = EncodeRequest(mode);
    if (m_socket.SendAll(request.data.data(), request.size, nullptr, kSendMicroseconds) != platform::TcpSocket::Result::Ok) {
        return Fail(E_FAIL);
    }
    return S_OK;
}

HRESULT FrameConnection::ReadFrame(Target& target, const StopRequest& stop) {
    if (!m_socket.IsOpen()) return E_FAIL;
    bool kept = false;
    int64_t frameDeadline = 0;
    for (;;) {
        MessageReader::Event event = MessageReader::Event::NeedMore;
        const HRESULT status = NextEvent(&event, frameDeadline, stop);
        if (FAILED(status)) return status;
        if (event == MessageReader::Event::FrameStarted) {
            uint8_t* pixels = target.PixelsFor(m_reader.GetFrameInfo());
            m_reader.SetFrameDestination(pixels);
            kept = pixels != nullptr;
            frameDeadline = Now() + static_cast<int64_t>(m_timings.frameMs) * kTicksPerMs;
        } else if (event == MessageReader::Event::FrameDone) {
            return kept ? S_OK : S_FALSE;
        }
        // Heartbeats only show the source is alive.
    }
}

HRESULT FrameConnection::NextEvent(MessageReader::Event* event, int64_t deadline, const StopRequest& stop) {
    int64_t lastHeard = Now();
    for (;;) {
        if (stop.load(std::memory_order_acquire) != 0) return Fail(E_ABORT);
        const int64_t now = Now();
        if (now - lastHeard > static_cast<int64_t>(m_timings.silenceMs) * kTicksPerMs) return Fail(MIRVALE_E_TIMEDOUT);
        if (deadline != 0 && now > deadline) return Fail(MIRVALE_E_TIMEDOUT);
        size_t got = 0;
        const platform::TcpSocket::Result result =
            m_socket.Receive(m_reader.WantData(), m_reader.WantSize(), &got, kPollMicroseconds);
        if (result == platform::TcpSocket::Result::TimedOut) continue;
        if (result == platform::TcpSocket::Result::Closed) return Fail(MIRVALE_E_BADDATA);
        if (result != platform::TcpSocket::Result::Ok) return Fail(E_FAIL);
        lastHeard = Now();
        *event = m_reader.Advance(got);
        if (*event == MessageReader::Event::Failed) {
            const bool version = m_reader.GetFailure() == MessageReader::Failure::BadVersion;
            return Fail(version ? MIRVALE_E_VERSION : MIRVALE_E_BADDATA);
        }
        if (*event != MessageReader::Event::NeedMore) return S_OK;
    }
}

}  // namespace optivane::mirvale
