// The kernels of the perfect hash's lookups (portable, AVX2) and the one choice among them that a
// process makes, as for the text and noise kernels (core/base/KernelFamily.h). Private to the data
// library and its tests.
//
// Every kernel gives exactly the portable code's answers; the AVX2 kernel counts bits with the
// processor's POPCNT instruction and shifts and masks with BMI2, which the baseline target lacks.
// There is no SSE2 kernel: SSE2 adds nothing to these lookups.
//
// Test hook: the environment variable QUORVIN_DATA_KERNEL (portable or avx2), read once at the
// choice, forces a kernel; a kernel this build or machine lacks is reported, never replaced.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/base/KernelFamily.h"
#include "core/data/internal/RankLines.h"

namespace Quorvin::DataPrivate {

/// The functions of one kernel.
struct LookupKernel {
    const char* name = nullptr;  ///< "portable" or "avx2"
    /// LookupKey (RankLines.h), with the kernel's way of counting bits.
    uint64_t (*lookupKey)(const LevelView* levels, size_t count, uint64_t key) = nullptr;
    /// ResolveLevel (RankLines.h), likewise.
    size_t (*resolveLevel)(const LevelView& level, const uint64_t* keys, const uint32_t* list, size_t count,
                           uint64_t* answers, uint32_t* left) = nullptr;
};

/// The kernel `id` when this build has it and this machine can run it; null otherwise, with the
/// reason in `whyNot` when it is given. Thread-safe.
const LookupKernel* FindLookupKernel(KernelId id, std::string* whyNot = nullptr) noexcept;

/// The lookup kernels and the one in use; the test hook is QUORVIN_DATA_KERNEL. Until the choice is
/// made, InUse() is a kernel whose functions make it and then call the chosen one; from then on it
/// is the chosen kernel itself, so that a call costs one load and an indirect call.
extern constinit KernelFamily<LookupKernel> LookupKernels;

// The AVX2 kernel as its source defines it: null when the build leaves it out.
extern const LookupKernel* const Avx2LookupKernel;

}  // namespace Quorvin::DataPrivate
