#include "CHoldCount.h"

#include <limits>

namespace optivane {

HRESULT CHoldCount::Get(uint32_t* holders) const {
    if (holders == nullptr) return E_POINTER;
    *holders = Get();
    return S_OK;
}

HRESULT CHoldCount::Hold() {
    uint32_t count = m_count.load(std::memory_order_relaxed);
    do {
        if (count == std::numeric_limits<uint32_t>::max()) return E_UNEXPECTED;
    } while (!m_count.compare_exchange_weak(count, count + 1, std::memory_order_acq_rel, std::memory_order_relaxed));
    return S_OK;
}

HRESULT CHoldCount::Done() {
    uint32_t count = m_count.load(std::memory_order_relaxed);
    do {
        if (count == 0) return E_UNEXPECTED;
    } while (!m_count.compare_exchange_weak(count, count - 1, std::memory_order_acq_rel, std::memory_order_relaxed));
    return S_OK;
}

bool CHoldCount::Claim() {
    uint32_t expected = 0;
    return m_count.compare_exchange_strong(expected, 1, std::memory_order_acq_rel, std::memory_order_acquire);
}

}  // namespace optivane
