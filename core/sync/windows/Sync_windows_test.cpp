// Tests of the Windows synchronisation objects against the kernel's own view of their handles.
#include <gtest/gtest.h>

#include "core/sync/Sync.h"
#include "core/windows/WindowsApi.h"

namespace Quorvin {
namespace {

TEST(Semaphore, CountsUnitsAsTheKernelSeesThem) {
    Semaphore semaphore(1, 3);
    auto takeUnit = [&] { return WaitForSingleObject(semaphore.NativeHandle(), 0) == WAIT_OBJECT_0; };
    semaphore.Wait();
    EXPECT_FALSE(takeUnit());
    semaphore.Release(2);
    semaphore.Release(2);  // would exceed the maximum: changes nothing
    EXPECT_TRUE(takeUnit());
    EXPECT_TRUE(takeUnit());
    EXPECT_FALSE(takeUnit());
}

TEST(Event, HandleIsAKernelEvent) {
    Event event;
    EXPECT_EQ(WaitForSingleObject(event.NativeHandle(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    event.Set();
    EXPECT_EQ(WaitForSingleObject(event.NativeHandle(), 0), WAIT_OBJECT_0);
    EXPECT_FALSE(event.TryWait());  // the kernel's wait consumed it
}

}  // namespace
}  // namespace Quorvin
