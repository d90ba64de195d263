#include "platform/TouchedMemory.h"

#include <sys/mman.h>

#include <utility>

namespace optivane::platform {

TouchedMemory::TouchedMemory(size_t size) {
    if (size == 0) return;
    // MAP_POPULATE has the kernel map every page now; anonymous pages come
    // zero-filled, so nothing needs writing.
    void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (block == MAP_FAILED) return;
    m_data = static_cast<uint8_t*>(block);
    m_size = size;
}

TouchedMemory::~TouchedMemory() { Free(); }

TouchedMemory::TouchedMemory(TouchedMemory&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0)) {}

TouchedMemory& TouchedMemory::operator=(TouchedMemory&& other) noexcept {
    if (this != &other) {
        Free();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

void TouchedMemory::Free() {
    if (m_data == nullptr) return;
    munmap(m_data, m_size);
    m_data = nullptr;
    m_size = 0;
}

}  // namespace optivane::platform
