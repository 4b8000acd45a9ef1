// Tests of hardware breakpoints on Windows: real watches in live threads caught by a vectored
// exception handler.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "core/base/Compiler.h"
#include "core/system/HardwareBreakpoint.h"
#include "core/windows/WindowsApi.h"
#include "tests/support/DebugRegisterModel.h"

namespace Quorvin {
namespace {

using Testing::Dr7::Enabled;
using Testing::Dr7::Field;

// Single-step exceptions counted per registered thread by a vectored handler.
struct HitCounter {
    std::atomic<DWORD> thread{0};
    std::atomic<int> hits{0};
};
HitCounter counters[4];
std::atomic<void*> lastExceptionAddress{nullptr};

LONG CALLBACK CountSingleSteps(EXCEPTION_POINTERS* exception) {
    if (exception->ExceptionRecord->ExceptionCode != EXCEPTION_SINGLE_STEP) return EXCEPTION_CONTINUE_SEARCH;
    for (HitCounter& counter : counters) {
        // A runaway (the resume flag below not honoured) disables the thread's watches, so that
        // the test fails on its counts instead of hanging.
        if (counter.thread == GetCurrentThreadId() && ++counter.hits > 100) exception->ContextRecord->Dr7 = 0;
    }
    lastExceptionAddress = exception->ExceptionRecord->ExceptionAddress;
    // An execution breakpoint is a fault: resume past it once, or it would fire again at once.
    exception->ContextRecord->EFlags |= 0x10000;
    return EXCEPTION_CONTINUE_EXECUTION;
}

int HitsOf(DWORD thread) {
    for (HitCounter& counter : counters)
        if (counter.thread == thread) return counter.hits;
    return -1;
}

HANDLE OpenThreadForBreakpoints(DWORD id) {
    return OpenThread(
        THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT | THREAD_SET_CONTEXT | THREAD_QUERY_INFORMATION, FALSE,
        id);
}

// A second thread that runs what it is handed, one call at a time, and otherwise waits.
class Helper {
public:
    Helper() {
        thread_ = std::thread([this] { Run(); });
        Call([this] { id_ = GetCurrentThreadId(); });
        handle_ = OpenThreadForBreakpoints(id_);
    }
    ~Helper() {
        Call(nullptr);
        thread_.join();
        CloseHandle(handle_);
    }
    void Call(std::function<void()> task) {
        std::unique_lock lock(mutex_);
        task_ = std::move(task);
        pending_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return !pending_; });
    }
    HANDLE Handle() const { return handle_; }
    DWORD Id() const { return id_; }
    DebugRegisters Registers() const {
        DebugRegisters registers;
        CONTEXT context{};
        context.ContextFlags = CONTEXT_DEBUG_REGISTERS;
        SuspendThread(handle_);
        EXPECT_TRUE(GetThreadContext(handle_, &context));
        ResumeThread(handle_);
        registers.address[0] = context.Dr0;
        registers.address[1] = context.Dr1;
        registers.address[2] = context.Dr2;
        registers.address[3] = context.Dr3;
        registers.status = context.Dr6;
        registers.control = context.Dr7;
        return registers;
    }

private:
    void Run() {
        for (;;) {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return pending_; });
            if (!task_) {
                pending_ = false;
                changed_.notify_all();
                return;
            }
            task_();
            pending_ = false;
            changed_.notify_all();
        }
    }

    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::function<void()> task_;
    bool pending_ = false;
    DWORD id_ = 0;
    HANDLE handle_ = nullptr;
};

alignas(8) volatile uint64_t probeQuad = 0;

// Whether this machine turns debug registers into traps at all: some virtual machines keep the
// registers' values but never raise the exception. Asked once, with the handler installed.
bool TrapsDelivered(HANDLE self) {
    static const bool delivered = [self] {
        counters[3].thread = GetCurrentThreadId();
        counters[3].hits = 0;
        void* threads[] = {self};
        HardwareBreakpoint* probe =
            SetHardwareBreakpoint(threads, 1, BreakpointKind::Write, BreakpointSize::Byte8,
                                  reinterpret_cast<uintptr_t>(&probeQuad));
        probeQuad = 1;
        RemoveHardwareBreakpoint(probe);
        counters[3].thread = 0;
        return counters[3].hits == 1;
    }();
    return delivered;
}

