#include "platform/TcpListener.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <utility>

#include "platform/windows/SocketWait.h"

namespace optivane::platform {

bool TcpListener::IsListening() const { return m_handle != -1; }

void TcpListener::Close() {
    if (m_handle == -1) return;
    closesocket(static_cast<SOCKET>(std::exchange(m_handle, -1)));
}

bool TcpListener::Listen(uint32_t address, uint16_t port, int backlog) {
    Close();
    if (!SocketWait::StartWinsock()) return false;
    const SOCKET native = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (native == INVALID_SOCKET) return false;
    u_long nonBlocking = 1;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(address);
    if (ioctlsocket(native, FIONBIO, &nonBlocking) != 0 ||
        bind(native, reinterpret_cast<const sockaddr*>(&local), sizeof(local)) != 0 ||
        listen(native, backlog) != 0) {
        closesocket(native);
        return false;
    }
    m_handle = static_cast<intptr_t>(native);
    return true;
}

uint16_t TcpListener::Port() const {
    if (m_handle == -1) return 0;
    sockaddr_in local{};
    int size = sizeof(local);
    if (getsockname(static_cast<SOCKET>(m_handle), reinterpret_cast<sockaddr*>(&local), &size) != 0) return 0;
    return ntohs(local.sin_port);
}

TcpSocket::Result TcpListener::Accept(TcpSocket* connection, int64_t timeoutMicroseconds) {
    if (m_handle == -1) return TcpSocket::Result::Failed;
    const SOCKET native = static_cast<SOCKET>(m_handle);
    const SocketWait wait(timeoutMicroseconds);
    for (;;) {
        // Accepted sockets inherit the listener's non-blocking mode.
        const SOCKET accepted = accept(native, nullptr, nullptr);
        if (accepted != INVALID_SOCKET) {
            *connection = TcpSocket(static_cast<intptr_t>(accepted));
            return TcpSocket::Result::Ok;
        }
        const int error = WSAGetLastError();
        if (error == WSAECONNRESET) continue;
        if (error != WSAEWOULDBLOCK) return TcpSocket::Result::Failed;
        const SocketWait::Outcome ready = wait.Wait(native, SocketWait::Kind::Readable);
        if (ready == SocketWait::Outcome::TimedOut) return TcpSocket::Result::TimedOut;
        if (ready == SocketWait::Outcome::Failed) return TcpSocket::Result::Failed;
    }
}

}  // namespace optivane::platform
