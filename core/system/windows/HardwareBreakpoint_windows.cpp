// Hardware breakpoints in live threads: a worker thread suspends each listed thread, edits its
// debug registers through the thread context and resumes it.
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/system/HardwareBreakpoint.h"
#include "core/system/internal/BreakpointRecord.h"
#include "core/windows/ScopedHandle.h"
#include "core/windows/WindowsApi.h"

namespace Quorvin {

namespace {

// Edits one thread, which the worker has suspended. Returns false when its context cannot be read
// or written.
bool EditThread(HardwareBreakpoint& breakpoint, HANDLE thread, uint32_t& threadSlot) {
    CONTEXT context;
    std::memset(&context, 0, sizeof(context));
    context.ContextFlags = CONTEXT_DEBUG_REGISTERS;
    // Writing back a context that was never read would zero every debug register of the thread.
    if (!GetThreadContext(thread, &context)) return false;
    DebugRegisters registers;
    registers.address[0] = context.Dr0;
    registers.address[1] = context.Dr1;
    registers.address[2] = context.Dr2;
    registers.address[3] = context.Dr3;
    registers.status = context.Dr6;
    registers.control = context.Dr7;
    if (breakpoint.removing != 0) {
        if (threadSlot == NoBreakpointSlot) return true;
        ClearBreakpoint(registers, threadSlot);
    } else {
        threadSlot = PlaceBreakpoint(registers, breakpoint.address, breakpoint.kind, breakpoint.size);
        if (threadSlot == NoBreakpointSlot) return true;  // all four slots taken: this thread is skipped
    }
    context.Dr0 = registers.address[0];
    context.Dr1 = registers.address[1];
    context.Dr2 = registers.address[2];
    context.Dr3 = registers.address[3];
    context.Dr6 = registers.status;
    context.Dr7 = registers.control;
    context.ContextFlags = CONTEXT_DEBUG_REGISTERS;
    return SetThreadContext(thread, &context) != 0;
}

DWORD WINAPI BreakpointWorker(void* parameter) {
    auto& breakpoint = *static_cast<HardwareBreakpoint*>(parameter);
    for (int32_t i = 0; i < breakpoint.threadCount; ++i) {
        const HANDLE thread = breakpoint.threads[i];
        uint32_t& threadSlot = breakpoint.threadSlots[i];
        // A thread that could not be suspended is not edited, and not resumed either: resuming it
        // would undo a suspension that belongs to someone else.
        if (SuspendThread(thread) == static_cast<DWORD>(-1)) {
            if (breakpoint.removing == 0) threadSlot = NoBreakpointSlot;
            continue;
        }
        const bool edited = EditThread(breakpoint, thread, threadSlot);
        if (breakpoint.removing == 0) {
            if (!edited) threadSlot = NoBreakpointSlot;
            if (threadSlot != NoBreakpointSlot) breakpoint.slot = threadSlot;
        }
        ResumeThread(thread);
    }
    breakpoint.done = 1;
    SetEvent(breakpoint.doneEvent);
    return 0;
}

// Runs the worker over the record and waits for it. Returns false when the event or the worker
// could not be created (nothing was edited) or the worker ended without finishing its list. On
// return no other thread uses the record.
bool RunWorker(HardwareBreakpoint& breakpoint) {
    ScopedHandle event(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!event) return false;
    breakpoint.done = 0;
    breakpoint.doneEvent = event.Get();
    ScopedHandle worker(CreateThread(nullptr, 0, &BreakpointWorker, &breakpoint, 0, nullptr));
    if (worker) {
        const HANDLE waitFor[2] = {event.Get(), worker.Get()};
        WaitForMultipleObjects(2, waitFor, FALSE, INFINITE);
        // The worker still reads the record while it signals; only its end makes the record free to
        // release. Its end also covers a worker that was stopped before it could signal.
        WaitForSingleObject(worker.Get(), INFINITE);
    }
    breakpoint.doneEvent = nullptr;
    return worker && breakpoint.done != 0;
}

}  // namespace

HardwareBreakpoint* SetHardwareBreakpoint(void* const* threads, int32_t count, BreakpointKind kind,
                                          BreakpointSize size, uint64_t address) {
    if (count < 0 || (count > 0 && threads == nullptr)) return nullptr;
    HardwareBreakpoint* const breakpoint =
        SystemPrivate::NewBreakpointRecord(threads, count, kind, size, address, 0);
    if (breakpoint == nullptr) return nullptr;
    if (!RunWorker(*breakpoint)) {
        std::free(breakpoint);
        return nullptr;
    }
    return breakpoint;
}

bool RemoveHardwareBreakpoint(HardwareBreakpoint* breakpoint) {
    if (breakpoint == nullptr) return false;
    breakpoint->removing = 1;
    if (!RunWorker(*breakpoint)) {
        breakpoint->removing = 0;
        return false;
    }
    std::free(breakpoint);
    return true;
}

}  // namespace Quorvin
