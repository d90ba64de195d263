#include "platform/TouchedMemory.h"

#include <windows.h>

namespace optivane::platform {

TouchedMemory::TouchedMemory(size_t size) {
    if (size == 0) return;
    void* block = VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (block == nullptr) return;
    // Committed pages are zero-filled but mapped on first access: touch one
    // byte of each page now.
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    volatile uint8_t* bytes = static_cast<volatile uint8_t*>(block);
    for (size_t offset = 0; offset < size; offset += system.dwPageSize) bytes[offset] = 0;
    m_data = static_cast<uint8_t*>(block);
    m_size = size;
}

void TouchedMemory::Free() {
    if (m_data == nullptr) return;
    VirtualFree(m_data, 0, MEM_RELEASE);
    m_data = nullptr;
    m_size = 0;
}

}  // namespace optivane::platform
