#include "alloc_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace bench {

namespace {
// Relaxed: the count is read on the thread that allocates, between runs.
std::atomic<std::uint64_t> g_allocations{0};

void* allocate(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    // malloc(0) may return nullptr; operator new must return a unique pointer.
    return std::malloc(size == 0 ? 1 : size);
}

void* allocateAligned(std::size_t size, std::align_val_t alignment) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    const auto align = static_cast<std::size_t>(alignment);
    // aligned_alloc wants a size that is a multiple of the alignment.
    const std::size_t rounded = (size + align - 1) / align * align;
    return std::aligned_alloc(align, rounded == 0 ? align : rounded);
}
}  // namespace

std::uint64_t allocationCount() { return g_allocations.load(std::memory_order_relaxed); }

}  // namespace bench

// The library's array and nothrow forms call these two, and its sized,
// array and nothrow releases call the two plain ones, so each allocation is
// counted once.
void* operator new(std::size_t size) {
    if (void* p = bench::allocate(size)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, std::align_val_t alignment) {
    if (void* p = bench::allocateAligned(size, alignment)) return p;
    throw std::bad_alloc();
}

// Both kinds of block come from the C heap, so one release serves all. The
// sized forms are defined too, as GCC asks of a program that replaces the
// unsized ones.
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
