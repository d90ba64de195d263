// A zero-filled memory block whose pages are mapped and touched when it is
// made, so that the first use does not pay for fresh pages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

namespace optivane::platform {

class TouchedMemory {
public:
    TouchedMemory() = default;
    // Empty (null data) when the memory could not be had.
    explicit TouchedMemory(size_t size);
    ~TouchedMemory() { Free(); }
    TouchedMemory(TouchedMemory&& other) noexcept
        : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0)) {}
    TouchedMemory& operator=(TouchedMemory&& other) noexcept {
        if (this != &other) {
            Free();
            m_data = std::exchange(other.m_data, nullptr);
            m_size = std::exchange(other.m_size, 0);
        }
        return *this;
    }
    TouchedMemory(const TouchedMemory&) = delete;
    TouchedMemory& operator=(const TouchedMemory&) = delete;

    uint8_t* Data() const { return m_data; }
    size_t Size() const { return m_size; }

private:
    void Free();

    uint8_t* m_data = nullptr;
    size_t m_size = 0;
};

}  // namespace optivane::platform
