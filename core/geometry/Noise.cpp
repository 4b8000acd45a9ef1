// Gradient and simplex noise. One template per dimension and kind serves the scalar and the vector
// form: they differ only in how a lattice corner picks its gradients (the permutation hash, or
// three lanes of a multiply-add hash) and so in the value a corner yields (one float or three).
#include "core/geometry/Noise.h"

#include <cmath>
#include <cstdint>

#include "core/Compiler.h"

namespace Quorvin {
namespace {

constexpr const uint8_t* P = NoisePermutation;

// ---------------------------------------------------------------------------------------------
// Lattice cells.

struct LatticePoint {
    int32_t cell;    // the largest integer strictly below the coordinate
    float fraction;  // in (0, 1]
};

// From 2^23 on every float is a whole number, and only the cell modulo 256 matters; converting such
// a value (or a NaN or infinity) to an integer directly would be undefined.
QUORVIN_NOINLINE LatticePoint LocateFar(float v) {
    if (std::isfinite(v)) {
        return LatticePoint{static_cast<int32_t>(std::fmod(v, 256.0f)) - 1, 1.0f};
    }
    return LatticePoint{0, 0.0f};  // the result is made NaN by NonFinite below
}

QUORVIN_FORCEINLINE LatticePoint Locate(float v) {
    if (!(std::fabs(v) < 0x1p23f)) {
        return LocateFar(v);
    }
    int32_t i = static_cast<int32_t>(v);
    if (v <= static_cast<float>(i)) {
        --i;
    }
    return LatticePoint{i, v - static_cast<float>(i)};
}

// 0 for finite coordinates and NaN otherwise; added to a result it leaves finite results exactly as
// they are.
QUORVIN_FORCEINLINE float NonFinite(float x) { return x - x; }
QUORVIN_FORCEINLINE float NonFinite(float x, float y) { return (x - x) + (y - y); }
QUORVIN_FORCEINLINE float NonFinite(float x, float y, float z) { return (x - x) + (y - y) + (z - z); }
QUORVIN_FORCEINLINE float NonFinite(float x, float y, float z, float w) {
    return (x - x) + (y - y) + (z - z) + (w - w);
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

QUORVIN_FORCEINLINE float Finish(float value, float scale, float nonFinite) { return value * scale + 0.5f + nonFinite; }
QUORVIN_FORCEINLINE Vec3 Finish(Triple value, float scale, float nonFinite) {
    return Vec3{Finish(value.a, scale, nonFinite), Finish(value.b, scale, nonFinite), Finish(value.c, scale, nonFinite)};
}

QUORVIN_FORCEINLINE float Dot(const int8_t (&g)[2], float x, float y) { return g[0] * x + g[1] * y; }
QUORVIN_FORCEINLINE float Dot(const int8_t (&g)[3], float x, float y, float z) { return g[0] * x + g[1] * y + g[2] * z; }
QUORVIN_FORCEINLINE float Dot(const int8_t (&g)[4], float x, float y, float z, float w) {
    return g[0] * x + g[1] * y + g[2] * z + g[3] * w;
}

// The scalar forms: the corner's gradient comes from the permutation hash, nested from the last
// coordinate outwards. Indices are cell indices & 255, plus at most 1 (the doubled table covers it).
struct PermutationHash {
    using Value = float;
    static QUORVIN_FORCEINLINE float Corner(int x, float ox) { return Gradients1[P[x] & 15] * ox; }
    static QUORVIN_FORCEINLINE float Corner(int x, int y, float ox, float oy) {
        return Dot(Gradients2[P[P[y] + x] & 7], ox, oy);
    }
    static QUORVIN_FORCEINLINE float Corner(int x, int y, int z, float ox, float oy, float oz) {
        return Dot(Gradients3[P[P[P[z] + y] + x] & 15], ox, oy, oz);
    }
    static QUORVIN_FORCEINLINE float Corner(int x, int y, int z, int w, float ox, float oy, float oz, float ow) {
        return Dot(Gradients4[P[P[P[P[w] + z] + y] + x] & 31], ox, oy, oz, ow);
    }
};

// The vector forms: each corner's indices go through an LCG step into unsigned lanes that are then
// mixed by multiply-adds; the top halves of three lanes choose three gradients.
struct LaneHash {
    using Value = Triple;

    struct Choices {
        uint32_t a, b, c;
    };

    static QUORVIN_FORCEINLINE uint32_t Lane(int index) {
        return static_cast<uint32_t>(index & 255) * 1664525u + 1013904223u;
    }
    static QUORVIN_FORCEINLINE Choices Mix(uint32_t x, uint32_t y, uint32_t z) {
        x += y * z;
        y += z * x;
        z += x * y;
        x += y * z;
        y += z * x;
        z += x * y;
        return Choices{x >> 16, y >> 16, z >> 16};
    }
    static QUORVIN_FORCEINLINE Choices Mix(uint32_t x, uint32_t y, uint32_t z, uint32_t w) {
        x += y * w;
        y += z * x;
        z += x * y;
        w += y * z;
        x += y * w;
        y += z * x;
        z += x * y;
        return Choices{x >> 16, y >> 16, z >> 16};
    }

    // Lanes that a dimension lacks are these constants (the LCG step of 3 and of 17).
    static constexpr uint32_t SecondLane1D = 1018897798u;
    static constexpr uint32_t ThirdLane = 1042201148u;

    static QUORVIN_FORCEINLINE Triple Corner(int x, float ox) {
        const Choices h = Mix(Lane(x), SecondLane1D, ThirdLane);
        return Triple{Gradients1[h.a & 15] * ox, Gradients1[h.b & 15] * ox, Gradients1[h.c & 15] * ox};
    }
    static QUORVIN_FORCEINLINE Triple Corner(int x, int y, float ox, float oy) {
        const Choices h = Mix(Lane(x), Lane(y), ThirdLane);
        return Triple{Dot(Gradients2[h.a & 7], ox, oy), Dot(Gradients2[h.b & 7], ox, oy),
                      Dot(Gradients2[h.c & 7], ox, oy)};
    }
    static QUORVIN_FORCEINLINE Triple Corner(int x, int y, int z, float ox, float oy, float oz) {
        const Choices h = Mix(Lane(x), Lane(y), Lane(z));
        return Triple{Dot(Gradients3[h.a & 15], ox, oy, oz), Dot(Gradients3[h.b & 15], ox, oy, oz),
                      Dot(Gradients3[h.c & 15], ox, oy, oz)};
    }
    static QUORVIN_FORCEINLINE Triple Corner(int x, int y, int z, int w, float ox, float oy, float oz, float ow) {
        const Choices h = Mix(Lane(x), Lane(y), Lane(z), Lane(w));
        return Triple{Dot(Gradients4[h.a & 31], ox, oy, oz, ow), Dot(Gradients4[h.b & 31], ox, oy, oz, ow),
                      Dot(Gradients4[h.c & 31], ox, oy, oz, ow)};
    }
};

// ---------------------------------------------------------------------------------------------
// Gradient noise: corner values blended with the quintic fade, along the last axis first.

// One axis of the cell: both corner indices (& 255), the offsets from them, and the blend weight.
struct Axis {
    int lo, hi;
    float offLo, offHi;
    float fade;
};

QUORVIN_FORCEINLINE Axis CellAxis(float v) {
    const LatticePoint p = Locate(v);
    return Axis{p.cell & 255, (p.cell + 1) & 255, p.fraction, p.fraction - 1.0f, Fade(p.fraction)};
}

template <class Hash>
QUORVIN_FORCEINLINE typename Hash::Value Gradient(float x) {
    const Axis ax = CellAxis(x);
    return Lerp(Hash::Corner(ax.lo, ax.offLo), Hash::Corner(ax.hi, ax.offHi), ax.fade);
}

template <class Hash>
QUORVIN_FORCEINLINE typename Hash::Value Gradient(float x, float y) {
    const Axis ax = CellAxis(x), ay = CellAxis(y);
    const auto yLine = [&](int xi, float ox) {
        return Lerp(Hash::Corner(xi, ay.lo, ox, ay.offLo), Hash::Corner(xi, ay.hi, ox, ay.offHi), ay.fade);
    };
    return Lerp(yLine(ax.lo, ax.offLo), yLine(ax.hi, ax.offHi), ax.fade);
}

template <class Hash>
QUORVIN_FORCEINLINE typename Hash::Value Gradient(float x, float y, float z) {
    const Axis ax = CellAxis(x), ay = CellAxis(y), az = CellAxis(z);
    const auto zLine = [&](int xi, int yi, float ox, float oy) {
        return Lerp(Hash::Corner(xi, yi, az.lo, ox, oy, az.offLo), Hash::Corner(xi, yi, az.hi, ox, oy, az.offHi),
                    az.fade);
    };
    const auto yPlane = [&](int xi, float ox) {
        return Lerp(zLine(xi, ay.lo, ox, ay.offLo), zLine(xi, ay.hi, ox, ay.offHi), ay.fade);
    };
    return Lerp(yPlane(ax.lo, ax.offLo), yPlane(ax.hi, ax.offHi), ax.fade);
}

template <class Hash>
QUORVIN_FORCEINLINE typename Hash::Value Gradient(float x, float y, float z, float w) {
    const Axis ax = CellAxis(x), ay = CellAxis(y), az = CellAxis(z), aw = CellAxis(w);
    const auto wLine = [&](int xi, int yi, int zi, float ox, float oy, float oz) {
        return Lerp(Hash::Corner(xi, yi, zi, aw.lo, ox, oy, oz, aw.offLo),
                    Hash::Corner(xi, yi, zi, aw.hi, ox, oy, oz, aw.offHi), aw.fade);
    };
    const auto zPlane = [&](int xi, int yi, float ox, float oy) {
        return Lerp(wLine(xi, yi, az.lo, ox, oy, az.offLo), wLine(xi, yi, az.hi, ox, oy, az.offHi), az.fade);
    };
    const auto yCube = [&](int xi, float ox) {
        return Lerp(zPlane(xi, ay.lo, ox, ay.offLo), zPlane(xi, ay.hi, ox, ay.offHi), ay.fade);
    };
    return Lerp(yCube(ax.lo, ax.offLo), yCube(ax.hi, ax.offHi), ax.fade);
}

// ---------------------------------------------------------------------------------------------
// Simplex noise: each corner of the simplex that holds the point adds t^4 · (gradient · offset),
// t = 0.5 − |offset|², and nothing where t < 0.

// A corner's share, chosen after the product so that a far-away corner (t very negative, and the
// gradient product possibly infinite for huge coordinates) contributes exactly nothing.
QUORVIN_FORCEINLINE float Share(float t, float value) {
    const float t2 = t * t;
    const float share = value * (t2 * t2);
    return t > 0.0f ? share : 0.0f;
}
QUORVIN_FORCEINLINE Triple Share(float t, Triple value) {
    return Triple{Share(t, value.a), Share(t, value.b), Share(t, value.c)};
}

template <class Hash>
QUORVIN_FORCEINLINE typename Hash::Value Simplex(float x) {
    const LatticePoint p = Locate(x);
    const int i = p.cell & 255;
    const float f0 = p.fraction;
    const float f1 = f0 - 1.0f;
    // In one dimension the falloff is (1 − f²)^4 over the whole cell.
    const float a = 1.0f - f0 * f0;
    const float b = 1.0f - f1 * f1;
    return Hash::Corner(i, f0) * ((a * a) * (a * a)) + Hash::Corner(i + 1, f1) * ((b * b) * (b * b));
}

template <class Hash>
QUORVIN_FORCEINLINE typename Hash::Value Simplex(float x, float y) {
    constexpr float Skew = 0.3660254f;      // (√3 − 1) / 2
    constexpr float Unskew = 0.21132487f;   // (3 − √3) / 6
    const float s = (x + y) * Skew;
    const int i = Locate(x + s).cell;
    const int j = Locate(y + s).cell;
    const float t = static_cast<float>(i + j) * Unskew;
    const float x0 = x - (static_cast<float>(i) - t);
    const float y0 = y - (static_cast<float>(j) - t);
    const int i1 = x0 > y0 ? 1 : 0;
    const int j1 = 1 - i1;
    const float x1 = x0 - static_cast<float>(i1) + Unskew;
    const float y1 = y0 - static_cast<float>(j1) + Unskew;
    const float x2 = x0 - 1.0f + 0.42264974f;
    const float y2 = y0 - 1.0f + 0.42264974f;
    const int I = i & 255, J = j & 255;
    const auto n0 = Share(0.5f - (x0 * x0 + y0 * y0), Hash::Corner(I, J, x0, y0));
    const auto n1 = Share(0.5f - (x1 * x1 + y1 * y1), Hash::Corner(I + i1, J + j1, x1, y1));
    const auto n2 = Share(0.5f - (x2 * x2 + y2 * y2), Hash::Corner(I + 1, J + 1, x2, y2));
    return n1 + n0 + n2;
}

template <class Hash>
QUORVIN_FORCEINLINE typename Hash::Value Simplex(float x, float y, float z) {
    constexpr float Skew = 0.33333334f;
    constexpr float Unskew = 0.16666667f;
    const float s = (x + y + z) * Skew;
    const int i = Locate(x + s).cell;
    const int j = Locate(y + s).cell;
    const int k = Locate(z + s).cell;
    const float t = static_cast<float>(i + j + k) * Unskew;
    const float x0 = x - (static_cast<float>(i) - t);
    const float y0 = y - (static_cast<float>(j) - t);
    const float z0 = z - (static_cast<float>(k) - t);

    // The axes in the order the path from the first to the last corner steps along them.
    int i1, j1, k1, i2, j2, k2;
    if (x0 >= y0) {
        if (y0 >= z0) {
            i1 = 1, j1 = 0, k1 = 0, i2 = 1, j2 = 1, k2 = 0;  // x, y, z
        } else if (x0 >= z0) {
            i1 = 1, j1 = 0, k1 = 0, i2 = 1, j2 = 0, k2 = 1;  // x, z, y
        } else {
            i1 = 0, j1 = 0, k1 = 1, i2 = 1, j2 = 0, k2 = 1;  // z, x, y
        }
    } else {
        if (z0 > y0) {
            i1 = 0, j1 = 0, k1 = 1, i2 = 0, j2 = 1, k2 = 1;  // z, y, x
        } else if (z0 > x0) {
            i1 = 0, j1 = 1, k1 = 0, i2 = 0, j2 = 1, k2 = 1;  // y, z, x
        } else {
            i1 = 0, j1 = 1, k1 = 0, i2 = 1, j2 = 1, k2 = 0;  // y, x, z
        }
    }
    const float x1 = x0 - static_cast<float>(i1) + Unskew;
    const float y1 = y0 - static_cast<float>(j1) + Unskew;
    const float z1 = z0 - static_cast<float>(k1) + Unskew;
    const float x2 = x0 - static_cast<float>(i2) + 0.33333334f;
    const float y2 = y0 - static_cast<float>(j2) + 0.33333334f;
    const float z2 = z0 - static_cast<float>(k2) + 0.33333334f;
    const float x3 = x0 - 1.0f + 0.5f;
    const float y3 = y0 - 1.0f + 0.5f;
    const float z3 = z0 - 1.0f + 0.5f;
    const int I = i & 255, J = j & 255, K = k & 255;
    const auto n0 = Share(0.5f - (x0 * x0 + y0 * y0 + z0 * z0), Hash::Corner(I, J, K, x0, y0, z0));
    const auto n1 =
        Share(0.5f - (x1 * x1 + y1 * y1 + z1 * z1), Hash::Corner(I + i1, J + j1, K + k1, x1, y1, z1));
    const auto n2 =
        Share(0.5f - (x2 * x2 + y2 * y2 + z2 * z2), Hash::Corner(I + i2, J + j2, K + k2, x2, y2, z2));
    const auto n3 = Share(0.5f - (x3 * x3 + y3 * y3 + z3 * z3), Hash::Corner(I + 1, J + 1, K + 1, x3, y3, z3));
    return n0 + n1 + n2 + n3;
}

template <class Hash>
QUORVIN_FORCEINLINE typename Hash::Value Simplex(float x, float y, float z, float w) {
    constexpr float Skew = 0.309017f;      // (√5 − 1) / 4
    constexpr float Unskew = 0.1381966f;   // (5 − √5) / 20
    const float s = (x + y + z + w) * Skew;
    const int i = Locate(x + s).cell;
    const int j = Locate(y + s).cell;
    const int k = Locate(z + s).cell;
    const int l = Locate(w + s).cell;
    const float t = static_cast<float>(i + j + k + l) * Unskew;
    const float x0 = x - (static_cast<float>(i) - t);
    const float y0 = y - (static_cast<float>(j) - t);
    const float z0 = z - (static_cast<float>(k) - t);
    const float w0 = w - (static_cast<float>(l) - t);

    const int order = (x0 > y0 ? 32 : 0) + (x0 > z0 ? 16 : 0) + (y0 > z0 ? 8 : 0) + (x0 > w0 ? 4 : 0) +
                      (y0 > w0 ? 2 : 0) + (z0 > w0 ? 1 : 0);
    const uint8_t* rank = SimplexOrder4[order];
    // The largest coordinate steps first, at the second corner; the smallest only at the last.
    const auto steps = [&](int axis, int corner) { return rank[axis] >= 4 - corner ? 1 : 0; };
    const auto corner = [&](int c, float offset) {
        const float xc = x0 - static_cast<float>(steps(0, c)) + offset;
        const float yc = y0 - static_cast<float>(steps(1, c)) + offset;
        const float zc = z0 - static_cast<float>(steps(2, c)) + offset;
        const float wc = w0 - static_cast<float>(steps(3, c)) + offset;
        return Share(0.5f - (xc * xc + yc * yc + zc * zc + wc * wc),
                     Hash::Corner((i & 255) + steps(0, c), (j & 255) + steps(1, c), (k & 255) + steps(2, c),
                                  (l & 255) + steps(3, c), xc, yc, zc, wc));
    };
    const float x4 = x0 - 1.0f + 0.5527864f;
    const float y4 = y0 - 1.0f + 0.5527864f;
    const float z4 = z0 - 1.0f + 0.5527864f;
    const float w4 = w0 - 1.0f + 0.5527864f;
    const auto n4 = Share(0.5f - (x4 * x4 + y4 * y4 + z4 * z4 + w4 * w4),
                          Hash::Corner((i & 255) + 1, (j & 255) + 1, (k & 255) + 1, (l & 255) + 1, x4, y4, z4, w4));
    return corner(0, 0.0f) + corner(1, Unskew) + corner(2, 0.2763932f) + corner(3, 0.4145898f) + n4;
}

}  // namespace

float GradientNoise(float x) { return Finish(Gradient<PermutationHash>(x), 0.094f, NonFinite(x)); }
float GradientNoise(float x, float y) { return Finish(Gradient<PermutationHash>(x, y), 0.2535f, NonFinite(x, y)); }
float GradientNoise(const Vec3& p) {
    return Finish(Gradient<PermutationHash>(p.x, p.y, p.z), 0.468f, NonFinite(p.x, p.y, p.z));
}
float GradientNoise(const Vec3& p, float w) {
    return Finish(Gradient<PermutationHash>(p.x, p.y, p.z, w), 0.435f, NonFinite(p.x, p.y, p.z, w));
}

float SimplexNoise(float x) { return Finish(Simplex<PermutationHash>(x), 0.197f, NonFinite(x)); }
float SimplexNoise(float x, float y) { return Finish(Simplex<PermutationHash>(x, y), 20.0f, NonFinite(x, y)); }
float SimplexNoise(const Vec3& p) {
    return Finish(Simplex<PermutationHash>(p.x, p.y, p.z), 36.0f, NonFinite(p.x, p.y, p.z));
}
float SimplexNoise(const Vec3& p, float w) {
    return Finish(Simplex<PermutationHash>(p.x, p.y, p.z, w), 31.0f, NonFinite(p.x, p.y, p.z, w));
}

Vec3 GradientNoiseVector(float x) { return Finish(Gradient<LaneHash>(x), 0.094f, NonFinite(x)); }
Vec3 GradientNoiseVector(float x, float y) { return Finish(Gradient<LaneHash>(x, y), 0.2535f, NonFinite(x, y)); }
Vec3 GradientNoiseVector(const Vec3& p) {
    return Finish(Gradient<LaneHash>(p.x, p.y, p.z), 0.468f, NonFinite(p.x, p.y, p.z));
}
Vec3 GradientNoiseVector(const Vec3& p, float w) {
    return Finish(Gradient<LaneHash>(p.x, p.y, p.z, w), 0.435f, NonFinite(p.x, p.y, p.z, w));
}

Vec3 SimplexNoiseVector(float x) { return Finish(Simplex<LaneHash>(x), 0.197f, NonFinite(x)); }
Vec3 SimplexNoiseVector(float x, float y) { return Finish(Simplex<LaneHash>(x, y), 20.0f, NonFinite(x, y)); }
Vec3 SimplexNoiseVector(const Vec3& p) {
    return Finish(Simplex<LaneHash>(p.x, p.y, p.z), 36.0f, NonFinite(p.x, p.y, p.z));
}
Vec3 SimplexNoiseVector(const Vec3& p, float w) {
    return Finish(Simplex<LaneHash>(p.x, p.y, p.z, w), 31.0f, NonFinite(p.x, p.y, p.z, w));
}

}  // namespace Quorvin
