// Tests of the spin locks: exclusion under contention, the state word's edge cases, upgrades and the
// queue lock's hand-over order.
#include "core/platform/SpinLocks.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

namespace Quorvin {
namespace {

constexpr int ThreadCount = 4;

// Runs `body(thread)` on `threads` threads that start together, and waits for them.
void RunTogether(int threads, const std::function<void(int)>& body) {
    std::atomic<int> ready{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            ready.fetch_add(1);
            while (ready.load() < threads) std::this_thread::yield();
            body(t);
        });
    }
    for (std::thread& worker : workers) worker.join();
}

// Waits up to ten seconds for `condition`; false if it never held.
bool Eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

TEST(SpinLocks, KeepAPlainCounterExactUnderContention) {
    constexpr int Increments = 20000;
    // Queue-lock waiters never yield: with more threads than processors every hand-over may wait
    // for a time slice, so that lock gets fewer rounds.
    constexpr int QueueIncrements = 200;

    SpinLock spin;
    uint64_t spinCounter = 0;
    RunTogether(ThreadCount, [&](int t) {
        for (int i = 0; i < Increments; ++i) {
            if (t % 2 == 0) {
                spin.Lock();
            } else {
                while (!spin.TryLock()) std::this_thread::yield();
            }
            ++spinCounter;
            spin.Unlock();
        }
    });
    EXPECT_EQ(spinCounter, uint64_t{ThreadCount} * Increments);
    EXPECT_EQ(spin.State(), 0u);

    RWSpinLock rw;
    uint64_t rwCounter = 0;
    RunTogether(ThreadCount, [&](int t) {
        for (int i = 0; i < Increments; ++i) {
            switch ((t + i) % 4) {
            case 0: rw.LockExclusive(); break;
            case 1:
                while (!rw.TryLockExclusive()) std::this_thread::yield();
                break;
            default:
                rw.LockShared();
                rw.Upgrade();
                break;
            }
            ++rwCounter;
            if (i % 8 == 0) {
                rw.Downgrade();
                rw.UnlockShared();
            } else {
                rw.UnlockExclusive();
            }
        }
    });
    EXPECT_EQ(rwCounter, uint64_t{ThreadCount} * Increments);
    EXPECT_EQ(rw.State(), 0u);

    QueueLock queue;
    uint64_t queueCounter = 0;
    RunTogether(ThreadCount, [&](int) {
        QueueLockNode node;
        for (int i = 0; i < QueueIncrements; ++i) {
            queue.Lock(node);
            ++queueCounter;
            queue.Unlock(node);
        }
    });
    EXPECT_EQ(queueCounter, uint64_t{ThreadCount} * QueueIncrements);
    EXPECT_EQ(queue.Tail(), nullptr);
}

TEST(RWSpinLock, ReadersOverlapWhileAWriterExcludesEveryone) {
    RWSpinLock lock;
    std::atomic<int> readersInside{0};
    std::atomic<int> bothInside{0};
    // Each reader waits, holding the lock, until the other is inside too.
    RunTogether(2, [&](int) {
        lock.LockShared();
        readersInside.fetch_add(1);
        if (Eventually([&] { return readersInside.load() == 2; })) bothInside.fetch_add(1);
        lock.UnlockShared();
    });
    EXPECT_EQ(bothInside.load(), 2);

    // Writers (exclusive, or readers that upgrade) must find nobody inside; readers must find no
    // writer. The plain pair is written by writers only and must always read equal.
    std::atomic<int> readers{0};
    std::atomic<int> writers{0};
    std::atomic<int> violations{0};
    uint64_t first = 0;
    uint64_t second = 0;
    RunTogether(ThreadCount, [&](int t) {
        for (int i = 0; i < 5000; ++i) {
            const bool write = (i + t) % 5 == 0;
            const bool upgrade = (i + t) % 5 == 1;
            if (write) {
                lock.LockExclusive();
            } else {
                lock.LockShared();
                if (upgrade) lock.Upgrade();
            }
            if (write || upgrade) {
                if (writers.fetch_add(1) != 0 || readers.load() != 0) violations.fetch_add(1);
                ++first;
                ++second;
                if (writers.fetch_sub(1) != 1 || readers.load() != 0) violations.fetch_add(1);
                lock.UnlockExclusive();
            } else {
                readers.fetch_add(1);
                if (writers.load() != 0 || first != second) violations.fetch_add(1);
                readers.fetch_sub(1);
                lock.UnlockShared();
            }
        }
    });
    EXPECT_EQ(violations.load(), 0);
    EXPECT_EQ(first, second);
    EXPECT_EQ(lock.State(), 0u);
}

