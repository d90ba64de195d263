#include "PeerServer.h"

#include <utility>

namespace optivane::test {

namespace {
constexpr int64_t kAcceptTimeoutMicroseconds = 20 * 1000000LL;
}

PeerServer::PeerServer(Session session, int backlog) {
    if (!m_listener.Listen(kLoopback, 0, backlog)) return;
    m_port = m_listener.Port();
    m_thread = std::thread([this, session = std::move(session)] {
        platform::TcpSocket peer;
        if (m_listener.Accept(&peer, kAcceptTimeoutMicroseconds) != platform::TcpSocket::Result::Ok) return;
        session(peer);
    });
}

PeerServer::~PeerServer() { Join(); }

void PeerServer::Join() {
    if (m_thread.joinable()) m_thread.join();
}

}  // namespace optivane::test
