// Tests of the timer conversion constants derived from a frequency (the process's own constants:
// windows/TimerConstants_windows_test.cpp).
#include "core/time/TimerConstants.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace Quorvin
