// The SSE2 noise kernel: two to four dimensions with the coordinates, corner offsets and blends
// four lanes at a time, giving exactly the results of the portable definition (NoisePortable.h).
//
// Each step performs the same single-precision operations in the same order as the portable code,
// only several of them per instruction: a dot product is still summed x first, a blend is still
// (b − a)·t + a. Inputs the paths do not take (a coordinate of 2^23 or more, NaN, infinity) go to
// the portable code.
#include "core/base/Compiler.h"
#include "core/geometry/internal/NoiseKernel.h"

#if QUORVIN_HAS_SSE2
#include <utility>

#include "core/geometry/internal/NoiseSse2.h"

namespace Quorvin::GeometryPrivate {
namespace {

// The value of one corner at `offset`: for the scalar form the row product (summed later, four
// corners together), for the vector form the three dot products in lanes 0 to 2.
template <int N, class Index>
QUORVIN_FORCEINLINE __m128 CornerProduct(PermutationHash, const Index& index, __m128 offset) {
    return _mm_mul_ps(Row<N>(PermutationHash::Pick<N>(index)), offset);
}

// The row that the top half of a mixed lane picks: (lane >> 16) & mask rows of 16 bytes, taken as
// one shift and one mask of the byte offset.
template <int N>
QUORVIN_FORCEINLINE __m128 RowOfLane(uint32_t lane) {
    constexpr uint32_t Mask = N == 2 ? 7 : N == 4 ? 31 : 15;
    const char* rows = reinterpret_cast<const char*>(GradientRow<N>(0));
    return _mm_load_ps(reinterpret_cast<const float*>(rows + ((lane >> 12) & (Mask << 4))));
}

template <int N, class Index>
QUORVIN_FORCEINLINE __m128 CornerValues(LaneHash, const Index& index, __m128 offset) {
    const LaneHash::Choices lanes = LaneHash::MixedLanes<N>(index);
    return Sums4<N>(_mm_mul_ps(RowOfLane<N>(lanes.a), offset), _mm_mul_ps(RowOfLane<N>(lanes.b), offset),
                    _mm_mul_ps(RowOfLane<N>(lanes.c), offset), _mm_setzero_ps());
}

// The corner offsets of the cell: fraction − bits, bit a of corner c being (c >> (N − 1 − a)) & 1,
// so that x is the most significant bit and corners that differ only in the last axis are neighbours.
template <int N, int C>
QUORVIN_FORCEINLINE __m128 CornerOffset(__m128 fraction) {
    constexpr auto bit = [](int a) { return a < N ? static_cast<float>((C >> (N - 1 - a)) & 1) : 0.0f; };
    return _mm_sub_ps(fraction, _mm_setr_ps(bit(0), bit(1), bit(2), bit(3)));
}

template <int N>
struct Indices {
    uint32_t axis[N];
    uint32_t operator[](int a) const { return axis[a]; }
};

template <int N, int C>
QUORVIN_FORCEINLINE Indices<N> CornerIndices(const uint32_t (&lo)[N], const uint32_t (&hi)[N]) {
    Indices<N> index;
    QUORVIN_UNROLL
    for (int a = 0; a < N; ++a) {
        index.axis[a] = ((C >> (N - 1 - a)) & 1) ? hi[a] : lo[a];
    }
    return index;
}

// ---------------------------------------------------------------------------------------------
// Gradient noise.

struct GradientCell {
    __m128 fraction;
    __m128 fade;
};

template <int N>
QUORVIN_FORCEINLINE bool GradientSetUp(__m128 point, GradientCell& cell, uint32_t (&lo)[N],
                                       uint32_t (&hi)[N]) {
    Cells cells;
    if (!Locate4(point, cells)) {
        return false;
    }
    QUORVIN_UNROLL
    for (int a = 0; a < N; ++a) {
        lo[a] = Wrap(cells.cell[a]);
        hi[a] = Wrap(cells.cell[a] + 1);
    }
    cell.fraction = cells.fraction;
    cell.fade = Fade4(cells.fraction);
    return true;
}

// Scalar form: the corner values four to a register (the last two axes in the lanes), blended
// along the last axis first with lanes paired as (0, 1) and (2, 3).
template <int N, int Group>
QUORVIN_FORCEINLINE __m128 CornerGroup(const GradientCell& cell, const uint32_t (&lo)[N],
                                       const uint32_t (&hi)[N]) {
    __m128 product[4];
    const auto fill = [&]<int... K>(std::integer_sequence<int, K...>) {
        ((product[K] = CornerProduct<N>(PermutationHash{}, CornerIndices<N, 4 * Group + K>(lo, hi),
                                        CornerOffset<N, 4 * Group + K>(cell.fraction))),
         ...);
    };
    fill(std::make_integer_sequence<int, 4>{});
    return Sums4<N>(product[0], product[1], product[2], product[3]);
}

// Blends lanes (0, 1) and (2, 3) of `a` and of `b` along the axis of weight t: the results in lanes
// a01, a23, b01, b23.
QUORVIN_FORCEINLINE __m128 BlendPairs(__m128 a, __m128 b, __m128 t) {
    const __m128 lower = _mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
    const __m128 upper = _mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1));
    return Lerp4(lower, upper, t);
}

