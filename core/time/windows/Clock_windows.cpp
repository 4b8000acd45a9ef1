// The clock on Windows: the performance counter and the C run time's local calendar.
#include <cstdint>
#include <ctime>

#include "core/time/Clock.h"
#include "core/time/internal/CounterFrequency.h"
#include "core/windows/WindowsApi.h"

namespace Quorvin {

int64_t TimePrivate::CounterFrequency() noexcept {
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);  // cannot fail on any supported Windows version
    return frequency.QuadPart;
}

TickCount TickCount::Now() noexcept {
    LARGE_INTEGER counter;
    return TickCount(QueryPerformanceCounter(&counter) ? counter.QuadPart : 0);
}

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
