#include "platform/TcpSocket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <climits>
#include <utility>

#include "platform/windows/SocketWait.h"

namespace optivane::platform {

namespace {

SOCKET Native(intptr_t handle) { return static_cast<SOCKET>(handle); }

TcpSocket::Result ConnectError(int error) {
    switch (error) {
        case WSAECONNREFUSED:
            return TcpSocket::Result::Refused;
        case WSAETIMEDOUT:
            return TcpSocket::Result::TimedOut;
        default:
            return TcpSocket::Result::Failed;
    }
}

}  // namespace

bool TcpSocket::IsOpen() const { return m_handle != -1; }

void TcpSocket::Close() {
    if (m_handle == -1) return;
    closesocket(Native(std::exchange(m_handle, -1)));
}

TcpSocket::Result TcpSocket::Connect(uint32_t address, uint16_t port, int64_t timeoutMicroseconds) {
    Close();
    if (!SocketWait::StartWinsock()) return Result::Failed;
    const SOCKET native = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (native == INVALID_SOCKET) return Result::Failed;
    TcpSocket candidate(static_cast<intptr_t>(native));
    u_long nonBlocking = 1;
    if (ioctlsocket(native, FIONBIO, &nonBlocking) != 0) return Result::Failed;

    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr.s_addr = htonl(address);
    if (connect(native, reinterpret_cast<const sockaddr*>(&peer), sizeof(peer)) != 0) {
        const int error = WSAGetLastError();
        if (error != WSAEWOULDBLOCK) return ConnectError(error);
        const SocketWait wait(timeoutMicroseconds);
        const SocketWait::Outcome ready = wait.Wait(native, SocketWait::Kind::Connected);
        if (ready == SocketWait::Outcome::TimedOut) return Result::TimedOut;
        if (ready == SocketWait::Outcome::Failed) return Result::Failed;
        int socketError = 0;
        int errorSize = sizeof(socketError);
        if (getsockopt(native, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&socketError), &errorSize) != 0) {
            return Result::Failed;
        }
        if (socketError != 0) return ConnectError(socketError);
    }
    *this = std::move(candidate);
    return Result::Ok;
}

TcpSocket::Result TcpSocket::SendAll(const void* data, size_t length, size_t* sent, int64_t timeoutMicroseconds) {
    size_t done = 0;
    Result result = m_handle == -1 ? Result::Failed : Result::Ok;
    const char* bytes = static_cast<const char*>(data);
    while (result == Result::Ok && done < length) {
        const size_t left = length - done;
        const int chunk = left > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(left);
        const int written = send(Native(m_handle), bytes + done, chunk, 0);
        if (written > 0) {
            done += static_cast<size_t>(written);
        } else if (written == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) {
            const SocketWait wait(timeoutMicroseconds);
            const SocketWait::Outcome ready = wait.Wait(Native(m_handle), SocketWait::Kind::Writable);
            if (ready == SocketWait::Outcome::TimedOut) result = Result::TimedOut;
            if (ready == SocketWait::Outcome::Failed) result = Result::Failed;
        } else {
            result = Result::Failed;
        }
    }
    if (sent != nullptr) *sent = done;
    return result;
}

TcpSocket::Result TcpSocket::Receive(void* buffer, size_t capacity, size_t* received, int64_t timeoutMicroseconds) {
    *received = 0;
    if (m_handle == -1 || capacity == 0) return Result::Failed;
    const int chunk = capacity > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(capacity);
    const SocketWait wait(timeoutMicroseconds);
    for (;;) {
        const int count = recv(Native(m_handle), static_cast<char*>(buffer), chunk, 0);
        if (count > 0) {
            *received = static_cast<size_t>(count);
            return Result::Ok;
        }
        if (count == 0) return Result::Closed;
        if (WSAGetLastError() != WSAEWOULDBLOCK) return Result::Failed;
        const SocketWait::Outcome ready = wait.Wait(Native(m_handle), SocketWait::Kind::Readable);
        if (ready == SocketWait::Outcome::TimedOut) return Result::TimedOut;
        if (ready == SocketWait::Outcome::Failed) return Result::Failed;
    }
}

bool TcpSocket::SetNoDelay(bool enable) {
    if (m_handle == -1) return false;
    const BOOL value = enable ? TRUE : FALSE;
    return setsockopt(Native(m_handle), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&value),
                      sizeof(value)) == 0;
}

bool TcpSocket::GetPeer(uint32_t* address, uint16_t* port) const {
    if (m_handle == -1) return false;
    sockaddr_in peer{};
    int size = sizeof(peer);
    if (getpeername(Native(m_handle), reinterpret_cast<sockaddr*>(&peer), &size) != 0) return false;
    if (peer.sin_family != AF_INET) return false;
    *address = ntohl(peer.sin_addr.s_addr);
    *port = ntohs(peer.sin_port);
    return true;
}

}  // namespace optivane::platform
