// Tests of the time helpers: conversions at fixed and slow counter rates, the duration splitter,
// the process's constants and counter, and the local calendar under fixed time zones (the link
// between the constants and the performance counter: windows/TimerConstants_windows_test.cpp).
#include "core/time/Clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <random>
#include <thread>

#include "core/base/BitMath.h"
#include "tests/support/TimeZoneTesting.h"

namespace Quorvin {
namespace {

DurationParts Split(uint32_t milliseconds) {
    DurationParts parts{7, 7, 7, 7, 7};
    SplitDuration(milliseconds, parts);
    return parts;
}

TEST(Clock, SplitDurationGivesEachUnitItsRange) {
    EXPECT_EQ(Split(0), (DurationParts{0, 0, 0, 0, 0}));
    EXPECT_EQ(Split(999), (DurationParts{0, 0, 0, 0, 999}));
    EXPECT_EQ(Split(1000), (DurationParts{0, 0, 0, 1, 0}));
    EXPECT_EQ(Split(3723004), (DurationParts{0, 1, 2, 3, 4}));
    EXPECT_EQ(Split(90061001), (DurationParts{1, 1, 1, 1, 1}));
    EXPECT_EQ(Split(4294967295u), (DurationParts{49, 17, 2, 47, 295}));

    std::mt19937 random(3);
    for (int i = 0; i < 10000; ++i) {
        const uint32_t ms = static_cast<uint32_t>(random());
        const DurationParts p = Split(ms);
        ASSERT_LT(p.milliseconds, 1000u);
        ASSERT_LT(p.seconds, 60u);
        ASSERT_LT(p.minutes, 60u);
        ASSERT_LT(p.hours, 24u);
        const uint64_t back =
            (((uint64_t{p.days} * 24 + p.hours) * 60 + p.minutes) * 60 + p.seconds) * 1000 + p.milliseconds;
        ASSERT_EQ(back, ms);
    }
}

TEST(Clock, ConversionsAtTenMegahertz) {
    const TimerConstants c = ComputeTimerConstants(10000000);
    EXPECT_EQ(TickCount::FromMilliseconds(5, c).ticks, 50000);
    EXPECT_EQ(TickCount::FromMicroseconds(3, c).ticks, 30);
    EXPECT_EQ(TickCount(25).ToMicroseconds(c), 2);
    EXPECT_EQ(TickCount(-15000).ToMilliseconds(c), -1);  // truncates toward zero
    EXPECT_EQ(TickCount(-25).ToMicroseconds(c), -2);
    EXPECT_EQ(TickCount(INT64_MIN).ToMilliseconds(c), INT64_MIN / 10000);
    // The multiplication wraps: 2^64 / 10,000 ms and more land back near zero.
    EXPECT_EQ(TickCount::FromMilliseconds(~uint64_t{0}, c).ticks, -10000);

    const TimerConstants acpi = ComputeTimerConstants(3579545);
    EXPECT_EQ(TickCount::FromMilliseconds(2, acpi).ticks, 7158);
    EXPECT_EQ(TickCount(7158).ToMilliseconds(acpi), 2);
    EXPECT_EQ(TickCount(7157).ToMilliseconds(acpi), 1);
    EXPECT_EQ((TickCount(10) - TickCount(25)).ticks, -15);
    EXPECT_LT(TickCount(1), TickCount(2));
}

TEST(Clock, SlowCountersConvertFromTheFrequency) {
    // Below 1,000 (1,000,000) ticks per second the integer factors are 0; the conversions must
    // neither divide by zero nor collapse to 0, but give the exact truncated quotient.
    for (int64_t frequency : {1, 7, 500, 999, 32768, 999999}) {
        const TimerConstants c = ComputeTimerConstants(frequency);
        ASSERT_EQ(c.ticksPerMicrosecond, 0);
        std::mt19937_64 random(static_cast<uint64_t>(frequency));
        for (int i = 0; i < 2000; ++i) {
            // Small enough that the plain products fit 64 bits, for an independent reference.
            const int64_t ticks = static_cast<int64_t>(random() % 9000000000000ull) - 4500000000000;
            ASSERT_EQ(TickCount(ticks).ToMicroseconds(c), ticks * 1000000 / frequency) << frequency;
            ASSERT_EQ(TickCount(ticks).ToMilliseconds(c),
                      c.ticksPerMillisecond > 0 ? ticks / c.ticksPerMillisecond : ticks * 1000 / frequency);
            const uint64_t count = random() % 9000000000000ull;
            ASSERT_EQ(TickCount::FromMicroseconds(count, c).ticks,
                      static_cast<int64_t>(count * static_cast<uint64_t>(frequency) / 1000000));
        }
    }
    const TimerConstants slow = ComputeTimerConstants(500);
    EXPECT_EQ(TickCount::FromMilliseconds(3, slow).ticks, 1);
    EXPECT_EQ(TickCount(1).ToMilliseconds(slow), 2);
    EXPECT_EQ(TickCount(-1).ToMilliseconds(slow), -2);

    const TimerConstants none = ComputeTimerConstants(0);
    EXPECT_EQ(TickCount(12345).ToMilliseconds(none), 0);
    EXPECT_EQ(TickCount(12345).ToMicroseconds(none), 0);
    EXPECT_EQ(TickCount::FromMilliseconds(12345, none).ticks, 0);
    EXPECT_EQ(TickCount::FromMicroseconds(12345, ComputeTimerConstants(-5)).ticks, 0);
}

#if defined(__SIZEOF_INT128__)
// Constants with a factor of 0 convert through the frequency, exactly for every tick count and
// frequency: checked against 128-bit signed arithmetic, over the whole range of both, including
// hand-made constants whose plain products would overflow 64 bits.
TEST(Clock, FrequencyConversionsAreExactAtEveryMagnitude) {
    const auto reference = [](int64_t ticks, int64_t units, int64_t frequency) {
        return static_cast<int64_t>(static_cast<uint64_t>(static_cast<__int128>(ticks) * units / frequency));
    };
    const auto referenceTicks = [](uint64_t count, int64_t frequency, int64_t units) {
        return static_cast<int64_t>(static_cast<uint64_t>(static_cast<unsigned __int128>(count) *
                                                          static_cast<uint64_t>(frequency) / units));
    };
    TimerConstants huge;
    huge.performanceFrequency = INT64_MAX;
    EXPECT_EQ(TickCount(INT64_MAX - 1).ToMicroseconds(huge), 999999);
    EXPECT_EQ(TickCount(INT64_MIN).ToMicroseconds(huge), -1000000);
    EXPECT_EQ(TickCount::FromMicroseconds(999999, huge).ticks, referenceTicks(999999, INT64_MAX, 1000000));

    std::mt19937_64 random(77);
    for (int i = 0; i < 20000; ++i) {
        TimerConstants c;
        c.performanceFrequency = static_cast<int64_t>(random() >> (1 + random() % 63));
        if (c.performanceFrequency == 0) {
            continue;
        }
        const int64_t ticks = static_cast<int64_t>(random()) >> (random() % 64);
        const uint64_t count = random() >> (random() % 64);
        ASSERT_EQ(TickCount(ticks).ToMicroseconds(c), reference(ticks, 1000000, c.performanceFrequency))
            << ticks << " " << c.performanceFrequency;
        ASSERT_EQ(TickCount(ticks).ToMilliseconds(c), reference(ticks, 1000, c.performanceFrequency));
        ASSERT_EQ(TickCount::FromMicroseconds(count, c).ticks,
                  referenceTicks(count, c.performanceFrequency, 1000000));
        ASSERT_EQ(TickCount::FromMilliseconds(count, c).ticks,
                  referenceTicks(count, c.performanceFrequency, 1000));
        // The long division kept for targets without a 128-bit type gives the same quotients.
        const uint64_t divisor = random() >> (random() % 64);
        if (divisor != 0) {
            ASSERT_EQ(MultiplyDivide64Portable(count, static_cast<uint64_t>(ticks), divisor),
                      static_cast<uint64_t>(static_cast<unsigned __int128>(count) *
                                            static_cast<uint64_t>(ticks) / divisor));
        }
    }
}
#endif

TEST(Clock, ProcessConstantsDriveTheConversions) {
    ASSERT_GT(PerformanceFrequency, 0);
    const TimerConstants c = ComputeTimerConstants(PerformanceFrequency);
    EXPECT_EQ(TickCount::TicksPerMillisecond(), c.ticksPerMillisecond);
    EXPECT_EQ(TickCount::TicksPerMicrosecond(), c.ticksPerMicrosecond);
    EXPECT_EQ(TickCount::SecondsPerTick(), c.secondsPerTick);
    EXPECT_EQ(TickCount::NanosecondsPerTick(), c.nanosecondsPerTick);
    EXPECT_EQ(TickCount::MillisecondsPerTick(), c.millisecondsPerTick);
    EXPECT_EQ(TickCount::MicrosecondsPerTick(), c.microsecondsPerTick);
    for (int64_t ticks : {int64_t{0}, int64_t{25}, int64_t{-1500}, int64_t{123456789012}, INT64_MIN}) {
        const TickCount t(ticks);
        EXPECT_EQ(t.ToMilliseconds(), t.ToMilliseconds(c));
        EXPECT_EQ(t.ToMicroseconds(), t.ToMicroseconds(c));
        EXPECT_EQ(t.ToSeconds(), static_cast<double>(ticks) * c.secondsPerTick);
        EXPECT_EQ(t.ToNanosecondsF(), static_cast<double>(ticks) * c.nanosecondsPerTick);
        EXPECT_EQ(TickCount::FromMilliseconds(static_cast<uint64_t>(ticks)).ticks,
                  TickCount::FromMilliseconds(static_cast<uint64_t>(ticks), c).ticks);
    }
    if (PerformanceFrequency == 10000000) {  // Windows' usual counter
        EXPECT_EQ(TickCount::FromMilliseconds(5).ticks, 50000);
        EXPECT_EQ(TickCount(25).ToMicroseconds(), 2);
        EXPECT_DOUBLE_EQ(TickCount(25).ToMicrosecondsF(), 2.5);
        EXPECT_DOUBLE_EQ(TickCount(25).ToMillisecondsF(), 0.0025);
    }
    // Longer than 2^32 ms: only the low 32 bits are kept.
    const TickCount long_ = TickCount::FromMilliseconds((uint64_t{1} << 32) + 1234);
    uint32_t ms = 0;
    EXPECT_EQ(&long_.ToMilliseconds32(ms), &ms);
    EXPECT_EQ(ms, 1234u);

    if (PerformanceFrequency == 1000000000) {  // the monotonic clock on Linux
        EXPECT_EQ(TickCount::FromMilliseconds(5).ticks, 5000000);
        EXPECT_EQ(TickCount(2500).ToMicroseconds(), 2);
        EXPECT_DOUBLE_EQ(TickCount(2500).ToMicrosecondsF(), 2.5);
    }
    const TickCount first = TickCount::Now();
    EXPECT_NE(first.ticks, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const TickCount elapsed = TickCount::Now() - first;
    EXPECT_GE(elapsed.ToMilliseconds(), 15);
    EXPECT_LT(elapsed.ToSeconds(), 10.0);
}

CalendarTime Local(int64_t time) {
    CalendarTime calendar;
    EXPECT_TRUE(ToLocalCalendar(time, calendar)) << time;
    return calendar;
}

int64_t FromLocal(const CalendarTime& calendar) {
    int64_t time = 0;
    EXPECT_TRUE(FromLocalCalendar(time, calendar));
    return time;
}

TEST(Clock, LocalCalendarUnderFixedTimeZones) {
    Testing::ScopedTimeZone zone("UTC");
    {
        EXPECT_EQ(Local(0), (CalendarTime{1970, 1, 1, 0, 0, 0, 4}));
        EXPECT_EQ(Local(1700000000), (CalendarTime{2023, 11, 14, 22, 13, 20, 2}));
        EXPECT_EQ(Local(951782400), (CalendarTime{2000, 2, 29, 0, 0, 0, 2}));
        EXPECT_EQ(FromLocal({2023, 11, 14, 22, 13, 20, 0}), 1700000000);
        // Month 13 is January of the next year; day 0 the last day of the month before.
        EXPECT_EQ(FromLocal({2023, 13, 1, 0, 0, 0, 0}), 1704067200);
        EXPECT_EQ(FromLocal({2024, 3, 0, 12, 0, 0, 0}), FromLocal({2024, 2, 29, 12, 0, 0, 0}));
        EXPECT_EQ(FromLocal({2024, 1, 1, 0, 0, 90, 0}), 1704067290);
    }
    {
        zone.Switch("EST5EDT");
        EXPECT_EQ(Local(1700000000), (CalendarTime{2023, 11, 14, 17, 13, 20, 2}));
        EXPECT_EQ(Local(1690000000), (CalendarTime{2023, 7, 22, 0, 26, 40, 6}));  // daylight time
        EXPECT_EQ(FromLocal({2023, 7, 22, 0, 26, 40, 0}), 1690000000);
        EXPECT_EQ(FromLocal({2022, 13, 1, 0, 0, 0, 0}), 1672549200);  // 2023-01-01 05:00 UTC
    }
    zone.Switch("CET-1CEST");
    EXPECT_EQ(Local(1690000000), (CalendarTime{2023, 7, 22, 6, 26, 40, 6}));
    EXPECT_EQ(Local(1700000000), (CalendarTime{2023, 11, 14, 23, 13, 20, 2}));
    // Round trips over the representable range; only in the repeated hour when clocks go back may
    // the way back pick the other of the two instants.
    std::mt19937_64 random(5);
    for (int i = 0; i < 3000; ++i) {
        const int64_t time = static_cast<int64_t>(random() % 32000000000ull) + 86400;
        const CalendarTime calendar = Local(time);
        const int64_t back = FromLocal(calendar);
        ASSERT_TRUE(back == time || back == time - 3600 || back == time + 3600) << time;
        ASSERT_EQ(Local(back), calendar) << time;
    }
}

TEST(Clock, TimesTheRunTimeCannotHandleGiveAClearResult) {
    Testing::ScopedTimeZone zone("UTC");
    CalendarTime calendar{1, 2, 3, 4, 5, 6, 0};
    EXPECT_FALSE(ToLocalCalendar(-1, calendar));
    EXPECT_EQ(calendar, CalendarTime{});
    calendar = CalendarTime{1, 2, 3, 4, 5, 6, 0};
    EXPECT_FALSE(ToLocalCalendar(INT64_MAX, calendar));
    EXPECT_EQ(calendar, CalendarTime{});

    int64_t time = 0;
    EXPECT_FALSE(FromLocalCalendar(time, {1960, 1, 1, 0, 0, 0, 0}));
    EXPECT_EQ(time, -1);
    time = 0;
    EXPECT_FALSE(FromLocalCalendar(time, {INT32_MIN, INT32_MIN, 1, 0, 0, 0, 0}));
    EXPECT_EQ(time, -1);
}

}  // namespace
}  // namespace Quorvin
