#pragma once

#include <cstddef>

// This test program replaces operator new to count what a thread allocates.
struct CountedAllocations {
    static thread_local bool counting;
    static thread_local std::size_t count;
};

// How many allocations `work` made on this thread.
template <class Work>
std::size_t allocationsDuring(Work&& work)
{
    CountedAllocations::count = 0;
    CountedAllocations::counting = true;
    work();
    CountedAllocations::counting = false;
    return CountedAllocations::count;
}
