// The process's global allocation operators, served by mimalloc.
//
// Only the plain and array forms are replaced; the C run time's malloc and free stay the run
// time's own. A failed allocation throws at once: no new-handler, no retry.
#include <mimalloc.h>

#include <cstddef>
#include <new>

namespace {

class BadAllocation final : public std::bad_alloc {
public:
    const char* what() const noexcept override { return "bad allocation"; }
};

void* Allocate(std::size_t size) {
    if (void* block = mi_malloc(size)) return block;
    throw BadAllocation();
}

void Release(void* block) noexcept {
    if (block != nullptr) mi_free(block);
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* block) noexcept { Release(block); }
void operator delete[](void* block) noexcept { Release(block); }
void operator delete(void* block, std::size_t) noexcept { Release(block); }
void operator delete[](void* block, std::size_t) noexcept { Release(block); }
