// The synchronisation objects on Linux: words in user memory that threads spin on briefly and then
// sleep on through the kernel's futex, which checks the word and sleeps in one step, so a wake
// between the check and the sleep is never lost.
#include <errno.h>
#include <linux/futex.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <optional>

#include "core/sync/Sync.h"
#include "core/sync/internal/EventWait.h"
#include "core/sync/internal/Yield.h"

namespace Quorvin {
namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t Forever = 0xFFFFFFFFu;

// Rounds of spinning before a waiter sleeps: a hand-over between two running threads takes well
// under the first rounds, and sleeping costs two system calls and a reschedule. The later rounds
// give up the processor, so that a partner waiting for a processor to run on gets one.
constexpr int SpinRounds = 64;
constexpr int YieldingRounds = 16;

void SpinRound(int round) {
    if (round < SpinRounds - YieldingRounds) {
        SyncPrivate::SpinWaitHint();
    } else {
        SyncPrivate::YieldThread();
    }
}

// Sleeps while `word` holds `expected`, at most until `deadline` when one is given. Returns at
// once when the word differs; may return early for any reason (callers check their condition).
void FutexWait(std::atomic<uint32_t>& word, uint32_t expected,
               const std::optional<Clock::time_point>& deadline) {
    timespec timeout{};
    timespec* limit = nullptr;
    if (deadline) {
        const auto left = *deadline - Clock::now();
        if (left <= Clock::duration::zero()) return;
        const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        timeout.tv_sec = static_cast<time_t>(nanoseconds / 1000000000);
        timeout.tv_nsec = static_cast<long>(nanoseconds % 1000000000);
        limit = &timeout;
    }
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), FUTEX_WAIT_PRIVATE, expected, limit, nullptr, 0);
}

void FutexWake(std::atomic<uint32_t>& word, int count) {
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), FUTEX_WAKE_PRIVATE, count, nullptr, nullptr, 0);
}

std::optional<Clock::time_point> DeadlineAfter(uint32_t milliseconds) {
    if (milliseconds == Forever) return std::nullopt;
    return Clock::now() + std::chrono::milliseconds(milliseconds);
}

bool Expired(const std::optional<Clock::time_point>& deadline) {
    return deadline && Clock::now() >= *deadline;
}

// ---- Event ----

// An auto-reset event: `signalled` is 1 while a signal waits to be consumed. `sleepers` counts the
// threads inside FutexWait (or about to enter it), so that Set makes a system call only when
// someone sleeps.
struct EventState {
    std::atomic<uint32_t> signalled{0};
    std::atomic<uint32_t> sleepers{0};

    bool TryConsume() {
        return signalled.load(std::memory_order_relaxed) != 0 &&
               signalled.exchange(0, std::memory_order_acquire) != 0;
    }

    // Waits for a signal until `deadline`, or until `stop` (when given) is true.
    bool Wait(const std::optional<Clock::time_point>& deadline, const std::atomic<bool>* stop) {
        for (int round = 0; round < SpinRounds; ++round) {
            if (TryConsume()) return true;
            if (deadline && round == 0 && *deadline <= Clock::now()) return false;
            SpinRound(round);
        }
        for (;;) {
            if (TryConsume()) return true;
            if ((stop != nullptr && stop->load(std::memory_order_acquire)) || Expired(deadline)) {
                // A Set may have woken this thread, the one sleeper it wakes, just as it leaves
                // without the signal: pass the wake on.
                if (signalled.load() != 0 && sleepers.load() != 0) FutexWake(signalled, 1);
                return false;
            }
            sleepers.fetch_add(1);
            FutexWait(signalled, 0, deadline);
            sleepers.fetch_sub(1);
        }
    }

    void Set() {
        if (signalled.exchange(1) == 0 && sleepers.load() != 0) FutexWake(signalled, 1);
    }
};

EventState* EventOf(void* handle) { return static_cast<EventState*>(handle); }

// ---- Semaphore ----

struct SemaphoreState {
    std::atomic<uint32_t> count{0};
    std::atomic<uint32_t> sleepers{0};
    uint32_t maximum = 0;

    bool TryTake() {
        uint32_t available = count.load(std::memory_order_relaxed);
        while (available != 0) {
            if (count.compare_exchange_weak(available, available - 1, std::memory_order_acquire)) return true;
        }
        return false;
    }

    void Wait() {
        for (int round = 0; round < SpinRounds; ++round) {
            if (TryTake()) return;
            SpinRound(round);
        }
        while (!TryTake()) {
            sleepers.fetch_add(1);
            FutexWait(count, 0, std::nullopt);
            sleepers.fetch_sub(1);
        }
    }

    void Release(int32_t units) {
        if (units <= 0) return;
        const auto added = static_cast<uint32_t>(units);
        uint32_t available = count.load();
        do {
            if (added > maximum - available) return;  // past the maximum: nothing changes
        } while (!count.compare_exchange_weak(available, available + added));
        if (sleepers.load() != 0) FutexWake(count, units);
    }
};

