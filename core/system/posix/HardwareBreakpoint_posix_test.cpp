// Tests of hardware breakpoints on Linux: real watches in live threads, whose hits arrive as
// SIGTRAP in the thread that made them.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "core/base/Compiler.h"
#include "core/system/HardwareBreakpoint.h"

namespace Quorvin {
namespace {

// Breakpoint traps counted per registered thread by the signal handler, with the last address.
struct HitCounter {
    std::atomic<pid_t> thread{0};
    std::atomic<int> hits{0};
    std::atomic<uintptr_t> address{0};
};
HitCounter counters[4];
std::atomic<int> strayTraps{0};  // other SIGTRAPs, or breakpoint traps in threads not registered

void CountTrap(int, siginfo_t* info, void*) {
    const pid_t self = gettid();
    if (info->si_code != BreakpointTrapCode) {
        ++strayTraps;
        return;
    }
    for (HitCounter& counter : counters) {
        if (counter.thread == self) {
            ++counter.hits;
            counter.address = reinterpret_cast<uintptr_t>(info->si_addr);
            return;
        }
    }
    ++strayTraps;
}

HitCounter& CounterOf(pid_t thread) {
    for (HitCounter& counter : counters)
        if (counter.thread == thread) return counter;
    ADD_FAILURE() << "thread " << thread << " is not registered";
    return counters[3];
}

int HitsOf(pid_t thread) { return CounterOf(thread).hits; }

void* AsThread(pid_t id) { return reinterpret_cast<void*>(static_cast<intptr_t>(id)); }

uint64_t AddressOf(const volatile void* variable) { return reinterpret_cast<uintptr_t>(variable); }

// The event descriptors that follow the slots in the record.
const int* EventsOf(const HardwareBreakpoint& breakpoint) {
    return reinterpret_cast<const int*>(breakpoint.threadSlots + breakpoint.threadCount);
}

// Whether `descriptor` is an open perf event of this process.
bool IsPerfEvent(int descriptor) {
    char target[64] = {};
    const std::string link = "/proc/self/fd/" + std::to_string(descriptor);
    const ssize_t length = readlink(link.c_str(), target, sizeof(target) - 1);
    return length > 0 && std::string(target) == "anon_inode:[perf_event]";
}

// A second thread that runs what it is handed, one call at a time, and otherwise waits.
class Helper {
public:
    Helper() {
        thread_ = std::thread([this] { Run(); });
        Call([this] { id_ = gettid(); });
    }
    ~Helper() {
        Call(nullptr);
        thread_.join();
    }
    void Call(std::function<void()> task) {
        std::unique_lock lock(mutex_);
        task_ = std::move(task);
        pending_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return !pending_; });
    }
    pid_t Id() const { return id_; }

private:
    void Run() {
        for (;;) {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return pending_; });
            const bool last = !task_;
            if (task_) task_();
            pending_ = false;
            changed_.notify_all();
            if (last) return;
        }
    }

    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::function<void()> task_;
    bool pending_ = false;
    pid_t id_ = 0;
};

alignas(8) volatile uint64_t probeQuad = 0;
alignas(8) volatile uint64_t watchedQuad = 0;
alignas(8) volatile uint32_t watchedWord = 0;

QUORVIN_NOINLINE int WatchedFunction(int value) {
    // Not foldable into the caller, and with a body the breakpoint address can point into.
    static volatile int sink = 0;
    sink = sink + value;
    return sink;
}

// Whether the kernel lets this process have breakpoint events, and whether their hits arrive: some
// virtual machines accept the events but never raise the traps. Asked once; the handler stays
// installed for the rest of the run, so a trap after a failed test cannot end the program.
struct Capability {
    int refusal = 0;  // errno of the refused first event, else 0
    bool traps = false;
};

