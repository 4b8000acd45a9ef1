// SSE2 building blocks of the noise kernels: a point's lanes, lattice cells and fractions, the fade,
// sums of row products, and the simplex shapes and corner ranks. Each performs the portable code's
// single-precision operations (NoisePortable.h) in the same order, several lanes at once, so that
// the kernels built from them give its results bit for bit. Private to the noise kernels; the
// functions are always inlined, so a kernel compiled for wider instructions inlines them as its own.
#pragma once

#include <emmintrin.h>

#include <cstdint>
#include <cstring>

#include "core/base/Compiler.h"
#include "core/geometry/internal/NoisePortable.h"

namespace Quorvin::GeometryPrivate {

// ---------------------------------------------------------------------------------------------
// Lanes: x, y, z, w of a point or an offset; lanes past the dimension hold 0.

// A point's lanes, built one float at a time: a caller that has just stored the components one by
// one would stall a wider load, which cannot be forwarded from several narrower stores.
QUORVIN_FORCEINLINE __m128 MakePoint(float x, float y) {
    return _mm_unpacklo_ps(_mm_set_ss(x), _mm_set_ss(y));
}
QUORVIN_FORCEINLINE __m128 MakePoint(const Vec3& p) {
    return _mm_movelh_ps(_mm_unpacklo_ps(_mm_load_ss(&p.x), _mm_load_ss(&p.y)), _mm_load_ss(&p.z));
}
QUORVIN_FORCEINLINE __m128 MakePoint(const Vec3& p, float w) {
    return _mm_movelh_ps(_mm_unpacklo_ps(_mm_load_ss(&p.x), _mm_load_ss(&p.y)),
                         _mm_unpacklo_ps(_mm_load_ss(&p.z), _mm_set_ss(w)));
}

// The first N lanes as the portable code takes them.
template <int N>
struct Coordinates {
    float v[N];
};

template <int N>
QUORVIN_FORCEINLINE Coordinates<N> ToCoordinates(__m128 point) {
    alignas(16) float lanes[4];
    _mm_store_ps(lanes, point);
    Coordinates<N> c;
    QUORVIN_UNROLL
    for (int a = 0; a < N; ++a) {
        c.v[a] = lanes[a];
    }
    return c;
}

template <int Lane>
QUORVIN_FORCEINLINE __m128 Broadcast(__m128 v) {
    return _mm_shuffle_ps(v, v, _MM_SHUFFLE(Lane, Lane, Lane, Lane));
}

template <int Lane>
QUORVIN_FORCEINLINE float Extract(__m128 v) {
    return _mm_cvtss_f32(Broadcast<Lane>(v));
}

QUORVIN_FORCEINLINE __m128 Lerp4(__m128 a, __m128 b, __m128 t) {
    return _mm_add_ps(_mm_mul_ps(_mm_sub_ps(b, a), t), a);
}

// The cells (stored for the hash) and fractions of all lanes, as LocateNear computes them. False
// when a lane is not near (2^23 or more, NaN, infinity): the portable path takes the point then.
struct Cells {
    alignas(16) int32_t cell[4];
    __m128i cellLanes;
    __m128 fraction;
    __m128 whole;  // the cells as floats
};

QUORVIN_FORCEINLINE bool Locate4(__m128 p, Cells& out) {
    const __m128 magnitude = _mm_andnot_ps(_mm_set1_ps(-0.0f), p);
    if (_mm_movemask_ps(_mm_cmplt_ps(magnitude, _mm_set1_ps(0x1p23f))) != 0xF) {
        return false;
    }
    const __m128i truncated = _mm_cvttps_epi32(p);
    const __m128 whole = _mm_cvtepi32_ps(truncated);
    const __m128 down = _mm_cmple_ps(p, whole);  // all ones where the cell is one lower
    const __m128i cell = _mm_add_epi32(truncated, _mm_castps_si128(down));
    _mm_store_si128(reinterpret_cast<__m128i*>(out.cell), cell);
    out.cellLanes = cell;
    out.fraction = _mm_sub_ps(p, _mm_sub_ps(whole, _mm_and_ps(down, _mm_set1_ps(1.0f))));
    out.whole = _mm_cvtepi32_ps(cell);
    return true;
}

QUORVIN_FORCEINLINE __m128 Fade4(__m128 f) {
    const __m128 inner = _mm_add_ps(
        _mm_mul_ps(_mm_sub_ps(_mm_mul_ps(_mm_set1_ps(6.0f), f), _mm_set1_ps(15.0f)), f), _mm_set1_ps(10.0f));
    return _mm_mul_ps(inner, _mm_mul_ps(_mm_mul_ps(f, f), f));
}

// Four products of a gradient row and an offset, each summed over its first N lanes (x first):
// lane k of the result is the dot product of p<k>.
template <int N>
QUORVIN_FORCEINLINE __m128 Sums4(__m128 p0, __m128 p1, __m128 p2, __m128 p3) {
    const __m128 t0 = _mm_unpacklo_ps(p0, p1);  // x0 x1 y0 y1
    const __m128 t1 = _mm_unpacklo_ps(p2, p3);  // x2 x3 y2 y3
    __m128 sum = _mm_add_ps(_mm_movelh_ps(t0, t1), _mm_movehl_ps(t1, t0));
    if constexpr (N >= 3) {
        const __m128 t2 = _mm_unpackhi_ps(p0, p1);  // z0 z1 w0 w1
        const __m128 t3 = _mm_unpackhi_ps(p2, p3);  // z2 z3 w2 w3
        sum = _mm_add_ps(sum, _mm_movelh_ps(t2, t3));
        if constexpr (N >= 4) {
            sum = _mm_add_ps(sum, _mm_movehl_ps(t3, t2));
        }
    }
    return sum;
}

template <int N>
QUORVIN_FORCEINLINE __m128 Row(uint32_t h) {
    return _mm_load_ps(GradientRow<N>(h));
}

// ---------------------------------------------------------------------------------------------
// Simplex shapes and corner ranks.

template <int N>
struct SimplexShape;

// The skew and unskew factors, and the offsets added at the corners after the first.
template <>
struct SimplexShape<2> {
    static constexpr float Skew = 0.3660254f, Unskew = 0.21132487f;
    static constexpr float Added[2] = {0.21132487f, 0.42264974f};
};
template <>
struct SimplexShape<3> {
    static constexpr float Skew = 0.33333334f, Unskew = 0.16666667f;
    static constexpr float Added[3] = {0.16666667f, 0.33333334f, 0.5f};
};
template <>
struct SimplexShape<4> {
    static constexpr float Skew = 0.309017f, Unskew = 0.1381966f;
    static constexpr float Added[4] = {0.1381966f, 0.2763932f, 0.4145898f, 0.5527864f};
};

// The first simplex corner of an N-dimensional point: its offsets from the point (x0) and its cell
// by axis (& 255). False when Locate4 refuses the skewed point (see there). Lanes past the
// dimension are cleared before locating, so that only real coordinates decide nearness.
template <int N>
QUORVIN_FORCEINLINE bool SimplexFirstCorner(__m128 point, __m128& x0, __m128i& cell) {
    using Shape = SimplexShape<N>;
    float sum = Extract<0>(point) + Extract<1>(point);
    if constexpr (N >= 3) {
        sum += Extract<2>(point);
    }
    if constexpr (N >= 4) {
        sum += Extract<3>(point);
    }
    const __m128 used = _mm_castsi128_ps(_mm_setr_epi32(-1, -1, N >= 3 ? -1 : 0, N >= 4 ? -1 : 0));
    Cells cells;
    if (!Locate4(_mm_and_ps(_mm_add_ps(point, _mm_set1_ps(sum * Shape::Skew)), used), cells)) {
        return false;
    }
    // The sum of the cells, across the lanes (past the dimension they are cleared).
    __m128i cellSum = _mm_and_si128(cells.cellLanes, _mm_castps_si128(used));
    cellSum = _mm_add_epi32(cellSum, _mm_shuffle_epi32(cellSum, _MM_SHUFFLE(1, 0, 3, 2)));
    cellSum = _mm_add_epi32(cellSum, _mm_shuffle_epi32(cellSum, _MM_SHUFFLE(2, 3, 0, 1)));
    const __m128 t = _mm_mul_ps(_mm_cvtepi32_ps(cellSum), _mm_set1_ps(Shape::Unskew));
    x0 = _mm_sub_ps(point, _mm_sub_ps(cells.whole, t));
    cell = _mm_and_si128(cells.cellLanes, _mm_set1_epi32(255));
    return true;
}

// The rank of each axis (0 to N − 1) in the order the simplex corners step along them: the number
// of axes it comes before. The portable code's rules are pairwise: in three dimensions an axis
// comes before a later axis when its offset is at least as large, in two and four dimensions only
// when it is larger; before an earlier axis it needs to be larger in three dimensions and at least
// as large in two and four. Corner c (1 to N) has stepped along the axes of rank N − c and above:
// (rank + 4 − N + c) >> 2 is 1 exactly for those, and for every axis at c = N.
template <int N, int Shift>
QUORVIN_FORCEINLINE __m128i Beats(__m128 x0) {
    // Lane a against lane (a + Shift) mod N.
    __m128 other;
    if constexpr (N == 2) {
        other = _mm_shuffle_ps(x0, x0, _MM_SHUFFLE(3, 2, 0, 1));
    } else if constexpr (N == 3) {
        other = Shift == 1 ? _mm_shuffle_ps(x0, x0, _MM_SHUFFLE(3, 0, 2, 1))
                           : _mm_shuffle_ps(x0, x0, _MM_SHUFFLE(3, 1, 0, 2));
    } else {
        other =
            _mm_shuffle_ps(x0, x0, _MM_SHUFFLE((3 + Shift) & 3, (2 + Shift) & 3, (1 + Shift) & 3, Shift & 3));
    }
    // Lane a's opponent is a later axis when a + Shift < N: three dimensions use ≥ there, the
    // others >; against an earlier axis it is the other way round.
    constexpr auto laterOpponent = [](int a) { return a + Shift < N; };
    constexpr bool geForLater = N == 3;
    const __m128 ge = _mm_cmpge_ps(x0, other), gt = _mm_cmpgt_ps(x0, other);
    const auto pickGe = [&](int a) { return laterOpponent(a) == geForLater ? -1 : 0; };
    const __m128 useGe = _mm_castsi128_ps(_mm_setr_epi32(pickGe(0), pickGe(1), pickGe(2), pickGe(3)));
    return _mm_castps_si128(_mm_or_ps(_mm_and_ps(useGe, ge), _mm_andnot_ps(useGe, gt)));
}

template <int N>
QUORVIN_FORCEINLINE __m128i Ranks(__m128 x0) {
    // Each comparison mask is −1 where the lane's axis comes first.
    __m128i count = _mm_sub_epi32(_mm_setzero_si128(), Beats<N, 1>(x0));
    if constexpr (N >= 3) {
        count = _mm_sub_epi32(count, Beats<N, 2>(x0));
    }
    if constexpr (N >= 4) {
        count = _mm_sub_epi32(count, Beats<N, 3>(x0));
    }
    return count;
}

// Three dimensions: the comparisons x0 ≥ y0, x0 ≥ z0 and y0 ≥ z0 in bits 0, 1 and 2, the only ones
// the portable code makes to order the corners.
QUORVIN_FORCEINLINE int SimplexOrder3(__m128 x0) {
    return _mm_movemask_ps(_mm_cmpge_ps(_mm_shuffle_ps(x0, x0, _MM_SHUFFLE(3, 1, 0, 0)),
                                        _mm_shuffle_ps(x0, x0, _MM_SHUFFLE(3, 2, 2, 1)))) &
           7;
}

// The steps (x, y, z) of the second and third simplex corners for a comparison outcome, decided as
// the portable code decides them.
struct SimplexSteps3 {
    int second[3];
    int third[3];
};

constexpr SimplexSteps3 SimplexStepsOf3(int order) {
    const int xy = order & 1, xz = (order >> 1) & 1, yz = (order >> 2) & 1;
    const int zy = 1 - yz, zx = 1 - xz;
    const int i1 = xy & xz, j1 = (1 - xy) & yz;
    return SimplexSteps3{{i1, j1, 1 - i1 - j1}, {xy | xz, (1 - xy) | yz, (xy & zy) | ((1 - xy) & zx)}};
}

// The permutation hashes of the eight corners of the cube at cell (i, j, k), each & 255 already,
// as byte x + 2·z + 4·y of the result for the corner (x, y, z). Hashes are read two at a time: the
// entries for an index and the next one are neighbouring bytes of the table (the doubled table
// holds every sum).
QUORVIN_FORCEINLINE uint64_t CubeHashes(uint32_t i, uint32_t j, uint32_t k) {
    const auto pair = [](uint32_t index) {
        uint16_t two;
        std::memcpy(&two, P + index, sizeof two);
        return static_cast<uint64_t>(two);
    };
    const uint64_t z = pair(k);                                        // z = 0, 1
    const uint64_t y0 = pair((z & 255) + j), y1 = pair((z >> 8) + j);  // y = 0, 1 at z = 0, 1
    return pair((y0 & 255) + i) | pair((y1 & 255) + i) << 16 | pair((y0 >> 8) + i) << 32 |
           pair((y1 >> 8) + i) << 48;
}

QUORVIN_FORCEINLINE float FinishLane(float value, float scale) { return value * scale + 0.5f; }

QUORVIN_FORCEINLINE Vec3 FinishLanes(__m128 value, float scale) {
    return Vec3{FinishLane(Extract<0>(value), scale), FinishLane(Extract<1>(value), scale),
                FinishLane(Extract<2>(value), scale)};
}

inline constexpr float GradientScale[] = {0.094f, 0.2535f, 0.468f, 0.435f};
inline constexpr float SimplexScale[] = {0.197f, 20.0f, 36.0f, 31.0f};

}  // namespace Quorvin::GeometryPrivate
