// glibc: the allocation functions are replaced for the whole process and
// forward to glibc's own entries after counting. mmap is counted too, for
// memory mapped directly (as the host framework's touched buffers are); it
// goes to the kernel itself because glibc's own entry is private. Linked
// into the benchmark only, never into the module or the tests.
#include "HeapCounter.h"

#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
}

namespace {
std::atomic<uint64_t> g_allocations{0};

void Count() { g_allocations.fetch_add(1, std::memory_order_relaxed); }
}  // namespace

extern "C" {

void* malloc(size_t size) {
    Count();
    return __libc_malloc(size);
}

void* calloc(size_t count, size_t size) {
    Count();
    return __libc_calloc(count, size);
}

void* realloc(void* block, size_t size) {
    Count();
    return __libc_realloc(block, size);
}

void* memalign(size_t alignment, size_t size) {
    Count();
    return __libc_memalign(alignment, size);
}

void* aligned_alloc(size_t alignment, size_t size) {
    Count();
    return __libc_memalign(alignment, size);
}

int posix_memalign(void** block, size_t alignment, size_t size) {
    Count();
    if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0) return EINVAL;
    void* result = __libc_memalign(alignment, size);
    if (result == nullptr && size != 0) return ENOMEM;
    *block = result;
    return 0;
}

void* mmap(void* address, size_t length, int protection, int flags, int fd, off_t offset) {
    Count();
    return reinterpret_cast<void*>(syscall(SYS_mmap, address, length, protection, flags, fd, offset));
}

}  // extern "C"

namespace optivane::bench {

uint64_t HeapAllocations() { return g_allocations.load(std::memory_order_relaxed); }

}  // namespace optivane::bench
