// Tests of the process's timer constants on Windows, read from the performance counter.
#include <gtest/gtest.h>

#include "core/time/TimerConstants.h"
#include "core/windows/WindowsApi.h"

namespace Quorvin {
namespace {

TEST(TimerConstants, ProcessValuesComeFromThePerformanceCounter) {
    LARGE_INTEGER frequency{};
    ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
    const TimerConstants expected = ComputeTimerConstants(frequency.QuadPart);
    EXPECT_EQ(PerformanceFrequency, frequency.QuadPart);
    EXPECT_EQ(TicksPerMillisecond, expected.ticksPerMillisecond);
    EXPECT_EQ(TicksPerMicrosecond, expected.ticksPerMicrosecond);
    EXPECT_EQ(MillisecondsPerTick, expected.millisecondsPerTick);
    EXPECT_EQ(MicrosecondsPerTick, expected.microsecondsPerTick);
    EXPECT_EQ(NanosecondsPerTick, expected.nanosecondsPerTick);
    EXPECT_EQ(SecondsPerTick, expected.secondsPerTick);
}

}  // namespace
}  // namespace Quorvin
