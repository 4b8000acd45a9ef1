// Busy-waiting locks for short critical sections: a test-and-set spin lock, a queue lock in which
// each waiter spins on its own node, and a reader-writer spin lock that can be upgraded and
// downgraded.
//
// None of them blocks in the kernel: a waiter spins with the processor's spin-wait hint and, in
// SpinLock and RWSpinLock, backs off to yielding the processor after 31 hints (QueueLock waiters
// never yield). Keep the sections they guard short. Every lock works from any thread, none is
// recursive (a thread must not take a lock it already holds), and each is one plain value without
// virtual operations or clean-up; none can fail. Each read-modify-write of a lock word is one atomic
// instruction with full ordering, so everything written under a hold is visible to the next holder.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/base/Compiler.h"

namespace Quorvin {

/// A test-and-set lock on one 32-bit word: 0 free, 1 held. No ordering among waiters.
class SpinLock {
public:
    constexpr SpinLock() = default;
    SpinLock(const SpinLock&) = delete;
    SpinLock& operator=(const SpinLock&) = delete;

    /// Returns once the calling thread holds the lock.
    QUORVIN_FORCEINLINE void Lock() {
        if (state.exchange(1) != 1) return;
        LockContended();
    }
    /// One attempt: true when the lock was free and is now held by the caller.
    QUORVIN_FORCEINLINE bool TryLock() { return state.exchange(1) == 0; }
    /// Releases a hold of the caller's.
    QUORVIN_FORCEINLINE void Unlock() { state.store(0, std::memory_order_release); }

    /// The lock word (0 free, 1 held), for diagnostics; stale as soon as it is read.
    uint32_t State() const { return state.load(std::memory_order_relaxed); }

private:
    void LockContended();

    std::atomic<uint32_t> state{0};
};

/// The caller's place in a QueueLock's queue, for one hold: pass the same node to Lock and Unlock
/// and keep it alive, and unused by any other hold, from Lock until Unlock has returned. Under heavy
/// contention give each node a cache line of its own, since its owner spins on it.
struct QueueLockNode {
    /// 1 while the owner must keep waiting, 0 once the lock has been handed to it.
    std::atomic<uint64_t> locked{0};
    /// The successor's node, or null.
    std::atomic<QueueLockNode*> next{nullptr};
};

/// A queue lock (MCS): grants the lock in arrival order, and each waiter spins only on its own node,
/// with the spin-wait hint and without ever yielding. A waiter that the system preempts therefore
/// holds up everyone queued behind it: use it where there are no more waiters than processors.
class QueueLock {
public:
    constexpr QueueLock() = default;
    QueueLock(const QueueLock&) = delete;
    QueueLock& operator=(const QueueLock&) = delete;

    /// Queues `node` (its previous contents do not matter) and returns once the caller holds the lock.
    QUORVIN_FORCEINLINE void Lock(QueueLockNode& node) {
        node.next.store(nullptr, std::memory_order_relaxed);
        node.locked.store(1, std::memory_order_relaxed);
        QueueLockNode* predecessor = tail.exchange(&node);
        if (predecessor != nullptr) WaitBehind(*predecessor, node);
    }
    /// Releases the hold taken with `node`, handing the lock to the next waiter in arrival order.
    QUORVIN_FORCEINLINE void Unlock(QueueLockNode& node) {
        QueueLockNode* successor = node.next.load(std::memory_order_acquire);
        if (successor == nullptr) {
            QueueLockNode* expected = &node;
            if (tail.compare_exchange_strong(expected, nullptr)) return;
            successor = AwaitSuccessor(node);
        }
        successor->locked.store(0, std::memory_order_release);
    }

    /// The node of the most recent waiter or holder; null when the lock is free. For diagnostics.
    const QueueLockNode* Tail() const { return tail.load(std::memory_order_relaxed); }

private:
    static void WaitBehind(QueueLockNode& predecessor, QueueLockNode& node);
    static QueueLockNode* AwaitSuccessor(QueueLockNode& node);

    std::atomic<QueueLockNode*> tail{nullptr};
};

/// A reader-writer spin lock on one 64-bit word:
///   bit 0     a writer holds the lock;
///   bit 1     a writer is waiting; new readers stay out while it is set;
///   bits 2-63 the number of readers holding the lock (each adds 4 to the word).
/// A waiting writer keeps new readers out, so readers cannot starve it; otherwise there is no
/// ordering among waiters.
class RWSpinLock {
public:
    static constexpr uint64_t WriterBit = 1;   ///< a writer holds the lock
    static constexpr uint64_t PendingBit = 2;  ///< a writer is waiting
    static constexpr uint64_t OneReader = 4;   ///< what each reader adds to the word

    constexpr RWSpinLock() = default;
    RWSpinLock(const RWSpinLock&) = delete;
    RWSpinLock& operator=(const RWSpinLock&) = delete;

    /// Returns once the caller holds the lock exclusively. While it waits it sets the pending bit,
    /// which keeps new readers out.
    void LockExclusive();
    /// One attempt, without announcing a wait: true when the lock was taken exclusively.
    bool TryLockExclusive();
    /// Releases an exclusive hold; also clears the pending bit (a writer still waiting sets it
    /// again).
    QUORVIN_FORCEINLINE void UnlockExclusive() { state.fetch_and(~(WriterBit | PendingBit)); }

    /// Returns once the caller holds the lock shared.
    QUORVIN_FORCEINLINE void LockShared() {
        if (TryLockShared()) return;
        LockSharedContended();
    }
    /// One attempt: true when a shared hold was taken. Fails while a writer holds or waits.
    QUORVIN_FORCEINLINE bool TryLockShared() {
        if ((state.load(std::memory_order_relaxed) & (WriterBit | PendingBit)) != 0) return false;
        if ((state.fetch_add(OneReader) & WriterBit) == 0) return true;
        state.fetch_sub(OneReader);
        return false;
    }
    /// Releases a shared hold.
    QUORVIN_FORCEINLINE void UnlockShared() { state.fetch_sub(OneReader); }

    /// Turns the caller's shared hold into an exclusive one. Returns true when the hold was never
    /// released in between, so what the caller read under it still holds. Returns false when
    /// another writer or upgrader was already waiting: the shared hold was then given up and the
    /// lock taken exclusively afresh, and anything read under the shared hold may be stale. The
    /// first upgrader has priority, so two upgraders never wait for each other.
    bool Upgrade();
    /// Turns the caller's exclusive hold into a shared one in one step: no writer can get in
    /// between. A pending bit is kept.
    QUORVIN_FORCEINLINE void Downgrade() { state.fetch_add(OneReader - WriterBit); }

    /// The lock word, for diagnostics and tests; stale as soon as it is read.
    uint64_t State() const { return state.load(std::memory_order_relaxed); }

private:
    void LockSharedContended();

    std::atomic<uint64_t> state{0};
};

}  // namespace Quorvin
