// The portable lookup kernel, and the one choice of kernel per process.
#include "core/data/internal/LookupKernel.h"

#include "core/base/ProcessorFeatures.h"

namespace Quorvin::DataPrivate {
namespace {

QUORVIN_NOINLINE uint64_t PortableLookupTail(const LevelView* levels, size_t count, uint64_t key) {
    return LookupFromThirdLevel<PortableCount>(levels, count, key);
}

uint64_t PortableLookupKey(const LevelView* levels, size_t count, uint64_t key) {
    return LookupKey<PortableCount, &PortableLookupTail>(levels, count, key);
}

size_t PortableResolveLevel(const LevelView& level, const uint64_t* keys, const uint32_t* list, size_t count,
                            uint64_t* answers, uint32_t* left) {
    return ResolveLevel<PortableCount>(level, keys, list, count, answers, left);
}

constexpr LookupKernel Portable = {"portable", &PortableLookupKey, &PortableResolveLevel};

// The functions in use before the choice: each makes it and calls the chosen kernel's own.
uint64_t ChoosingLookupKey(const LevelView* levels, size_t count, uint64_t key) {
    return LookupKernels.Active().lookupKey(levels, count, key);
}

size_t ChoosingResolveLevel(const LevelView& level, const uint64_t* keys, const uint32_t* list, size_t count,
                            uint64_t* answers, uint32_t* left) {
    return LookupKernels.Active().resolveLevel(level, keys, list, count, answers, left);
}

constexpr LookupKernel ChoosingKernel = {"choosing", &ChoosingLookupKey, &ChoosingResolveLevel};

}  // namespace

const LookupKernel* FindLookupKernel(KernelId id, std::string* whyNot) noexcept {
    std::string reason;
    const LookupKernel* kernel = nullptr;
    switch (id) {
    case KernelId::Portable: kernel = &Portable; break;
    case KernelId::Sse2: reason = "the lookups have no SSE2 kernel"; break;
    case KernelId::Avx2:
        // Asked each time: the answer is cheap and only tests and the first choice ask.
        reason = Avx2Support();
        if (reason.empty()) {
            kernel = Avx2LookupKernel;
            if (kernel == nullptr) reason = "this build has no AVX2 kernel";
        }
        break;
    }
    if (kernel == nullptr && whyNot != nullptr) {
        *whyNot = reason;
    }
    return kernel;
}

// Constant-initialised, so it holds the choosing kernel before any constructor runs.
constinit KernelFamily<LookupKernel> LookupKernels("QUORVIN_DATA_KERNEL", FindLookupKernel, &ChoosingKernel);

}  // namespace Quorvin::DataPrivate
