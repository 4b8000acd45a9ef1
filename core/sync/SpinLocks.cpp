// The waiting paths of the spin locks.
#include "core/sync/SpinLocks.h"

#include "core/sync/internal/Yield.h"

namespace Quorvin {

using SyncPrivate::Backoff;
using SyncPrivate::SpinWaitHint;

void SpinLock::LockContended() {
    Backoff backoff;
    do {
        backoff.Pause();
    } while (state.exchange(1) == 1);
}

void QueueLock::WaitBehind(QueueLockNode& predecessor, QueueLockNode& node) {
    predecessor.next.store(&node, std::memory_order_release);
    while (node.locked.load(std::memory_order_acquire) != 0) SpinWaitHint();
}

// The tail has moved on from `node`: a successor has swapped itself in but not yet linked itself.
QueueLockNode* QueueLock::AwaitSuccessor(QueueLockNode& node) {
    QueueLockNode* successor;
    while ((successor = node.next.load(std::memory_order_acquire)) == nullptr) SpinWaitHint();
    return successor;
}

void RWSpinLock::LockExclusive() {
    Backoff backoff;
    for (;;) {
        uint64_t seen = state.load(std::memory_order_relaxed);
        if ((seen & ~PendingBit) == 0) {
            // Free but for a pending bit (perhaps this thread's own): take it and clear that bit.
            if (state.compare_exchange_strong(seen, WriterBit)) return;
            // Lost a race for a free lock: try again soon rather than after a long back-off.
            backoff.Restart();
            backoff.Pause();
            continue;
        }
        if ((seen & PendingBit) == 0) state.fetch_or(PendingBit);
        backoff.Pause();
    }
}

bool RWSpinLock::TryLockExclusive() {
    uint64_t seen = state.load(std::memory_order_relaxed);
    if ((seen & ~PendingBit) != 0) return false;
    return state.compare_exchange_strong(seen, WriterBit);
}

void RWSpinLock::LockSharedContended() {
    Backoff backoff;
    do {
        backoff.Pause();
    } while (!TryLockShared());
}

bool RWSpinLock::Upgrade() {
    uint64_t seen = state.load(std::memory_order_relaxed);
    for (;;) {
        if ((seen & ~(WriterBit | PendingBit)) != OneReader && (seen & PendingBit) != 0) {
            // Another writer or upgrader is already waiting for the readers to leave, this one
            // among them: waiting here too would never end, so leave and queue up as a writer.
            state.fetch_sub(OneReader);
            LockExclusive();
            return false;
        }
        // Claim the writer bit (which keeps other writers out) and the pending bit (which keeps new
        // readers out) while the caller's own shared hold keeps the lock from being taken.
        if (state.compare_exchange_strong(seen, seen | WriterBit | PendingBit)) break;
    }
    Backoff backoff;
    while ((state.load(std::memory_order_acquire) & ~(WriterBit | PendingBit)) != OneReader) backoff.Pause();
    // Drops the caller's reader and the pending bit, leaving the writer bit.
    state.fetch_sub(OneReader + PendingBit);
    return true;
}

}  // namespace Quorvin
