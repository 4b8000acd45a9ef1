// The AVX2 lookup kernel, for processors and operating systems that support AVX2, BMI2 and POPCNT
// (LookupKernel.cpp checks before choosing it): the portable lookups with the processor's population
// count. Its code lies in an AVX2 region, so no function shared with the rest of the build is
// compiled for it.
#include "core/base/Compiler.h"
#include "core/data/internal/LookupKernel.h"

#if QUORVIN_HAS_AVX2_KERNEL
#include <bit>

namespace Quorvin::DataPrivate {
namespace {

// Defined outside the region so that the shared pass may inline it; inlined into the region's
// function, std::popcount becomes the instruction. Called anywhere else it would count in software.
struct InstructionCount {
    static QUORVIN_FORCEINLINE uint64_t Of(uint64_t x) { return static_cast<uint64_t>(std::popcount(x)); }
};

}  // namespace
}  // namespace Quorvin::DataPrivate

QUORVIN_BEGIN_AVX2_REGION
namespace Quorvin::DataPrivate {
namespace {

QUORVIN_NOINLINE uint64_t Avx2LookupTail(const LevelView* levels, size_t count, uint64_t key) {
    return LookupFromThirdLevel<InstructionCount>(levels, count, key);
}

uint64_t Avx2LookupKey(const LevelView* levels, size_t count, uint64_t key) {
    return LookupKey<InstructionCount, &Avx2LookupTail>(levels, count, key);
}

size_t Avx2ResolveLevel(const LevelView& level, const uint64_t* keys, const uint32_t* list, size_t count,
                        uint64_t* answers, uint32_t* left) {
    return ResolveLevel<InstructionCount>(level, keys, list, count, answers, left);
}

}  // namespace
}  // namespace Quorvin::DataPrivate
QUORVIN_END_AVX2_REGION

namespace Quorvin::DataPrivate {
namespace {
constexpr LookupKernel Kernel = {"avx2", &Avx2LookupKey, &Avx2ResolveLevel};
}  // namespace
constinit const LookupKernel* const Avx2LookupKernel = &Kernel;
}  // namespace Quorvin::DataPrivate
#else
constinit const Quorvin::DataPrivate::LookupKernel* const Quorvin::DataPrivate::Avx2LookupKernel = nullptr;
#endif
