// Remainders by one 32-bit divisor, many times, without a division instruction: a 64-bit divide
// takes tens of cycles on many x86-64 processors, a multiply three or four.
#pragma once

#include <cstdint>

#include "core/Compiler.h"

namespace Quorvin::DataPrivate {

/// Computes a mod d exactly for any 64-bit a and a fixed divisor 1 <= d < 2^32.
class FixedDivisor {
public:
    FixedDivisor() = default;

    /// `divisor` 0 gives an object whose Remainder must not be called.
    explicit FixedDivisor(uint32_t divisor)
        : divisor(divisor), reciprocal(divisor == 0 ? 0 : UINT64_MAX / divisor) {}

    /// With r = floor((2^64 - 1) / d), 2^64 - r d <= d, so the product below underestimates a / d by
    /// less than a / 2^64 < 1: the quotient q is exact or one short, and a - q d is below 2 d.
    uint64_t Remainder(uint64_t a) const {
        const uint64_t quotient = MultiplyHigh64(a, reciprocal);
        return SubtractUnlessBelow(a - quotient * divisor, divisor);
    }

    uint32_t Divisor() const { return divisor; }

private:
    uint32_t divisor = 0;
    uint64_t reciprocal = 0;
};

}  // namespace Quorvin::DataPrivate
