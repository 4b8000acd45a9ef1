// The one choice of noise kernel per process, from the processor, the operating system and the
// test hook.
#include "core/geometry/internal/NoiseKernel.h"

#include <cstdint>

#include "core/base/ProcessorFeatures.h"

namespace Quorvin::GeometryPrivate {
namespace {

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

}  // namespace

const NoiseKernel* FindNoiseKernel(KernelId id, std::string* whyNot) noexcept {
    std::string reason;
    const NoiseKernel* kernel = nullptr;
    switch (id) {
    case KernelId::Portable: kernel = PortableNoiseKernel; break;
    case KernelId::Sse2:
        if (Sse2NoiseKernel != nullptr) {
            kernel = &TheCompletedKernels().sse2;
        } else {
            reason = "this build has no SSE2 kernel (QUORVIN_HAS_SSE2=0)";
        }
        break;
    case KernelId::Avx2:
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
constinit KernelFamily<NoiseKernel> NoiseKernels("QUORVIN_NOISE_KERNEL", FindNoiseKernel, &ChoosingKernel);

}  // namespace Quorvin::GeometryPrivate
