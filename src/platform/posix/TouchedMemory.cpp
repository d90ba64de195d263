#include "platform/TouchedMemory.h"

#include <sys/mman.h>
#include <unistd.h>

namespace optivane::platform {

TouchedMemory::TouchedMemory(size_t size) {
    if (size == 0) return;
    void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) return;
    // Pictures are large and swept end to end on every frame: huge pages
    // spare the TLB. Both calls are advice; a kernel that declines leaves
    // ordinary pages, which the write below still maps.
    madvise(block, size, MADV_HUGEPAGE);
    // Map every page now, in one call where the kernel can; anonymous pages
    // come zero-filled.
    if (madvise(block, size, MADV_POPULATE_WRITE) != 0) {
        const long page = sysconf(_SC_PAGESIZE);
        auto* bytes = static_cast<volatile uint8_t*>(block);
        for (size_t offset = 0; offset < size; offset += static_cast<size_t>(page)) bytes[offset] = 0;
    }
    m_data = static_cast<uint8_t*>(block);
    m_size = size;
}

void TouchedMemory::Free() {
    if (m_data == nullptr) return;
    munmap(m_data, m_size);
    m_data = nullptr;
    m_size = 0;
}

}  // namespace optivane::platform
