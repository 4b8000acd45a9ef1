// The one choice of noise kernel per process, from the processor, the operating system and the
// test hook.
#include "core/geometry/internal/NoiseKernel.h"

#include <cstdint>
#include <cstdlib>

#include "core/Compiler.h"

namespace Quorvin::NoisePrivate {
namespace {

// Empty when the processor and the operating system can run the AVX2 kernel, else the reason.
std::string Avx2Support() {
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
    if (!(avx && avx2 && bmi1 && bmi2 && popcnt)) {
        return "the processor lacks AVX2, BMI1, BMI2 or POPCNT";
    }
    // The processor has the instructions, but only an operating system that saves the SSE and AVX
    // register state (XCR0 bits 1 and 2) lets a program use them.
    if (!osxsave || (ReadXcr0() & 0x6) != 0x6) {
        return "the operating system does not save the AVX register state";
    }
    return {};
#else
    return "this build has no AVX2 kernel (not an x86-64 target)";
#endif
}

// `kernel` with every function it leaves out taken from `base`.
NoiseKernel Completed(const NoiseKernel& kernel, const NoiseKernel& base) {
    NoiseKernel out = kernel;
    const auto fill = [](auto& slot, auto from) {
        if (slot == nullptr) {
            slot = from;
        }
    };
    fill(out.gradient2, base.gradient2);
    fill(out.gradient3, base.gradient3);
    fill(out.gradient4, base.gradient4);
    fill(out.simplex2, base.simplex2);
    fill(out.simplex3, base.simplex3);
    fill(out.simplex4, base.simplex4);
    fill(out.gradientVector2, base.gradientVector2);
    fill(out.gradientVector3, base.gradientVector3);
    fill(out.gradientVector4, base.gradientVector4);
    fill(out.simplexVector2, base.simplexVector2);
    fill(out.simplexVector3, base.simplexVector3);
    fill(out.simplexVector4, base.simplexVector4);
    return out;
}

// The built kernels, each completed from the one below it: the SSE2 kernel from the portable one,
// the AVX2 kernel from the SSE2 one where it is built.
struct CompletedKernels {
    NoiseKernel sse2{};
    NoiseKernel avx2{};
};

const CompletedKernels& TheCompletedKernels() {
    static const CompletedKernels kernels = [] {
        CompletedKernels k;
        const NoiseKernel& portable = *PortableNoiseKernel;
        if (Sse2NoiseKernel != nullptr) {
            k.sse2 = Completed(*Sse2NoiseKernel, portable);
        }
        if (Avx2NoiseKernel != nullptr) {
            k.avx2 = Completed(*Avx2NoiseKernel, Sse2NoiseKernel != nullptr ? k.sse2 : portable);
        }
        return k;
    }();
    return kernels;
}

struct Choice {
    const NoiseKernel* kernel = nullptr;
    NoiseKernelRequest request;
};

Choice Choose() {
    Choice choice;
    // The automatic choice: the build's baseline kernel, or AVX2 where it runs. A build that turns
    // SSE2 off wants the portable code tested, so it leaves the faster kernels to the test hook.
    choice.kernel = PortableNoiseKernel;
#if QUORVIN_HAS_SSE2
    if (const NoiseKernel* avx2 = FindNoiseKernel(NoiseKernelId::Avx2)) {
        choice.kernel = avx2;
    } else if (const NoiseKernel* sse2 = FindNoiseKernel(NoiseKernelId::Sse2)) {
        choice.kernel = sse2;
    }
#endif
    const char* forced = std::getenv("QUORVIN_NOISE_KERNEL");
    if (forced == nullptr || *forced == '\0') {
        return choice;
    }
    choice.request.requested = forced;
    for (int i = 0; i < NoiseKernelCount; ++i) {
        const auto id = static_cast<NoiseKernelId>(i);
        if (choice.request.requested == NoiseKernelName(id)) {
            std::string whyNot;
            if (const NoiseKernel* kernel = FindNoiseKernel(id, &whyNot)) {
                choice.kernel = kernel;
            } else {
                choice.request.problem = "QUORVIN_NOISE_KERNEL=" + choice.request.requested + ": " + whyNot;
            }
            return choice;
        }
    }
    choice.request.known = false;
    choice.request.problem =
        "QUORVIN_NOISE_KERNEL=" + choice.request.requested + ": no such kernel (portable, sse2 or avx2)";
    return choice;
}

const Choice& TheChoice() {
    static const Choice choice = Choose();
    return choice;
}

}  // namespace

const char* NoiseKernelName(NoiseKernelId id) noexcept {
    switch (id) {
    case NoiseKernelId::Portable: return "portable";
    case NoiseKernelId::Sse2: return "sse2";
    case NoiseKernelId::Avx2: return "avx2";
    }
    return "?";
}

const NoiseKernel* FindNoiseKernel(NoiseKernelId id, std::string* whyNot) noexcept {
    std::string reason;
    const NoiseKernel* kernel = nullptr;
    switch (id) {
    case NoiseKernelId::Portable: kernel = PortableNoiseKernel; break;
    case NoiseKernelId::Sse2:
        if (Sse2NoiseKernel != nullptr) {
            kernel = &TheCompletedKernels().sse2;
        } else {
            reason = "this build has no SSE2 kernel (QUORVIN_HAS_SSE2=0)";
        }
        break;
    case NoiseKernelId::Avx2:
        // Asked each time: the answer is cheap and only tests and the first choice ask.
        reason = Avx2Support();
        if (reason.empty() && Avx2NoiseKernel != nullptr) {
            kernel = &TheCompletedKernels().avx2;
        }
        break;
    }
    if (kernel == nullptr && whyNot != nullptr) {
        *whyNot = reason;
    }
    return kernel;
}

const NoiseKernel& ActiveNoiseKernel() noexcept {
    const NoiseKernel& kernel = *TheChoice().kernel;
    NoiseKernelInUse.store(&kernel, std::memory_order_release);
    return kernel;
}

namespace {

// The functions in use before the choice: each makes it and calls the chosen kernel's own.
template <auto Function, class Result, class... Arguments>
Result Choosing(Arguments... arguments) {
    return (ActiveNoiseKernel().*Function)(arguments...);
}

constexpr NoiseKernel ChoosingKernel = {
    "choosing",
    &Choosing<&NoiseKernel::gradient2, float, float, float>,
    &Choosing<&NoiseKernel::gradient3, float, const Vec3&>,
    &Choosing<&NoiseKernel::gradient4, float, const Vec3&, float>,
    &Choosing<&NoiseKernel::simplex2, float, float, float>,
    &Choosing<&NoiseKernel::simplex3, float, const Vec3&>,
    &Choosing<&NoiseKernel::simplex4, float, const Vec3&, float>,
    &Choosing<&NoiseKernel::gradientVector2, Vec3, float, float>,
    &Choosing<&NoiseKernel::gradientVector3, Vec3, const Vec3&>,
    &Choosing<&NoiseKernel::gradientVector4, Vec3, const Vec3&, float>,
    &Choosing<&NoiseKernel::simplexVector2, Vec3, float, float>,
    &Choosing<&NoiseKernel::simplexVector3, Vec3, const Vec3&>,
    &Choosing<&NoiseKernel::simplexVector4, Vec3, const Vec3&, float>,
};

}  // namespace

// Constant-initialised, so it holds the choosing kernel before any constructor runs.
constinit std::atomic<const NoiseKernel*> NoiseKernelInUse{&ChoosingKernel};

const NoiseKernelRequest& ActiveNoiseKernelRequest() noexcept { return TheChoice().request; }

}  // namespace Quorvin::NoisePrivate
