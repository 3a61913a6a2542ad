#include "CountedAllocations.h"

#include <cstdlib>
#include <new>

thread_local bool CountedAllocations::counting = false;
thread_local std::size_t CountedAllocations::count = 0;

// The array forms call these by default.
void* operator new(std::size_t size)
{
    CountedAllocations::count += CountedAllocations::counting ? 1 : 0;
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}

void operator delete(void* block) noexcept
{
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept
{
    std::free(block);
}
