// The portable UTF kernel: plain 64-bit word arithmetic, for every target and for the sanitizers.
#include <algorithm>

#include "core/text/internal/UtfBlocksPortable.h"
#include "core/text/internal/UtfKernel.h"
#include "core/text/internal/UtfPrimitives.h"

namespace Quorvin::TextPrivate::Portable {
#include "core/text/internal/UtfTwoByteStretches.inc"
// The loops after the fast stretches they call.
#include "core/text/internal/UtfKernelLoops.inc"
}  // namespace Quorvin::TextPrivate::Portable

namespace Quorvin::TextPrivate {
namespace {
constexpr UtfKernel Kernel = {"portable",
                              &Portable::DecodeToUtf16,
                              &Portable::DecodeToUtf32,
                              &Portable::EncodeUtf16,
                              &Portable::EncodeUtf32,
                              &Portable::CountUtf8,
                              &Portable::ValidateUtf8};
}  // namespace
constinit const UtfKernel* const PortableKernel = &Kernel;
}  // namespace Quorvin::TextPrivate
