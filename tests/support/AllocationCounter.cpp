#include "AllocationCounter.h"

#include <cstdlib>
#include <new>

// Replacement allocation functions must take from malloc and give back with free: no container
// or smart pointer can stand in for the heap itself.
// NOLINTBEGIN(cppcoreguidelines-no-malloc)

namespace {
thread_local bool t_counting = false;
thread_local long t_allocations = 0;

void* countedAllocation(std::size_t size) noexcept
{
    if (t_counting) {
        ++t_allocations;
    }
    return std::malloc(size == 0 ? 1 : size);
}
}  // namespace

namespace TestSupport {

void startCountingAllocations()
{
    t_allocations = 0;
    t_counting = true;
}

long stopCountingAllocations()
{
    t_counting = false;
    return t_allocations;
}

bool countsAllocations()
{
    return t_counting;
}

}  // namespace TestSupport

void* operator new(std::size_t size)
{
    if (void* p = countedAllocation(size)) {
        return p;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size)
{
    return operator new(size);
}
// NatNetLib allocates its client with new (std::nothrow): the same heap.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return countedAllocation(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return countedAllocation(size);
}
// Every replaced new takes from malloc, so free is the matching release (gcc cannot
// see that through the replacement).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}
#pragma GCC diagnostic pop

// NOLINTEND(cppcoreguidelines-no-malloc)
