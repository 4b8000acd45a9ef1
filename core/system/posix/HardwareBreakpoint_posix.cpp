// Hardware breakpoints on Linux: one kernel breakpoint event per listed thread, which the kernel
// puts in a debug register of that thread and which turns each hit into a SIGTRAP to it.
#include <errno.h>
#include <linux/hw_breakpoint.h>
#include <linux/perf_event.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "core/system/HardwareBreakpoint.h"
#include "core/system/internal/BreakpointRecord.h"

namespace Quorvin {
namespace {

// The event descriptors follow the slots in the record's allocation: one per listed thread, -1
// where the thread did not receive the breakpoint.
int* EventsOf(HardwareBreakpoint& breakpoint) {
    return reinterpret_cast<int*>(breakpoint.threadSlots + breakpoint.threadCount);
}

perf_event_attr BreakpointEvent(BreakpointKind kind, BreakpointSize size, uint64_t address) {
    perf_event_attr attr{};
    attr.type = PERF_TYPE_BREAKPOINT;
    attr.size = sizeof(attr);
    attr.bp_addr = address;
    switch (kind) {
    case BreakpointKind::Write: attr.bp_type = HW_BREAKPOINT_W; break;
    case BreakpointKind::ReadWrite: attr.bp_type = HW_BREAKPOINT_RW; break;
    default: attr.bp_type = HW_BREAKPOINT_X; break;
    }
    if (attr.bp_type == HW_BREAKPOINT_X) {
        attr.bp_len = sizeof(long);  // the kernel's way of asking for one instruction on x86-64
    } else {
        switch (size) {
        case BreakpointSize::Byte2: attr.bp_len = HW_BREAKPOINT_LEN_2; break;
        case BreakpointSize::Byte4: attr.bp_len = HW_BREAKPOINT_LEN_4; break;
        case BreakpointSize::Byte8: attr.bp_len = HW_BREAKPOINT_LEN_8; break;
        default: attr.bp_len = HW_BREAKPOINT_LEN_1; break;
        }
    }
    attr.sample_period = 1;  // every hit
    attr.exclude_kernel = 1;
    attr.exclude_hv = 1;
    attr.sigtrap = 1;
    attr.remove_on_exec = 1;  // the kernel asks this of every event that sends signals
    attr.sig_data = address;
    return attr;
}

// A thread id of this process, or -1. Thread id 0 would name the calling thread and -1 every
// process, so neither reaches the kernel; nor does a thread of another process, which a
// privileged caller could otherwise give a breakpoint that kills it.
pid_t ThreadOfThisProcess(void* thread) {
    const auto id = reinterpret_cast<intptr_t>(thread);
    if (id <= 0 || id > INT_MAX) return -1;
    const auto tid = static_cast<pid_t>(id);
    if (syscall(SYS_tgkill, getpid(), tid, 0) != 0) return -1;
    return tid;
}

// Errors that do not depend on the thread: the kernel refuses this breakpoint everywhere (no
// breakpoint events, not allowed, or an address or length it does not accept).
bool RefusedEverywhere(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
    case ENOENT:
    case ENODEV:
    case EOPNOTSUPP:
    case ENOSYS:
    case EINVAL:
    case E2BIG:
    case EFAULT: return true;
    default: return false;
    }
}

void CloseEvents(HardwareBreakpoint& breakpoint) {
    int* events = EventsOf(breakpoint);
    for (int32_t i = 0; i < breakpoint.threadCount; ++i) {
        if (events[i] >= 0) close(events[i]);
        events[i] = -1;
    }
}

}  // namespace

HardwareBreakpoint* SetHardwareBreakpoint(void* const* threads, int32_t count, BreakpointKind kind,
                                          BreakpointSize size, uint64_t address) {
    if (count < 0 || (count > 0 && threads == nullptr)) {
        errno = EINVAL;
        return nullptr;
    }
    const auto listed = static_cast<size_t>(count);
    HardwareBreakpoint* const breakpoint =
        SystemPrivate::NewBreakpointRecord(threads, count, kind, size, address, sizeof(int));
    if (breakpoint == nullptr) {
        errno = ENOMEM;
        return nullptr;
    }
    int* events = EventsOf(*breakpoint);
    for (size_t i = 0; i < listed; ++i) events[i] = -1;

    perf_event_attr attr = BreakpointEvent(kind, size, address);
    for (size_t i = 0; i < listed; ++i) {
        const pid_t thread = ThreadOfThisProcess(threads[i]);
        if (thread < 0) continue;
        const long event = syscall(SYS_perf_event_open, &attr, thread, -1, -1, PERF_FLAG_FD_CLOEXEC);
        if (event < 0) {
            const int error = errno;
            if (!RefusedEverywhere(error)) continue;  // this thread only: it ended, or its slots are taken
            CloseEvents(*breakpoint);
            std::free(breakpoint);
            errno = error;
            return nullptr;
        }
        // The id is checked again now that the event holds its thread: had the thread ended and
        // its id gone to another process in between, the event would watch that process.
        if (syscall(SYS_tgkill, getpid(), thread, 0) != 0) {
            close(static_cast<int>(event));
            continue;
        }
        events[i] = static_cast<int>(event);
        // The kernel picks the debug register and does not say which: 0 marks a thread that has one.
        breakpoint->threadSlots[i] = 0;
        breakpoint->slot = 0;
    }
    breakpoint->done = 1;
    return breakpoint;
}

bool RemoveHardwareBreakpoint(HardwareBreakpoint* breakpoint) {
    if (breakpoint == nullptr) return false;
    breakpoint->removing = 1;
    // Closing the last descriptor of an event takes it out of its thread before close returns.
    CloseEvents(*breakpoint);
    std::free(breakpoint);
    return true;
}

}  // namespace Quorvin
