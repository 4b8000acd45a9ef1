// The AVX2 noise kernel, for processors and operating systems that support AVX2 (NoiseKernel.cpp
// checks before choosing it): the vector forms of two to four dimensions and three-dimensional
// gradient and simplex noise, with the lattice corners in the lanes. Its code lies in an AVX2
// region, so no function shared with the rest of the build is compiled for AVX2; the kernel takes
// the SSE2 kernel's functions for the forms it leaves out.
//
// Corners in lanes: the vector forms mix the lane hashes of eight corners with one 32-bit multiply
// per instruction, where the other kernels multiply corner by corner. A corner's gradient product
// is the portable row product's value: two-dimensional gradients are looked up as float columns
// and multiplied; three- and four-dimensional ones have components of 0 and ±1, so their product
// is a sum of offsets picked and sign-flipped by the index bits (in three dimensions by choices
// looked up in a table), added in the portable order. The zero component's term, left out, can
// change only the sign of a zero sum; that sign never changes a non-zero result of the blends and
// sums that follow, and a zero result ends as exactly 0.5.
// Every blend, falloff and sum is the portable code's operation, in its order, on the corners it
// pairs.
//
// Simplex noise in two and three dimensions works on all corners of the skewed square or cube at
// once, before the simplex is known (see Cube below): that keeps the hashes off the long chain of
// dependent steps from the point to its corner order.
#include "core/base/Compiler.h"
#include "core/geometry/internal/NoiseKernel.h"

#if QUORVIN_HAS_AVX2_KERNEL
#include <immintrin.h>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/geometry/internal/NoiseSse2.h"
#include "core/geometry/internal/NoiseTableValues.h"

namespace Quorvin::GeometryPrivate::Avx2 {
namespace {

// ---------------------------------------------------------------------------------------------
// Tables.

// Two dimensions have eight gradients, as many as a register has lanes: their components as float
// columns, looked up with one lane permute each (which reads only the low three bits of an index).
struct FloatColumns2 {
    alignas(32) float axis[2][8];
};
constexpr FloatColumns2 MakeFloatColumns2() {
    constexpr int8_t g[8][2] = {QUORVIN_GRADIENTS2};
    FloatColumns2 c{};
    for (int k = 0; k < 8; ++k) {
        c.axis[0][k] = g[k][0];
        c.axis[1][k] = g[k][1];
    }
    return c;
}
constexpr FloatColumns2 Columns2Float = MakeFloatColumns2();

// For each entry of the doubled permutation, the three-dimensional gradient its value picks (value
// & 15), as the choices Dot3 below makes. A gradient has two components of ±1 and one of 0; call the
// non-zero ones u and v, in axis order. Bit 0 says u is −1 and bit 1 that v is; bit 6 says v is on
// y (else on z) and bit 7 that u is on y (else on x), so that a lane holding the byte sign-extended
// has that choice in its top bit already, where a blend reads it. The last step of a corner's hash
// reads this table instead of the permutation, so the choices arrive ready, without decoding per
// corner.
struct GradientChoices3 {
    uint8_t entry[512];
};
constexpr uint8_t GradientChoicesOf3(int gradient) {
    constexpr int8_t g[16][3] = {QUORVIN_GRADIENTS3};
    const int8_t* row = g[gradient];
    const int u = row[0] != 0 ? 0 : 1;
    const int v = row[2] != 0 ? 2 : 1;
    return static_cast<uint8_t>((row[u] < 0 ? 1 : 0) | (row[v] < 0 ? 2 : 0) | (v == 1 ? 64 : 0) |
                                (u == 1 ? 128 : 0));
}
constexpr GradientChoices3 MakeGradientChoices3() {
    constexpr uint8_t permutation[256] = {QUORVIN_NOISE_PERMUTATION};
    GradientChoices3 t{};
    for (int n = 0; n < 512; ++n) {
        t.entry[n] = GradientChoicesOf3(permutation[n & 255] & 15);
    }
    return t;
}
constexpr GradientChoices3 Choices3 = MakeGradientChoices3();

// The choices of GradientChoices3 for each of the sixteen three-dimensional gradients, in both
// halves of a register: the vector forms' lanes hold a gradient index rather than a permutation
// entry.
struct GradientChoicesByIndex3 {
    alignas(32) uint8_t entry[32];
    alignas(32) uint8_t byteTwoEverywhere[32];  // a byte shuffle: byte 2 of each lane to all four
};
constexpr GradientChoicesByIndex3 MakeLaneChoices3() {
    GradientChoicesByIndex3 t{};
    for (int n = 0; n < 32; ++n) {
        t.entry[n] = GradientChoicesOf3(n & 15);
        t.byteTwoEverywhere[n] = static_cast<uint8_t>((n & 12) + 2);
    }
    return t;
}
constexpr GradientChoicesByIndex3 LaneChoices3 = MakeLaneChoices3();

// The corners of the skewed square (lane x + 2·y) or cube (lane x + 2·z + 4·y), repeated to fill
// eight lanes: each corner's steps by axis, the amount its offsets add (the unskew factor per step;
// −0 for the first corner, which leaves its offsets exact), and for each outcome of the portable
// code's comparisons the lanes of the simplex corners in their order.
struct CubeLayout {
    alignas(32) float bit[3][8];
    alignas(32) int32_t step[3][8];  // the same steps as integers
    alignas(32) float added[8];
    alignas(32) int32_t pick[8][8];  // lanes 0 to 3 repeated in 4 to 7
};

template <int N>
constexpr CubeLayout MakeCubeLayout() {
    CubeLayout t{};
    constexpr auto lane = [](int x, int y, int z) { return N == 2 ? x + 2 * y : x + 2 * z + 4 * y; };
    for (int l = 0; l < 8; ++l) {
        const int x = l & 1, y = N == 2 ? (l >> 1) & 1 : (l >> 2) & 1, z = N == 2 ? 0 : (l >> 1) & 1;
        t.bit[0][l] = static_cast<float>(x);
        t.bit[1][l] = static_cast<float>(y);
        t.bit[2][l] = static_cast<float>(z);
        t.step[0][l] = x;
        t.step[1][l] = y;
        t.step[2][l] = z;
        const int steps = x + y + z;
        t.added[l] = steps == 0 ? -0.0f : SimplexShape<N>::Added[steps - 1];
    }
    if constexpr (N == 2) {
        for (int order = 0; order < 2; ++order) {  // x0 > y0
            t.pick[order][0] = t.pick[order][4] = 0;
            t.pick[order][1] = t.pick[order][5] = lane(order, 1 - order, 0);
            t.pick[order][2] = t.pick[order][6] = 3;
        }
    } else {
        for (int order = 0; order < 8; ++order) {  // as SimplexOrder3 gives it
            const SimplexSteps3 steps = SimplexStepsOf3(order);
            t.pick[order][0] = t.pick[order][4] = 0;
            t.pick[order][1] = t.pick[order][5] = lane(steps.second[0], steps.second[1], steps.second[2]);
            t.pick[order][2] = t.pick[order][6] = lane(steps.third[0], steps.third[1], steps.third[2]);
            t.pick[order][3] = t.pick[order][7] = 7;
        }
    }
    return t;
}
constexpr CubeLayout CubeLayout2 = MakeCubeLayout<2>();
constexpr CubeLayout CubeLayout3 = MakeCubeLayout<3>();

template <int N>
constexpr const CubeLayout& CubeLayoutOf() {
    if constexpr (N == 2) {
        return CubeLayout2;
    } else {
        return CubeLayout3;
    }
}

// A 32-bit constant for all eight lanes, kept in memory as one float and broadcast by the load: the
// compiler builds a constant register of equal lanes in a general register otherwise (three
// instructions, and a transfer between the register files, where this is one load).
template <uint32_t V>
struct Splat {
    static constexpr float value = std::bit_cast<float>(V);
};

}  // namespace
}  // namespace Quorvin::GeometryPrivate::Avx2