TEST(RWSpinLock, StateWordFollowsTheEdgeCases) {
    RWSpinLock lock;
    lock.LockExclusive();
    EXPECT_EQ(lock.State(), 1u);
    EXPECT_FALSE(lock.TryLockShared());
    EXPECT_FALSE(lock.TryLockExclusive());
    lock.Downgrade();
    EXPECT_EQ(lock.State(), 4u);
    EXPECT_TRUE(lock.TryLockShared());
    EXPECT_EQ(lock.State(), 8u);
    EXPECT_FALSE(lock.TryLockExclusive());
    lock.UnlockShared();
    EXPECT_TRUE(lock.Upgrade());  // the sole reader keeps its hold
    EXPECT_EQ(lock.State(), 1u);
    lock.UnlockExclusive();
    EXPECT_EQ(lock.State(), 0u);

    // A writer that waits sets the pending bit, which a downgrade keeps and which keeps new readers
    // out; the waiter gets the lock once the last reader leaves.
    lock.LockExclusive();
    std::atomic<bool> waiterHolds{false};
    std::thread waiter([&] {
        lock.LockExclusive();
        waiterHolds = true;
        lock.UnlockExclusive();
    });
    EXPECT_TRUE(Eventually([&] { return lock.State() == 3; }));
    lock.Downgrade();
    EXPECT_EQ(lock.State(), 6u);
    EXPECT_FALSE(lock.TryLockShared());
    EXPECT_FALSE(waiterHolds.load());
    lock.UnlockShared();
    waiter.join();
    EXPECT_TRUE(waiterHolds.load());
    EXPECT_EQ(lock.State(), 0u);

    SpinLock spin;
    EXPECT_TRUE(spin.TryLock());
    EXPECT_EQ(spin.State(), 1u);
    EXPECT_FALSE(spin.TryLock());
    spin.Unlock();
    EXPECT_EQ(spin.State(), 0u);
}

TEST(RWSpinLock, OfTwoUpgradersOneKeepsItsHoldAndTheOtherStartsAfresh) {
    for (int round = 0; round < 20; ++round) {
        RWSpinLock lock;
        std::atomic<int> holding{0};
        std::atomic<int> exclusive{0};
        std::atomic<int> overlaps{0};
        std::atomic<int> turn{0};
        std::atomic<int> keptTurn{-1};
        std::atomic<int> afreshTurn{-1};
        RunTogether(2, [&](int) {
            lock.LockShared();
            holding.fetch_add(1);
            while (holding.load() < 2) std::this_thread::yield();  // both readers hold the lock
            const bool kept = lock.Upgrade();
            if (exclusive.fetch_add(1) != 0) overlaps.fetch_add(1);
            (kept ? keptTurn : afreshTurn).store(turn.fetch_add(1));
            exclusive.fetch_sub(1);
            lock.UnlockExclusive();
        });
        // One upgrader kept its hold and was served first; the other gave its hold up and got the
        // lock afresh afterwards.
        EXPECT_EQ(keptTurn.load(), 0);
        EXPECT_EQ(afreshTurn.load(), 1);
        EXPECT_EQ(overlaps.load(), 0);
        EXPECT_EQ(lock.State(), 0u);
    }
}

TEST(QueueLock, HandsTheLockOverInArrivalOrderAndEmptiesTheTail) {
    QueueLock lock;
    QueueLockNode mine;
    lock.Lock(mine);
    EXPECT_EQ(lock.Tail(), &mine);
    lock.Unlock(mine);
    EXPECT_EQ(lock.Tail(), nullptr);

    // Waiters queue up one after another behind a held lock; each records its turn.
    constexpr int Waiters = 3;
    QueueLockNode nodes[Waiters];
    std::vector<int> turns;
    std::vector<std::thread> threads;
    lock.Lock(mine);
    for (int w = 0; w < Waiters; ++w) {
        threads.emplace_back([&, w] {
            lock.Lock(nodes[w]);
            turns.push_back(w);
            lock.Unlock(nodes[w]);
        });
        EXPECT_TRUE(Eventually([&] { return lock.Tail() == &nodes[w]; }));
    }
    lock.Unlock(mine);
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(turns, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(lock.Tail(), nullptr);
}

}  // namespace
}  // namespace Quorvin
