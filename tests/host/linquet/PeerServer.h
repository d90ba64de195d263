// A TCP peer for the connection tests: listens on 127.0.0.1 at a free port
// and runs one session with the first connection accepted, on a thread of its
// own that the destructor joins. Sessions must end on their own (every wait
// in them is bounded).
#pragma once

#include <cstdint>
#include <functional>
#include <thread>

#include "platform/TcpListener.h"

namespace optivane::test {

class PeerServer {
public:
    using Session = std::function<void(platform::TcpSocket& peer)>;

    explicit PeerServer(Session session, int backlog = 4);
    ~PeerServer();
    PeerServer(const PeerServer&) = delete;
    PeerServer& operator=(const PeerServer&) = delete;

    bool IsListening() const { return m_listener.IsListening(); }
    uint16_t Port() const { return m_port; }
    // Waits for the session to end.
    void Join();

private:
    platform::TcpListener m_listener;
    uint16_t m_port = 0;
    std::thread m_thread;
};

// 127.0.0.1 in host byte order.
inline constexpr uint32_t kLoopback = 0x7F000001u;

}  // namespace optivane::test
