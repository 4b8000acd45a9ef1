// The one choice of UTF kernel per process, from the processor, the operating system and the test
// hook.
#include "core/text/internal/UtfKernel.h"

#include <cstdlib>

#include "core/Compiler.h"

namespace Quorvin::UtfPrivate {
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

struct Choice {
    const UtfKernel* kernel = nullptr;
    UtfKernelRequest request;
};

Choice Choose() {
    Choice choice;
    // The automatic choice: the build's baseline kernel, or AVX2 where it runs. A build that turns
    // SSE2 off wants the portable code tested, so it leaves the faster kernels to the test hook.
    choice.kernel = PortableKernel;
#if QUORVIN_HAS_SSE2
    if (const UtfKernel* avx2 = FindUtfKernel(UtfKernelId::Avx2)) {
        choice.kernel = avx2;
    } else if (Sse2Kernel != nullptr) {
        choice.kernel = Sse2Kernel;
    }
#endif
    const char* forced = std::getenv("QUORVIN_TEXT_KERNEL");
    if (forced == nullptr || *forced == '\0') {
        return choice;
    }
    choice.request.requested = forced;
    for (int i = 0; i < UtfKernelCount; ++i) {
        const auto id = static_cast<UtfKernelId>(i);
        if (choice.request.requested == UtfKernelName(id)) {
            std::string whyNot;
            if (const UtfKernel* kernel = FindUtfKernel(id, &whyNot)) {
                choice.kernel = kernel;
            } else {
                choice.request.problem = "QUORVIN_TEXT_KERNEL=" + choice.request.requested + ": " + whyNot;
            }
            return choice;
        }
    }
    choice.request.known = false;
    choice.request.problem =
        "QUORVIN_TEXT_KERNEL=" + choice.request.requested + ": no such kernel (portable, sse2 or avx2)";
    return choice;
}

const Choice& TheChoice() {
    static const Choice choice = Choose();
    return choice;
}

}  // namespace

const char* UtfKernelName(UtfKernelId id) noexcept {
    switch (id) {
    case UtfKernelId::Portable: return "portable";
    case UtfKernelId::Sse2: return "sse2";
    case UtfKernelId::Avx2: return "avx2";
    }
    return "?";
}

const UtfKernel* FindUtfKernel(UtfKernelId id, std::string* whyNot) noexcept {
    std::string reason;
    const UtfKernel* kernel = nullptr;
    switch (id) {
    case UtfKernelId::Portable: kernel = PortableKernel; break;
    case UtfKernelId::Sse2:
        kernel = Sse2Kernel;
        if (kernel == nullptr) {
            reason = "this build has no SSE2 kernel (QUORVIN_HAS_SSE2=0)";
        }
        break;
    case UtfKernelId::Avx2:
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

const UtfKernel& ActiveUtfKernel() noexcept { return *TheChoice().kernel; }

const UtfKernelRequest& ActiveUtfKernelRequest() noexcept { return TheChoice().request; }

}  // namespace Quorvin::UtfPrivate