class HardwareBreakpointLive : public testing::Test {
protected:
    void SetUp() override {
        handler_ = AddVectoredExceptionHandler(1, &CountSingleSteps);
        self_ = OpenThreadForBreakpoints(GetCurrentThreadId());
        ASSERT_NE(self_, nullptr);
        traps_ = TrapsDelivered(self_);
        for (HitCounter& counter : counters) {
            counter.thread = 0;
            counter.hits = 0;
        }
        Register(0, GetCurrentThreadId());
    }
    void TearDown() override {
        RemoveVectoredExceptionHandler(handler_);
        CloseHandle(self_);
    }
    static void Register(int index, DWORD thread) { counters[index].thread = thread; }
    void SkipWithoutTraps() const {
        if (!traps_) GTEST_SKIP() << "this machine keeps debug registers but raises no traps for them";
    }
    // The calling thread's own registers.
    static DebugRegisters OwnRegisters() {
        CONTEXT context{};
        context.ContextFlags = CONTEXT_DEBUG_REGISTERS;
        EXPECT_TRUE(GetThreadContext(GetCurrentThread(), &context));
        DebugRegisters registers;
        registers.address[0] = context.Dr0;
        registers.control = context.Dr7;
        return registers;
    }

    void* handler_ = nullptr;
    HANDLE self_ = nullptr;
    bool traps_ = false;
};

// Hits are checked where the machine raises debug traps; elsewhere only the registers are, and
// the test ends as skipped.
#define EXPECT_HITS(thread, count)            \
    do {                                      \
        if (traps_) {                         \
            EXPECT_EQ(HitsOf(thread), count); \
        }                                     \
    } while (false)

alignas(8) volatile uint64_t watchedQuad = 0;
alignas(8) volatile uint32_t watchedWord = 0;
alignas(8) volatile uint32_t otherWord = 0;

QUORVIN_NOINLINE int WatchedFunction(int value) {
    // Not foldable into the caller, and with a body the breakpoint address can point into.
    static volatile int sink = 0;
    sink = sink + value;
    return sink;
}

uint64_t AddressOf(const volatile void* variable) { return reinterpret_cast<uintptr_t>(variable); }

TEST_F(HardwareBreakpointLive, WriteWatchFiresInEveryListedThreadUntilRemoved) {
    Helper other;
    Register(1, other.Id());
    void* threads[] = {self_, other.Handle()};
    HardwareBreakpoint* breakpoint = SetHardwareBreakpoint(threads, 2, BreakpointKind::Write,
                                                           BreakpointSize::Byte8, AddressOf(&watchedQuad));
    ASSERT_NE(breakpoint, nullptr);
    EXPECT_EQ(breakpoint->done, 1u);
    EXPECT_EQ(breakpoint->doneEvent, nullptr);
    EXPECT_EQ(breakpoint->slot, 0u);
    EXPECT_EQ(breakpoint->threadSlots[0], 0u);
    EXPECT_EQ(breakpoint->threadSlots[1], 0u);
    for (const DebugRegisters& registers : {OwnRegisters(), other.Registers()}) {
        EXPECT_EQ(registers.address[0], AddressOf(&watchedQuad));
        EXPECT_EQ(registers.control & 0xF0003, 0x90001u);  // L0, RW0 = 01, LEN0 = 10
    }

    const uint64_t read = watchedQuad;  // a read does not trigger a write watch
    EXPECT_HITS(GetCurrentThreadId(), 0);
    watchedQuad = read + 1;
    EXPECT_HITS(GetCurrentThreadId(), 1);
    other.Call([] { watchedQuad = 2; });
    EXPECT_HITS(other.Id(), 1);
    EXPECT_HITS(GetCurrentThreadId(), 1);
    other.Call([] { watchedQuad = 3; });
    EXPECT_HITS(other.Id(), 2);

    EXPECT_TRUE(RemoveHardwareBreakpoint(breakpoint));
    watchedQuad = 4;
    other.Call([] { watchedQuad = 5; });
    EXPECT_HITS(GetCurrentThreadId(), 1);
    EXPECT_HITS(other.Id(), 2);
    EXPECT_FALSE(Enabled(other.Registers().control, 0));
    EXPECT_FALSE(Enabled(OwnRegisters().control, 0));
    EXPECT_EQ(OwnRegisters().address[0], 0u);

    // A read-or-write watch of 4 bytes catches a read as well.
    breakpoint = SetHardwareBreakpoint(threads, 2, BreakpointKind::ReadWrite, BreakpointSize::Byte4,
                                       AddressOf(&watchedWord));
    ASSERT_NE(breakpoint, nullptr);
    other.Call([] { [[maybe_unused]] const uint32_t value = watchedWord; });
    EXPECT_HITS(other.Id(), 3);
    [[maybe_unused]] const uint32_t value = watchedWord;
    EXPECT_HITS(GetCurrentThreadId(), 2);
    EXPECT_TRUE(RemoveHardwareBreakpoint(breakpoint));
    SkipWithoutTraps();
}

