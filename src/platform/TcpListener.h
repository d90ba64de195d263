// A listening IPv4 TCP socket, closed when destroyed. Accepted connections are
// TcpSockets of their own. The in-process peers of the socket tests listen
// through it.
#pragma once

#include <cstdint>
#include <utility>

#include "platform/TcpSocket.h"

namespace optivane::platform {

class TcpListener {
public:
    TcpListener() = default;
    ~TcpListener() { Close(); }
    TcpListener(TcpListener&& other) noexcept : m_handle(std::exchange(other.m_handle, -1)) {}
    TcpListener& operator=(TcpListener&& other) noexcept {
        if (this != &other) {
            Close();
            m_handle = std::exchange(other.m_handle, -1);
        }
        return *this;
    }
    TcpListener(const TcpListener&) = delete;
    TcpListener& operator=(const TcpListener&) = delete;

    // Closes any socket held, then binds to the IPv4 address (host byte order)
    // and port (0: any free port) and listens with the given backlog. False
    // when any step fails; nothing is held then.
    bool Listen(uint32_t address, uint16_t port, int backlog);
    bool IsListening() const;
    // The bound port, 0 when not listening.
    uint16_t Port() const;
    // Waits at most timeoutMicroseconds for a connection and hands it out,
    // non-blocking like every TcpSocket. TimedOut or Failed otherwise.
    TcpSocket::Result Accept(TcpSocket* connection, int64_t timeoutMicroseconds);
    void Close();

private:
    intptr_t m_handle = -1;
};

}  // namespace optivane::platform
