// The constant tables of the noise functions, and the same gradients as padded float rows.
#include "core/geometry/Noise.h"
#include "core/geometry/internal/NoiseGradientRows.h"
#include "core/geometry/internal/NoiseTableValues.h"

namespace Quorvin {

// Twice in a row: a hash step adds an index (at most 255) to an entry (at most 255).
const uint8_t NoisePermutation[512] = {QUORVIN_NOISE_PERMUTATION, QUORVIN_NOISE_PERMUTATION};

const int8_t Gradients1[16] = {QUORVIN_GRADIENTS1};
const int8_t Gradients2[8][2] = {QUORVIN_GRADIENTS2};
const int8_t Gradients3[16][3] = {QUORVIN_GRADIENTS3};
const int8_t Gradients4[32][4] = {QUORVIN_GRADIENTS4};

namespace GeometryPrivate {
// The same values as floats, each row padded to four, so a corner multiplies straight from memory.
alignas(64) const float GradientRows1[16] = {QUORVIN_GRADIENTS1};
alignas(64) const float GradientRows2[8][4] = {QUORVIN_GRADIENTS2};
alignas(64) const float GradientRows3[16][4] = {QUORVIN_GRADIENTS3};
alignas(64) const float GradientRows4[32][4] = {QUORVIN_GRADIENTS4};
}  // namespace GeometryPrivate

// Indexed by 32·(x>y) + 16·(x>z) + 8·(y>z) + 4·(x>w) + 2·(y>w) + (z>w); only 24 of the 64
// comparison outcomes are orderings.
const uint8_t SimplexOrder4[64][4] = {
    {0, 1, 2, 3}, {0, 1, 3, 2}, {0, 0, 0, 0}, {0, 2, 3, 1}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0},
    {1, 2, 3, 0}, {0, 2, 1, 3}, {0, 0, 0, 0}, {0, 3, 1, 2}, {0, 3, 2, 1}, {0, 0, 0, 0}, {0, 0, 0, 0},
    {0, 0, 0, 0}, {1, 3, 2, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0},
    {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {1, 2, 0, 3}, {0, 0, 0, 0}, {1, 3, 0, 2}, {0, 0, 0, 0},
    {0, 0, 0, 0}, {0, 0, 0, 0}, {2, 3, 0, 1}, {2, 3, 1, 0}, {1, 0, 2, 3}, {1, 0, 3, 2}, {0, 0, 0, 0},
    {0, 0, 0, 0}, {0, 0, 0, 0}, {2, 0, 3, 1}, {0, 0, 0, 0}, {2, 1, 3, 0}, {0, 0, 0, 0}, {0, 0, 0, 0},
    {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {2, 0, 1, 3},
    {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {3, 0, 1, 2}, {3, 0, 2, 1}, {0, 0, 0, 0}, {3, 1, 2, 0},
    {2, 1, 0, 3}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {3, 1, 0, 2}, {0, 0, 0, 0}, {3, 2, 0, 1},
    {3, 2, 1, 0},
};

}  // namespace Quorvin
