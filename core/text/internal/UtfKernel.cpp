// The one choice of UTF kernel per process, from the processor, the operating system and the test
// hook.
#include "core/text/internal/UtfKernel.h"

#include "core/base/ProcessorFeatures.h"

namespace Quorvin::TextPrivate {

const UtfKernel* FindUtfKernel(KernelId id, std::string* whyNot) noexcept {
    std::string reason;
    const UtfKernel* kernel = nullptr;
    switch (id) {
    case KernelId::Portable: kernel = PortableKernel; break;
    case KernelId::Sse2:
        kernel = Sse2Kernel;
        if (kernel == nullptr) {
            reason = "this build has no SSE2 kernel (QUORVIN_HAS_SSE2=0)";
        }
        break;
    case KernelId::Avx2:
        // Asked each time: the answer is cheap and only tests and the first choice ask.
        reason = Avx2Support();
        kernel = reason.empty() ? Avx2Kernel : nullptr;
        break;
    }
    if (kernel == nullptr && whyNot != nullptr) {
        *whyNot = reason;
    }
    return kernel;
}

constinit KernelFamily<UtfKernel> UtfKernels("QUORVIN_TEXT_KERNEL", FindUtfKernel);

}  // namespace Quorvin::TextPrivate