QUORVIN_BEGIN_AVX2_REGION
namespace Quorvin::GeometryPrivate::Avx2 {
namespace {

// ---------------------------------------------------------------------------------------------
// Lanes.

template <uint32_t V>
QUORVIN_FORCEINLINE __m256i SplatInt() {
    return _mm256_castps_si256(_mm256_broadcast_ss(&Splat<V>::value));
}

QUORVIN_FORCEINLINE __m256 Lerp8(__m256 a, __m256 b, __m256 t) {
    return _mm256_add_ps(_mm256_mul_ps(_mm256_sub_ps(b, a), t), a);
}

template <int Lane>
QUORVIN_FORCEINLINE __m256 Spread(__m128 v) {
    return _mm256_broadcastss_ps(Broadcast<Lane>(v));
}

template <int Lane>
QUORVIN_FORCEINLINE __m256i SpreadInt(__m128i v) {
    return _mm256_broadcastd_epi32(_mm_shuffle_epi32(v, _MM_SHUFFLE(Lane, Lane, Lane, Lane)));
}

// The lane seed of a corner index: (index & 255)·1664525 + 1013904223, eight at a time.
QUORVIN_FORCEINLINE __m256i Seed(__m256i index) {
    return _mm256_add_epi32(_mm256_mullo_epi32(_mm256_and_si256(index, SplatInt<255>()), SplatInt<1664525>()),
                            SplatInt<1013904223>());
}

QUORVIN_FORCEINLINE __m256i MulAdd(__m256i a, __m256i b, __m256i c) {
    return _mm256_add_epi32(a, _mm256_mullo_epi32(b, c));
}

// The three gradient choices of each corner: the mixed lanes x, y and z, whose top halves pick.
struct Mixed {
    __m256i a, b, c;
};

template <int N>
QUORVIN_FORCEINLINE Mixed Mix(__m256i x, __m256i y, __m256i z, __m256i w) {
    if constexpr (N <= 3) {
        x = MulAdd(x, y, z);
        y = MulAdd(y, z, x);
        z = MulAdd(z, x, y);
        x = MulAdd(x, y, z);
    } else {
        x = MulAdd(x, y, w);
        y = MulAdd(y, z, x);
        z = MulAdd(z, x, y);
        w = MulAdd(w, y, z);
        x = MulAdd(x, y, w);
    }
    y = MulAdd(y, z, x);
    z = MulAdd(z, x, y);
    return Mixed{x, y, z};
}

// `v` negated in the lanes whose `bitAtTop` has its top bit set: an exact sign flip.
QUORVIN_FORCEINLINE __m256 Flip(__m256 v, __m256i bitAtTop) {
    return _mm256_xor_ps(
        v, _mm256_and_ps(_mm256_castsi256_ps(bitAtTop), _mm256_castsi256_ps(SplatInt<0x80000000u>())));
}

// The products of three-dimensional gradients and offsets, each lane's gradient given by its
// choices (see GradientChoices3), sign-extended from a byte: ±u ± v, which is the row product
// summed x first (see the top of this file for its zero term).
QUORVIN_FORCEINLINE __m256 Dot3(__m256i choices, const __m256 (&offset)[3]) {
    const __m256 u = _mm256_blendv_ps(offset[0], offset[1], _mm256_castsi256_ps(choices));
    const __m256 v =
        _mm256_blendv_ps(offset[2], offset[1], _mm256_castsi256_ps(_mm256_slli_epi32(choices, 25)));
    const __m256i uSign = _mm256_slli_epi32(choices, 31);
    const __m256i vSign = _mm256_slli_epi32(_mm256_srli_epi32(choices, 1), 31);
    return _mm256_add_ps(_mm256_xor_ps(u, _mm256_castsi256_ps(uSign)),
                         _mm256_xor_ps(v, _mm256_castsi256_ps(vSign)));
}

// The dot products of each lane's gradient and offsets, summed x first. `choice` holds the
// gradient index in byte 2 of each mixed lane, above the bits the dimension's mask keeps.
template <int N>
QUORVIN_FORCEINLINE __m256 Dot(__m256i choice, const __m256 (&offset)[N]) {
    if constexpr (N == 2) {
        const __m256i index = _mm256_srli_epi32(choice, 16);
        const __m256 gx = _mm256_permutevar8x32_ps(_mm256_load_ps(Columns2Float.axis[0]), index);
        const __m256 gy = _mm256_permutevar8x32_ps(_mm256_load_ps(Columns2Float.axis[1]), index);
        return _mm256_add_ps(_mm256_mul_ps(gx, offset[0]), _mm256_mul_ps(gy, offset[1]));
    } else if constexpr (N == 4) {
        // A four-dimensional gradient (index bits 16 to 20 of the lane) has one zero component, on
        // the axis that bits 3 and 4 name (w, z, y, x), and ±1 on the others, with the signs in
        // bits 0, 1 and 2, the first non-zero axis first. Its product with the offsets, summed x
        // first, is therefore (P + Q) + R over the non-zero axes in order: blends pick the three
        // offsets, and the sign bits flip them.
        const __m256i block = _mm256_and_si256(choice, SplatInt<0x180000>());
        const __m256 xZero = _mm256_castsi256_ps(_mm256_cmpeq_epi32(block, SplatInt<0x180000>()));
        const __m256 wZero = _mm256_castsi256_ps(_mm256_cmpeq_epi32(block, _mm256_setzero_si256()));
        const __m256 xOrYZero = _mm256_castsi256_ps(_mm256_slli_epi32(choice, 11));  // bit 20 on top
        const __m256 p = Flip(_mm256_blendv_ps(offset[0], offset[1], xZero), _mm256_slli_epi32(choice, 15));
        const __m256 q =
            Flip(_mm256_blendv_ps(offset[1], offset[2], xOrYZero), _mm256_slli_epi32(choice, 14));
        const __m256 r = Flip(_mm256_blendv_ps(offset[3], offset[2], wZero), _mm256_slli_epi32(choice, 13));
        return _mm256_add_ps(_mm256_add_ps(p, q), r);
    } else {
        // The index (bits 16 to 19) looks its choices up in a byte table (see LaneChoices3), copied
        // to every byte of its lane first: Dot3 reads the choices from the lowest byte and from the
        // top bit, which a sign-extended byte and four copies of it have alike.
        const __m256i copies = _mm256_shuffle_epi8(
            choice, _mm256_load_si256(reinterpret_cast<const __m256i*>(LaneChoices3.byteTwoEverywhere)));
        const __m256i index = _mm256_and_si256(copies, SplatInt<0x0F0F0F0F>());
        const __m256i table = _mm256_load_si256(reinterpret_cast<const __m256i*>(LaneChoices3.entry));
        return Dot3(_mm256_shuffle_epi8(table, index), offset);
    }
}

// Whether lanes 0 to N − 1 of `v` are below 2^23 in magnitude, where a lattice cell is found as
// below; the portable code takes any other point (see LocateNear).
template <int N>
QUORVIN_FORCEINLINE bool AreNear(__m128 v) {
    constexpr int Used = (1 << N) - 1;
    const __m128 magnitude = _mm_andnot_ps(_mm_set1_ps(-0.0f), v);
    const int near = _mm_movemask_ps(_mm_cmplt_ps(magnitude, _mm_set1_ps(0x1p23f)));
    if constexpr (N == 4) {
        return near == Used;
    } else {
        return (near & Used) == Used;
    }
}

// The cells of near lanes as LocateNear finds them, as floats: the largest integer strictly below v
// is ceil(v) − 1, exactly.
QUORVIN_FORCEINLINE __m128 CellsBelow(__m128 v) {
    return _mm_sub_ps(_mm_round_ps(v, _MM_FROUND_TO_POS_INF | _MM_FROUND_NO_EXC), _mm_set1_ps(1.0f));
}

// The gradient choices of the eight corners of the cube at cell (i, j, k), each & 255, in lane
// x + 2·z + 4·y for the corner (x, y, z): the permutation hash P[P[P[k + z] + j + y] + i + x], with
// its last step read from the choice table (both tables hold every sum). Each level's entries are
// read byte by byte from a row that starts at the cell's index on its axis, so that a read adds the
// entry of the level before in its address and nothing is unpacked before the next read; the last
// level reads the entries for x = 0 and 1, neighbouring bytes, at once.
QUORVIN_FORCEINLINE __m256i CubeChoices(uint32_t i, uint32_t j, uint32_t k) {
    const uint8_t* rowY = P + j;
    const uint8_t* rowX = Choices3.entry + i;
    const uint8_t* rowZ = P + k;
    const size_t z0 = rowZ[0], z1 = rowZ[1];
    const size_t y00 = rowY[z0], y10 = rowY[z0 + 1], y01 = rowY[z1], y11 = rowY[z1 + 1];  // y, z
    const auto pair = [&](size_t index) {
        uint16_t two;
        std::memcpy(&two, rowX + index, sizeof two);
        return static_cast<uint64_t>(two);
    };
    const uint64_t bytes = pair(y00) | pair(y01) << 16 | pair(y10) << 32 | pair(y11) << 48;
    return _mm256_cvtepi8_epi32(_mm_cvtsi64_si128(static_cast<int64_t>(bytes)));
}

QUORVIN_FORCEINLINE Vec3 FinishLanes128(__m128 value, float scale) {
    alignas(16) float lanes[4];
    _mm_store_ps(lanes, _mm_add_ps(_mm_mul_ps(value, _mm_set1_ps(scale)), _mm_set1_ps(0.5f)));
    return Vec3{lanes[0], lanes[1], lanes[2]};
}

// ---------------------------------------------------------------------------------------------
// Gradient noise, vector form: the corners of the cell in the lanes of one register (two in four
// dimensions, one per x). Lane c holds the corner whose axis bits, last axis lowest, are c; in four
// dimensions x is the register's.

// For each lane, the lane of a [lower x y z w | upper x y z w] register that holds axis A's index.
template <int N, int A>
QUORVIN_FORCEINLINE __m256i AxisLanes(int group) {
    alignas(32) int32_t lanes[8];
    for (int c = 0; c < 8; ++c) {
        const int corner = N == 4 ? (group << 3) | c : c & ((1 << N) - 1);
        lanes[c] = A + 4 * ((corner >> (N - 1 - A)) & 1);
    }
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(lanes));
}

template <int N, int A>
QUORVIN_FORCEINLINE __m256 AxisBits(int group) {
    alignas(32) float lanes[8];
    for (int c = 0; c < 8; ++c) {
        const int corner = N == 4 ? (group << 3) | c : c & ((1 << N) - 1);
        lanes[c] = static_cast<float>((corner >> (N - 1 - A)) & 1);
    }
    return _mm256_load_ps(lanes);
}

// The three components' corner values of one group, each blended along the last two axes: lanes
// 0 to 3 of each half hold (a, b, c, c) for the half's remaining corner bit (in two dimensions,
// where no bit remains, the lower half holds them).
template <int N>
QUORVIN_FORCEINLINE __m256 GradientGroup(__m256i seeds, __m128 fraction, __m128 fade, int group) {
    __m256i lane[4];
    __m256 offset[N];
    const auto axis = [&]<int A>() {
        lane[A] = _mm256_permutevar8x32_epi32(seeds, AxisLanes<N, A>(group));
        offset[A] = _mm256_sub_ps(Spread<A>(fraction), AxisBits<N, A>(group));
    };
    axis.template operator()<0>();
    axis.template operator()<1>();
    if constexpr (N >= 3) {
        axis.template operator()<2>();
    } else {
        lane[2] = SplatInt<1042201148>();  // the LCG step of 17, for a missing z
    }
    if constexpr (N >= 4) {
        axis.template operator()<3>();
    } else {
        lane[3] = _mm256_setzero_si256();
    }
    const Mixed mixed = Mix<N>(lane[0], lane[1], lane[2], lane[3]);
    if constexpr (N == 2) {
        // Four corners fill half a register: components a and b share one pass, a in the lower
        // half and b in the upper; c fills both halves.
        const __m256 ab = Dot<2>(_mm256_permute2x128_si256(mixed.a, mixed.b, 0x20), offset);
        const __m256 cc = Dot<2>(mixed.c, offset);
        // Along y: lanes (x·2, x·2 + 1) give (a or b at x = 0, at x = 1, c at x = 0, at x = 1).
        const __m256 y = Lerp8(_mm256_shuffle_ps(ab, cc, _MM_SHUFFLE(2, 0, 2, 0)),
                               _mm256_shuffle_ps(ab, cc, _MM_SHUFFLE(3, 1, 3, 1)), Spread<1>(fade));
        // Along x: (a, b, c, c) at x = 0 against x = 1.
        const __m128 lower = _mm256_castps256_ps128(y), upper = _mm256_extractf128_ps(y, 1);
        const __m128 pairs = _mm_unpacklo_ps(lower, upper);  // a0 b0 a1 b1
        return _mm256_castps128_ps256(Lerp4(_mm_shuffle_ps(pairs, lower, _MM_SHUFFLE(2, 2, 1, 0)),
                                            _mm_shuffle_ps(pairs, lower, _MM_SHUFFLE(3, 3, 3, 2)),
                                            Broadcast<0>(fade)));
    }
    const __m256 va = Dot<N>(mixed.a, offset), vb = Dot<N>(mixed.b, offset), vc = Dot<N>(mixed.c, offset);
    // Along the last axis: neighbouring lanes.
    const __m256 last = Spread<N - 1>(fade);
    const __m256 ab = Lerp8(_mm256_shuffle_ps(va, vb, _MM_SHUFFLE(2, 0, 2, 0)),
                            _mm256_shuffle_ps(va, vb, _MM_SHUFFLE(3, 1, 3, 1)), last);
    const __m256 cc = Lerp8(_mm256_shuffle_ps(vc, vc, _MM_SHUFFLE(2, 0, 2, 0)),
                            _mm256_shuffle_ps(vc, vc, _MM_SHUFFLE(3, 1, 3, 1)), last);
    // Along the axis before it: lane pairs (0, 1) and (2, 3) of each half.
    return Lerp8(_mm256_shuffle_ps(ab, cc, _MM_SHUFFLE(2, 0, 2, 0)),
                 _mm256_shuffle_ps(ab, cc, _MM_SHUFFLE(3, 1, 3, 1)), Spread<N - 2>(fade));
}

template <int N>
QUORVIN_FORCEINLINE Vec3 GradientVector(__m128 point) {
    if (!AreNear<4>(point)) {
        return GradientNoiseAt<LaneHash, N>(ToCoordinates<N>(point).v);
    }
    const __m128 whole = CellsBelow(point);
    const __m128 fraction = _mm_sub_ps(point, whole);
    const __m128 fade = Fade4(fraction);
    const __m128i lower = _mm_cvttps_epi32(whole);
    const __m128i upper = _mm_sub_epi32(lower, _mm_set1_epi32(-1));
    const __m256i seeds = Seed(_mm256_set_m128i(upper, lower));
    __m128 value;
    if constexpr (N == 2) {
        value = _mm256_castps256_ps128(GradientGroup<2>(seeds, fraction, fade, 0));
    } else if constexpr (N == 3) {
        const __m256 g = GradientGroup<3>(seeds, fraction, fade, 0);
        value = Lerp4(_mm256_castps256_ps128(g), _mm256_extractf128_ps(g, 1), Broadcast<0>(fade));
    } else {
        const __m256 g0 = GradientGroup<4>(seeds, fraction, fade, 0);
        const __m256 g1 = GradientGroup<4>(seeds, fraction, fade, 1);
        // Along y inside each x, both at once, then along x.
        const __m256 y = Lerp8(_mm256_permute2f128_ps(g0, g1, 0x20), _mm256_permute2f128_ps(g0, g1, 0x31),
                               Spread<1>(fade));
        value = Lerp4(_mm256_castps256_ps128(y), _mm256_extractf128_ps(y, 1), Broadcast<0>(fade));
    }
    return FinishLanes128(value, GradientScale[N - 1]);
}

// ---------------------------------------------------------------------------------------------
// Simplex noise in four dimensions: the five corners of the simplex in lanes 0 to 4.

template <int N>
struct SimplexLanes {
    __m128 x0;         // the first corner's offsets, by axis
    __m128i cell;      // the cell, by axis (& 255)
    __m256i step[N];   // per axis, whether corner c has stepped along it, in lane c
    __m256 offset[N];  // per axis, corner c's offset in lane c
    __m256 falloff;    // (max(0.5 − |offset|², 0))^4 in lane c
};

template <int N>
QUORVIN_FORCEINLINE bool SimplexSetUp(__m128 point, SimplexLanes<N>& s) {
    using Shape = SimplexShape<N>;
    if (!SimplexFirstCorner<N>(point, s.x0, s.cell)) {
        return false;
    }
    const __m128i ranks = Ranks<N>(s.x0);
    // Corner c ≥ 1 has stepped along the axes of rank N − c and above: (rank + 4 − N + c) >> 2. The
    // first corner adds 0 (no rank reaches 4) and −0 to its offsets, which leaves them exact.
    const __m256i bias = _mm256_setr_epi32(0, 5 - N, 6 - N, 7 - N, 8 - N, 0, 0, 0);
    alignas(32) float added[8] = {-0.0f};
    for (int c = 1; c <= N; ++c) {
        added[c] = Shape::Added[c - 1];
    }
    const __m256 addedLanes = _mm256_load_ps(added);
    const auto axis = [&]<int A>() {
        s.step[A] = _mm256_srli_epi32(_mm256_add_epi32(SpreadInt<A>(ranks), bias), 2);
        s.offset[A] =
            _mm256_add_ps(_mm256_sub_ps(Spread<A>(s.x0), _mm256_cvtepi32_ps(s.step[A])), addedLanes);
    };
    axis.template operator()<0>();
    axis.template operator()<1>();
    if constexpr (N >= 3) {
        axis.template operator()<2>();
    }
    if constexpr (N >= 4) {
        axis.template operator()<3>();
    }
    __m256 r2 = _mm256_mul_ps(s.offset[0], s.offset[0]);
    for (int a = 1; a < N; ++a) {
        r2 = _mm256_add_ps(r2, _mm256_mul_ps(s.offset[a], s.offset[a]));
    }
    const __m256 reach = _mm256_max_ps(_mm256_sub_ps(_mm256_set1_ps(0.5f), r2), _mm256_setzero_ps());
    const __m256 squared = _mm256_mul_ps(reach, reach);
    s.falloff = _mm256_mul_ps(squared, squared);
    return true;
}

// The three components' corner shares, lanes 0 to N of a, b and c, summed corner by corner as the
// portable code sums them: lanes (a, b, c, c) of the result.
template <int N>
QUORVIN_FORCEINLINE __m128 SumShares(__m256 a, __m256 b, __m256 c) {
    const __m128 a0 = _mm256_castps256_ps128(a), b0 = _mm256_castps256_ps128(b),
                 c0 = _mm256_castps256_ps128(c);
    const __m128 t0 = _mm_unpacklo_ps(a0, b0), t1 = _mm_unpackhi_ps(a0, b0);
    const __m128 t2 = _mm_unpacklo_ps(c0, c0), t3 = _mm_unpackhi_ps(c0, c0);
    const __m128 n0 = _mm_movelh_ps(t0, t2), n1 = _mm_movehl_ps(t2, t0), n2 = _mm_movelh_ps(t1, t3);
    if constexpr (N == 2) {
        return _mm_add_ps(_mm_add_ps(n1, n0), n2);
    } else {
        const __m128 n3 = _mm_movehl_ps(t3, t1);
        __m128 sum = _mm_add_ps(_mm_add_ps(n0, n2), _mm_add_ps(n1, n3));
        if constexpr (N == 4) {
            const __m128 a1 = _mm256_extractf128_ps(a, 1), b1 = _mm256_extractf128_ps(b, 1),
                         c1 = _mm256_extractf128_ps(c, 1);
            sum = _mm_add_ps(sum, _mm_movelh_ps(_mm_unpacklo_ps(a1, b1), _mm_unpacklo_ps(c1, c1)));
        }
        return sum;
    }
}

template <int N>
QUORVIN_FORCEINLINE Vec3 SimplexVector(__m128 point) {
    SimplexLanes<N> s;
    if (!SimplexSetUp<N>(point, s)) {
        return SimplexNoiseAt<LaneHash, N>(ToCoordinates<N>(point).v);
    }
    __m256i lane[4];
    const auto axis = [&]<int A>() { lane[A] = Seed(_mm256_add_epi32(SpreadInt<A>(s.cell), s.step[A])); };
    axis.template operator()<0>();
    axis.template operator()<1>();
    if constexpr (N >= 3) {
        axis.template operator()<2>();
    } else {
        lane[2] = SplatInt<1042201148>();
    }
    if constexpr (N >= 4) {
        axis.template operator()<3>();
    } else {
        lane[3] = _mm256_setzero_si256();
    }
    const Mixed mixed = Mix<N>(lane[0], lane[1], lane[2], lane[3]);
    const __m256 a = _mm256_mul_ps(Dot<N>(mixed.a, s.offset), s.falloff);
    const __m256 b = _mm256_mul_ps(Dot<N>(mixed.b, s.offset), s.falloff);
    const __m256 c = _mm256_mul_ps(Dot<N>(mixed.c, s.offset), s.falloff);
    return FinishLanes128(SumShares<N>(a, b, c), SimplexScale[N - 1]);
}

// Two and three dimensions: each simplex corner is a corner of the skewed square or cube whose
// step count is its place in the order (the first corner takes no step, the last one on every
// axis), so its offsets, falloff, hash and share do not depend on the order. All corners of the
// square or cube are computed in the lanes (lane x + 2·y in two dimensions, x + 2·z + 4·y in three,
// repeated to fill eight lanes) while the order is still being decided; the order then only
// picks N + 1 lanes.
template <int N>
struct Cube {
    __m128i cell;      // the cell, by axis
    __m256 offset[N];  // by axis, the offsets of the corner of each lane
    __m256 falloff;    // (max(0.5 − |offset|², 0))^4 of the corner of each lane
    __m256i pick;      // lanes 0 to N, and again from 4: the lanes of the simplex corners in order
};

// A point's lanes and, in lane 0 of `sum`, the sum of its coordinates, x first. Built from
// coordinates read as lanes one by one (see MakePoint) and kept as lanes: the coordinates as floats
// would each need their other lanes cleared again.
template <int N>
struct PointLanes {
    __m128 point;
    __m128 sum;
};

QUORVIN_FORCEINLINE PointLanes<2> LanesOf(float x, float y) {
    const __m128 lx = _mm_set_ss(x), ly = _mm_set_ss(y);
    return PointLanes<2>{_mm_unpacklo_ps(lx, ly), _mm_add_ss(lx, ly)};
}
QUORVIN_FORCEINLINE PointLanes<3> LanesOf(const Vec3& p) {
    const __m128 x = _mm_load_ss(&p.x), y = _mm_load_ss(&p.y), z = _mm_load_ss(&p.z);
    return PointLanes<3>{_mm_movelh_ps(_mm_unpacklo_ps(x, y), z), _mm_add_ss(_mm_add_ss(x, y), z)};
}

template <int N>
QUORVIN_FORCEINLINE bool CubeSetUp(const PointLanes<N>& lanes, Cube<N>& cube) {
    using Shape = SimplexShape<N>;
    const __m128 point = lanes.point;
    const __m128 skewed = _mm_add_ps(point, Broadcast<0>(_mm_mul_ss(lanes.sum, _mm_set_ss(Shape::Skew))));
    // The lanes past the dimension hold the skew alone, and pass wherever the coordinates' lanes do:
    // those sum to about twice the coordinate sum (1.7 times in two dimensions), of which the skew is
    // a third (0.37). So all four lanes are checked at once.
    if (!AreNear<4>(skewed)) {
        return false;
    }
    const __m128 ceiling = _mm_round_ps(skewed, _MM_FROUND_TO_POS_INF | _MM_FROUND_NO_EXC);
    const __m128 cell = _mm_sub_ps(ceiling, _mm_set1_ps(1.0f));  // as CellsBelow finds it
    cube.cell = _mm_cvttps_epi32(cell);
    // The cell sum in single precision, rounded once as converting the integer sum rounds it. In
    // three dimensions it is taken from the ceilings, which are ready before the cells: the sum of
    // two ceilings is exact (each is at most 2^23 in magnitude), the third less 3 is exact, and
    // their sum is the only rounding.
    __m128 cellSum;
    if constexpr (N == 2) {
        cellSum = _mm_add_ss(cell, Broadcast<1>(cell));
    } else {
        cellSum = _mm_add_ss(_mm_add_ss(ceiling, Broadcast<1>(ceiling)),
                             _mm_sub_ss(_mm_movehl_ps(ceiling, ceiling), _mm_set_ss(3.0f)));
    }
    const __m128 t = _mm_mul_ss(cellSum, _mm_set_ss(Shape::Unskew));
    const __m128 x0 = _mm_sub_ps(point, _mm_sub_ps(cell, Broadcast<0>(t)));

    const CubeLayout& layout = CubeLayoutOf<N>();
    const __m256 added = _mm256_load_ps(layout.added);
    const auto axis = [&]<int A>() {
        cube.offset[A] = _mm256_add_ps(_mm256_sub_ps(Spread<A>(x0), _mm256_load_ps(layout.bit[A])), added);
    };
    axis.template operator()<0>();
    axis.template operator()<1>();
    __m256 r2 = _mm256_add_ps(_mm256_mul_ps(cube.offset[0], cube.offset[0]),
                              _mm256_mul_ps(cube.offset[1], cube.offset[1]));
    int order;
    if constexpr (N == 2) {
        order = _mm_movemask_ps(_mm_cmpgt_ps(x0, Broadcast<1>(x0))) & 1;  // x0 > y0
    } else {
        axis.template operator()<2>();
        r2 = _mm256_add_ps(r2, _mm256_mul_ps(cube.offset[2], cube.offset[2]));
        // SimplexOrder3's comparisons, with the fourth lane's left in: it compares x0's fourth lane,
        // always finite here, with itself and is always set.
        order = _mm_movemask_ps(_mm_cmpge_ps(_mm_shuffle_ps(x0, x0, _MM_SHUFFLE(3, 1, 0, 0)),
                                             _mm_shuffle_ps(x0, x0, _MM_SHUFFLE(3, 2, 2, 1)))) -
                8;
    }
    const __m256 reach = _mm256_max_ps(_mm256_sub_ps(_mm256_set1_ps(0.5f), r2), _mm256_setzero_ps());
    const __m256 squared = _mm256_mul_ps(reach, reach);
    cube.falloff = _mm256_mul_ps(squared, squared);
    cube.pick = _mm256_load_si256(reinterpret_cast<const __m256i*>(layout.pick[order]));
    return true;
}

// The vector form's mixed lanes of every corner of the square or cube.
template <int N>
QUORVIN_FORCEINLINE Mixed CubeMixed(const Cube<N>& cube) {
    const CubeLayout& layout = CubeLayoutOf<N>();
    const auto seed = [&]<int A>() {
        return Seed(_mm256_add_epi32(SpreadInt<A>(cube.cell),
                                     _mm256_load_si256(reinterpret_cast<const __m256i*>(layout.step[A]))));
    };
    __m256i z = SplatInt<1042201148>();  // the LCG step of 17, for a missing z
    if constexpr (N == 3) {
        z = seed.template operator()<2>();
    }
    return Mix<N>(seed.template operator()<0>(), seed.template operator()<1>(), z, _mm256_setzero_si256());
}

// The points the lanes do not take, out of line so that the common path keeps no frame for them.
// They take the point as lanes: the coordinates as floats as well would be kept twice, and the
// compiler clears the other lanes of each again to make lanes of them.
QUORVIN_NOINLINE float FarGradient3(__m128 point) {
    return GradientNoiseAt<PermutationHash, 3>(ToCoordinates<3>(point).v);
}
QUORVIN_NOINLINE float FarSimplex3(__m128 point) {
    return SimplexNoiseAt<PermutationHash, 3>(ToCoordinates<3>(point).v);
}

// Three-dimensional gradient noise, scalar form: the gradient choices of the cell's eight corners
// are read together (CubeChoices), and the corners' products sit in the lanes (x + 2·z + 4·y), so
// that no gradient row is loaded.
float Gradient3(const Vec3& p) {
    const __m128 point = MakePoint(p);
    if (!AreNear<4>(point)) {
        return FarGradient3(point);
    }
    const __m128 whole = CellsBelow(point);
    const __m128 fraction = _mm_sub_ps(point, whole);
    const __m128i cell = _mm_cvttps_epi32(whole);
    const uint64_t ij = static_cast<uint64_t>(_mm_cvtsi128_si64(cell));
    const __m256i choices = CubeChoices(Wrap(static_cast<int32_t>(ij)), Wrap(static_cast<int32_t>(ij >> 32)),
                                        Wrap(_mm_extract_epi32(cell, 2)));
    const __m256 offset[3] = {_mm256_sub_ps(Spread<0>(fraction), _mm256_load_ps(CubeLayout3.bit[0])),
                              _mm256_sub_ps(Spread<1>(fraction), _mm256_load_ps(CubeLayout3.bit[1])),
                              _mm256_sub_ps(Spread<2>(fraction), _mm256_load_ps(CubeLayout3.bit[2]))};
    const __m256 value = Dot3(choices, offset);
    const __m128 fade = Fade4(fraction);
    // Along z (lanes c and c + 2 of each half, into lanes 0 and 1), then y (the halves), then x, as
    // the portable code pairs them.
    const __m256 z = Lerp8(value, _mm256_permute_ps(value, _MM_SHUFFLE(3, 2, 3, 2)), Spread<2>(fade));
    const __m128 y = Lerp4(_mm256_castps256_ps128(z), _mm256_extractf128_ps(z, 1), Broadcast<1>(fade));
    const float a = _mm_cvtss_f32(y), b = Extract<1>(y);
    return FinishLane((b - a) * _mm_cvtss_f32(fade) + a, GradientScale[2]);
}

float Simplex3(const Vec3& p) {
    Cube<3> cube;
    const PointLanes<3> lanes = LanesOf(p);
    if (!CubeSetUp<3>(lanes, cube)) {
        return FarSimplex3(lanes.point);
    }
    const uint64_t ij = static_cast<uint64_t>(_mm_cvtsi128_si64(cube.cell));
    const uint32_t i = static_cast<uint32_t>(ij) & 255, j = static_cast<uint32_t>(ij >> 32) & 255;
    const uint32_t k = static_cast<uint32_t>(_mm_extract_epi32(cube.cell, 2)) & 255;
    const __m256 share = _mm256_mul_ps(Dot3(CubeChoices(i, j, k), cube.offset), cube.falloff);
    const __m128 corners = _mm256_castps256_ps128(_mm256_permutevar8x32_ps(share, cube.pick));
    // (first + third) + (second + fourth), as the portable code sums them.
    const __m128 pairs = _mm_add_ps(corners, _mm_movehl_ps(corners, corners));
    return FinishLane(_mm_cvtss_f32(_mm_add_ss(pairs, Broadcast<1>(pairs))), SimplexScale[2]);
}

template <int N>
QUORVIN_FORCEINLINE Vec3 SimplexVectorOfCube(const float (&p)[N], const PointLanes<N>& lanes) {
    Cube<N> cube;
    if (!CubeSetUp<N>(lanes, cube)) {
        return SimplexNoiseAt<LaneHash, N>(p);
    }
    const Mixed mixed = CubeMixed<N>(cube);
    // The simplex corners' lanes first, in both halves; then components a and b share one pass, a
    // in the lower half and b in the upper.
    const auto pick = [&](__m256 v) { return _mm256_permutevar8x32_ps(v, cube.pick); };
    __m256 offset[N];
    for (int a = 0; a < N; ++a) {
        offset[a] = pick(cube.offset[a]);
    }
    const __m256 falloff = pick(cube.falloff);
    const __m256i ab = _mm256_blend_epi32(_mm256_permutevar8x32_epi32(mixed.a, cube.pick),
                                          _mm256_permutevar8x32_epi32(mixed.b, cube.pick), 0xF0);
    const __m256 sab = _mm256_mul_ps(Dot<N>(ab, offset), falloff);
    const __m256 sc = _mm256_mul_ps(Dot<N>(_mm256_permutevar8x32_epi32(mixed.c, cube.pick), offset), falloff);
    return FinishLanes128(SumShares<N>(sab, _mm256_castps128_ps256(_mm256_extractf128_ps(sab, 1)), sc),
                          SimplexScale[N - 1]);
}

Vec3 GradientVector2Entry(float x, float y) { return GradientVector<2>(MakePoint(x, y)); }
Vec3 GradientVector3Entry(const Vec3& p) { return GradientVector<3>(MakePoint(p)); }
Vec3 GradientVector4Entry(const Vec3& p, float w) { return GradientVector<4>(MakePoint(p, w)); }
Vec3 SimplexVector2Entry(float x, float y) { return SimplexVectorOfCube<2>({x, y}, LanesOf(x, y)); }
Vec3 SimplexVector3Entry(const Vec3& p) { return SimplexVectorOfCube<3>({p.x, p.y, p.z}, LanesOf(p)); }
Vec3 SimplexVector4Entry(const Vec3& p, float w) { return SimplexVector<4>(MakePoint(p, w)); }

}  // namespace
}  // namespace Quorvin::GeometryPrivate::Avx2
QUORVIN_END_AVX2_REGION

namespace Quorvin::GeometryPrivate {
namespace {
constexpr NoiseKernel Kernel = {
    .name = "avx2",
    .gradient3 = &Avx2::Gradient3,
    .simplex3 = &Avx2::Simplex3,
    .gradientVector2 = &Avx2::GradientVector2Entry,
    .gradientVector3 = &Avx2::GradientVector3Entry,
    .gradientVector4 = &Avx2::GradientVector4Entry,
    .simplexVector2 = &Avx2::SimplexVector2Entry,
    .simplexVector3 = &Avx2::SimplexVector3Entry,
    .simplexVector4 = &Avx2::SimplexVector4Entry,
};
}  // namespace
constinit const NoiseKernel* const Avx2NoiseKernel = &Kernel;
}  // namespace Quorvin::GeometryPrivate
#else
constinit const Quorvin::GeometryPrivate::NoiseKernel* const Quorvin::GeometryPrivate::Avx2NoiseKernel =
    nullptr;
#endif
