// The hold count of an image or raw sample: how many users are working with
// the object. A pool hands an object out only at count 0, so Done publishes
// (release) everything the user wrote, and whoever sees the count drop
// (acquire) sees those writes. Safe to use from any thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "optivane/com.h"

namespace optivane {

class CHoldCount {
public:
    CHoldCount() = default;
    CHoldCount(const CHoldCount&) = delete;
    CHoldCount& operator=(const CHoldCount&) = delete;

    uint32_t Get() const { return m_count.load(std::memory_order_acquire); }
    HRESULT Get(uint32_t* holders) const;
    // One more holder; E_UNEXPECTED when the count cannot grow further.
    HRESULT Hold();
    // One holder less; E_UNEXPECTED (count unchanged) when no one held it.
    HRESULT Done();
    // 0 to 1 for the first user after a pool take; false when it was not 0.
    bool Claim();

private:
    std::atomic<uint32_t> m_count{0};
};

}  // namespace optivane
