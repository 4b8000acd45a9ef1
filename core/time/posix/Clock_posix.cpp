// The clock on Linux: the monotonic clock in nanoseconds and the C library's local calendar, within
// the same range of times as on Windows.
#include <time.h>

#include <cstdint>
#include <ctime>

#include "core/time/Clock.h"
#include "core/time/internal/ClockBackend.h"

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

bool TimePrivate::BreakDownLocalTime(int64_t time, std::tm& local) noexcept {
    const time_t value = static_cast<time_t>(time);
    return InRange(time) && localtime_r(&value, &local) != nullptr;
}

int64_t TimePrivate::MakeLocalTime(std::tm& local) noexcept {
    const time_t result = mktime(&local);
    // mktime also answers -1 for the second before 1970, which is out of range anyway.
    return result == static_cast<time_t>(-1) || !InRange(result) ? -1 : static_cast<int64_t>(result);
}

}  // namespace Quorvin
