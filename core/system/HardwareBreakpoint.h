// Hardware breakpoints: a processor debug-register watch on one address (execution, write, or read
// or write of 1, 2, 4 or 8 bytes), placed into a list of threads of this process and removed again.
//
// Windows: the registers of a thread can only be edited while it is suspended, so each operation
// starts a short-lived worker thread that suspends each listed thread in turn, edits its debug
// registers and resumes it, while the calling thread waits. The caller may therefore list its own
// thread. Each thread takes the first of its four slots that is not enabled; a thread whose four
// slots are all taken is skipped (the others still get the breakpoint). Removal clears, in each
// thread, the slot that thread received, and nothing else. A hit raises EXCEPTION_SINGLE_STEP in
// the thread.
//
// Linux: the kernel owns the debug registers. Each listed thread gets a hardware-breakpoint perf
// event of its own (user space only, removed on exec), opened from the calling thread without
// stopping anyone; the kernel puts it in a free debug register of that thread, and a thread that
// has none left, or that is not a thread of this process, is skipped. Removal closes the events.
// A hit delivers SIGTRAP to the thread that made it, with si_code BreakpointTrapCode and si_addr
// the watched address (for execution, the instruction's); a program that sets breakpoints must
// handle SIGTRAP, or the first hit ends it. The kernel may refuse breakpoint events altogether
// (perf_event_paranoid above 2, a seccomp filter, no debug registers in a virtual machine); then
// nothing is placed.
//
// The register editing itself (PlaceBreakpoint, ClearBreakpoint) is portable and pure; placing and
// removing in live threads is x86-64 Windows and Linux.
//
// Thread-safety: two operations that edit the same threads must not overlap.
#pragma once

#include <cstdint>

namespace Quorvin {

/// What the processor watches for; the value picks the two-bit access field (RW).
enum class BreakpointKind : uint32_t {
    Execution = 0,  ///< RW 00: executing the instruction at the address (watch length must be 1 byte)
    ReadWrite = 1,  ///< RW 11: reading or writing data at the address
    Write = 2,      ///< RW 01: writing data at the address
};                  // any other value is treated as Execution

/// How many bytes are watched; the value picks the two-bit length field (LEN). Data watches must be
/// aligned to their length.
enum class BreakpointSize : uint32_t {
    Byte1 = 0,  ///< LEN 00
    Byte2 = 1,  ///< LEN 01
    Byte4 = 2,  ///< LEN 11
    Byte8 = 3,  ///< LEN 10
};              // any other value is treated as Byte1

/// Slot value of a thread that did not receive the breakpoint.
inline constexpr uint32_t NoBreakpointSlot = 0xFFFFFFFFu;

/// Linux: the si_code of the SIGTRAP that a hit delivers (the kernel's TRAP_PERF, which older C
/// libraries do not name).
inline constexpr int BreakpointTrapCode = 6;

/// The debug registers that breakpoints use: the four address registers, the status and the
/// control register (per slot n: local enable Ln at bit 2n, RWn at bits 16+4n..17+4n, LENn at bits
/// 18+4n..19+4n).
struct DebugRegisters {
    uint64_t address[4] = {};  ///< Dr0 to Dr3
    uint64_t status = 0;       ///< Dr6
    uint64_t control = 0;      ///< Dr7
};

///@{
/// The two-bit access and length codes of a kind and a size.
uint32_t BreakpointAccessCode(BreakpointKind kind) noexcept;
uint32_t BreakpointLengthCode(BreakpointSize size) noexcept;
///@}

/// Places a watch in the first slot (0, 1, 2, 3) whose local-enable bit is clear: stores `address`
/// in its register, clears the status, replaces the slot's RW and LEN fields and sets its enable
/// bit, changing no other control bit. Returns the slot, or NoBreakpointSlot with `registers`
/// unchanged when all four slots are enabled.
uint32_t PlaceBreakpoint(DebugRegisters& registers, uint64_t address, BreakpointKind kind,
                         BreakpointSize size) noexcept;

/// Disables `slot`: clears its address register and its local-enable bit; its RW and LEN fields
/// and the status are left as they are. A slot outside 0-3 changes nothing.
void ClearBreakpoint(DebugRegisters& registers, uint32_t slot) noexcept;

/// One placed breakpoint. Created by SetHardwareBreakpoint, owned by the caller until it is passed
/// to RemoveHardwareBreakpoint, which releases it. The thread handles stay the caller's and must
/// stay open while the record is in use.
///
/// On Linux the listed threads are thread ids (gettid() values, carried as pointers:
/// `reinterpret_cast<void*>(intptr_t{tid})`), and the kernel, not this record, knows which debug
/// register a thread's watch took: `threadSlots` holds 0 for each thread that received the watch and
/// `slot` is 0. No worker runs, so `doneEvent` stays null. The record's allocation continues after
/// `threadSlots` with one event descriptor per thread (-1 where there is none), which removal
/// closes.
struct HardwareBreakpoint {
    uint64_t address = 0;       ///< the watched or executed address
    void* doneEvent = nullptr;  ///< the worker's completion event while an operation runs, else null
    BreakpointKind kind = BreakpointKind::Execution;  ///< what access triggers it
    BreakpointSize size = BreakpointSize::Byte1;      ///< how many bytes it covers
    uint32_t slot = 0;                ///< the slot received by the last listed thread that received one
    uint32_t removing = 0;            ///< 1 while removing, 0 while placing
    uint32_t done = 0;                ///< set once the whole list has been gone through
    int32_t threadCount = 0;          ///< number of listed threads
    void** threads = nullptr;         ///< threadCount handles (Linux: thread ids), copied from the caller
    uint32_t* threadSlots = nullptr;  ///< per thread: the slot it received, or NoBreakpointSlot
};

/// Places the breakpoint in each of the `count` threads of `threads`.
///
/// Windows: real handles with the rights to suspend, resume, get and set the context (the
/// current-thread pseudo-handle would name the worker). A thread that cannot be suspended or
/// edited, or whose four slots are taken, is skipped. Returns the new record, or null (nothing
/// placed, nothing left running) when the worker could not be started or a negative count was
/// given.
///
/// Linux: thread ids of this process (the caller's own included). A thread whose event cannot be
/// opened (it has ended, is not in this process, or has no free debug register) is skipped. Returns
/// the new record, or null with errno saying why (nothing placed) for a negative count, a null list
/// with a positive count, a failed allocation, or when the kernel refuses the breakpoint itself:
/// EACCES or EPERM (not allowed), ENOENT, ENODEV, EOPNOTSUPP or ENOSYS (no breakpoint events), EINVAL
/// (an address or length it does not accept, such as a data watch not aligned to its length).
/// Execution watches cover one instruction whatever `size` says.
HardwareBreakpoint* SetHardwareBreakpoint(void* const* threads, int32_t count, BreakpointKind kind,
                                          BreakpointSize size, uint64_t address);

/// Clears the breakpoint from each thread that received it, in the slot that thread received, and
/// releases the record. Returns false for null, and false with the record kept (still the caller's,
/// nothing changed) when the worker could not be started (Windows); otherwise true. On Linux,
/// closing the events cannot fail: only null gives false.
bool RemoveHardwareBreakpoint(HardwareBreakpoint* breakpoint);

}  // namespace Quorvin
