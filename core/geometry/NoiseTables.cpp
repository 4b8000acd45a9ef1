// The constant tables of the noise functions, and the same gradients as padded float rows.
#include "core/geometry/Noise.h"
#include "core/geometry/internal/NoiseGradientRows.h"

namespace Quorvin {

#define QUORVIN_NOISE_PERMUTATION                                                                            \
    151, 160, 137, 91, 90, 15, 131, 13, 201, 95, 96, 53, 194, 233, 7, 225, 140, 36, 103, 30, 69, 142, 8, 99, \
        37, 240, 21, 10, 23, 190, 6, 148, 247, 120, 234, 75, 0, 26, 197, 62, 94, 252, 219, 203, 117, 35, 11, \
        32, 57, 177, 33, 88, 237, 149, 56, 87, 174, 20, 125, 136, 171, 168, 68, 175, 74, 165, 71, 134, 139,  \
        48, 27, 166, 77, 146, 158, 231, 83, 111, 229, 122, 60, 211, 133, 230, 220, 105, 92, 41, 55, 46, 245, \
        40, 244, 102, 143, 54, 65, 25, 63, 161, 1, 216, 80, 73, 209, 76, 132, 187, 208, 89, 18, 169, 200,    \
        196, 135, 130, 116, 188, 159, 86, 164, 100, 109, 198, 173, 186, 3, 64, 52, 217, 226, 250, 124, 123,  \
        5, 202, 38, 147, 118, 126, 255, 82, 85, 212, 207, 206, 59, 227, 47, 16, 58, 17, 182, 189, 28, 42,    \
        223, 183, 170, 213, 119, 248, 152, 2, 44, 154, 163, 70, 221, 153, 101, 155, 167, 43, 172, 9, 129,    \
        22, 39, 253, 19, 98, 108, 110, 79, 113, 224, 232, 178, 185, 112, 104, 218, 246, 97, 228, 251, 34,    \
        242, 193, 238, 210, 144, 12, 191, 179, 162, 241, 81, 51, 145, 235, 249, 14, 239, 107, 49, 192, 214,  \
        31, 181, 199, 106, 157, 184, 84, 204, 176, 115, 121, 50, 45, 127, 4, 150, 254, 138, 236, 205, 93,    \
        222, 114, 67, 29, 24, 72, 243, 141, 128, 195, 78, 66, 215, 61, 156, 180

// Twice in a row: a hash step adds an index (at most 255) to an entry (at most 255).
const uint8_t NoisePermutation[512] = {QUORVIN_NOISE_PERMUTATION, QUORVIN_NOISE_PERMUTATION};

#undef QUORVIN_NOISE_PERMUTATION

#define QUORVIN_GRADIENTS1 1, 2, 3, 4, 5, 6, 7, 8, -1, -2, -3, -4, -5, -6, -7, -8

#define QUORVIN_GRADIENTS2 \
    {1, 2}, {-1, 2}, {1, -2}, {-1, -2}, {2, 1}, {2, -1}, {-2, 1}, { -2, -1 }

// Sixteen entries so that a hash masked with 15 picks one without a division; the four repeated
// edges form a regular tetrahedron, so the repetition favours no direction.
#define QUORVIN_GRADIENTS3                                                                          \
    {1, 1, 0}, {-1, 1, 0}, {1, -1, 0}, {-1, -1, 0}, {1, 0, 1}, {-1, 0, 1}, {1, 0, -1}, {-1, 0, -1}, \
        {0, 1, 1}, {0, -1, 1}, {0, 1, -1}, {0, -1, -1}, {1, 1, 0}, {0, -1, 1}, {-1, 1, 0}, {        \
        0, -1, -1                                                                                   \
    }

// Four blocks of eight, the zero in w, z, y and then x; within a block the first non-zero
// component changes sign fastest.
#define QUORVIN_GRADIENTS4                                                                             \
    {1, 1, 1, 0}, {-1, 1, 1, 0}, {1, -1, 1, 0}, {-1, -1, 1, 0}, {1, 1, -1, 0}, {-1, 1, -1, 0},         \
        {1, -1, -1, 0}, {-1, -1, -1, 0}, {1, 1, 0, 1}, {-1, 1, 0, 1}, {1, -1, 0, 1}, {-1, -1, 0, 1},   \
        {1, 1, 0, -1}, {-1, 1, 0, -1}, {1, -1, 0, -1}, {-1, -1, 0, -1}, {1, 0, 1, 1}, {-1, 0, 1, 1},   \
        {1, 0, -1, 1}, {-1, 0, -1, 1}, {1, 0, 1, -1}, {-1, 0, 1, -1}, {1, 0, -1, -1}, {-1, 0, -1, -1}, \
        {0, 1, 1, 1}, {0, -1, 1, 1}, {0, 1, -1, 1}, {0, -1, -1, 1}, {0, 1, 1, -1}, {0, -1, 1, -1},     \
        {0, 1, -1, -1}, {                                                                              \
        0, -1, -1, -1                                                                                  \
    }

const int8_t Gradients1[16] = {QUORVIN_GRADIENTS1};
const int8_t Gradients2[8][2] = {QUORVIN_GRADIENTS2};
const int8_t Gradients3[16][3] = {QUORVIN_GRADIENTS3};
const int8_t Gradients4[32][4] = {QUORVIN_GRADIENTS4};

namespace NoisePrivate {
// The same values as floats, each row padded to four, so a corner multiplies straight from memory.
alignas(64) const float GradientRows1[16] = {QUORVIN_GRADIENTS1};
alignas(64) const float GradientRows2[8][4] = {QUORVIN_GRADIENTS2};
alignas(64) const float GradientRows3[16][4] = {QUORVIN_GRADIENTS3};
alignas(64) const float GradientRows4[32][4] = {QUORVIN_GRADIENTS4};
}  // namespace NoisePrivate

#undef QUORVIN_GRADIENTS1
#undef QUORVIN_GRADIENTS2
#undef QUORVIN_GRADIENTS3
#undef QUORVIN_GRADIENTS4

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
