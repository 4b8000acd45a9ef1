// The kernels of the noise functions in two to four dimensions (portable, SSE2, AVX2) and the one
// choice among them that a process makes. Private to the geometry subsystem and its tests.
//
// Every kernel gives exactly the results of the portable definition (NoisePortable.h), bit for
// bit; they differ only in how many lanes they work on at once. One dimension has a single
// implementation and no kernel.
//
// The choice is made once, on first use, from the processor (CPUID: AVX2, BMI1, BMI2, POPCNT, AVX,
// OSXSAVE) and the operating system's support for the AVX register state (XCR0 bits 1 and 2): the
// fastest kernel that is built and supported. A build with QUORVIN_HAS_SSE2 set to 0 (a target
// without SSE2) builds no SSE2 kernel and chooses the portable one, but still builds the AVX2
// kernel so that it can be forced and tested there too.
//
// Test hook: the environment variable QUORVIN_NOISE_KERNEL (portable, sse2 or avx2), read once at
// the choice, forces a kernel. A forced kernel that is not built or not supported here is never
// replaced silently: the process keeps the automatic choice and ActiveNoiseKernelRequest() says
// why, so that tests skip with that reason. An unknown name is reported the same way.
#pragma once

#include <string>

#include "core/base/KernelFamily.h"

#include "core/geometry/Vec3.h"

namespace Quorvin::GeometryPrivate {

/// The functions of one kernel; each has the contract of the public function of the same name.
struct NoiseKernel {
    const char* name = nullptr;  ///< "portable", "sse2" or "avx2"
    float (*gradient2)(float x, float y) = nullptr;
    float (*gradient3)(const Vec3& p) = nullptr;
    float (*gradient4)(const Vec3& p, float w) = nullptr;
    float (*simplex2)(float x, float y) = nullptr;
    float (*simplex3)(const Vec3& p) = nullptr;
    float (*simplex4)(const Vec3& p, float w) = nullptr;
    Vec3 (*gradientVector2)(float x, float y) = nullptr;
    Vec3 (*gradientVector3)(const Vec3& p) = nullptr;
    Vec3 (*gradientVector4)(const Vec3& p, float w) = nullptr;
    Vec3 (*simplexVector2)(float x, float y) = nullptr;
    Vec3 (*simplexVector3)(const Vec3& p) = nullptr;
    Vec3 (*simplexVector4)(const Vec3& p, float w) = nullptr;
};

/// The kernel `id` when this build has it and this machine can run it; null otherwise, with the
/// reason in `whyNot` when it is given. Every function of a returned kernel is set: a kernel that
/// leaves one out borrows it from the best slower kernel. Thread-safe.
const NoiseKernel* FindNoiseKernel(KernelId id, std::string* whyNot = nullptr) noexcept;

/// The noise kernels and the one the public functions use; the test hook is QUORVIN_NOISE_KERNEL.
/// Until the choice is made, InUse() is a kernel whose functions make it and then call the chosen
/// one; from then on it is the chosen kernel itself, so that a call costs one load and an indirect
/// call.
extern constinit KernelFamily<NoiseKernel> NoiseKernels;

/// The kernel the public functions use, chosen on the first call. Thread-safe.
inline const NoiseKernel& ActiveNoiseKernel() noexcept { return NoiseKernels.Active(); }

/// What the test hook (QUORVIN_NOISE_KERNEL) asked for at the choice. Thread-safe.
inline const KernelRequest& ActiveNoiseKernelRequest() noexcept { return NoiseKernels.Request(); }

// The kernels as their sources define them, one source each; a kernel the build leaves out is
// null, and a function a kernel does not specialise is null in it.
extern const NoiseKernel* const PortableNoiseKernel;
extern const NoiseKernel* const Sse2NoiseKernel;
extern const NoiseKernel* const Avx2NoiseKernel;

}  // namespace Quorvin::GeometryPrivate
