// An independent bit model of the x86-64 debug control register (Dr7), which the hardware
// breakpoint tests check the editing and the live threads' registers against.
#pragma once

#include <cstdint>

namespace Quorvin::Testing::Dr7 {

/// The two-bit field of `control` that starts at bit `shift` (RWn at 16 + 4n, LENn at 18 + 4n).
inline uint64_t Field(uint64_t control, unsigned shift) { return (control >> shift) & 3; }

/// Whether the local-enable bit of `slot` (Ln, bit 2n) is set in `control`.
inline bool Enabled(uint64_t control, uint32_t slot) { return ((control >> (2 * slot)) & 1) != 0; }

}  // namespace Quorvin::Testing::Dr7
