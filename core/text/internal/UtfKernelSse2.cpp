// The SSE2 UTF kernel: the two-byte blocks in SSE2, which every x86-64 processor has. A build that
// sets QUORVIN_HAS_SSE2 to 0 leaves it out.
#include "core/base/Compiler.h"
#include "core/text/internal/UtfKernel.h"

#if QUORVIN_HAS_SSE2
#include <algorithm>

#include "core/text/internal/UtfBlocksSse2.h"
#include "core/text/internal/UtfPrimitives.h"

namespace Quorvin::TextPrivate::Sse2 {
#include "core/text/internal/UtfTwoByteStretches.inc"
// The loops after the fast stretches they call.
#include "core/text/internal/UtfKernelLoops.inc"
}  // namespace Quorvin::TextPrivate::Sse2

namespace Quorvin::TextPrivate {
namespace {
constexpr UtfKernel Kernel = {
    "sse2",           &Sse2::DecodeToUtf16, &Sse2::DecodeToUtf32, &Sse2::EncodeUtf16, &Sse2::EncodeUtf32,
    &Sse2::CountUtf8, &Sse2::ValidateUtf8};
}  // namespace
constinit const UtfKernel* const Sse2Kernel = &Kernel;
}  // namespace Quorvin::TextPrivate
#else
constinit const Quorvin::TextPrivate::UtfKernel* const Quorvin::TextPrivate::Sse2Kernel = nullptr;
#endif
