// Portable parts of the time helpers: conversions with given constants and the duration splitter.
#include "core/time/Clock.h"

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
