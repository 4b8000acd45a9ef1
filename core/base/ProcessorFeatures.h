// What the processor and the operating system offer: CPUID, the register state the system saves
// (XCR0), and the one question the run-time chosen kernels ask of them, whether AVX2 code may run.
#pragma once

#include <cstdint>
#include <string>

#include "core/base/Compiler.h"

#if QUORVIN_HAS_AVX2_KERNEL
#if defined(_MSC_VER) && !defined(__clang__)
#include <immintrin.h>
#include <intrin.h>
#else
#include <cpuid.h>
#endif

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

namespace Quorvin {

/// Empty when the processor and the operating system can run AVX2 kernels (AVX2, BMI1, BMI2 and
/// POPCNT, with the AVX register state saved by the system), else the reason.
inline std::string Avx2Support() {
#if QUORVIN_HAS_AVX2_KERNEL
    uint32_t basic[4];
    uint32_t extended[4];
    Cpuid(1, 0, basic);
    Cpuid(7, 0, extended);
    const bool osxsave = (basic[2] >> 27) & 1;
    const bool avx = (basic[2] >> 28) & 1;
    const bool popcnt = (basic[2] >> 23) & 1;
    const bool avx2 = (extended[1] >> 5) & 1;
    const bool bmi1 = (extended[1] >> 3) & 1;
    const bool bmi2 = (extended[1] >> 8) & 1;
    if (!(avx && avx2 && bmi1 && bmi2 && popcnt)) return "the processor lacks AVX2, BMI1, BMI2 or POPCNT";
    // The processor has the instructions, but only an operating system that saves the SSE and AVX
    // register state (XCR0 bits 1 and 2) lets a program use them.
    if (!osxsave || (ReadXcr0() & 0x6) != 0x6)
        return "the operating system does not save the AVX register state";
    return {};
#else
    return "this build has no AVX2 kernel (not an x86-64 target)";
#endif
}

/// True when the processor divides 64-bit integers in a handful of cycles and instructions (AMD
/// from family 19h, Intel from Ice Lake): a hardware division then costs less than reducing by a
/// fixed divisor through multiplication (FixedDivisor), whose extra instructions crowd out memory
/// accesses that could otherwise be in flight. False where it is not known to be so.
inline bool HasFastDivider() {
    uint32_t vendor[4];
    uint32_t basic[4];
    Cpuid(0, 0, vendor);
    Cpuid(1, 0, basic);
    const uint32_t baseFamily = (basic[0] >> 8) & 0xF;
    const uint32_t family = baseFamily == 0xF ? baseFamily + ((basic[0] >> 20) & 0xFF) : baseFamily;
    const uint32_t model =
        ((basic[0] >> 4) & 0xF) | (baseFamily == 0x6 || baseFamily == 0xF ? (basic[0] >> 12) & 0xF0 : 0);
    const bool amd =
        vendor[1] == 0x68747541 && vendor[3] == 0x69746E65 && vendor[2] == 0x444D4163;  // "AuthenticAMD"
    const bool intel =
        vendor[1] == 0x756E6547 && vendor[3] == 0x49656E69 && vendor[2] == 0x6C65746E;  // "GenuineIntel"
    if (amd) return family >= 0x19;
    if (!intel || family != 6) return false;
    // The cores since Ice Lake and Tremont, by model number.
    switch (model) {
    case 0x6A:
    case 0x6C:
    case 0x7D:
    case 0x7E:
    case 0x8C:
    case 0x8D:
    case 0x8F:
    case 0x96:
    case 0x97:
    case 0x9A:
    case 0x9C:
    case 0xAA:
    case 0xAC:
    case 0xAD:
    case 0xAE:
    case 0xB7:
    case 0xBA:
    case 0xBD:
    case 0xBE:
    case 0xBF:
    case 0xC5:
    case 0xC6:
    case 0xCF: return true;
    default: return false;
    }
}

}  // namespace Quorvin
