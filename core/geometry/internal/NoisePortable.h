// The noise functions written once for every dimension in plain C++: the definition that the SSE2
// paths in Noise.cpp reproduce bit for bit, the path that takes the rest (one dimension, coordinates
// of 2^23 and beyond, NaN and infinities, builds without SSE2), and the twin the tests compare
// them with. The scalar and vector forms differ only in how a lattice corner picks its gradients
// (the permutation hash, or three lanes of a multiply-add hash), and so in the value a corner yields
// (one float or three).
#pragma once

#include <cmath>
#include <cstdint>

#include "core/base/Compiler.h"
#include "core/geometry/Noise.h"
#include "core/geometry/internal/NoiseGradientRows.h"
#include "core/geometry/internal/NoiseTableValues.h"

namespace Quorvin::GeometryPrivate {

inline constexpr const uint8_t* P = NoisePermutation;

// ---------------------------------------------------------------------------------------------
// Lattice cells.

struct LatticePoint {
    int32_t cell;    // the largest integer strictly below the coordinate
    float fraction;  // in (0, 1]
};

// Below 2^23 in magnitude a coordinate converts to an integer safely and may carry a fraction.
QUORVIN_FORCEINLINE bool IsNear(float v) { return std::fabs(v) < 0x1p23f; }

QUORVIN_FORCEINLINE LatticePoint LocateNear(float v) {
    // Truncation, then one step down for negative fractions and whole numbers. Written without a
    // branch: the sign of a coordinate follows no pattern a predictor could learn.
    const int32_t truncated = static_cast<int32_t>(v);
    const float whole = static_cast<float>(truncated);
    const int32_t down = v <= whole ? 1 : 0;
    return LatticePoint{truncated - down, v - (whole - static_cast<float>(down))};
}

// From 2^23 on every float is a whole number and only the cell modulo 256 matters; converting such
// a value (or a NaN or infinity) to an integer directly would be undefined.
QUORVIN_NOINLINE inline LatticePoint LocateFar(float v) {
    if (std::isfinite(v)) {
        return LatticePoint{static_cast<int32_t>(std::fmod(v, 256.0f)) - 1, 1.0f};
    }
    return LatticePoint{0, 0.0f};  // the result is made NaN by NonFinite below
}

QUORVIN_FORCEINLINE LatticePoint Locate(float v) { return IsNear(v) ? LocateNear(v) : LocateFar(v); }

QUORVIN_FORCEINLINE uint32_t Wrap(int32_t cell) { return static_cast<uint32_t>(cell) & 255; }

// 0 for finite coordinates and NaN otherwise; added to a result it leaves finite results exactly as
// they are.
template <int N>
QUORVIN_FORCEINLINE float NonFinite(const float (&p)[N]) {
    float sum = p[0] - p[0];
    QUORVIN_UNROLL
    for (int a = 1; a < N; ++a) {
        sum += p[a] - p[a];
    }
    return sum;
}

QUORVIN_FORCEINLINE float Fade(float f) { return ((6.0f * f - 15.0f) * f + 10.0f) * (f * f * f); }

// ---------------------------------------------------------------------------------------------
// Corner values.

// The three values of a vector-form corner.
struct Triple {
    float a, b, c;
};
QUORVIN_FORCEINLINE Triple operator+(Triple p, Triple q) { return Triple{p.a + q.a, p.b + q.b, p.c + q.c}; }
QUORVIN_FORCEINLINE Triple operator-(Triple p, Triple q) { return Triple{p.a - q.a, p.b - q.b, p.c - q.c}; }
QUORVIN_FORCEINLINE Triple operator*(Triple p, float s) { return Triple{p.a * s, p.b * s, p.c * s}; }

template <class Value>
QUORVIN_FORCEINLINE Value Lerp(Value a, Value b, float t) {
    return (b - a) * t + a;
}

QUORVIN_FORCEINLINE float Finish(float value, float scale, float nonFinite) {
    return value * scale + 0.5f + nonFinite;
}
QUORVIN_FORCEINLINE Vec3 Finish(Triple value, float scale, float nonFinite) {
    return Vec3{Finish(value.a, scale, nonFinite), Finish(value.b, scale, nonFinite),
                Finish(value.c, scale, nonFinite)};
}

// The gradient a hash picks in N dimensions, as a float row (masks 15, 7, 15, 31).
template <int N>
QUORVIN_FORCEINLINE const float* GradientRow(uint32_t h) {
    if constexpr (N == 1) {
        return &GeometryPrivate::GradientRows1[h & 15];
    } else if constexpr (N == 2) {
        return GeometryPrivate::GradientRows2[h & 7];
    } else if constexpr (N == 3) {
        return GeometryPrivate::GradientRows3[h & 15];
    } else {
        return GeometryPrivate::GradientRows4[h & 31];
    }
}

// Gradient · offset, summed x first.
template <int N>
QUORVIN_FORCEINLINE float Dot(const float* g, const float (&offset)[N]) {
    float sum = g[0] * offset[0];
    QUORVIN_UNROLL
    for (int a = 1; a < N; ++a) {
        sum += g[a] * offset[a];
    }
    return sum;
}

// The scalar forms: the corner's gradient comes from the permutation hash, nested from the last
// coordinate outwards: P[P[P[z] + y] + x]. Indices are at most 256 (a cell index & 255, plus a
// step); the doubled table covers every sum.
struct PermutationHash {
    using Value = float;