template <int N>
QUORVIN_FORCEINLINE float GradientScalar(const GradientCell& cell, const uint32_t (&lo)[N],
                                         const uint32_t (&hi)[N]) {
    // `xy` ends up with the four corners of the x and y axes: (0, 0), (0, 1), (1, 0), (1, 1).
    __m128 xy;
    if constexpr (N == 2) {
        xy = CornerGroup<2, 0>(cell, lo, hi);
    } else if constexpr (N == 3) {
        xy = BlendPairs(CornerGroup<3, 0>(cell, lo, hi), CornerGroup<3, 1>(cell, lo, hi),
                        Broadcast<2>(cell.fade));
    } else {
        const __m128 w = Broadcast<3>(cell.fade);
        const __m128 x0 = BlendPairs(CornerGroup<4, 0>(cell, lo, hi), CornerGroup<4, 1>(cell, lo, hi), w);
        const __m128 x1 = BlendPairs(CornerGroup<4, 2>(cell, lo, hi), CornerGroup<4, 3>(cell, lo, hi), w);
        xy = BlendPairs(x0, x1, Broadcast<2>(cell.fade));
    }
    const __m128 x = BlendPairs(xy, xy, Broadcast<1>(cell.fade));
    const float a = Extract<0>(x), b = Extract<1>(x);
    return (b - a) * Extract<0>(cell.fade) + a;
}

// Vector form: one register per corner, blended pairwise along the last axis first.
template <int N>
QUORVIN_FORCEINLINE __m128 GradientVector(const GradientCell& cell, const uint32_t (&lo)[N],
                                          const uint32_t (&hi)[N]) {
    constexpr int Corners = 1 << N;
    __m128 value[Corners];
    const auto fill = [&]<int... C>(std::integer_sequence<int, C...>) {
        ((value[C] =
              CornerValues<N>(LaneHash{}, CornerIndices<N, C>(lo, hi), CornerOffset<N, C>(cell.fraction))),
         ...);
    };
    fill(std::make_integer_sequence<int, Corners>{});
    const __m128 fade[4] = {Broadcast<0>(cell.fade), Broadcast<1>(cell.fade), Broadcast<2>(cell.fade),
                            Broadcast<3>(cell.fade)};
    QUORVIN_UNROLL
    for (int axis = N - 1, count = Corners; axis >= 0; --axis, count /= 2) {
        QUORVIN_UNROLL
        for (int c = 0; c < count / 2; ++c) {
            value[c] = Lerp4(value[2 * c], value[2 * c + 1], fade[axis]);
        }
    }
    return value[0];
}

// ---------------------------------------------------------------------------------------------
// Simplex noise.

// The simplex corners: N + 1 offsets and indices.
template <int N>
struct SimplexCorners {
    __m128 offset[N + 1];
    alignas(16) uint32_t index[N + 1][4];
};

