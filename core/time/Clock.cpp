// Portable parts of the time helpers: the conversions, with given constants and with the
// process's, the duration splitter, and the calendar over the backend's local-time conversions.
#include "core/time/Clock.h"

#include <ctime>

#include "core/time/internal/ClockBackend.h"
#include "core/time/internal/TickMath.h"

namespace Quorvin {

using TimePrivate::TicksToUnits;
using TimePrivate::UnitsToTicks;

TickCount TickCount::FromMilliseconds(uint64_t count, const TimerConstants& constants) noexcept {
    return TickCount(
        UnitsToTicks(count, constants.ticksPerMillisecond, constants.performanceFrequency, 1000));
}

TickCount TickCount::FromMicroseconds(uint64_t count, const TimerConstants& constants) noexcept {
    return TickCount(
        UnitsToTicks(count, constants.ticksPerMicrosecond, constants.performanceFrequency, 1000000));
}

int64_t TickCount::ToMilliseconds(const TimerConstants& constants) const noexcept {
    return TicksToUnits(ticks, constants.ticksPerMillisecond, constants.performanceFrequency, 1000);
}

int64_t TickCount::ToMicroseconds(const TimerConstants& constants) const noexcept {
    return TicksToUnits(ticks, constants.ticksPerMicrosecond, constants.performanceFrequency, 1000000);
}

TickCount TickCount::FromMilliseconds(uint64_t count) noexcept {
    return TickCount(UnitsToTicks(count, Quorvin::TicksPerMillisecond, PerformanceFrequency, 1000));
}

TickCount TickCount::FromMicroseconds(uint64_t count) noexcept {
    return TickCount(UnitsToTicks(count, Quorvin::TicksPerMicrosecond, PerformanceFrequency, 1000000));
}

int64_t TickCount::ToMilliseconds() const noexcept {
    return TicksToUnits(ticks, Quorvin::TicksPerMillisecond, PerformanceFrequency, 1000);
}

int64_t TickCount::ToMicroseconds() const noexcept {
    return TicksToUnits(ticks, Quorvin::TicksPerMicrosecond, PerformanceFrequency, 1000000);
}

uint32_t& TickCount::ToMilliseconds32(uint32_t& milliseconds) const noexcept {
    milliseconds = static_cast<uint32_t>(static_cast<uint64_t>(ToMilliseconds()));
    return milliseconds;
}

double TickCount::ToSeconds() const noexcept { return static_cast<double>(ticks) * Quorvin::SecondsPerTick; }
double TickCount::ToMillisecondsF() const noexcept {
    return static_cast<double>(ticks) * Quorvin::MillisecondsPerTick;
}
double TickCount::ToMicrosecondsF() const noexcept {
    return static_cast<double>(ticks) * Quorvin::MicrosecondsPerTick;
}
double TickCount::ToNanosecondsF() const noexcept {
    return static_cast<double>(ticks) * Quorvin::NanosecondsPerTick;
}

double TickCount::SecondsPerTick() noexcept { return Quorvin::SecondsPerTick; }
double TickCount::MillisecondsPerTick() noexcept { return Quorvin::MillisecondsPerTick; }
double TickCount::MicrosecondsPerTick() noexcept { return Quorvin::MicrosecondsPerTick; }
double TickCount::NanosecondsPerTick() noexcept { return Quorvin::NanosecondsPerTick; }
int64_t TickCount::TicksPerMillisecond() noexcept { return Quorvin::TicksPerMillisecond; }
int64_t TickCount::TicksPerMicrosecond() noexcept { return Quorvin::TicksPerMicrosecond; }

bool ToLocalCalendar(int64_t time, CalendarTime& calendar) noexcept {
    std::tm local{};
    if (!TimePrivate::BreakDownLocalTime(time, local)) {
        calendar = CalendarTime{};
        return false;
    }
    calendar.year = local.tm_year + 1900;
    calendar.month = local.tm_mon + 1;
    calendar.day = local.tm_mday;
    calendar.hour = local.tm_hour;
    calendar.minute = local.tm_min;
    calendar.second = local.tm_sec;
    calendar.weekday = local.tm_wday;
    return true;
}

bool FromLocalCalendar(int64_t& time, const CalendarTime& calendar) noexcept {
    // Fields near the 32-bit limits must not overflow on the way into the run time's fields.
    const int64_t year = int64_t{calendar.year} - 1900;
    const int64_t month = int64_t{calendar.month} - 1;
    if (year < INT32_MIN || month < INT32_MIN) {
        time = -1;
        return false;
    }
    std::tm local{};
    local.tm_year = static_cast<int>(year);
    local.tm_mon = static_cast<int>(month);
    local.tm_mday = calendar.day;
    local.tm_hour = calendar.hour;
    local.tm_min = calendar.minute;
    local.tm_sec = calendar.second;
    local.tm_wday = calendar.weekday;
    local.tm_isdst = -1;  // the run time decides from its rules
    time = TimePrivate::MakeLocalTime(local);
    return time != -1;
}

void SplitDuration(uint32_t milliseconds, DurationParts& parts) noexcept {
    parts = DurationParts{};
    parts.milliseconds = milliseconds % 1000;
    const uint32_t seconds = milliseconds / 1000;
    parts.seconds = seconds % 60;
    const uint32_t minutes = seconds / 60;
    parts.minutes = minutes % 60;
    const uint32_t hours = minutes / 60;
    parts.hours = hours % 24;
    parts.days = hours / 24;
}

}  // namespace Quorvin