    // `index` is anything indexable by axis: an array of N or a row of four lanes.
    template <int N, class Index>
    static QUORVIN_FORCEINLINE uint32_t Pick(const Index& index) {
        uint32_t h = P[index[N - 1]];
        QUORVIN_UNROLL
        for (int a = N - 2; a >= 0; --a) {
            h = P[h + index[a]];
        }
        return h;
    }

    template <int N>
    static QUORVIN_FORCEINLINE float Corner(const uint32_t (&index)[N], const float (&offset)[N]) {
        return Dot<N>(GradientRow<N>(Pick<N>(index)), offset);
    }
};

// The vector forms: each corner index (& 255) goes through an LCG step into an unsigned lane, the
// lanes are mixed by multiply-adds, and the top halves of three lanes choose three gradients.
struct LaneHash {
    using Value = Triple;

    static constexpr QUORVIN_FORCEINLINE uint32_t Lane(uint32_t index) {
        return (index & 255) * 1664525u + 1013904223u;
    }

    struct Choices {
        uint32_t a, b, c;
    };

    template <int N, class Index>
    static constexpr QUORVIN_FORCEINLINE Choices MixedLanes(const Index& index) {
        // Lanes that a dimension lacks hold constants (the LCG step of 3 and of 17).
        uint32_t x = Lane(index[0]), y = 1018897798u, z = 1042201148u, w = 0;
        if constexpr (N >= 2) y = Lane(index[1]);
        if constexpr (N >= 3) z = Lane(index[2]);
        if constexpr (N >= 4) w = Lane(index[3]);
        if constexpr (N <= 3) {
            x += y * z;
            y += z * x;
            z += x * y;
            x += y * z;
        } else {
            x += y * w;
            y += z * x;
            z += x * y;
            w += y * z;
            x += y * w;
        }
        y += z * x;
        z += x * y;
        return Choices{x, y, z};
    }

    // The gradient choices are the top halves of the three mixed lanes.
    template <int N, class Index>
    static constexpr QUORVIN_FORCEINLINE Choices Pick(const Index& index) {
        const Choices lanes = MixedLanes<N>(index);
        return Choices{lanes.a >> 16, lanes.b >> 16, lanes.c >> 16};
    }

