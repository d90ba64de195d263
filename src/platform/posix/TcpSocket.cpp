#include "platform/TcpSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/posix/PollDeadline.h"

namespace optivane::platform {

namespace {

int Descriptor(intptr_t handle) { return static_cast<int>(handle); }

TcpSocket::Result ConnectError(int error) {
    switch (error) {
        case ECONNREFUSED:
            return TcpSocket::Result::Refused;
        case ETIMEDOUT:
            return TcpSocket::Result::TimedOut;
        default:
            return TcpSocket::Result::Failed;
    }
}

}  // namespace

bool TcpSocket::IsOpen() const { return m_handle >= 0; }

void TcpSocket::Close() {
    if (m_handle < 0) return;
    // close() releases the descriptor even when it reports an error; retrying
    // could close a descriptor that another thread has just been given.
    ::close(Descriptor(std::exchange(m_handle, -1)));
}

TcpSocket::Result TcpSocket::Connect(uint32_t address, uint16_t port, int64_t timeoutMicroseconds) {
    Close();
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return Result::Failed;
    TcpSocket candidate(fd);

    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr.s_addr = htonl(address);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof(peer)) != 0) {
        // A non-blocking connect interrupted by a signal goes on in the
        // background, like one in progress.
        if (errno != EINPROGRESS && errno != EINTR) return ConnectError(errno);
        PollDeadline deadline(timeoutMicroseconds);
        const PollDeadline::Outcome ready = deadline.Wait(fd, POLLOUT);
        if (ready == PollDeadline::Outcome::TimedOut) return Result::TimedOut;
        if (ready == PollDeadline::Outcome::Failed) return Result::Failed;
        int error = 0;
        socklen_t errorSize = sizeof(error);
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &errorSize) != 0) return Result::Failed;
        if (error != 0) return ConnectError(error);
    }
    *this = std::move(candidate);
    return Result::Ok;
}

TcpSocket::Result TcpSocket::SendAll(const void* data, size_t length, size_t* sent, int64_t timeoutMicroseconds) {
    size_t done = 0;
    Result result = Result::Ok;
    const char* bytes = static_cast<const char*>(data);
    if (m_handle < 0) result = Result::Failed;
    while (result == Result::Ok && done < length) {
        const ssize_t written = ::send(Descriptor(m_handle), bytes + done, length - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (written > 0) {
            done += static_cast<size_t>(written);
        } else if (written < 0 && errno == EINTR) {
            continue;
        } else if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            PollDeadline deadline(timeoutMicroseconds);
            const PollDeadline::Outcome ready = deadline.Wait(Descriptor(m_handle), POLLOUT);
            if (ready == PollDeadline::Outcome::TimedOut) result = Result::TimedOut;
            if (ready == PollDeadline::Outcome::Failed) result = Result::Failed;
        } else {
            result = Result::Failed;
        }
    }
    if (sent != nullptr) *sent = done;
    return result;
}

TcpSocket::Result TcpSocket::Receive(void* buffer, size_t capacity, size_t* received, int64_t timeoutMicroseconds) {
    *received = 0;
    if (m_handle < 0 || capacity == 0) return Result::Failed;
    const int fd = Descriptor(m_handle);
    PollDeadline deadline(timeoutMicroseconds);
    for (;;) {
        const ssize_t count = ::recv(fd, buffer, capacity, MSG_DONTWAIT);
        if (count > 0) {
            *received = static_cast<size_t>(count);
            return Result::Ok;
        }
        if (count == 0) return Result::Closed;
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return Result::Failed;
        // One deadline for the whole call: a wake-up without data (a
        // spurious one, or data taken by someone else) does not extend it.
        const PollDeadline::Outcome ready = deadline.Wait(fd, POLLIN);
        if (ready == PollDeadline::Outcome::TimedOut) return Result::TimedOut;
        if (ready == PollDeadline::Outcome::Failed) return Result::Failed;
    }
}

bool TcpSocket::SetNoDelay(bool enable) {
    if (m_handle < 0) return false;
    const int value = enable ? 1 : 0;
    return ::setsockopt(Descriptor(m_handle), IPPROTO_TCP, TCP_NODELAY, &value, sizeof(value)) == 0;
}

bool TcpSocket::GetPeer(uint32_t* address, uint16_t* port) const {
    if (m_handle < 0) return false;
    sockaddr_in peer{};
    socklen_t size = sizeof(peer);
    if (::getpeername(Descriptor(m_handle), reinterpret_cast<sockaddr*>(&peer), &size) != 0) return false;
    if (peer.sin_family != AF_INET) return false;
    *address = ntohl(peer.sin_addr.s_addr);
    *port = ntohs(peer.sin_port);
    return true;
}

}  // namespace optivane::platform
