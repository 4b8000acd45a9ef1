// A switch that makes every C++ allocation of the program fail, for tests of code that must work
// with the heap exhausted. Link the object library Quorvin::allocation_failure into the test
// program: it replaces the global allocation operators with ones that throw std::bad_alloc while
// the switch is on and otherwise allocate with malloc.
#pragma once

namespace Quorvin::Testing {

/// Turns the failure of every operator new on or off (off at start); thread-safe.
void FailEveryAllocation(bool fail) noexcept;

/// Number of allocations refused since the program started.
unsigned long RefusedAllocations() noexcept;

/// Turns the failure on for the life of the object.
class ScopedAllocationFailure {
public:
    ScopedAllocationFailure() noexcept { FailEveryAllocation(true); }
    ~ScopedAllocationFailure() { FailEveryAllocation(false); }
    ScopedAllocationFailure(const ScopedAllocationFailure&) = delete;
    ScopedAllocationFailure& operator=(const ScopedAllocationFailure&) = delete;
};

}  // namespace Quorvin::Testing
