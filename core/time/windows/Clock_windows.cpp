// The clock on Windows: the performance counter and the C run time's local calendar.
#include <cstdint>
#include <ctime>

#include "core/time/Clock.h"
#include "core/time/internal/ClockBackend.h"
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

bool TimePrivate::BreakDownLocalTime(int64_t time, std::tm& local) noexcept {
    const __time64_t value = time;
    return _localtime64_s(&local, &value) == 0;
}

int64_t TimePrivate::MakeLocalTime(std::tm& local) noexcept { return _mktime64(&local); }

}  // namespace Quorvin
