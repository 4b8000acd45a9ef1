// Bit arithmetic that the data structures build on: 128-bit products and quotients, population
// counts, and remainders by a fixed divisor without a division instruction (a 64-bit divide takes
// tens of cycles on many x86-64 processors, a multiply three or four).
#pragma once

#include <cstdint>

#if defined(_MSC_VER) && !defined(__clang__) && defined(_M_X64)
#include <intrin.h>
#endif

namespace Quorvin {

/// The high 64 bits of the 128-bit product a * b.
inline uint64_t MultiplyHigh64(uint64_t a, uint64_t b) {
#if defined(__SIZEOF_INT128__)
    return static_cast<uint64_t>((static_cast<unsigned __int128>(a) * b) >> 64);
#elif defined(_MSC_VER) && defined(_M_X64)
    return __umulh(a, b);
#else
    const uint64_t aLow = a & 0xFFFFFFFF, aHigh = a >> 32;
    const uint64_t bLow = b & 0xFFFFFFFF, bHigh = b >> 32;
    const uint64_t low = aLow * bLow;
    const uint64_t middle1 = aHigh * bLow + (low >> 32);
    const uint64_t middle2 = aLow * bHigh + (middle1 & 0xFFFFFFFF);
    return aHigh * bHigh + (middle1 >> 32) + (middle2 >> 32);
#endif
}

/// MultiplyDivide64 for targets without a 128-bit integer type: long division of the 128-bit
/// product, one bit at a time. The quotient's bits above 64 are dropped, so only the remainder of
/// the high half is carried in.
inline uint64_t MultiplyDivide64Portable(uint64_t a, uint64_t b, uint64_t divisor) {
    const uint64_t low = a * b;
    uint64_t remainder = MultiplyHigh64(a, b) % divisor;
    uint64_t quotient = 0;
    for (int bit = 63; bit >= 0; --bit) {
        const bool carry = (remainder >> 63) != 0;
        remainder = (remainder << 1) | ((low >> bit) & 1);
        quotient <<= 1;
        if (carry || remainder >= divisor) {
            remainder -= divisor;
            quotient |= 1;
        }
    }
    return quotient;
}

/// The low 64 bits of floor(a * b / divisor), from the exact 128-bit product; divisor > 0.
inline uint64_t MultiplyDivide64(uint64_t a, uint64_t b, uint64_t divisor) {
#if defined(__SIZEOF_INT128__)
    return static_cast<uint64_t>(static_cast<unsigned __int128>(a) * b / divisor);
#else
    return MultiplyDivide64Portable(a, b, divisor);
#endif
}

/// a - b when a >= b, else a. Written so that the subtraction's own borrow picks the result: the
/// plain conditional costs a separate compare, one instruction more in loops that do little else.
inline uint64_t SubtractUnlessBelow(uint64_t a, uint64_t b) {
#if defined(__GNUC__) || defined(__clang__)
    uint64_t difference;
    return __builtin_sub_overflow(a, b, &difference) ? a : difference;
#else
    return a >= b ? a - b : a;
#endif
}

/// The number of set bits of x, without the POPCNT instruction, which the baseline target lacks.
inline uint32_t CountBits(uint64_t x) {
    x -= (x >> 1) & 0x5555555555555555ULL;
    x = (x & 0x3333333333333333ULL) + ((x >> 2) & 0x3333333333333333ULL);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
    return static_cast<uint32_t>((x * 0x0101010101010101ULL) >> 56);
}

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

    /// The divisor d.
    uint32_t Divisor() const { return divisor; }

private:
    uint32_t divisor = 0;
    uint64_t reciprocal = 0;
};

}  // namespace Quorvin
