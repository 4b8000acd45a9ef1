// Exact tick/unit arithmetic shared by the tick-count conversions.
#pragma once

#include <cstdint>

namespace Quorvin::ClockPrivate {

/// ticks ÷ ticksPerUnit truncated toward zero; with a factor of 0 (a counter slower than the unit)
/// ticks × unitsPerSecond ÷ frequency, split so that no intermediate leaves 64 bits; 0 without a
/// counter. The result wraps when it does not fit.
constexpr int64_t TicksToUnits(int64_t ticks, int64_t ticksPerUnit, int64_t frequency,
                               int64_t unitsPerSecond) noexcept {
    if (ticksPerUnit > 0) return ticks / ticksPerUnit;
    if (frequency <= 0) return 0;
    // Both parts truncate toward zero with the same sign, so their sum truncates the exact quotient;
    // the remainder is below the frequency, itself below unitsPerSecond, so its product is small.
    const int64_t whole = ticks / frequency;
    const int64_t rest = ticks % frequency;
    const uint64_t scaled = static_cast<uint64_t>(whole) * static_cast<uint64_t>(unitsPerSecond);
    return static_cast<int64_t>(scaled + static_cast<uint64_t>(rest * unitsPerSecond / frequency));
}

/// count × ticksPerUnit with wrap-around; with a factor of 0, count × frequency ÷ unitsPerSecond
/// (truncated, no intermediate overflow); 0 without a counter.
constexpr int64_t UnitsToTicks(uint64_t count, int64_t ticksPerUnit, int64_t frequency,
                               int64_t unitsPerSecond) noexcept {
    if (ticksPerUnit > 0) return static_cast<int64_t>(count * static_cast<uint64_t>(ticksPerUnit));
    if (frequency <= 0) return 0;
    const auto units = static_cast<uint64_t>(unitsPerSecond);
    const auto rate = static_cast<uint64_t>(frequency);
    return static_cast<int64_t>(count / units * rate + count % units * rate / units);
}

}  // namespace Quorvin::ClockPrivate