const Capability& Probe() {
    static const Capability capability = [] {
        struct sigaction action {};
        action.sa_sigaction = &CountTrap;
        action.sa_flags = SA_SIGINFO | SA_RESTART;
        sigemptyset(&action.sa_mask);
        sigaction(SIGTRAP, &action, nullptr);
        Capability result;
        counters[3].thread = gettid();
        counters[3].hits = 0;
        void* self[] = {AsThread(gettid())};
        HardwareBreakpoint* probe = SetHardwareBreakpoint(self, 1, BreakpointKind::Write,
                                                          BreakpointSize::Byte8, AddressOf(&probeQuad));
        if (probe == nullptr) {
            result.refusal = errno;
        } else {
            probeQuad = 1;
            RemoveHardwareBreakpoint(probe);
            result.traps = counters[3].hits == 1;
        }
        counters[3].thread = 0;
        return result;
    }();
    return capability;
}

class HardwareBreakpointLive : public testing::Test {
protected:
    void SetUp() override {
        const Capability& capability = Probe();
        if (capability.refusal != 0) {
            GTEST_SKIP() << "the kernel refuses hardware breakpoint events here: "
                         << std::strerror(capability.refusal)
                         << " (perf_event_paranoid, seccomp or no debug registers)";
        }
        traps_ = capability.traps;
        for (HitCounter& counter : counters) {
            counter.thread = 0;
            counter.hits = 0;
            counter.address = 0;
        }
        strayTraps = 0;
        self_ = gettid();
        counters[0].thread = self_;
    }
    void TearDown() override { EXPECT_EQ(strayTraps, 0); }
    void SkipWithoutTraps() const {
        if (!traps_) GTEST_SKIP() << "this machine accepts breakpoint events but delivers no traps for them";
    }

    pid_t self_ = 0;
    bool traps_ = false;
};

// Hits are checked where the machine delivers traps; elsewhere only the events are, and the test
// ends as skipped.
#define EXPECT_HITS(thread, count)            \
    do {                                      \
        if (traps_) {                         \
            EXPECT_EQ(HitsOf(thread), count); \
        }                                     \
    } while (false)

TEST_F(HardwareBreakpointLive, WriteWatchTrapsInTheWritingThreadUntilRemoved) {
    Helper other;
    counters[1].thread = other.Id();
    void* threads[] = {AsThread(self_), AsThread(other.Id())};
    HardwareBreakpoint* breakpoint = SetHardwareBreakpoint(threads, 2, BreakpointKind::Write,
                                                           BreakpointSize::Byte8, AddressOf(&watchedQuad));
    ASSERT_NE(breakpoint, nullptr);
    EXPECT_EQ(breakpoint->done, 1u);
    EXPECT_EQ(breakpoint->doneEvent, nullptr);
    EXPECT_EQ(breakpoint->threadCount, 2);
    EXPECT_EQ(breakpoint->threads[1], threads[1]);
    EXPECT_EQ(breakpoint->threadSlots[0], 0u);
    EXPECT_EQ(breakpoint->threadSlots[1], 0u);
    const int events[2] = {EventsOf(*breakpoint)[0], EventsOf(*breakpoint)[1]};
    EXPECT_TRUE(IsPerfEvent(events[0]));
    EXPECT_TRUE(IsPerfEvent(events[1]));
    EXPECT_NE(fcntl(events[0], F_GETFD) & FD_CLOEXEC, 0);

    const uint64_t read = watchedQuad;  // a read does not trigger a write watch
    EXPECT_HITS(self_, 0);
    watchedQuad = read + 1;
    EXPECT_HITS(self_, 1);
    if (traps_) {
        EXPECT_EQ(CounterOf(self_).address, AddressOf(&watchedQuad));
    }
    other.Call([] { watchedQuad = 2; });
    EXPECT_HITS(other.Id(), 1);
    EXPECT_HITS(self_, 1);
    other.Call([] { [[maybe_unused]] const uint64_t value = watchedQuad; });
    other.Call([] { watchedQuad = 3; });
    EXPECT_HITS(other.Id(), 2);
    if (traps_) {
        EXPECT_EQ(CounterOf(other.Id()).address, AddressOf(&watchedQuad));
        // Each thread's own event counted its own hits.
        uint64_t counts[2] = {};
        ASSERT_EQ(::read(events[0], &counts[0], sizeof(uint64_t)), 8);
        ASSERT_EQ(::read(events[1], &counts[1], sizeof(uint64_t)), 8);
        EXPECT_EQ(counts[0], 1u);
        EXPECT_EQ(counts[1], 2u);
    }

    EXPECT_TRUE(RemoveHardwareBreakpoint(breakpoint));
    EXPECT_EQ(fcntl(events[0], F_GETFD), -1);
    EXPECT_EQ(fcntl(events[1], F_GETFD), -1);
    watchedQuad = 4;
    other.Call([] { watchedQuad = 5; });
    EXPECT_HITS(self_, 1);
    EXPECT_HITS(other.Id(), 2);

    // A read-or-write watch of 4 bytes catches a read as well, at its own address.
    breakpoint = SetHardwareBreakpoint(threads, 2, BreakpointKind::ReadWrite, BreakpointSize::Byte4,
                                       AddressOf(&watchedWord));
    ASSERT_NE(breakpoint, nullptr);
    other.Call([] { [[maybe_unused]] const uint32_t value = watchedWord; });
    EXPECT_HITS(other.Id(), 3);
    [[maybe_unused]] const uint32_t value = watchedWord;
    EXPECT_HITS(self_, 2);
    if (traps_) {
        EXPECT_EQ(CounterOf(self_).address, AddressOf(&watchedWord));
    }
    watchedQuad = 6;  // outside the watched word
    EXPECT_HITS(self_, 2);
    EXPECT_TRUE(RemoveHardwareBreakpoint(breakpoint));
    SkipWithoutTraps();
}

