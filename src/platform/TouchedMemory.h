// A zero-filled memory block whose pages are mapped and touched when it is
// made, so that the first use does not pay for fresh pages.
#pragma once

#include <cstddef>
#include <cstdint>

namespace optivane::platform {

class TouchedMemory {
public:
    TouchedMemory() = default;
    // Empty (null data) when the memory could not be had.
    explicit TouchedMemory(size_t size);
    ~TouchedMemory();
    TouchedMemory(TouchedMemory&& other) noexcept;
    TouchedMemory& operator=(TouchedMemory&& other) noexcept;
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
