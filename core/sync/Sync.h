// Synchronisation objects that wait in the kernel: an auto-reset event, a counting semaphore and a
// recursive mutex. On Windows each owns a kernel object or critical section; on Linux each is a
// word in memory that waiters spin on briefly and then sleep on through the kernel's futex, with
// the same results and time-outs.
//
// Each object owns exactly one handle or pointer, created by its constructor and closed by its
// destructor; none can be copied or moved. Creation failures are not reported: an event or
// semaphore whose creation failed holds a null handle, and every wait on it returns at once
// (TryWait and WaitFor then return false). All waits are non-alertable (Linux: a signal handler
// does not end them). Every operation may be called from any thread while the object exists.
#pragma once

#include <cstdint>

namespace Quorvin {

/// An unnamed, auto-reset event, created non-signalled: a successful wait consumes the signal.
class Event {
public:
    Event();
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    /// Waits until the event is signalled, and consumes the signal.
    void Wait();
    /// Consumes the signal if the event is signalled; true when it was. Never waits.
    bool TryWait();
    /// Waits at most `milliseconds` (0xFFFFFFFF: without limit); true when a signal was consumed,
    /// false on time-out or failure. WaitFor(0) is TryWait.
    bool WaitFor(uint32_t milliseconds);
    /// Signals the event: one waiter, present or future, gets through.
    void Set();
    /// Takes back a signal that no waiter has consumed yet.
    void Reset();

    /// The event's handle, still owned by the event; null when creation failed. Good as the cancel
    /// handle of RunProcessWithPipes on both systems. On Windows it is a HANDLE, good for any
    /// Windows wait; on Linux it is the address of the event's state and means nothing else.
    void* NativeHandle() const { return handle; }

private:
    void* handle = nullptr;
};

/// An unnamed counting semaphore.
class Semaphore {
public:
    /// A semaphore with `initialCount` (0 to `maximumCount`) units available. The system refuses
    /// a maximum below 1 or an initial count outside that range: the handle is then null.
    Semaphore(int32_t initialCount, int32_t maximumCount);
    ~Semaphore();
    Semaphore(const Semaphore&) = delete;
    Semaphore& operator=(const Semaphore&) = delete;

    /// Waits until a unit is available and takes it.
    void Wait();
    /// Takes a unit if one is available; true when it did. Never waits.
    bool TryWait();
    /// Makes `count` more units available. A release that would exceed the maximum count, or of a
    /// count below 1, changes nothing and is not reported.
    void Release(int32_t count = 1);

    /// The semaphore's handle (Windows: a HANDLE; Linux: the address of its state), still owned by
    /// it; null when creation failed.
    void* NativeHandle() const { return handle; }

private:
    void* handle = nullptr;
};

/// A mutex that waits in the kernel when contended (Windows: a critical section; Linux: a futex
/// word). Recursive, as critical sections are: the holder may lock it again and must unlock it as
/// often. Unlocking a mutex the caller does not hold is undefined.
class Mutex {
public:
    /// Throws std::bad_alloc when the heap cannot supply the mutex's storage.
    Mutex();
    ~Mutex();
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    /// Returns once the caller holds the mutex.
    void Lock();
    /// Releases one hold of the caller's.
    void Unlock();

private:
    void* storage = nullptr;  // Windows: one CRITICAL_SECTION, from malloc; Linux: the futex state
};

}  // namespace Quorvin
