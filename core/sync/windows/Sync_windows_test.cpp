// Tests of the Windows synchronisation objects against the kernel's own view of them.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "core/sync/Sync.h"
#include "core/windows/WindowsApi.h"

namespace Quorvin {
namespace {

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
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(event.WaitFor(60));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(40));

    std::thread setter([&] {
        Sleep(50);
        event.Set();
    });
    event.Wait();
    setter.join();
    EXPECT_FALSE(event.TryWait());
}

TEST(Semaphore, CountsUnitsUpToItsMaximum) {
    Semaphore semaphore(1, 3);
    auto takeUnit = [&] { return WaitForSingleObject(semaphore.NativeHandle(), 0) == WAIT_OBJECT_0; };
    semaphore.Wait();
    EXPECT_FALSE(takeUnit());
    semaphore.Release(2);
    semaphore.Release(2);  // would exceed the maximum: changes nothing
    EXPECT_TRUE(takeUnit());
    EXPECT_TRUE(takeUnit());
    EXPECT_FALSE(takeUnit());

    Semaphore refused(2, 1);  // the system refuses it: waits return at once
    EXPECT_EQ(refused.NativeHandle(), nullptr);
    refused.Wait();
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

}  // namespace
}  // namespace Quorvin