SemaphoreState* SemaphoreOf(void* handle) { return static_cast<SemaphoreState*>(handle); }

// ---- Mutex ----

// A recursive mutex: `state` is 0 when free, 1 when held, 2 when held and someone may sleep on it.
// The holder is named by the address of a thread-local byte, which every thread has for its life
// and no two live threads share.
struct MutexState {
    std::atomic<uint32_t> state{0};
    std::atomic<const void*> holder{nullptr};
    uint32_t depth = 0;  // touched by the holder only
};

thread_local const char ThreadMark = 0;

MutexState* MutexOf(void* storage) { return static_cast<MutexState*>(storage); }

void LockContended(MutexState& mutex) {
    for (int round = 0; round < SpinRounds; ++round) {
        uint32_t expected = 0;
        if (mutex.state.load(std::memory_order_relaxed) == 0 &&
            mutex.state.compare_exchange_strong(expected, 1, std::memory_order_acquire))
            return;
        SpinRound(round);
    }
    // From here on the lock is taken as "held with sleepers", since this thread may have slept and
    // others may still sleep: the unlock then wakes one.
    while (mutex.state.exchange(2, std::memory_order_acquire) != 0) FutexWait(mutex.state, 2, std::nullopt);
}

}  // namespace

Event::Event() : handle(new (std::nothrow) EventState) {}
Event::~Event() { delete EventOf(handle); }
void Event::Wait() { WaitFor(Forever); }
bool Event::TryWait() { return handle != nullptr && EventOf(handle)->TryConsume(); }
bool Event::WaitFor(uint32_t milliseconds) {
    return handle != nullptr && EventOf(handle)->Wait(DeadlineAfter(milliseconds), nullptr);
}
void Event::Set() {
    if (handle != nullptr) EventOf(handle)->Set();
}
void Event::Reset() {
    if (handle != nullptr) EventOf(handle)->signalled.store(0);
}

Semaphore::Semaphore(int32_t initialCount, int32_t maximumCount) {
    if (maximumCount <= 0 || initialCount < 0 || initialCount > maximumCount) return;  // as Windows refuses
    auto* state = new (std::nothrow) SemaphoreState;
    if (state == nullptr) return;
    state->count.store(static_cast<uint32_t>(initialCount));
    state->maximum = static_cast<uint32_t>(maximumCount);
    handle = state;
}
Semaphore::~Semaphore() { delete SemaphoreOf(handle); }
void Semaphore::Wait() {
    if (handle != nullptr) SemaphoreOf(handle)->Wait();
}
bool Semaphore::TryWait() { return handle != nullptr && SemaphoreOf(handle)->TryTake(); }
void Semaphore::Release(int32_t count) {
    if (handle != nullptr) SemaphoreOf(handle)->Release(count);
}

Mutex::Mutex() : storage(new MutexState) {}
Mutex::~Mutex() {
    delete MutexOf(storage);
    storage = nullptr;
}
void Mutex::Lock() {
    MutexState& mutex = *MutexOf(storage);
    const void* self = &ThreadMark;
    // Only this thread ever stores its own mark, so seeing it means this thread holds the mutex.
    if (mutex.holder.load(std::memory_order_relaxed) == self) {
        ++mutex.depth;
        return;
    }
    uint32_t expected = 0;
    if (!mutex.state.compare_exchange_strong(expected, 1, std::memory_order_acquire)) LockContended(mutex);
    mutex.holder.store(self, std::memory_order_relaxed);
    mutex.depth = 1;
}
void Mutex::Unlock() {
    MutexState& mutex = *MutexOf(storage);
    if (--mutex.depth != 0) return;
    mutex.holder.store(nullptr, std::memory_order_relaxed);
    if (mutex.state.exchange(0, std::memory_order_release) == 2) FutexWake(mutex.state, 1);
}

namespace SyncPrivate {

bool WaitForEventOrStop(void* nativeHandle, const std::atomic<bool>& stop) noexcept {
    if (nativeHandle != nullptr) return EventOf(nativeHandle)->Wait(std::nullopt, &stop);
    // No event: only `stop` ends the wait. Sleep on a word of our own that nobody wakes, in short
    // slices, since WakeEventWaiters(nullptr) cannot reach it.
    std::atomic<uint32_t> idle{0};
    while (!stop.load(std::memory_order_acquire))
        FutexWait(idle, 0, Clock::now() + std::chrono::milliseconds(10));
    return false;
}

void WakeEventWaiters(void* nativeHandle) noexcept {
    if (nativeHandle != nullptr) FutexWake(EventOf(nativeHandle)->signalled, INT_MAX);
}

void SignalEvent(void* nativeHandle) noexcept {
    if (nativeHandle != nullptr) EventOf(nativeHandle)->Set();
}

}  // namespace SyncPrivate

}  // namespace Quorvin