TEST_F(HardwareBreakpointLive, ExecutionBreakpointTrapsWhenTheFunctionIsCalled) {
    const uint64_t target = reinterpret_cast<uintptr_t>(&WatchedFunction);
    void* self[] = {AsThread(self_)};
    // The size is ignored for execution: one instruction is watched.
    HardwareBreakpoint* breakpoint =
        SetHardwareBreakpoint(self, 1, BreakpointKind::Execution, BreakpointSize::Byte4, target);
    ASSERT_NE(breakpoint, nullptr);
    EXPECT_EQ(breakpoint->threadSlots[0], 0u);
    EXPECT_HITS(self_, 0);
    WatchedFunction(1);
    EXPECT_HITS(self_, 1);
    if (traps_) {
        EXPECT_EQ(CounterOf(self_).address, target);
    }
    WatchedFunction(2);
    EXPECT_HITS(self_, 2);
    EXPECT_TRUE(RemoveHardwareBreakpoint(breakpoint));
    WatchedFunction(3);
    EXPECT_HITS(self_, 2);
    SkipWithoutTraps();
}

TEST_F(HardwareBreakpointLive, ThreadWithEveryDebugRegisterTakenIsSkipped) {
    Helper full;
    Helper spare;
    counters[1].thread = full.Id();
    counters[2].thread = spare.Id();
    void* fullOnly[] = {AsThread(full.Id())};
    void* both[] = {AsThread(full.Id()), AsThread(spare.Id())};
    alignas(8) static volatile uint32_t words[6];
    HardwareBreakpoint* taken[4];
    for (int i = 0; i < 4; ++i) {
        taken[i] = SetHardwareBreakpoint(fullOnly, 1, BreakpointKind::Write, BreakpointSize::Byte4,
                                         AddressOf(&words[i]));
        ASSERT_NE(taken[i], nullptr);
        ASSERT_EQ(taken[i]->threadSlots[0], 0u) << "watch " << i;
    }
    // x86-64 has four debug registers per thread.
    HardwareBreakpoint* fifth =
        SetHardwareBreakpoint(both, 2, BreakpointKind::Write, BreakpointSize::Byte4, AddressOf(&words[4]));
    ASSERT_NE(fifth, nullptr);
    EXPECT_EQ(fifth->threadSlots[0], NoBreakpointSlot);
    EXPECT_EQ(EventsOf(*fifth)[0], -1);
    EXPECT_EQ(fifth->threadSlots[1], 0u);
    EXPECT_EQ(fifth->slot, 0u);
    spare.Call([] { words[4] = 1; });
    full.Call([] { words[4] = 1; });
    EXPECT_HITS(spare.Id(), 1);
    EXPECT_HITS(full.Id(), 0);

    EXPECT_TRUE(RemoveHardwareBreakpoint(fifth));
    full.Call([] { words[2] = 1; });  // the thread's own four watches survived
    EXPECT_HITS(full.Id(), 1);
    EXPECT_TRUE(RemoveHardwareBreakpoint(taken[2]));
    full.Call([] { words[2] = 2; });
    full.Call([] { words[3] = 2; });
    EXPECT_HITS(full.Id(), 2);
    // The freed register takes a new watch.
    HardwareBreakpoint* again = SetHardwareBreakpoint(fullOnly, 1, BreakpointKind::Write,
                                                      BreakpointSize::Byte4, AddressOf(&words[5]));
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->threadSlots[0], 0u);
    full.Call([] { words[5] = 1; });
    EXPECT_HITS(full.Id(), 3);
    EXPECT_TRUE(RemoveHardwareBreakpoint(again));
    for (int i : {0, 1, 3}) EXPECT_TRUE(RemoveHardwareBreakpoint(taken[i]));
    full.Call([] {
        words[0] = 3;
        words[1] = 3;
        words[3] = 3;
    });
    EXPECT_HITS(full.Id(), 3);
    SkipWithoutTraps();
}

