// Tests of the wait for an event or a stop request that a cancellable child-process run uses.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "core/sync/Sync.h"
#include "core/sync/internal/EventWait.h"

namespace Quorvin {
namespace {

// A stop requested at any moment, before the waiter sleeps or after, ends the wait (a wake sent
// between its look at the stop flag and its sleep must not be lost), and leaves the signal alone.
TEST(EventWait, AStopEndsTheWaitWheneverItComesAndConsumesNothing) {
    Event event;
    for (int round = 0; round < 400; ++round) {
        std::atomic<bool> stop{false};
        std::atomic<int> result{-1};
        std::thread waiter(
            [&] { result = SyncPrivate::WaitForEventOrStop(event.NativeHandle(), stop) ? 1 : 0; });
        if (round % 4 == 1) std::this_thread::sleep_for(std::chrono::microseconds(round));
        if (round % 4 == 2) std::this_thread::yield();
        stop = true;
        SyncPrivate::WakeEventWaiters(event.NativeHandle());
        waiter.join();
        ASSERT_EQ(result.load(), 0) << round;
    }
    event.Set();
    std::atomic<bool> stop{false};
    EXPECT_TRUE(SyncPrivate::WaitForEventOrStop(event.NativeHandle(), stop));
    EXPECT_FALSE(event.TryWait());
    stop = true;
    event.Set();
    EXPECT_FALSE(SyncPrivate::WaitForEventOrStop(event.NativeHandle(), stop));
    EXPECT_TRUE(event.TryWait());  // the stopped wait left the signal
}

}  // namespace
}  // namespace Quorvin
