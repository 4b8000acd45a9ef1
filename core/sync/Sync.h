// Owners of Windows synchronisation objects: an auto-reset event, a counting semaphore and a
// critical-section mutex. Windows builds only.
//
// Each object owns exactly one handle or pointer, created by its constructor and closed by its
// destructor; none can be copied or moved. Creation failures are not reported: an event or
// semaphore whose creation failed holds a null handle, and every wait on it returns at once
// (TryWait and WaitFor then return false). All waits are non-alertable. Every operation may be
// called from any thread while the object exists.
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

    /// The event's handle (a Windows HANDLE), still owned by the event; null when creation failed.
    /// Good for any Windows wait, for example as the cancel handle of RunProcessWithPipes.
    void* NativeHandle() const { return handle; }

private:
    void* handle = nullptr;
};

/// An unnamed counting semaphore.
class Semaphore {
public:
    /// A semaphore with `initialCount` (0 to `maximumCount`) units available.
    Semaphore(int32_t initialCount, int32_t maximumCount);
    ~Semaphore();
    Semaphore(const Semaphore&) = delete;
    Semaphore& operator=(const Semaphore&) = delete;

    /// Waits until a unit is available and takes it.
    void Wait();
    /// Makes `count` more units available. A release that would exceed the maximum count changes
    /// nothing and is not reported.
    void Release(int32_t count = 1);

    /// The semaphore's handle (a Windows HANDLE), still owned by it; null when creation failed.
    void* NativeHandle() const { return handle; }

private:
    void* handle = nullptr;
};

/// A mutex over a Windows critical section, which waits in the kernel when contended. Recursive, as
/// critical sections are: the holder may lock it again and must unlock it as often.
class Mutex {
public:
    /// Throws std::bad_alloc when the heap cannot supply the critical section's storage.
    Mutex();
    ~Mutex();
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    /// Returns once the caller holds the mutex.
    void Lock();
    /// Releases one hold of the caller's.
    void Unlock();

private:
    void* storage = nullptr;  // one CRITICAL_SECTION, from malloc
};

}  // namespace Quorvin