TEST_F(HardwareBreakpointLive, OnlyLiveThreadsOfThisProcessAreEdited) {
    // Another process (whose breakpoint could end it), thread ids 0 and -1 (to the kernel: the
    // calling thread and every thread), a thread that has ended, and a value too large for an id.
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        pause();
        _exit(0);
    }
    pid_t ended = 0;
    std::thread([&ended] { ended = gettid(); }).join();
    void* threads[] = {AsThread(child),
                       AsThread(0),
                       AsThread(-1),
                       AsThread(ended),
                       reinterpret_cast<void*>(uintptr_t{1} << 40),
                       AsThread(self_)};
    HardwareBreakpoint* breakpoint = SetHardwareBreakpoint(threads, 6, BreakpointKind::Write,
                                                           BreakpointSize::Byte8, AddressOf(&watchedQuad));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    ASSERT_NE(breakpoint, nullptr);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(breakpoint->threadSlots[i], NoBreakpointSlot) << i;
        EXPECT_EQ(EventsOf(*breakpoint)[i], -1) << i;
    }
    EXPECT_EQ(breakpoint->threadSlots[5], 0u);
    watchedQuad = 7;
    EXPECT_HITS(self_, 1);
    EXPECT_TRUE(RemoveHardwareBreakpoint(breakpoint));
    SkipWithoutTraps();
}

TEST_F(HardwareBreakpointLive, RefusedWatchesPlaceNothing) {
    // A data watch not aligned to its length: the kernel refuses it for every thread.
    void* self[] = {AsThread(self_)};
    errno = 0;
    EXPECT_EQ(SetHardwareBreakpoint(self, 1, BreakpointKind::Write, BreakpointSize::Byte8,
                                    AddressOf(&watchedQuad) + 4),
              nullptr);
    EXPECT_EQ(errno, EINVAL);
    watchedQuad = 8;
    EXPECT_HITS(self_, 0);
}

TEST(HardwareBreakpoint, EmptyListsAndNullRecords) {
    HardwareBreakpoint* empty =
        SetHardwareBreakpoint(nullptr, 0, BreakpointKind::Write, BreakpointSize::Byte4, 64);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->threadCount, 0);
    EXPECT_EQ(empty->done, 1u);
    EXPECT_EQ(empty->address, 64u);
    EXPECT_EQ(empty->kind, BreakpointKind::Write);
    EXPECT_EQ(empty->size, BreakpointSize::Byte4);
    EXPECT_TRUE(RemoveHardwareBreakpoint(empty));
    EXPECT_FALSE(RemoveHardwareBreakpoint(nullptr));
    void* none = nullptr;
    errno = 0;
    EXPECT_EQ(SetHardwareBreakpoint(&none, -1, BreakpointKind::Write, BreakpointSize::Byte4, 64), nullptr);
    EXPECT_EQ(errno, EINVAL);
    errno = 0;
    EXPECT_EQ(SetHardwareBreakpoint(nullptr, 2, BreakpointKind::Write, BreakpointSize::Byte4, 64), nullptr);
    EXPECT_EQ(errno, EINVAL);
}

}  // namespace
}  // namespace Quorvin
