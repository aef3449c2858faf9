// Replaces the global operator new of the window tests' program with one that
// counts per thread. Every unaligned form, plain, array and no-throw, is
// replaced together with its delete: a form left to the runtime would pair its
// allocation with our free (a mismatch the address sanitizer reports).
#include "allocation_count.h"

#include <cstdlib>
#include <new>

namespace {
thread_local long t_allocations = 0;

void* allocate(std::size_t size) noexcept {
    ++t_allocations;
    return std::malloc(size != 0 ? size : 1);
}
void* allocateOrThrow(std::size_t size) {
    if (void* p = allocate(size)) return p;
    throw std::bad_alloc();
}
}  // namespace

long zendra::test::allocationsOnThisThread() { return t_allocations; }

void* operator new(std::size_t size) { return allocateOrThrow(size); }
void* operator new[](std::size_t size) { return allocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
