// Committed, readable and writable pages straight from the operating system, for large buffers.
//
// Allocation rides out short memory shortages by retrying; any other refusal by the system is a
// programming error and fails an ensure check. On Windows the pages come from the virtual-memory
// manager; on Linux from anonymous mappings, of which a record is kept so that ReleasePages never
// unmaps memory that AllocatePages did not map.
//
// Thread-safety: no shared state; safe from any thread.
#pragma once

#include <cstdint>

namespace Quorvin {

/// Commits a new region of at least `size` bytes (rounded up to whole pages by the system) and
/// returns its first byte. Makes up to 10 attempts, sleeping 50 ms after each one that fails for
/// lack of memory, and returns null when memory stayed short through all of them. Any other
/// failure (a size of 0, for one) fails the ensure check "addr" with the system's error code kept
/// as the thread's last error (errno on Linux); it does not return.
void* AllocatePages(uint64_t size);

/// Releases the region that starts at `address`, and the regions that follow it back to back while
/// `size` reaches beyond them: regions from several AllocatePages calls that happen to be adjacent
/// can be released by one call over the whole range. Returns 0 when everything was released, -1
/// when nothing was: `address` is not the start of an allocation, or the range covers memory that
/// is not such a region. A size that ends inside a region still releases the whole region.
int32_t ReleasePages(void* address, uint64_t size);

/// True for exactly the Windows error codes that mean memory is short: 8 (not enough memory),
/// 635 (commitment minimum), 1454 (page-file quota) and 1455 (commitment limit).
constexpr bool IsOutOfMemoryError(uint32_t errorCode) noexcept {
    return errorCode == 8 || errorCode == 635 || errorCode == 1454 || errorCode == 1455;
}

}  // namespace Quorvin