template <int N>
QUORVIN_FORCEINLINE bool SimplexSetUp(__m128 point, SimplexCorners<N>& corners) {
    using Shape = SimplexShape<N>;
    __m128 x0;
    __m128i first;
    if (!SimplexFirstCorner<N>(point, x0, first)) {
        return false;
    }
    const __m128i ranks = Ranks<N>(x0);
    corners.offset[0] = x0;
    _mm_store_si128(reinterpret_cast<__m128i*>(corners.index[0]), first);
    QUORVIN_UNROLL
    for (int c = 1; c <= N; ++c) {
        const __m128i step = _mm_srli_epi32(_mm_add_epi32(ranks, _mm_set1_epi32(4 - N + c)), 2);
        corners.offset[c] =
            _mm_add_ps(_mm_sub_ps(x0, _mm_cvtepi32_ps(step)), _mm_set1_ps(Shape::Added[c - 1]));
        _mm_store_si128(reinterpret_cast<__m128i*>(corners.index[c]), _mm_add_epi32(first, step));
    }
    return true;
}

// max(0.5 − |offset|², 0)^4 for up to four corners, one per lane.
template <int N>
QUORVIN_FORCEINLINE __m128 Falloff4(__m128 o0, __m128 o1, __m128 o2, __m128 o3) {
    const __m128 r2 =
        Sums4<N>(_mm_mul_ps(o0, o0), _mm_mul_ps(o1, o1), _mm_mul_ps(o2, o2), _mm_mul_ps(o3, o3));
    const __m128 reach = _mm_max_ps(_mm_sub_ps(_mm_set1_ps(0.5f), r2), _mm_setzero_ps());
    const __m128 squared = _mm_mul_ps(reach, reach);
    return _mm_mul_ps(squared, squared);
}

// Corner c's offset, or zeros for the unused fourth lane of the two-dimensional simplex.
template <int N, int C>
QUORVIN_FORCEINLINE __m128 OffsetOrZero(const SimplexCorners<N>& k) {
    if constexpr (C <= N) {
        return k.offset[C];
    } else {
        return _mm_setzero_ps();
    }
}

template <int N, int C>
QUORVIN_FORCEINLINE __m128 ProductOrZero(const SimplexCorners<N>& k) {
    if constexpr (C <= N) {
        return CornerProduct<N>(PermutationHash{}, k.index[C], k.offset[C]);
    } else {
        return _mm_setzero_ps();
    }
}

template <int N>
QUORVIN_FORCEINLINE float SimplexScalar(const SimplexCorners<N>& k) {
    const __m128 falloff = Falloff4<N>(k.offset[0], k.offset[1], k.offset[2], OffsetOrZero<N, 3>(k));
    const __m128 share = _mm_mul_ps(Sums4<N>(ProductOrZero<N, 0>(k), ProductOrZero<N, 1>(k),
                                             ProductOrZero<N, 2>(k), ProductOrZero<N, 3>(k)),
                                    falloff);
    float sum;
    if constexpr (N == 2) {
        sum = (Extract<0>(share) + Extract<1>(share)) + Extract<2>(share);
    } else {
        // (first + third) + (second + fourth), as the portable code sums them.
        const __m128 pairs = _mm_add_ps(share, _mm_movehl_ps(share, share));
        sum = _mm_cvtss_f32(_mm_add_ss(pairs, Broadcast<1>(pairs)));
    }
    if constexpr (N == 4) {
        const __m128 zero = _mm_setzero_ps();
        const __m128 last = Falloff4<N>(k.offset[4], zero, zero, zero);
        sum += Extract<0>(_mm_mul_ps(Sums4<N>(ProductOrZero<N, 4>(k), zero, zero, zero), last));
    }
    return sum;
}

template <int N, int C>
QUORVIN_FORCEINLINE __m128 VectorShare(const SimplexCorners<N>& k, __m128 falloff) {
    return _mm_mul_ps(CornerValues<N>(LaneHash{}, k.index[C], k.offset[C]), falloff);
}

