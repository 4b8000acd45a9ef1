// Time helpers over the performance counter, the process's timer constants and the C run time.
#include <cstdint>
#include <ctime>

#include "core/time/Clock.h"
#include "core/time/internal/TickMath.h"
#include "core/windows/WindowsApi.h"

namespace Quorvin {

using TimePrivate::TicksToUnits;
using TimePrivate::UnitsToTicks;

TickCount TickCount::Now() noexcept {
    LARGE_INTEGER counter;
    return TickCount(QueryPerformanceCounter(&counter) ? counter.QuadPart : 0);
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
    const __time64_t value = time;
    if (_localtime64_s(&local, &value) != 0) {
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
    time = _mktime64(&local);
    return time != -1;
}

}  // namespace Quorvin
