#pragma once

// Counts the heap allocations made by threads that ask for it. Linking the
// AllocationCounting library replaces the global allocation functions of the
// whole test binary, so a test that uses it is a binary of its own.

namespace TestSupport {

/// Starts counting this thread's allocations, from zero.
void startCountingAllocations();
/// Stops counting on this thread; returns the allocations made since the start.
long stopCountingAllocations();
/// Whether this thread counts.
bool countsAllocations();

/// The allocations that `body` makes on this thread.
template <class F>
long allocationsIn(F&& body)
{
    startCountingAllocations();
    body();
    return stopCountingAllocations();
}

}  // namespace TestSupport