template <int N>
QUORVIN_FORCEINLINE __m128 SimplexVector(const SimplexCorners<N>& k) {
    const __m128 falloff = Falloff4<N>(k.offset[0], k.offset[1], k.offset[2], OffsetOrZero<N, 3>(k));
    const __m128 s0 = VectorShare<N, 0>(k, Broadcast<0>(falloff)),
                 s1 = VectorShare<N, 1>(k, Broadcast<1>(falloff));
    const __m128 s2 = VectorShare<N, 2>(k, Broadcast<2>(falloff));
    __m128 sum;
    if constexpr (N == 2) {
        sum = _mm_add_ps(_mm_add_ps(s0, s1), s2);
    } else {
        sum = _mm_add_ps(_mm_add_ps(s0, s2), _mm_add_ps(s1, VectorShare<N, 3>(k, Broadcast<3>(falloff))));
    }
    if constexpr (N == 4) {
        const __m128 zero = _mm_setzero_ps();
        sum = _mm_add_ps(sum, VectorShare<N, 4>(k, Broadcast<0>(Falloff4<N>(k.offset[4], zero, zero, zero))));
    }
    return sum;
}

template <int N>
float Gradient(__m128 point) {
    GradientCell cell;
    uint32_t lo[N], hi[N];
    if (!GradientSetUp<N>(point, cell, lo, hi)) {
        return GradientNoiseAt<PermutationHash, N>(ToCoordinates<N>(point).v);
    }
    return FinishLane(GradientScalar<N>(cell, lo, hi), GradientScale[N - 1]);
}

template <int N>
Vec3 GradientVector(__m128 point) {
    GradientCell cell;
    uint32_t lo[N], hi[N];
    if (!GradientSetUp<N>(point, cell, lo, hi)) {
        return GradientNoiseAt<LaneHash, N>(ToCoordinates<N>(point).v);
    }
    return FinishLanes(GradientVector<N>(cell, lo, hi), GradientScale[N - 1]);
}

template <int N>
float Simplex(__m128 point) {
    SimplexCorners<N> corners;
    if (!SimplexSetUp<N>(point, corners)) {
        return SimplexNoiseAt<PermutationHash, N>(ToCoordinates<N>(point).v);
    }
    return FinishLane(SimplexScalar<N>(corners), SimplexScale[N - 1]);
}

template <int N>
Vec3 SimplexVector(__m128 point) {
    SimplexCorners<N> corners;
    if (!SimplexSetUp<N>(point, corners)) {
        return SimplexNoiseAt<LaneHash, N>(ToCoordinates<N>(point).v);
    }
    return FinishLanes(SimplexVector<N>(corners), SimplexScale[N - 1]);
}

// Three-dimensional simplex noise, scalar form. The permutation hashes of all eight corners of the
// skewed cube are read while the corner order is still being decided (each simplex corner is a
// cube corner); the order then picks four of them, and the steps of the two middle corners come
// from a table rather than from ranks.
struct Simplex3Corners {
    alignas(16) float step[8][2][4];  // by comparison outcome: the steps of the second and third corners
    uint8_t shift[8][2];              // and the bit offsets of their hashes among the cube's
};

constexpr Simplex3Corners MakeSimplex3Corners() {
    Simplex3Corners t{};
    for (int order = 0; order < 8; ++order) {
        const SimplexSteps3 steps = SimplexStepsOf3(order);
        const int* corner[2] = {steps.second, steps.third};
        for (int c = 0; c < 2; ++c) {
            for (int a = 0; a < 3; ++a) t.step[order][c][a] = static_cast<float>(corner[c][a]);
            t.shift[order][c] =
                static_cast<uint8_t>(8 * (corner[c][0] + 2 * corner[c][2] + 4 * corner[c][1]));
        }
    }
    return t;
}
constexpr Simplex3Corners TheSimplex3Corners = MakeSimplex3Corners();

