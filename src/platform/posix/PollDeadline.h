// Waits on one descriptor with poll() until a fixed deadline, across signal
// interruptions and however many waits a call needs. Shared by the POSIX
// socket classes.
#pragma once

#include <poll.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>

namespace optivane::platform {

class PollDeadline {
public:
    enum class Outcome { Ready, TimedOut, Failed };

    // The deadline lies timeoutMicroseconds from now; a negative time-out counts as 0.
    explicit PollDeadline(int64_t timeoutMicroseconds)
        : m_deadline(std::chrono::steady_clock::now() +
                     std::chrono::microseconds(timeoutMicroseconds > 0 ? timeoutMicroseconds : 0)) {}

    // Ready when fd reports one of events, or an error or hang-up that the
    // next call on it will report itself.
    Outcome Wait(int fd, short events) const {
        for (;;) {
            const auto left = m_deadline - std::chrono::steady_clock::now();
            // Round up so that a wait never ends before the deadline.
            const int64_t leftMs =
                left.count() <= 0 ? 0 : std::chrono::ceil<std::chrono::milliseconds>(left).count();
            pollfd entry{fd, events, 0};
            const int count = ::poll(&entry, 1, leftMs > INT_MAX ? INT_MAX : static_cast<int>(leftMs));
            if (count < 0) {
                if (errno == EINTR) continue;
                return Outcome::Failed;
            }
            if (count == 0) {
                if (leftMs > INT_MAX) continue;
                return Outcome::TimedOut;
            }
            if ((entry.revents & POLLNVAL) != 0) return Outcome::Failed;
            return Outcome::Ready;
        }
    }

private:
    std::chrono::steady_clock::time_point m_deadline;
};

}  // namespace optivane::platform
