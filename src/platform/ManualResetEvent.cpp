#include "platform/ManualResetEvent.h"

#include <chrono>

namespace optivane::platform {

void ManualResetEvent::Set() {
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_set = true;
    }
    m_changed.notify_all();
}

void ManualResetEvent::Reset() {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_set = false;
}

bool ManualResetEvent::IsSet() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_set;
}

void ManualResetEvent::Wait() {
    std::unique_lock<std::mutex> guard(m_mutex);
    m_changed.wait(guard, [this] { return m_set; });
}

bool ManualResetEvent::WaitFor(uint32_t milliseconds) {
    std::unique_lock<std::mutex> guard(m_mutex);
    return m_changed.wait_for(guard, std::chrono::milliseconds(milliseconds), [this] { return m_set; });
}

}  // namespace optivane::platform