TEST_F(HardwareBreakpointLive, ExecutionBreakpointFiresWhenTheFunctionIsCalled) {
    const uint64_t target = reinterpret_cast<uintptr_t>(&WatchedFunction);
    HardwareBreakpoint* breakpoint =
        SetHardwareBreakpoint(&self_, 1, BreakpointKind::Execution, BreakpointSize::Byte1, target);
    ASSERT_NE(breakpoint, nullptr);
    EXPECT_EQ(OwnRegisters().address[0], target);
    EXPECT_EQ(OwnRegisters().control & 0xF0003, 0x1u);  // L0, RW0 = 00, LEN0 = 00
    EXPECT_HITS(GetCurrentThreadId(), 0);
    WatchedFunction(1);
    EXPECT_HITS(GetCurrentThreadId(), 1);
    if (traps_) {
        EXPECT_EQ(reinterpret_cast<uintptr_t>(lastExceptionAddress.load()), target);
    }
    WatchedFunction(2);
    EXPECT_HITS(GetCurrentThreadId(), 2);
    EXPECT_TRUE(RemoveHardwareBreakpoint(breakpoint));
    WatchedFunction(3);
    EXPECT_HITS(GetCurrentThreadId(), 2);
    SkipWithoutTraps();
}

TEST_F(HardwareBreakpointLive, EachThreadKeepsItsOwnSlotAndRemovalClearsOnlyThatOne) {
    Helper first;
    Helper second;
    Register(1, first.Id());
    Register(2, second.Id());
    void* firstOnly[] = {first.Handle()};
    void* both[] = {first.Handle(), second.Handle()};

    // The first thread already watches otherWord in slot 0, so the shared watch lands in its slot 1.
    HardwareBreakpoint* own = SetHardwareBreakpoint(firstOnly, 1, BreakpointKind::Write,
                                                    BreakpointSize::Byte4, AddressOf(&otherWord));
    ASSERT_NE(own, nullptr);
    HardwareBreakpoint* shared = SetHardwareBreakpoint(both, 2, BreakpointKind::ReadWrite,
                                                       BreakpointSize::Byte4, AddressOf(&watchedWord));
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(shared->threadSlots[0], 1u);
    EXPECT_EQ(shared->threadSlots[1], 0u);
    EXPECT_EQ(shared->slot, 0u);  // the last listed thread's

    DebugRegisters registers = first.Registers();
    EXPECT_EQ(registers.address[0], AddressOf(&otherWord));
    EXPECT_EQ(registers.address[1], AddressOf(&watchedWord));
    EXPECT_TRUE(Enabled(registers.control, 0) && Enabled(registers.control, 1));
    EXPECT_EQ(Field(registers.control, 20), 0b11u);
    EXPECT_EQ(Field(registers.control, 22), 0b11u);
    first.Call([] { watchedWord = 1; });
    second.Call([] { watchedWord = 2; });
    EXPECT_HITS(first.Id(), 1);
    EXPECT_HITS(second.Id(), 1);

    ASSERT_TRUE(RemoveHardwareBreakpoint(shared));
    registers = first.Registers();
    EXPECT_EQ(registers.address[0], AddressOf(&otherWord));
    EXPECT_TRUE(Enabled(registers.control, 0));
    EXPECT_EQ(registers.address[1], 0u);
    EXPECT_FALSE(Enabled(registers.control, 1));
    EXPECT_EQ(Field(registers.control, 20), 0b11u);  // RW1 and LEN1 are left as they were
    registers = second.Registers();
    EXPECT_EQ(registers.address[0], 0u);
    EXPECT_FALSE(Enabled(registers.control, 0));

    first.Call([] { watchedWord = 3; });
    second.Call([] { watchedWord = 4; });
    EXPECT_HITS(first.Id(), 1);
    EXPECT_HITS(second.Id(), 1);
    first.Call([] { otherWord = 5; });  // the thread's own watch survived
    EXPECT_HITS(first.Id(), 2);
    EXPECT_TRUE(RemoveHardwareBreakpoint(own));
    SkipWithoutTraps();
}

