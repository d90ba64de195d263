// Winsock start-up for the process and waits on one socket until a fixed
// deadline. Shared by the Windows socket classes. select() rather than
// WSAPoll: WSAPoll misses failed connects on older Windows 10.
#pragma once

#include <winsock2.h>

#include <chrono>
#include <cstdint>

namespace optivane::platform {

class SocketWait {
public:
    enum class Outcome { Ready, TimedOut, Failed };
    enum class Kind { Readable, Writable, Connected };

    // Starts Winsock once per process (it stays up until the process ends).
    static bool StartWinsock() {
        static const bool started = [] {
            WSADATA data{};
            return WSAStartup(MAKEWORD(2, 2), &data) == 0;
        }();
        return started;
    }

    // The deadline lies timeoutMicroseconds from now; a negative time-out counts as 0.
    explicit SocketWait(int64_t timeoutMicroseconds)
        : m_deadline(std::chrono::steady_clock::now() +
                     std::chrono::microseconds(timeoutMicroseconds > 0 ? timeoutMicroseconds : 0)) {}

    // Connected: ready when the connect ended, well (writable) or not
    // (reported in the exception set; SO_ERROR tells why).
    Outcome Wait(SOCKET socket, Kind kind) const {
        const auto left = m_deadline - std::chrono::steady_clock::now();
        const int64_t leftUs = left.count() <= 0 ? 0 : std::chrono::ceil<std::chrono::microseconds>(left).count();
        timeval limit{};
        limit.tv_sec = static_cast<long>(leftUs / 1000000);
        limit.tv_usec = static_cast<long>(leftUs % 1000000);
        fd_set readSet;
        fd_set writeSet;
        fd_set errorSet;
        FD_ZERO(&readSet);
        FD_ZERO(&writeSet);
        FD_ZERO(&errorSet);
        if (kind == Kind::Readable) FD_SET(socket, &readSet);
        if (kind != Kind::Readable) FD_SET(socket, &writeSet);
        if (kind == Kind::Connected) FD_SET(socket, &errorSet);
        const int count = select(0, &readSet, &writeSet, &errorSet, &limit);
        if (count == SOCKET_ERROR) return Outcome::Failed;
        if (count == 0) return Outcome::TimedOut;
        return Outcome::Ready;
    }

private:
    std::chrono::steady_clock::time_point m_deadline;
};

}  // namespace optivane::platform
