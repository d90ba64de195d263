// Replaces the global allocation functions of the whole test program (and so
// of the library it loads) to count them; nothing here is over-aligned.
#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<size_t> g_allocations{0};

void* Allocate(size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size == 0 ? 1 : size);
}
void* OrThrow(void* block) { return block != nullptr ? block : throw std::bad_alloc(); }
}  // namespace

namespace optivane::test {
size_t AllocationCount() { return g_allocations.load(); }
}  // namespace optivane::test

void* operator new(size_t size) { return OrThrow(Allocate(size)); }
void* operator new[](size_t size) { return OrThrow(Allocate(size)); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, size_t) noexcept { std::free(block); }
void operator delete[](void* block, size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