TEST_F(HardwareBreakpointLive, ThreadWithEveryBreakpointSlotTakenIsSkipped) {
    Helper full;
    Helper spare;
    Register(1, full.Id());
    Register(2, spare.Id());
    void* fullOnly[] = {full.Handle()};
    void* both[] = {full.Handle(), spare.Handle()};
    alignas(8) static volatile uint32_t words[5];
    HardwareBreakpoint* taken[4];
    for (int i = 0; i < 4; ++i) {
        taken[i] = SetHardwareBreakpoint(fullOnly, 1, BreakpointKind::Write, BreakpointSize::Byte4,
                                         AddressOf(&words[i]));
        ASSERT_NE(taken[i], nullptr);
        EXPECT_EQ(taken[i]->slot, static_cast<uint32_t>(i));
    }
    const DebugRegisters before = full.Registers();
    HardwareBreakpoint* fifth =
        SetHardwareBreakpoint(both, 2, BreakpointKind::Write, BreakpointSize::Byte4, AddressOf(&words[4]));
    ASSERT_NE(fifth, nullptr);
    EXPECT_EQ(fifth->threadSlots[0], NoBreakpointSlot);
    EXPECT_EQ(fifth->threadSlots[1], 0u);
    EXPECT_EQ(fifth->slot, 0u);
    EXPECT_EQ(full.Registers().control, before.control);
    spare.Call([] { words[4] = 1; });
    EXPECT_HITS(spare.Id(), 1);

    EXPECT_TRUE(RemoveHardwareBreakpoint(fifth));
    const DebugRegisters after = full.Registers();
    EXPECT_EQ(after.control, before.control);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(after.address[i], AddressOf(&words[i]));
    full.Call([] { words[2] = 1; });
    EXPECT_HITS(full.Id(), 1);
    for (HardwareBreakpoint* breakpoint : taken) EXPECT_TRUE(RemoveHardwareBreakpoint(breakpoint));
    EXPECT_EQ(full.Registers().control & 0xFF, 0u);
    SkipWithoutTraps();
}

TEST(HardwareBreakpoint, EmptyListsAndNullRecords) {
    HardwareBreakpoint* empty =
        SetHardwareBreakpoint(nullptr, 0, BreakpointKind::Write, BreakpointSize::Byte4, 64);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->threadCount, 0);
    EXPECT_EQ(empty->done, 1u);
    EXPECT_EQ(empty->address, 64u);
    EXPECT_TRUE(RemoveHardwareBreakpoint(empty));
    EXPECT_FALSE(RemoveHardwareBreakpoint(nullptr));
    void* none = nullptr;
    EXPECT_EQ(SetHardwareBreakpoint(&none, -1, BreakpointKind::Write, BreakpointSize::Byte4, 64), nullptr);
    EXPECT_EQ(SetHardwareBreakpoint(nullptr, 2, BreakpointKind::Write, BreakpointSize::Byte4, 64), nullptr);

    // A handle that cannot be suspended (not a thread) is skipped; the others still get the watch.
    HANDLE self = OpenThreadForBreakpoints(GetCurrentThreadId());
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    void* mixed[] = {event, self};
    HardwareBreakpoint* breakpoint =
        SetHardwareBreakpoint(mixed, 2, BreakpointKind::Write, BreakpointSize::Byte4, AddressOf(&otherWord));
    ASSERT_NE(breakpoint, nullptr);
    EXPECT_EQ(breakpoint->threadSlots[0], NoBreakpointSlot);
    EXPECT_EQ(breakpoint->threadSlots[1], 0u);
    EXPECT_TRUE(RemoveHardwareBreakpoint(breakpoint));
    CloseHandle(event);
    CloseHandle(self);
}

}  // namespace
}  // namespace Quorvin