float Simplex3(const Vec3& p) {
    using Shape = SimplexShape<3>;
    const __m128 point = MakePoint(p);
    const float sum = (p.x + p.y) + p.z;
    const __m128 skewed = _mm_add_ps(point, _mm_set1_ps(sum * Shape::Skew));
    const __m128 magnitude = _mm_andnot_ps(_mm_set1_ps(-0.0f), skewed);
    if ((_mm_movemask_ps(_mm_cmplt_ps(magnitude, _mm_set1_ps(0x1p23f))) & 7) != 7) {
        return SimplexNoiseAt<PermutationHash, 3>({p.x, p.y, p.z});
    }
    // The cells as LocateNear finds them, kept as floats for the offsets and as integers, taken
    // straight from the register, for the hashes.
    const __m128i truncated = _mm_cvttps_epi32(skewed);
    const __m128 whole = _mm_cvtepi32_ps(truncated);
    const __m128 down = _mm_cmple_ps(skewed, whole);  // all ones where the cell is one lower
    const __m128 cell = _mm_sub_ps(whole, _mm_and_ps(down, _mm_set1_ps(1.0f)));
    const __m128i index = _mm_add_epi32(truncated, _mm_castps_si128(down));
    const uint64_t hashes =
        CubeHashes(Wrap(_mm_cvtsi128_si32(index)), Wrap(_mm_cvtsi128_si32(_mm_shuffle_epi32(index, 1))),
                   Wrap(_mm_cvtsi128_si32(_mm_unpackhi_epi64(index, index))));
    // The cell sum in single precision: the first addition is exact and the second rounds once, as
    // converting the integer sum does.
    const __m128 cellSum = _mm_add_ss(_mm_add_ss(cell, Broadcast<1>(cell)), _mm_movehl_ps(cell, cell));
    const __m128 t = _mm_mul_ss(cellSum, _mm_set_ss(Shape::Unskew));
    const __m128 x0 = _mm_sub_ps(point, _mm_sub_ps(cell, Broadcast<0>(t)));
    const int order = SimplexOrder3(x0);
    const auto& steps = TheSimplex3Corners.step[order];
    const __m128 o1 = _mm_add_ps(_mm_sub_ps(x0, _mm_load_ps(steps[0])), _mm_set1_ps(Shape::Added[0]));
    const __m128 o2 = _mm_add_ps(_mm_sub_ps(x0, _mm_load_ps(steps[1])), _mm_set1_ps(Shape::Added[1]));
    const __m128 o3 = _mm_add_ps(_mm_sub_ps(x0, _mm_set1_ps(1.0f)), _mm_set1_ps(Shape::Added[2]));
    const auto row = [&](unsigned shift) { return Row<3>(static_cast<uint32_t>(hashes >> shift)); };
    const __m128 dots =
        Sums4<3>(_mm_mul_ps(row(0), x0), _mm_mul_ps(row(TheSimplex3Corners.shift[order][0]), o1),
                 _mm_mul_ps(row(TheSimplex3Corners.shift[order][1]), o2), _mm_mul_ps(row(56), o3));
    const __m128 share = _mm_mul_ps(dots, Falloff4<3>(x0, o1, o2, o3));
    // (first + third) + (second + fourth), as the portable code sums them.
    const __m128 pairs = _mm_add_ps(share, _mm_movehl_ps(share, share));
    return FinishLane(_mm_cvtss_f32(_mm_add_ss(pairs, Broadcast<1>(pairs))), SimplexScale[2]);
}

constexpr NoiseKernel Kernel = {
    "sse2",
    [](float x, float y) { return Gradient<2>(MakePoint(x, y)); },
    [](const Vec3& p) { return Gradient<3>(MakePoint(p)); },
    [](const Vec3& p, float w) { return Gradient<4>(MakePoint(p, w)); },
    [](float x, float y) { return Simplex<2>(MakePoint(x, y)); },
    &Simplex3,
    [](const Vec3& p, float w) { return Simplex<4>(MakePoint(p, w)); },
    [](float x, float y) { return GradientVector<2>(MakePoint(x, y)); },
    [](const Vec3& p) { return GradientVector<3>(MakePoint(p)); },
    [](const Vec3& p, float w) { return GradientVector<4>(MakePoint(p, w)); },
    [](float x, float y) { return SimplexVector<2>(MakePoint(x, y)); },
    [](const Vec3& p) { return SimplexVector<3>(MakePoint(p)); },
    [](const Vec3& p, float w) { return SimplexVector<4>(MakePoint(p, w)); },
};

}  // namespace

constinit const NoiseKernel* const Sse2NoiseKernel = &Kernel;

}  // namespace Quorvin::GeometryPrivate
#else
constinit const Quorvin::GeometryPrivate::NoiseKernel* const Quorvin::GeometryPrivate::Sse2NoiseKernel =
    nullptr;
#endif
