// A TCP client or accepted socket, closed when destroyed.
//
// The socket is non-blocking from its creation; every wait is a poll bounded
// by the caller's time-out, so no call blocks longer than asked. Writing to a
// socket whose peer has gone raises no signal. One owner uses a socket at a
// time: it is not safe to call it from two threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

namespace optivane::platform {

class TcpListener;

class TcpSocket {
public:
    enum class Result {
        Ok,
        TimedOut,  // the time-out passed first
        Refused,   // connect: nothing listens at the address and port
        Closed,    // receive: the peer closed its side
        Failed,    // any other error (reset, unreachable, no socket)
    };

    TcpSocket() = default;
    ~TcpSocket() { Close(); }
    TcpSocket(TcpSocket&& other) noexcept : m_handle(std::exchange(other.m_handle, -1)) {}
    TcpSocket& operator=(TcpSocket&& other) noexcept {
        if (this != &other) {
            Close();
            m_handle = std::exchange(other.m_handle, -1);
        }
        return *this;
    }
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    bool IsOpen() const;

    // Closes any socket held, then connects to the IPv4 address (host byte
    // order) and port within timeoutMicroseconds. On failure nothing is held.
    Result Connect(uint32_t address, uint16_t port, int64_t timeoutMicroseconds);
    // Sends every byte; each wait for room in the send buffer is bounded by
    // timeoutMicroseconds. *sent (may be null) counts the bytes handed to the
    // system, also on failure.
    Result SendAll(const void* data, size_t length, size_t* sent, int64_t timeoutMicroseconds);
    // Waits at most timeoutMicroseconds for data and stores between 1 and
    // capacity bytes (capacity must be at least 1). Never Ok with 0 bytes: an
    // orderly close by the peer is Closed. *received is 0 on failure.
    Result Receive(void* buffer, size_t capacity, size_t* received, int64_t timeoutMicroseconds);
    // Nagle's algorithm off (true) or on (false).
    bool SetNoDelay(bool enable);
    // The connected peer's IPv4 address (host byte order) and port.
    bool GetPeer(uint32_t* address, uint16_t* port) const;
    // Closes the socket now; nothing happens when none is held.
    void Close();

private:
    friend class TcpListener;
    // Takes over an open native socket (an int on POSIX, a SOCKET on Windows).
    explicit TcpSocket(intptr_t handle) : m_handle(handle) {}

    intptr_t m_handle = -1;  // -1: none (INVALID_SOCKET converts to -1)
};

}  // namespace optivane::platform
