// Shared helpers of the fuzz targets: contract checks that report the input, and derived keys.
#pragma once

#include <cstdint>
#include <cstdlib>

namespace Quorvin::Testing {

/// Ends the run (and so reports the input) when a documented contract does not hold.
inline void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

/// Query keys derived from the input: small keys, keys near the top, and mixed ones.
inline uint64_t FuzzKey(uint64_t i, uint64_t salt) {
    switch (i % 3) {
    case 0: return i / 3;
    case 1: return ~(i / 3);
    default: return (i + salt) * 0x9E3779B97F4A7C15ULL;
    }
}

}  // namespace Quorvin::Testing
