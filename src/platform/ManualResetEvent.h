// An event that stays set until reset; every waiter wakes while it is set.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace optivane::platform {

class ManualResetEvent {
public:
    explicit ManualResetEvent(bool initiallySet = false) : m_set(initiallySet) {}
    ManualResetEvent(const ManualResetEvent&) = delete;
    ManualResetEvent& operator=(const ManualResetEvent&) = delete;

    void Set();
    void Reset();
    bool IsSet() const;
    // Waits without a time limit.
    void Wait();
    // Waits at most the given milliseconds; true when the event was set.
    bool WaitFor(uint32_t milliseconds);

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_set;
};

}  // namespace optivane::platform
