// Exact tick/unit arithmetic shared by the tick-count conversions.
#pragma once

#include <cstdint>

#include "core/base/BitMath.h"

namespace Quorvin::TimePrivate {

/// ticks ÷ ticksPerUnit truncated toward zero; with a factor of 0 (a counter slower than the unit)
/// ticks × unitsPerSecond ÷ frequency, exact for every tick count and frequency (the product is
/// taken in 128 bits) and truncated toward zero; 0 without a counter. The result wraps when it does
/// not fit.
inline int64_t TicksToUnits(int64_t ticks, int64_t ticksPerUnit, int64_t frequency,
                            int64_t unitsPerSecond) noexcept {
    if (ticksPerUnit > 0) return ticks / ticksPerUnit;
    if (frequency <= 0 || unitsPerSecond <= 0) return 0;
    // The magnitude is divided and the sign put back, which truncates toward zero; negating in
    // unsigned arithmetic keeps INT64_MIN whole.
    const uint64_t magnitude = ticks < 0 ? 0 - static_cast<uint64_t>(ticks) : static_cast<uint64_t>(ticks);
    const uint64_t quotient =
        MultiplyDivide64(magnitude, static_cast<uint64_t>(unitsPerSecond), static_cast<uint64_t>(frequency));
    return static_cast<int64_t>(ticks < 0 ? 0 - quotient : quotient);
}

/// count × ticksPerUnit with wrap-around; with a factor of 0, count × frequency ÷ unitsPerSecond,
/// exact (128-bit product) and truncated, wrapping when it does not fit; 0 without a counter.
inline int64_t UnitsToTicks(uint64_t count, int64_t ticksPerUnit, int64_t frequency,
                            int64_t unitsPerSecond) noexcept {
    if (ticksPerUnit > 0) return static_cast<int64_t>(count * static_cast<uint64_t>(ticksPerUnit));
    if (frequency <= 0 || unitsPerSecond <= 0) return 0;
    return static_cast<int64_t>(
        MultiplyDivide64(count, static_cast<uint64_t>(frequency), static_cast<uint64_t>(unitsPerSecond)));
}

}  // namespace Quorvin::TimePrivate
