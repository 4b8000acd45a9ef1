// Tests of the time helpers on Windows: the process's constants from the performance counter, and
// the local calendar under fixed time zones.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>

#include "core/time/Clock.h"
#include "core/windows/WindowsApi.h"

namespace Quorvin {
namespace {

TEST(Clock, ProcessConstantsDriveTheConversions) {
    LARGE_INTEGER frequency;
    ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
    const TimerConstants c = ComputeTimerConstants(frequency.QuadPart);
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
    if (frequency.QuadPart == 10000000) {
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

    const TickCount first = TickCount::Now();
    Sleep(20);
    const TickCount elapsed = TickCount::Now() - first;
    EXPECT_GE(elapsed.ToMilliseconds(), 15);
    EXPECT_LT(elapsed.ToSeconds(), 10.0);
}

// Sets the C run time's time zone, and puts the one the process had back at the end. Zones are
// switched from one to the next: Wine's run time stops applying daylight time once TZ is unset.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) {
        const char* previous = std::getenv("TZ");
        hadPrevious_ = previous != nullptr;
        if (hadPrevious_) previous_ = previous;
        Switch(zone);
    }
    ~ScopedTimeZone() { Switch(hadPrevious_ ? previous_.c_str() : ""); }
    void Switch(const char* zone) {
        _putenv_s("TZ", zone);
        _tzset();
    }

private:
    bool hadPrevious_ = false;
    std::string previous_;
};

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
    ScopedTimeZone zone("UTC");
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
    ScopedTimeZone zone("UTC");
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
