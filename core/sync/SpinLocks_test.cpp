// Tests of the spin locks: exclusion under contention, the state word's edge cases, upgrades and the
// queue lock's hand-over order.
#include "core/sync/SpinLocks.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

namespace Quorvin {
namespace {

// Runs `body(thread)` on `threads` threads that start together, and waits for them.
void RunTogether(int threads, const std::function<void(int)>& body) {
    std::atomic<int> ready{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            for (ready.fetch_add(1); ready.load() < threads;) std::this_thread::yield();
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
    SpinLock spin;
    uint64_t spinCounter = 0;
    RunTogether(4, [&](int t) {
        for (int i = 0; i < 20000; ++i) {
            if (t % 2 == 0) spin.Lock();
            while (t % 2 != 0 && !spin.TryLock()) std::this_thread::yield();
            ++spinCounter;
            spin.Unlock();
        }
    });
    EXPECT_EQ(spinCounter, 80000u);
    EXPECT_EQ(spin.State(), 0u);

    // Queue-lock waiters never yield, so with more threads than processors a hand-over may wait for
    // a time slice: fewer rounds.
    QueueLock queue;
    uint64_t queueCounter = 0;
    RunTogether(4, [&](int) {
        QueueLockNode node;
        for (int i = 0; i < 200; ++i) {
            queue.Lock(node);
            ++queueCounter;
            queue.Unlock(node);
        }
    });
    EXPECT_EQ(queueCounter, 800u);
    EXPECT_EQ(queue.Tail(), nullptr);
}

TEST(RWSpinLock, ReadersOverlapWhileWritersExcludeEveryone) {
    RWSpinLock lock;
    std::atomic<int> arrived{0};
    std::atomic<int> bothInside{0};
    // Each reader waits, holding the lock, until the other is inside too.
    RunTogether(2, [&](int) {
        lock.LockShared();
        arrived.fetch_add(1);
        if (Eventually([&] { return arrived.load() == 2; })) bothInside.fetch_add(1);
        lock.UnlockShared();
    });
    EXPECT_EQ(bothInside.load(), 2);

    // Writers take the lock in every way there is (and half of them leave through a downgrade); they
    // must find nobody inside, and readers must find no writer and the plain pair equal.
    std::atomic<int> readers{0};
    std::atomic<int> writers{0};
    std::atomic<int> violations{0};
    uint64_t first = 0;
    uint64_t second = 0;
    RunTogether(4, [&](int t) {
        for (int i = 0; i < 10000; ++i) {
            const int kind = (i + t) % 8;
            if (kind >= 4) {
                lock.LockShared();
                readers.fetch_add(1);
                if (writers.load() != 0 || first != second) violations.fetch_add(1);
                readers.fetch_sub(1);
                lock.UnlockShared();
                continue;
            }
            if (kind == 0) lock.LockExclusive();
            while (kind == 1 && !lock.TryLockExclusive()) std::this_thread::yield();
            if (kind >= 2) {
                lock.LockShared();
                lock.Upgrade();
            }
            if (writers.fetch_add(1) != 0 || readers.load() != 0) violations.fetch_add(1);
            ++first;
            ++second;
            writers.fetch_sub(1);
            if (i % 2 == 0) {
                lock.UnlockExclusive();
            } else {
                lock.Downgrade();
                lock.UnlockShared();
            }
        }
    });
    EXPECT_EQ(violations.load(), 0);
    EXPECT_EQ(first, 20000u);
    EXPECT_EQ(second, 20000u);
    EXPECT_EQ(lock.State(), 0u);
}

TEST(RWSpinLock, StateWordFollowsTheEdgeCases) {
    RWSpinLock lock;
    lock.LockExclusive();
    EXPECT_FALSE(lock.TryLockShared());
    lock.Downgrade();
    EXPECT_EQ(lock.State(), 4u);
    EXPECT_TRUE(lock.TryLockShared());
    EXPECT_FALSE(lock.TryLockExclusive());
    lock.UnlockShared();
    EXPECT_TRUE(lock.Upgrade());  // the sole reader keeps its hold
    EXPECT_EQ(lock.State(), 1u);

    // A waiting writer's pending bit survives a downgrade and keeps new readers out.
    std::thread waiter([&] {
        lock.LockExclusive();
        lock.UnlockExclusive();
    });
    EXPECT_TRUE(Eventually([&] { return lock.State() == 3; }));
    lock.Downgrade();
    EXPECT_EQ(lock.State(), 6u);
    EXPECT_FALSE(lock.TryLockShared());
    lock.UnlockShared();
    waiter.join();
    EXPECT_EQ(lock.State(), 0u);

    // Of two readers that upgrade at once, one keeps its hold and is served first; the other gives
    // its hold up and gets the lock afresh afterwards.
    for (int round = 0; round < 20; ++round) {
        std::atomic<int> holding{0};
        std::atomic<int> turn{0};
        std::atomic<int> keptTurn{-1};
        std::atomic<int> afreshTurn{-1};
        RunTogether(2, [&](int) {
            lock.LockShared();
            for (holding.fetch_add(1); holding.load() < 2;) std::this_thread::yield();
            const bool kept = lock.Upgrade();
            (kept ? keptTurn : afreshTurn).store(turn.fetch_add(1));
            lock.UnlockExclusive();
        });
        EXPECT_EQ(keptTurn.load(), 0);
        EXPECT_EQ(afreshTurn.load(), 1);
        EXPECT_EQ(lock.State(), 0u);
    }
}

TEST(QueueLock, HandsTheLockOverInArrivalOrderAndEmptiesTheTail) {
    QueueLock lock;
    QueueLockNode mine;
    QueueLockNode nodes[3];
    std::vector<int> turns;
    std::vector<std::thread> waiters;
    lock.Lock(mine);
    EXPECT_EQ(lock.Tail(), &mine);
    for (int w = 0; w < 3; ++w) {
        waiters.emplace_back([&, w] {
            lock.Lock(nodes[w]);
            turns.push_back(w);
            lock.Unlock(nodes[w]);
        });
        EXPECT_TRUE(Eventually([&] { return lock.Tail() == &nodes[w]; }));  // queued behind the last
    }
    lock.Unlock(mine);
    for (std::thread& waiter : waiters) waiter.join();
    EXPECT_EQ(turns, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(lock.Tail(), nullptr);
}

}  // namespace
}  // namespace Quorvin
