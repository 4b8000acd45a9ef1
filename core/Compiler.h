// Compiler-specific spellings, kept in this one place so the rest of the code stays standard C++.
#pragma once

#if defined(__GNUC__) || defined(__clang__)
#define QUORVIN_NOINLINE __attribute__((noinline))
// For the one deliberate store through a null pointer: the fault it raises is the point.
#define QUORVIN_NO_SANITIZE_NULL __attribute__((no_sanitize("null")))
#define QUORVIN_FORCEINLINE inline __attribute__((always_inline))
// Before a loop with a small constant count: unroll it completely. Sanitizer builds go without the
// hint: their instrumentation can keep a nested loop's count from being a constant, and GCC then
// warns that it ignores the hint.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QUORVIN_UNROLL
#else
#define QUORVIN_UNROLL _Pragma("GCC unroll 64")
#endif
// Orders the dynamic initialisation of a namespace-scope object across translation units: lower
// priorities run first, all of them before unprioritised objects (see core/StartupOrder.h).
#define QUORVIN_INIT_PRIORITY(priority) __attribute__((init_priority(priority)))
#elif defined(_MSC_VER)
#define QUORVIN_NOINLINE __declspec(noinline)
#define QUORVIN_NO_SANITIZE_NULL
#define QUORVIN_FORCEINLINE __forceinline
#define QUORVIN_UNROLL
// MSVC orders initialisers by #pragma init_seg sections, per translation unit, instead; without
// one the start-up objects are constructed in link order.
#define QUORVIN_INIT_PRIORITY(priority)
#else
#define QUORVIN_NOINLINE
#define QUORVIN_NO_SANITIZE_NULL
#define QUORVIN_FORCEINLINE inline
#define QUORVIN_UNROLL
#define QUORVIN_INIT_PRIORITY(priority)
#endif

// SSE2 is part of every x86-64 target; code that uses it keeps a portable path beside it, which a
// build selects by defining QUORVIN_HAS_SSE2 as 0. Tests reach every path of a build by forcing each
// kernel in turn, so no build needs to leave SSE2 out for the portable path to be tested.
#if !defined(QUORVIN_HAS_SSE2)
#if defined(__SSE2__) || defined(_M_X64)
#define QUORVIN_HAS_SSE2 1
#else
#define QUORVIN_HAS_SSE2 0
#endif
#endif

// Run-time chosen kernels. Code between QUORVIN_BEGIN_AVX2_REGION and QUORVIN_END_AVX2_REGION may use
// AVX2, BMI1, BMI2 and POPCNT whatever the build's baseline; it must only run after a check that
// the processor and the operating system support them (see Quorvin::Cpuid and Quorvin::ReadXcr0).
// Open it after the includes: only the functions defined inside carry the target, so no inline
// function of a shared header is ever compiled for it. MSVC takes the intrinsics without flags (/arch:AVX2
// would apply to a whole file and is therefore not used); its kernels are compiled as written.
// QUORVIN_HAS_AVX2_KERNEL says whether the compiler can build such kernels for this target.
#if !defined(QUORVIN_HAS_AVX2_KERNEL)
#if defined(__x86_64__) || defined(_M_X64)
#define QUORVIN_HAS_AVX2_KERNEL 1
#else
#define QUORVIN_HAS_AVX2_KERNEL 0
#endif
#endif

#if QUORVIN_HAS_AVX2_KERNEL
#if defined(__clang__)
#define QUORVIN_BEGIN_AVX2_REGION \
    _Pragma("clang attribute push(__attribute__((target(\"avx2,bmi,bmi2,popcnt\"))), apply_to = function)")
#define QUORVIN_END_AVX2_REGION _Pragma("clang attribute pop")
#elif defined(__GNUC__)
#define QUORVIN_BEGIN_AVX2_REGION _Pragma("GCC push_options") _Pragma("GCC target(\"avx2,bmi,bmi2,popcnt\")")
#define QUORVIN_END_AVX2_REGION _Pragma("GCC pop_options")
#else
#define QUORVIN_BEGIN_AVX2_REGION
#define QUORVIN_END_AVX2_REGION
#endif

#if defined(_MSC_VER) && !defined(__clang__)
#include <immintrin.h>
#include <intrin.h>
#else
#include <cpuid.h>
#endif
#include <cstdint>

namespace Quorvin {

/// Fills `registers` (EAX, EBX, ECX, EDX) with what CPUID reports for `leaf` and `subleaf`; zeros
/// for a leaf above the highest one the processor has.
inline void Cpuid(uint32_t leaf, uint32_t subleaf, uint32_t registers[4]) {
#if defined(_MSC_VER) && !defined(__clang__)
    int values[4];
    __cpuid(values, static_cast<int>(leaf & 0x80000000u));
    if (static_cast<uint32_t>(values[0]) < leaf) {
        registers[0] = registers[1] = registers[2] = registers[3] = 0;
        return;
    }
    __cpuidex(values, static_cast<int>(leaf), static_cast<int>(subleaf));
    for (int i = 0; i < 4; ++i) {
        registers[i] = static_cast<uint32_t>(values[i]);
    }
#else
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid_count(leaf, subleaf, &a, &b, &c, &d) == 0) {
        a = b = c = d = 0;
    }
    registers[0] = a;
    registers[1] = b;
    registers[2] = c;
    registers[3] = d;
#endif
}

/// The extended control register 0 (XCR0): which register states the operating system saves. Only
/// to be called when CPUID reports OSXSAVE.
inline uint64_t ReadXcr0() {
#if defined(_MSC_VER) && !defined(__clang__)
    return _xgetbv(0);
#else
    // Spelled as the instruction so that no file needs -mxsave.
    uint32_t low = 0, high = 0;
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return (static_cast<uint64_t>(high) << 32) | low;
#endif
}

}  // namespace Quorvin
#endif

#if defined(_MSC_VER) && !defined(__clang__) && defined(_M_X64)
#include <intrin.h>
#endif
#include <cstdint>

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

}  // namespace Quorvin
