// The one allocation that holds a hardware-breakpoint record and its per-thread arrays, shared by
// the system backends.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/system/HardwareBreakpoint.h"

namespace Quorvin::SystemPrivate {

/// A new record for `count` threads (0 or more; `threads` may be null only when it is 0) in one
/// malloc block: the record, then the copied thread list, then the slots (all NoBreakpointSlot),
/// then `extraPerThread` bytes per thread that the backend owns (uninitialised, suitably aligned for
/// an int). Null when the memory cannot be had. Release it with std::free.
HardwareBreakpoint* NewBreakpointRecord(void* const* threads, int32_t count, BreakpointKind kind,
                                        BreakpointSize size, uint64_t address, size_t extraPerThread);

}  // namespace Quorvin::SystemPrivate
