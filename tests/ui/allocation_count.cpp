// Replaces the global operator new of the window tests' program with one that
// counts per thread; the array and no-throw forms come through it too.
#include "allocation_count.h"

#include <cstdlib>
#include <new>

namespace {
thread_local long t_allocations = 0;
}  // namespace

long zendra::test::allocationsOnThisThread() { return t_allocations; }

void* operator new(std::size_t size) {
    ++t_allocations;
    if (void* p = std::malloc(size != 0 ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
