// The kernels of the hot UTF routines (portable, SSE2, AVX2) and the one choice among them that a
// process makes. Private to the text subsystem and its tests.
//
// Every kernel gives exactly the results of the character rules: the same result codes, cursors
// and units, and no unit written past the new target cursor. The kernels differ only in how fast
// they prove stretches of text well formed; the first doubtful unit always goes to the exact rules.
//
// The choice is made once, on first use, from the processor (CPUID: AVX2, BMI1, BMI2, POPCNT, AVX,
// OSXSAVE) and the operating system's support for the AVX register state (XCR0 bits 1 and 2): the
// fastest kernel that is built and supported. A build with QUORVIN_HAS_SSE2 set to 0 (a target
// without SSE2) builds no SSE2 kernel and chooses the portable one, but still builds the AVX2
// kernel so that it can be forced and tested there too.
//
// Test hook: the environment variable QUORVIN_TEXT_KERNEL (portable, sse2 or avx2), read once at the
// choice, forces a kernel. A forced kernel that is not built or not supported here is never
// replaced silently: the process keeps the automatic choice and KernelRequest() says why, so that
// tests skip with that reason. An unknown name is reported the same way.
#pragma once

#include <cstdint>
#include <string>

#include "core/base/KernelFamily.h"

#include "core/text/Utf.h"

namespace Quorvin::TextPrivate {

/// The hot routines of one kernel. Each has the contract of the public routine it serves.
struct UtfKernel {
    const char* name;  ///< "portable", "sse2" or "avx2"
    ConversionResult (*utf8ToUtf16)(const Utf8Unit*& source, const Utf8Unit* sourceEnd, Utf16Unit*& target,
                                    Utf16Unit* targetEnd);
    ConversionResult (*utf8ToUtf32)(const Utf8Unit*& source, const Utf8Unit* sourceEnd, Utf32Unit*& target,
                                    Utf32Unit* targetEnd);
    ConversionResult (*utf16ToUtf8)(const Utf16Unit*& source, const Utf16Unit* sourceEnd, Utf8Unit*& target,
                                    Utf8Unit* targetEnd, ConversionMode mode);
    ConversionResult (*utf32ToUtf8)(const Utf32Unit*& source, const Utf32Unit* sourceEnd, Utf8Unit*& target,
                                    Utf8Unit* targetEnd, ConversionMode mode);
    /// Walks legal UTF-8 from `cursor`, counting sequences: true at the end, false with the cursor
    /// at the first byte of the first illegal or truncated sequence (`count` holds those before it).
    bool (*countUtf8)(const Utf8Unit*& cursor, const Utf8Unit* end, uint64_t& count);
    /// The same walk without the count, as IsLegalUtf8Range.
    bool (*validateUtf8)(const Utf8Unit*& cursor, const Utf8Unit* end);
};

/// The kernel `id` when this build has it and this machine can run it; null otherwise, with the
/// reason in `whyNot` when it is given. Thread-safe.
const UtfKernel* FindUtfKernel(KernelId id, std::string* whyNot = nullptr) noexcept;

/// The UTF kernels and the one the conversions use; the test hook is QUORVIN_TEXT_KERNEL.
extern constinit KernelFamily<UtfKernel> UtfKernels;

/// The kernel the conversions use, chosen on the first call. Thread-safe.
inline const UtfKernel& ActiveUtfKernel() noexcept { return UtfKernels.Active(); }

/// What the test hook (QUORVIN_TEXT_KERNEL) asked for at the choice. Thread-safe.
inline const KernelRequest& ActiveUtfKernelRequest() noexcept { return UtfKernels.Request(); }

// The kernels themselves, one source each; a kernel the build leaves out is null.
extern const UtfKernel* const PortableKernel;
extern const UtfKernel* const Sse2Kernel;
extern const UtfKernel* const Avx2Kernel;

}  // namespace Quorvin::TextPrivate
