// Tests of the event, semaphore and mutex through their own operations, on every system.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "core/sync/Sync.h"

namespace Quorvin {
namespace {

using namespace std::chrono_literals;

TEST(Event, IsAutoResetAndTimesOut) {
    Event event;
    ASSERT_NE(event.NativeHandle(), nullptr);
    EXPECT_FALSE(event.TryWait());
    event.Set();
    event.Set();  // signals do not add up
    EXPECT_TRUE(event.TryWait());
    EXPECT_FALSE(event.TryWait());  // the wait consumed the signal
    event.Set();
    EXPECT_TRUE(event.WaitFor(0));
    EXPECT_FALSE(event.WaitFor(0));
    event.Set();
    event.Reset();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(event.WaitFor(60));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 40ms);

    std::thread setter([&] {
        std::this_thread::sleep_for(50ms);
        event.Set();
    });
    event.Wait();
    setter.join();
    EXPECT_FALSE(event.TryWait());
}

// Each Set lets exactly one of several sleeping or spinning waiters through: a lost wake-up hangs
// the hand-over, a doubled one shows in the count.
TEST(Event, EachSignalReleasesExactlyOneOfManyWaiters) {
    constexpr int Rounds = 2000;
    constexpr int Waiters = 4;
    Event event;
    Semaphore passed(0, Rounds + Waiters);
    std::atomic<bool> stopping{false};
    std::atomic<int> passes{0};
    std::atomic<int> left{0};
    std::vector<std::thread> waiters;
    for (int w = 0; w < Waiters; ++w) {
        waiters.emplace_back([&, w] {
            for (;;) {
                if (w % 2 == 0) {
                    event.Wait();
                } else if (!event.WaitFor(1)) {  // half of them time out over and over meanwhile
                    continue;
                }
                if (stopping.load()) {
                    left.fetch_add(1);
                    return;
                }
                passes.fetch_add(1);
                passed.Release();
            }
        });
    }
    for (int round = 0; round < Rounds; ++round) {
        if (round % 64 == 0) std::this_thread::sleep_for(1ms);  // let the waiters fall asleep
        event.Set();
        passed.Wait();
    }
    EXPECT_EQ(passes.load(), Rounds);
    EXPECT_FALSE(passed.TryWait());
    stopping = true;
    while (left.load() < Waiters) {
        event.Set();
        std::this_thread::sleep_for(1ms);
    }
    for (std::thread& waiter : waiters) waiter.join();
    EXPECT_EQ(passes.load(), Rounds);
}

// As with Windows' events: a Set with threads waiting releases one of them at once, so a second
// Set right after it releases a second waiter rather than merging with the first.
TEST(Event, EachSetReleasesAnotherSleepingWaiter) {
    for (int round = 0; round < 20; ++round) {
        Event event;
        std::atomic<int> passed{0};
        std::vector<std::thread> waiters;
        for (int w = 0; w < 2; ++w) {
            waiters.emplace_back([&] {
                if (event.WaitFor(5000)) passed.fetch_add(1);
            });
        }
        std::this_thread::sleep_for(20ms);  // both asleep
        event.Set();
        event.Set();
        for (std::thread& waiter : waiters) waiter.join();
        EXPECT_EQ(passed.load(), 2) << round;
        EXPECT_FALSE(event.TryWait()) << round;
    }
}

TEST(Semaphore, CountsUnitsUpToItsMaximum) {
    Semaphore semaphore(1, 3);
    ASSERT_NE(semaphore.NativeHandle(), nullptr);
    semaphore.Wait();
    EXPECT_FALSE(semaphore.TryWait());
    semaphore.Release(2);
    semaphore.Release(2);  // would exceed the maximum: changes nothing
    semaphore.Release(0);
    semaphore.Release(-1);
    EXPECT_TRUE(semaphore.TryWait());
    EXPECT_TRUE(semaphore.TryWait());
    EXPECT_FALSE(semaphore.TryWait());

    for (const auto& [initial, maximum] : {std::pair{2, 1}, {-1, 1}, {0, 0}}) {
        Semaphore refused(initial, maximum);  // the system refuses it: waits return at once
        EXPECT_EQ(refused.NativeHandle(), nullptr) << initial << "/" << maximum;
        refused.Wait();
        EXPECT_FALSE(refused.TryWait());
    }
}

// Units released in batches by two threads are taken exactly once each by four sleeping consumers.
TEST(Semaphore, HandsOutEveryUnitExactlyOnce) {
    constexpr int PerProducer = 5000;
    Semaphore semaphore(0, 1 << 20);
    std::atomic<int> taken{0};
    std::vector<std::thread> threads;
    for (int c = 0; c < 4; ++c) {
        threads.emplace_back([&] {
            for (int i = 0; i < PerProducer / 2; ++i) {
                semaphore.Wait();
                taken.fetch_add(1);
            }
        });
    }
    for (int p = 0; p < 2; ++p) {
        threads.emplace_back([&] {
            for (int released = 0; released < PerProducer; released += 5) semaphore.Release(5);
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(taken.load(), 2 * PerProducer);
    EXPECT_FALSE(semaphore.TryWait());
}

TEST(Mutex, KeepsAPlainCounterExactUnderContentionAndIsRecursive) {
    Mutex mutex;
    uint64_t counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                mutex.Lock();
                mutex.Lock();
                ++counter;
                mutex.Unlock();
                mutex.Unlock();
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(counter, 80000u);
}

// A thread that released its last hold no longer counts as the holder: another thread then gets
// the mutex, and the first one waits for it like anyone else.
TEST(Mutex, ReleasedHoldsLetOtherThreadsIn) {
    Mutex mutex;
    mutex.Lock();
    mutex.Lock();
    mutex.Unlock();
    std::atomic<bool> entered{false};
    std::thread other([&] {
        mutex.Lock();
        entered = true;
        std::this_thread::sleep_for(30ms);
        mutex.Unlock();
    });
    std::this_thread::sleep_for(30ms);
    EXPECT_FALSE(entered.load());  // one hold is still ours
    mutex.Unlock();
    while (!entered.load()) std::this_thread::yield();
    const auto start = std::chrono::steady_clock::now();
    mutex.Lock();  // the other thread holds it now
    EXPECT_GE(std::chrono::steady_clock::now() - start, 10ms);
    mutex.Unlock();
    other.join();
}

}  // namespace
}  // namespace Quorvin
