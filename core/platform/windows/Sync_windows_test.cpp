// Tests of the Windows synchronisation objects against the kernel's own view of them.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "core/platform/Sync.h"
#include "core/windows/WindowsApi.h"

namespace Quorvin {
namespace {

// Takes one unit of the semaphore without waiting; true when there was one.
bool TakeUnit(Semaphore& semaphore) {
    return WaitForSingleObject(semaphore.NativeHandle(), 0) == WAIT_OBJECT_0;
}

TEST(Event, IsAutoResetAndTimesOut) {
    Event event;
    ASSERT_NE(event.NativeHandle(), nullptr);
    EXPECT_FALSE(event.TryWait());
    event.Set();
    EXPECT_TRUE(event.TryWait());
    EXPECT_FALSE(event.TryWait());  // the wait consumed the signal
    event.Set();
    EXPECT_TRUE(event.WaitFor(0));
    EXPECT_FALSE(event.WaitFor(0));
    event.Set();
    event.Reset();
    EXPECT_FALSE(event.TryWait());

    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(event.WaitFor(60));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(40));

    std::atomic<bool> woke{false};
    std::thread waiter([&] {
        event.Wait();
        woke = true;
    });
    Sleep(50);
    EXPECT_FALSE(woke.load());
    event.Set();
    waiter.join();
    EXPECT_TRUE(woke.load());
    EXPECT_FALSE(event.TryWait());
}

TEST(Semaphore, CountsUnitsUpToItsMaximum) {
    Semaphore semaphore(1, 3);
    ASSERT_NE(semaphore.NativeHandle(), nullptr);
    semaphore.Wait();
    EXPECT_FALSE(TakeUnit(semaphore));
    semaphore.Release(2);
    semaphore.Release(2);  // would exceed the maximum: changes nothing
    EXPECT_TRUE(TakeUnit(semaphore));
    EXPECT_TRUE(TakeUnit(semaphore));
    EXPECT_FALSE(TakeUnit(semaphore));
    semaphore.Release();
    semaphore.Wait();
    EXPECT_FALSE(TakeUnit(semaphore));

    Semaphore invalid(2, 1);  // refused by the system: waits return at once
    EXPECT_EQ(invalid.NativeHandle(), nullptr);
    invalid.Wait();
    invalid.Release();
}

TEST(Mutex, KeepsAPlainCounterExactUnderContentionAndIsRecursive) {
    Mutex mutex;
    uint64_t counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                mutex.Lock();
                ++counter;
                mutex.Unlock();
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(counter, 80000u);

    mutex.Lock();
    mutex.Lock();
    mutex.Unlock();
    std::atomic<bool> entered{false};
    std::thread other([&] {
        mutex.Lock();
        entered = true;
        mutex.Unlock();
    });
    Sleep(50);
    EXPECT_FALSE(entered.load());  // still held once
    mutex.Unlock();
    other.join();
    EXPECT_TRUE(entered.load());
}

}  // namespace
}  // namespace Quorvin
