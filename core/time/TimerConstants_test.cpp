// Tests of the timer conversion constants.
#include "core/time/TimerConstants.h"

#include <gtest/gtest.h>

#if defined(_WIN32)
#include "core/windows/WindowsApi.h"
#endif

namespace Quorvin {
namespace {

TEST(TimerConstants, DerivedFromTenMegahertz) {
    const TimerConstants constants = ComputeTimerConstants(10000000);
    EXPECT_EQ(constants.performanceFrequency, 10000000);
    EXPECT_EQ(constants.ticksPerMillisecond, 10000);
    EXPECT_EQ(constants.ticksPerMicrosecond, 10);
    EXPECT_DOUBLE_EQ(constants.millisecondsPerTick, 0.0001);
    EXPECT_DOUBLE_EQ(constants.microsecondsPerTick, 0.1);
    EXPECT_DOUBLE_EQ(constants.nanosecondsPerTick, 100.0);
    EXPECT_DOUBLE_EQ(constants.secondsPerTick, 1e-7);
}

TEST(TimerConstants, IntegerQuotientsTruncate) {
    const TimerConstants acpi = ComputeTimerConstants(3579545);
    EXPECT_EQ(acpi.ticksPerMillisecond, 3579);
    EXPECT_EQ(acpi.ticksPerMicrosecond, 3);
    EXPECT_DOUBLE_EQ(acpi.nanosecondsPerTick, 1e9 / 3579545.0);

    const TimerConstants slow = ComputeTimerConstants(999);
    EXPECT_EQ(slow.ticksPerMillisecond, 0);
    EXPECT_EQ(slow.ticksPerMicrosecond, 0);
}

TEST(TimerConstants, ProcessValuesComeFromThePerformanceCounter) {
#if defined(_WIN32)
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
#else
    GTEST_SKIP() << "the process's timer constants are read from the Windows performance counter";
#endif
}

}  // namespace
}  // namespace Quorvin
