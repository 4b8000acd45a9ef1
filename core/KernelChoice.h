// Choosing one kernel of a family of routines once per process: the fastest that this build has and
// this machine runs (AVX2, then the SSE2 baseline, then portable code), or the one a test hook
// names in an environment variable. Every kernel of a family gives exactly the same results; the
// choice only changes speed.
//
// A test hook that names a kernel the build or the machine lacks is reported, never replaced: the
// request keeps the reason, and the family's tests show it as their skip reason.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>

#include "core/Compiler.h"

namespace Quorvin {

/// The kernels of a family in order of preference, lowest first.
enum class KernelId { Portable, Sse2, Avx2 };
/// The number of KernelId values.
inline constexpr int KernelCount = 3;

/// The name of kernel `id` as a test hook spells it: "portable", "sse2" or "avx2".
inline const char* KernelName(KernelId id) noexcept {
    switch (id) {
    case KernelId::Portable: return "portable";
    case KernelId::Sse2: return "sse2";
    case KernelId::Avx2: return "avx2";
    }
    return "?";
}

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

/// What a test hook asked for and whether it was granted.
struct KernelRequest {
    std::string requested;  ///< the variable's value, empty when it is not set
    std::string problem;    ///< empty when the request is granted (or absent), else the reason
    bool known = true;      ///< false when the name is none of the kernels'
};

/// A family's kernel for this process and what the test hook asked for.
template <class Kernel>
struct KernelChoice {
    const Kernel* kernel = nullptr;  ///< never null once chosen
    KernelRequest request;           ///< the test hook's request
};

/// The kernel to use and the test hook's request. `find(id, &whyNot)` returns the family's kernel
/// `id`, or null with the reason when the build or the machine lacks it. Without a request the
/// choice is AVX2, else SSE2, else portable; a build that switches SSE2 off wants its portable code
/// tested, so it leaves the faster kernels to the hook. With the variable `hook` set, the named
/// kernel is used if it is available; otherwise the choice stays automatic and the request says why.
template <class Kernel, class Find>
KernelChoice<Kernel> ChooseKernel(const char* hook, Find find) {
    const Kernel* kernel = find(KernelId::Portable, nullptr);
#if QUORVIN_HAS_SSE2
    if (const Kernel* avx2 = find(KernelId::Avx2, nullptr)) {
        kernel = avx2;
    } else if (const Kernel* sse2 = find(KernelId::Sse2, nullptr)) {
        kernel = sse2;
    }
#endif
    KernelRequest request;
    const char* forced = std::getenv(hook);
    if (forced == nullptr || *forced == '\0') return {kernel, std::move(request)};
    request.requested = forced;
    for (int i = 0; i < KernelCount; ++i) {
        const auto id = static_cast<KernelId>(i);
        if (request.requested != KernelName(id)) continue;
        std::string whyNot;
        if (const Kernel* named = find(id, &whyNot)) {
            kernel = named;
        } else {
            request.problem = std::string(hook) + "=" + request.requested + ": " + whyNot;
        }
        return {kernel, std::move(request)};
    }
    request.known = false;
    request.problem =
        std::string(hook) + "=" + request.requested + ": no such kernel (portable, sse2 or avx2)";
    return {kernel, std::move(request)};
}

}  // namespace Quorvin
