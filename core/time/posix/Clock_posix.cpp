// The clock on Linux: the monotonic clock in nanoseconds and the C library's local calendar, within
// the same range of times as on Windows.
#include <time.h>

#include <cstdint>
#include <ctime>

#include "core/time/Clock.h"
#include "core/time/internal/CounterFrequency.h"

namespace Quorvin {
namespace {

// The run time's range on Windows, kept here so that a time converts, or is refused, alike on both:
// 1970-01-01 00:00:00 to 3000-12-31 23:59:59 UTC.
constexpr int64_t LatestTime = 32535215999;

bool InRange(int64_t time) { return time >= 0 && time <= LatestTime; }

}  // namespace

int64_t TimePrivate::CounterFrequency() noexcept { return 1000000000; }

TickCount TickCount::Now() noexcept {
    timespec now{};
    if (clock_gettime(CLOCK_MONOTONIC, &now) != 0) return TickCount(0);
    return TickCount(int64_t{now.tv_sec} * 1000000000 + now.tv_nsec);
}

bool ToLocalCalendar(int64_t time, CalendarTime& calendar) noexcept {
    std::tm local{};
    const time_t value = static_cast<time_t>(time);
    if (!InRange(time) || localtime_r(&value, &local) == nullptr) {
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
    // Fields near the 32-bit limits must not overflow on the way into the C library's fields.
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
    local.tm_isdst = -1;  // the C library decides from its rules
    const time_t result = mktime(&local);
    // mktime also answers -1 for the second before 1970, which is out of range anyway.
    time = result == static_cast<time_t>(-1) || !InRange(result) ? -1 : static_cast<int64_t>(result);
    return time != -1;
}

}  // namespace Quorvin
