#include "platform/TcpListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/posix/PollDeadline.h"

namespace optivane::platform {

bool TcpListener::IsListening() const { return m_handle >= 0; }

void TcpListener::Close() {
    if (m_handle < 0) return;
    ::close(static_cast<int>(std::exchange(m_handle, -1)));
}

bool TcpListener::Listen(uint32_t address, uint16_t port, int backlog) {
    Close();
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    // A port in TIME_WAIT from an earlier run may be bound again at once.
    const int reuse = 1;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(address);
    if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof(reuse)) != 0 ||
        ::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof(local)) != 0 || ::listen(fd, backlog) != 0) {
        ::close(fd);
        return false;
    }
    m_handle = fd;
    return true;
}

uint16_t TcpListener::Port() const {
    if (m_handle < 0) return 0;
    sockaddr_in local{};
    socklen_t size = sizeof(local);
    if (::getsockname(static_cast<int>(m_handle), reinterpret_cast<sockaddr*>(&local), &size) != 0) return 0;
    return ntohs(local.sin_port);
}

TcpSocket::Result TcpListener::Accept(TcpSocket* connection, int64_t timeoutMicroseconds) {
    if (m_handle < 0) return TcpSocket::Result::Failed;
    const int fd = static_cast<int>(m_handle);
    PollDeadline deadline(timeoutMicroseconds);
    for (;;) {
        const int accepted = ::accept4(fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (accepted >= 0) {
            *connection = TcpSocket(accepted);
            return TcpSocket::Result::Ok;
        }
        // A connection that was reset while queued is gone; wait for the next.
        if (errno == EINTR || errno == ECONNABORTED) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return TcpSocket::Result::Failed;
        const PollDeadline::Outcome ready = deadline.Wait(fd, POLLIN);
        if (ready == PollDeadline::Outcome::TimedOut) return TcpSocket::Result::TimedOut;
        if (ready == PollDeadline::Outcome::Failed) return TcpSocket::Result::Failed;
    }
}

}  // namespace optivane::platform
