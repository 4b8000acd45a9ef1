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

// An auto-reset event with Windows' rule for Set: when threads wait, Set releases one of them at
// once (hands it the signal, which no later Set or Reset can take back); only when none waits does
// the event stay signalled for the next one. So two Sets with two waiters release both. A thread
// counts as waiting from the moment it enters a wait, while it still spins.
//
// `state` holds the signal (bit 63), the waiters (bits 0-30) and the signals handed to them and not
// yet claimed (bits 32-62); any waiter may claim a handed signal. Waiters sleep on `sequence`,
// which every hand-over and every WakeEventWaiters advances before it wakes them: a waiter reads it
// before it looks at its conditions and sleeps only while it is unchanged, so no wake between its
// look and its sleep is lost. `sleepers` counts the threads at or in their sleep, so that a Set
// makes a system call only when one of them may need it.
struct EventState {
    static constexpr uint64_t Signal = uint64_t{1} << 63;
    static constexpr uint64_t OneWaiter = 1;
    static constexpr uint64_t OneHanded = uint64_t{1} << 32;
    static constexpr uint64_t WaiterMask = 0x7FFFFFFF;

    std::atomic<uint64_t> state{0};
    std::atomic<uint32_t> sequence{0};
    std::atomic<uint32_t> sleepers{0};

    static uint64_t Waiters(uint64_t value) { return value & WaiterMask; }
    static uint64_t Handed(uint64_t value) { return (value >> 32) & 0x7FFFFFFF; }

    bool TryConsume() {
        uint64_t value = state.load(std::memory_order_relaxed);
        while ((value & Signal) != 0) {
            if (state.compare_exchange_weak(value, value & ~Signal, std::memory_order_acquire)) return true;
        }
        return false;
    }

    // A waiter takes a handed signal, if there is one, and stops waiting.
    bool TryClaim() {
        uint64_t value = state.load(std::memory_order_relaxed);
        while (Handed(value) != 0) {
            if (state.compare_exchange_weak(value, value - OneHanded - OneWaiter, std::memory_order_acquire))
                return true;
        }
        return false;
    }

    // Counts the caller as a waiter, unless the event is signalled: then it takes the signal.
    bool RegisterOrConsume() {
        uint64_t value = state.load(std::memory_order_relaxed);
        for (;;) {
            const uint64_t next = (value & Signal) != 0 ? value & ~Signal : value + OneWaiter;
            if (state.compare_exchange_weak(value, next, std::memory_order_acquire))
                return (value & Signal) != 0;
        }
    }

    // A waiter leaves without a signal. A signal handed to the waiters that would now outnumber them
    // goes back to the event, so none is lost; and since this waiter may be the one sleeper a Set
    // woke, a signal still handed to the others wakes one of them.
    void Unregister() {
        uint64_t value = state.load(std::memory_order_relaxed);
        uint64_t next;
        do {
            next = value - OneWaiter;
            if (Handed(next) > Waiters(next)) next = (next - OneHanded) | Signal;
        } while (!state.compare_exchange_weak(value, next));
        if (Handed(next) != 0) Wake(1);
    }

    // Waits for a signal until `deadline`, or until `stop` (when given) is true: a stop wins over a
    // signal that arrives with it, which is then left to others.
    bool Wait(const std::optional<Clock::time_point>& deadline, const std::atomic<bool>* stop) {
        if (stop != nullptr && stop->load(std::memory_order_acquire)) return false;
        if (RegisterOrConsume()) return true;
        for (int round = 0;; ++round) {
            const uint32_t seen = sequence.load();
            if (stop != nullptr && stop->load(std::memory_order_acquire)) {
                Unregister();
                return false;
            }
            if (TryClaim()) return true;
            if (Expired(deadline)) {
                Unregister();
                return false;
            }
            if (round < SpinRounds) {
                SpinRound(round);
                continue;
            }
            sleepers.fetch_add(1);
            FutexWait(sequence, seen, deadline);
            sleepers.fetch_sub(1);
        }
    }

    void Set() {
        uint64_t value = state.load(std::memory_order_relaxed);
        for (;;) {
            const bool handOver = Waiters(value) > Handed(value);
            const uint64_t next = handOver ? value + OneHanded : value | Signal;
            if (next == value) return;  // signalled already, nobody waiting
            if (state.compare_exchange_weak(value, next, std::memory_order_release)) {
                if (handOver) Wake(1);
                return;
            }
        }
    }

    void Reset() { state.fetch_and(~Signal); }

    // Advances the sequence, so that no waiter about to sleep does, and wakes up to `count` sleepers.
    void Wake(int count) {
        sequence.fetch_add(1);
        if (sleepers.load() != 0) FutexWake(sequence, count);
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
    if (handle != nullptr) EventOf(handle)->Reset();
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
    if (nativeHandle != nullptr) EventOf(nativeHandle)->Wake(INT_MAX);
}

void SignalEvent(void* nativeHandle) noexcept {
    if (nativeHandle != nullptr) EventOf(nativeHandle)->Set();
}

}  // namespace SyncPrivate

}  // namespace Quorvin