    template <int N>
    static QUORVIN_FORCEINLINE Triple Corner(const uint32_t (&index)[N], const float (&offset)[N]);
};

// In one dimension a corner's lane hash depends on its index alone: the three gradients of each of
// the 256 indices are worked out once, at compile time.
struct LaneGradients1Table {
    alignas(16) float row[256][4];  // the gradients of components 0, 1 and 2, and a zero
};

constexpr LaneGradients1Table MakeLaneGradients1() {
    constexpr int8_t gradients[16] = {QUORVIN_GRADIENTS1};
    LaneGradients1Table t{};
    for (uint32_t i = 0; i < 256; ++i) {
        const uint32_t index[1] = {i};
        const LaneHash::Choices h = LaneHash::Pick<1>(index);
        t.row[i][0] = gradients[h.a & 15];
        t.row[i][1] = gradients[h.b & 15];
        t.row[i][2] = gradients[h.c & 15];
    }
    return t;
}

inline constexpr LaneGradients1Table LaneGradients1 = MakeLaneGradients1();

template <int N>
QUORVIN_FORCEINLINE Triple LaneHash::Corner(const uint32_t (&index)[N], const float (&offset)[N]) {
    if constexpr (N == 1) {
        const float* g = LaneGradients1.row[index[0] & 255];
        return Triple{g[0] * offset[0], g[1] * offset[0], g[2] * offset[0]};
    } else {
        const Choices h = Pick<N>(index);
        return Triple{Dot<N>(GradientRow<N>(h.a), offset), Dot<N>(GradientRow<N>(h.b), offset),
                      Dot<N>(GradientRow<N>(h.c), offset)};
    }
}

// ---------------------------------------------------------------------------------------------
// Gradient noise: corner values blended with the quintic fade, along the last axis first.

// One axis of the cell: both corner indices (& 255), the offsets from them, and the blend weight.
struct Axis {
    uint32_t index[2];
    float offset[2];
    float fade;
};

QUORVIN_FORCEINLINE Axis CellAxis(float v) {
    const LatticePoint p = Locate(v);
    return Axis{{Wrap(p.cell), Wrap(p.cell + 1)}, {p.fraction, p.fraction - 1.0f}, Fade(p.fraction)};
}

// Blends along axis K and, inside it, along every later axis: the last axis is interpolated first
// and x last. `index` and `offset` carry the corner chosen on the axes before K.
template <class Hash, int N, int K>
QUORVIN_FORCEINLINE typename Hash::Value Blend(const Axis (&axes)[N], uint32_t (&index)[N],
                                               float (&offset)[N]) {
    if constexpr (K == N) {
        return Hash::template Corner<N>(index, offset);
    } else {
        index[K] = axes[K].index[0];
        offset[K] = axes[K].offset[0];
        const auto lower = Blend<Hash, N, K + 1>(axes, index, offset);
        index[K] = axes[K].index[1];
        offset[K] = axes[K].offset[1];
        const auto upper = Blend<Hash, N, K + 1>(axes, index, offset);
        return Lerp(lower, upper, axes[K].fade);
    }
}

template <class Hash, int N>
QUORVIN_FORCEINLINE typename Hash::Value Gradient(const float (&p)[N]) {
    Axis axes[N];
    QUORVIN_UNROLL
    for (int a = 0; a < N; ++a) {
        axes[a] = CellAxis(p[a]);
    }
    uint32_t index[N];
    float offset[N];
    return Blend<Hash, N, 0>(axes, index, offset);
}

// ---------------------------------------------------------------------------------------------
// Simplex noise: each corner of the simplex that holds the point adds t^4 · (gradient · offset),
// t = 0.5 − |offset|², and nothing where t < 0.

QUORVIN_FORCEINLINE float PositivePart(float t) { return t > 0.0f ? t : 0.0f; }

template <class Value>
QUORVIN_FORCEINLINE Value Share(float t, Value value) {
    const float reach = PositivePart(t);
    const float squared = reach * reach;
    return value * (squared * squared);
}

template <class Hash, int N>
QUORVIN_FORCEINLINE typename Hash::Value SimplexCorner(const uint32_t (&index)[N], const float (&offset)[N]) {
    float r2 = offset[0] * offset[0];
    QUORVIN_UNROLL
    for (int a = 1; a < N; ++a) {
        r2 += offset[a] * offset[a];
    }
    return Share(0.5f - r2, Hash::template Corner<N>(index, offset));
}

// Skews the point onto the cube lattice and finds its cell. A skewed coordinate of 2^23 or more
// has no fraction left, and every corner then lies far beyond reach: the caller contributes
// nothing, which also keeps infinite products (huge coordinates) out of the sum.
template <int N>
QUORVIN_FORCEINLINE bool SkewedCell(const float (&p)[N], float skew, int32_t (&cell)[N]) {
    float sum = p[0];
    QUORVIN_UNROLL
    for (int a = 1; a < N; ++a) {
        sum += p[a];
    }
    const float s = sum * skew;
    bool near = true;
    float skewed[N];
    QUORVIN_UNROLL
    for (int a = 0; a < N; ++a) {
        skewed[a] = p[a] + s;
        near = near & IsNear(skewed[a]);
    }
    if (!near) {
        return false;
    }
    QUORVIN_UNROLL
    for (int a = 0; a < N; ++a) {
        cell[a] = LocateNear(skewed[a]).cell;
    }
    return true;
}

// The offset of the point from the cell's first corner, unskewed: p − (cell − t).
template <int N>
QUORVIN_FORCEINLINE void FirstOffsets(const float (&p)[N], const int32_t (&cell)[N], float unskew,
                                      float (&x0)[N]) {
    int32_t sum = cell[0];
    QUORVIN_UNROLL
    for (int a = 1; a < N; ++a) {
        sum += cell[a];
    }
    const float t = static_cast<float>(sum) * unskew;
    QUORVIN_UNROLL
    for (int a = 0; a < N; ++a) {
        x0[a] = p[a] - (static_cast<float>(cell[a]) - t);
    }
}

// A further corner: the cell's first corner stepped by `step` on each axis, with the offsets
// x0 − step + `unskew`.
template <class Hash, int N>
QUORVIN_FORCEINLINE typename Hash::Value FurtherCorner(const int32_t (&cell)[N], const float (&x0)[N],
                                                       const uint32_t (&step)[N], float unskew) {
    uint32_t index[N];
    float offset[N];
    QUORVIN_UNROLL
    for (int a = 0; a < N; ++a) {
        index[a] = Wrap(cell[a]) + step[a];
        offset[a] = x0[a] - static_cast<float>(step[a]) + unskew;
    }
    return SimplexCorner<Hash, N>(index, offset);
}

template <class Hash, int N>
QUORVIN_FORCEINLINE typename Hash::Value FirstCorner(const int32_t (&cell)[N], const float (&x0)[N]) {
    uint32_t index[N];
    QUORVIN_UNROLL
    for (int a = 0; a < N; ++a) {
        index[a] = Wrap(cell[a]);
    }
    return SimplexCorner<Hash, N>(index, x0);
}

template <class Hash>
QUORVIN_FORCEINLINE typename Hash::Value Simplex(const float (&p)[1]) {
    const LatticePoint cell = Locate(p[0]);
    const uint32_t i[2] = {Wrap(cell.cell), Wrap(cell.cell) + 1};
    const float f[2] = {cell.fraction, cell.fraction - 1.0f};
    // In one dimension the falloff is (1 − f²)^4 over the whole cell.
    const float a = 1.0f - f[0] * f[0];
    const float b = 1.0f - f[1] * f[1];
    const uint32_t lower[1] = {i[0]}, upper[1] = {i[1]};
    const float offLower[1] = {f[0]}, offUpper[1] = {f[1]};
    return Hash::template Corner<1>(lower, offLower) * ((a * a) * (a * a)) +
           Hash::template Corner<1>(upper, offUpper) * ((b * b) * (b * b));
}

template <class Hash>
QUORVIN_FORCEINLINE typename Hash::Value Simplex(const float (&p)[2]) {
    int32_t cell[2];
    if (!SkewedCell(p, 0.3660254f, cell)) {  // (√3 − 1) / 2
        return typename Hash::Value{};
    }
    float x0[2];
    FirstOffsets(p, cell, 0.21132487f, x0);  // (3 − √3) / 6
    const uint32_t i1 = x0[0] > x0[1] ? 1 : 0;
    const uint32_t middle[2] = {i1, 1 - i1}, last[2] = {1, 1};
    const auto n0 = FirstCorner<Hash, 2>(cell, x0);
    const auto n1 = FurtherCorner<Hash, 2>(cell, x0, middle, 0.21132487f);
    const auto n2 = FurtherCorner<Hash, 2>(cell, x0, last, 0.42264974f);
    return n1 + n0 + n2;
}

template <class Hash>
QUORVIN_FORCEINLINE typename Hash::Value Simplex(const float (&p)[3]) {
    int32_t cell[3];
    if (!SkewedCell(p, 0.33333334f, cell)) {
        return typename Hash::Value{};
    }
    float x0[3];
    FirstOffsets(p, cell, 0.16666667f, x0);
    const float x = x0[0], y = x0[1], z = x0[2];
    // The path from the first to the last corner steps along the axes in falling order of the
    // offsets: x, y, z when x ≥ y ≥ z; x, z, y when x ≥ z > y; z, x, y when z > x ≥ y;
    // z, y, x when z > y > x; y, z, x when y ≥ z > x; y, x, z when y > x ≥ z. Spelled as
    // comparisons rather than branches, which would mispredict about half the time.
    const uint32_t xy = x >= y ? 1 : 0, xz = x >= z ? 1 : 0, yz = y >= z ? 1 : 0;
    const uint32_t zy = z > y ? 1 : 0, zx = z > x ? 1 : 0;
    const uint32_t i1 = xy & xz, j1 = (1 - xy) & yz;
    const uint32_t second[3] = {i1, j1, 1 - i1 - j1};
    const uint32_t third[3] = {xy | xz, (1 - xy) | yz, (xy & zy) | ((1 - xy) & zx)};
    const uint32_t last[3] = {1, 1, 1};
    // Summed in pairs, (first + third) + (second + last): two additions deep instead of three.
    return (FirstCorner<Hash, 3>(cell, x0) + FurtherCorner<Hash, 3>(cell, x0, third, 0.33333334f)) +
           (FurtherCorner<Hash, 3>(cell, x0, second, 0.16666667f) +
            FurtherCorner<Hash, 3>(cell, x0, last, 0.5f));
}

template <class Hash>
QUORVIN_FORCEINLINE typename Hash::Value Simplex(const float (&p)[4]) {
    int32_t cell[4];
    if (!SkewedCell(p, 0.309017f, cell)) {  // (√5 − 1) / 4
        return typename Hash::Value{};
    }
    float x0[4];
    FirstOffsets(p, cell, 0.1381966f, x0);  // (5 − √5) / 20
    const float x = x0[0], y = x0[1], z = x0[2], w = x0[3];
    const int order = (x > y ? 32 : 0) + (x > z ? 16 : 0) + (y > z ? 8 : 0) + (x > w ? 4 : 0) +
                      (y > w ? 2 : 0) + (z > w ? 1 : 0);
    const uint8_t* rank = SimplexOrder4[order];
    // The largest offset steps first, at the second corner; the smallest only at the last. With
    // ranks 0 to 3, (rank + k) >> 2 is whether the rank is at least 4 − k.
    uint32_t second[4], third[4], fourth[4];
    const uint32_t last[4] = {1, 1, 1, 1};
    QUORVIN_UNROLL
    for (int a = 0; a < 4; ++a) {
        second[a] = (rank[a] + 1u) >> 2;
        third[a] = (rank[a] + 2u) >> 2;
        fourth[a] = (rank[a] + 3u) >> 2;
    }
    // Summed as ((first + third) + (second + fourth)) + last, which keeps the additions shallow.
    return ((FirstCorner<Hash, 4>(cell, x0) + FurtherCorner<Hash, 4>(cell, x0, third, 0.2763932f)) +
            (FurtherCorner<Hash, 4>(cell, x0, second, 0.1381966f) +
             FurtherCorner<Hash, 4>(cell, x0, fourth, 0.4145898f))) +
           FurtherCorner<Hash, 4>(cell, x0, last, 0.5527864f);
}

template <class Hash, int N>
QUORVIN_FORCEINLINE auto GradientNoiseAt(const float (&p)[N]) {
    constexpr float Scale[] = {0.094f, 0.2535f, 0.468f, 0.435f};
    return Finish(Gradient<Hash, N>(p), Scale[N - 1], NonFinite(p));
}

template <class Hash, int N>
QUORVIN_FORCEINLINE auto SimplexNoiseAt(const float (&p)[N]) {
    constexpr float Scale[] = {0.197f, 20.0f, 36.0f, 31.0f};
    return Finish(Simplex<Hash>(p), Scale[N - 1], NonFinite(p));
}

}  // namespace Quorvin::GeometryPrivate
