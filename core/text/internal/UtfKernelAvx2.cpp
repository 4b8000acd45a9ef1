// The AVX2 UTF kernel, for processors and operating systems that support AVX2 (UtfKernel.cpp
// checks before choosing it). Its code lies in an AVX2 region, so no function shared with the rest
// of the build is compiled for AVX2.
#include "core/base/Compiler.h"
#include "core/text/internal/UtfKernel.h"

#if QUORVIN_HAS_AVX2_KERNEL
#include <immintrin.h>

#include <algorithm>
#include <array>
#include <bit>

#include "core/text/internal/UtfPrimitives.h"

QUORVIN_BEGIN_AVX2_REGION
#include "core/text/internal/UtfBlocksAvx2.h"

namespace Quorvin::TextPrivate::Avx2 {
#include "core/text/internal/UtfKernelLoops.inc"
}  // namespace Quorvin::TextPrivate::Avx2
QUORVIN_END_AVX2_REGION

namespace Quorvin::TextPrivate {
namespace {
constexpr UtfKernel Kernel = {
    "avx2",           &Avx2::DecodeToUtf16, &Avx2::DecodeToUtf32, &Avx2::EncodeUtf16, &Avx2::EncodeUtf32,
    &Avx2::CountUtf8, &Avx2::ValidateUtf8};
}  // namespace
constinit const UtfKernel* const Avx2Kernel = &Kernel;
}  // namespace Quorvin::TextPrivate
#else
constinit const Quorvin::TextPrivate::UtfKernel* const Quorvin::TextPrivate::Avx2Kernel = nullptr;
#endif
