// Global allocation operators that can be told to fail every allocation.
#include "tests/support/AllocationFailure.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> Failing{false};
std::atomic<unsigned long> Refused{0};

void* Allocate(std::size_t size) {
    if (Failing.load(std::memory_order_relaxed)) {
        Refused.fetch_add(1, std::memory_order_relaxed);
        throw std::bad_alloc();
    }
    if (void* block = std::malloc(size != 0 ? size : 1)) return block;
    throw std::bad_alloc();
}

}  // namespace

namespace Quorvin::Testing {

void FailEveryAllocation(bool fail) noexcept { Failing.store(fail, std::memory_order_relaxed); }

unsigned long RefusedAllocations() noexcept { return Refused.load(std::memory_order_relaxed); }

}  // namespace Quorvin::Testing

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
