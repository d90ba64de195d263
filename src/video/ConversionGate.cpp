#include "video/ConversionGate.h"

#include <algorithm>

namespace optivane {

int ConversionGate::WidthFor(int cores, int openCvThreads, int ringSize) {
    if (openCvThreads <= 1) return ringSize;
    return std::clamp(cores / openCvThreads, 1, ringSize);
}

int64_t ConversionGate::Issue() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_issued++;
}

void ConversionGate::Restart(int width) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_issued = 0;
    m_nextTicket = 0;
    m_running = 0;
    m_width = std::max(1, width);
    m_abandoned = false;
}

void ConversionGate::Abandon() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_abandoned = true;
    }
    m_changed.notify_all();
}

void ConversionGate::Take(int64_t ticket) {
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [&] { return m_abandoned || (ticket == m_nextTicket && m_running < m_width); });
        m_nextTicket = std::max(m_nextTicket, ticket + 1);
        ++m_running;
    }
    // The next ticket may start beside this one when the width allows.
    m_changed.notify_all();
}

void ConversionGate::Give() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_running > 0) --m_running;
    }
    m_changed.notify_all();
}

void ConversionGate::Pass(int64_t ticket) {
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [&] { return m_abandoned || ticket == m_nextTicket; });
        m_nextTicket = std::max(m_nextTicket, ticket + 1);
    }
    m_changed.notify_all();
}

}  // namespace optivane
