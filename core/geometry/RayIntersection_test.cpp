// Tests of the ray tests: the worked unit-square example, the rules at t = 0 and for the back side,
// and agreement with a double-precision reference on random quads and triangles away from edges.
#include "core/geometry/RayIntersection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <vector>

namespace Quorvin {
namespace {

constexpr RayHit Untouched{-7, -7, -7, -7, -7, -7};
bool IsUntouched(const RayHit& hit) { return std::memcmp(&hit, &Untouched, sizeof hit) == 0; }

void ExpectHit(const RayHit& hit, float x, float y, float z, float t, float u, float v) {
    EXPECT_EQ(hit.x, x);
    EXPECT_EQ(hit.y, y);
    EXPECT_EQ(hit.z, z);
    EXPECT_EQ(hit.t, t);
    EXPECT_EQ(hit.u, u);
    EXPECT_EQ(hit.v, v);
}

const Quad Square({0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0});
const Triangle Lower({0, 0, 0}, {1, 0, 0}, {1, 1, 0});
constexpr Vec3 Up{0, 0, 1};
constexpr Vec3 Down{0, 0, -1};

TEST(RayIntersection, UnitSquareGivesEachTestsOwnCoordinates) {
    RayHit hit = Untouched;
    ASSERT_TRUE(IntersectQuad(Square, {0.25f, 0.75f, 1}, Down, Up, false, hit));
    ExpectHit(hit, 0.25f, 0.75f, 0, 1, 0.25f, 0.75f);
    // The projected test's u, v come from the weights of p0 and p2, not from the edges.
    hit = Untouched;
    ASSERT_TRUE(IntersectQuadProjected(Square, {0.25f, 0.75f, 1}, Down, Up, false, hit));
    ExpectHit(hit, 0.25f, 0.75f, 0, 1, 0.75f, 0.75f);
    hit = Untouched;
    ASSERT_TRUE(IntersectTriangleProjected(Lower, {0.75f, 0.25f, 2}, {0, 0, -0.5f}, Up, false, hit));
    ExpectHit(hit, 0.75f, 0.25f, 0, 4, 0.25f, 0.25f);
}

TEST(RayIntersection, StartOnTheSurfaceBackSideAndMisses) {
    // Starting on the surface (t = 0): only the bilinear test hits.
    RayHit hit = Untouched;
    ASSERT_TRUE(IntersectQuad(Square, {0.25f, 0.75f, 0}, Down, Up, false, hit));
    ExpectHit(hit, 0.25f, 0.75f, 0, 0, 0.25f, 0.75f);
    hit = Untouched;
    EXPECT_FALSE(IntersectQuadProjected(Square, {0.25f, 0.75f, 0}, Down, Up, true, hit));
    EXPECT_FALSE(IntersectTriangleProjected(Lower, {0.75f, 0.25f, 0}, Down, Up, true, hit));
    EXPECT_TRUE(IsUntouched(hit));

    // From behind (direction · normal > 0): the projected tests hit only when two-sided; the
    // bilinear test ignores both flag and normal.
    for (bool twoSided : {false, true}) {
        hit = Untouched;
        EXPECT_TRUE(IntersectQuad(Square, {0.25f, 0.75f, -1}, Up, Up, twoSided, hit));
        EXPECT_TRUE(IntersectQuad(Square, {0.25f, 0.75f, -1}, Up, Down, twoSided, hit));
        hit = Untouched;
        EXPECT_EQ(IntersectQuadProjected(Square, {0.25f, 0.75f, -1}, Up, Up, twoSided, hit), twoSided);
        EXPECT_EQ(IntersectTriangleProjected(Lower, {0.75f, 0.25f, -1}, Up, Up, twoSided, hit), twoSided);
        if (twoSided) {
            ExpectHit(hit, 0.75f, 0.25f, 0, 1, 0.25f, 0.25f);
        } else {
            EXPECT_TRUE(IsUntouched(hit));
        }
    }

    // Misses leave the output alone: pointing away, parallel, beside the shape, a zero normal, NaN.
    const struct {
        Vec3 origin, direction, normal;
    } misses[] = {
        {{0.25f, 0.75f, 1}, Up, Up},          {{0.25f, 0.75f, 1}, {1, 0, 0}, Up},
        {{1.5f, 0.5f, 1}, Down, Up},          {{0.5f, -0.01f, 1}, Down, Up},
        {{0.25f, 0.75f, 1}, Down, {0, 0, 0}}, {{NAN, 0.5f, 1}, Down, Up},
        {{0.5f, 0.5f, 1}, {0, NAN, -1}, Up},
    };
    for (const auto& m : misses) {
        hit = Untouched;
        const bool bilinear = IntersectQuad(Square, m.origin, m.direction, m.normal, true, hit);
        EXPECT_FALSE(IntersectQuadProjected(Square, m.origin, m.direction, m.normal, true, hit));
        EXPECT_FALSE(IntersectTriangleProjected(Lower, m.origin, m.direction, m.normal, true, hit));
        // The bilinear test computes its own normal, so the zero normal is no miss for it.
        if (m.normal.z != 0) {
            EXPECT_FALSE(bilinear);
            EXPECT_TRUE(IsUntouched(hit));
        }
    }
}

// Shapes without area, or with a corner that is not finite, have no inside for the projected tests:
// collapsed onto a line or a point they would otherwise catch rays anywhere along that line.
TEST(RayIntersection, DegenerateAndNonFiniteShapesMissTheProjectedTests) {
    RayHit hit = Untouched;
    const Triangle line({0, 0, 0}, {1, 0, 0}, {2, 0, 0});
    const Triangle point({0, 0, 0}, {0, 0, 0}, {0, 0, 0});
    EXPECT_FALSE(IntersectTriangleProjected(line, {100, 0, 1}, Down, Up, false, hit));
    EXPECT_FALSE(IntersectTriangleProjected(line, {0.5f, 0, 1}, Down, Up, true, hit));
    EXPECT_FALSE(IntersectTriangleProjected(point, {0, 0, 1}, Down, Up, true, hit));
    EXPECT_FALSE(IntersectQuadProjected(Quad({0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}), {-50, 0, 1}, Down,
                                        Up, false, hit));
    EXPECT_FALSE(IntersectQuadProjected(Quad({0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {NAN, NAN, NAN}),
                                        {0.9f, 0.1f, 1}, Down, Up, false, hit));
    EXPECT_FALSE(IntersectQuadProjected(Quad({0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, INFINITY}),
                                        {0.9f, 0.1f, 1}, Down, Up, false, hit));
    EXPECT_FALSE(IntersectTriangleProjected(Triangle({0, 0, 0}, {1, 0, NAN}, {1, 1, 0}), {0.9f, 0.1f, 1},
                                            Down, Up, false, hit));
    EXPECT_TRUE(IsUntouched(hit));

    // Random shapes collapsed onto a line (integer corners, so the zero area is exact) against rays
    // through points of that line and around it.
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> coordinate(-20, 20);
    for (int i = 0; i < 2000; ++i) {
        const Vec3 p0{float(coordinate(rng)), float(coordinate(rng)), 0};
        const Vec3 step{float(coordinate(rng) % 4), float(coordinate(rng) % 4), 0};
        const auto along = [&](float s) { return Vec3{p0.x + s * step.x, p0.y + s * step.y, 0}; };
        const int k = coordinate(rng) % 5;
        const Vec3 target = along(static_cast<float>(coordinate(rng) % 7));
        const Vec3 origin{target.x, target.y, 2};
        ASSERT_FALSE(
            IntersectTriangleProjected(Triangle(p0, along(1), along(float(k))), origin, Down, Up, true, hit));
        ASSERT_FALSE(IntersectQuadProjected(Quad(p0, along(1), along(2), along(float(k))), origin, Down, Up,
                                            true, hit));
    }
    EXPECT_TRUE(IsUntouched(hit));
}

// ---------------------------------------------------------------------------------------------
// Random shapes in random planes, against a reference in double built from the 2D shape and the
// exact embedding.

struct Frame {
    double origin[3], e1[3], e2[3], n[3];
    double scale;
    Vec3 At(double a, double b) const {
        float p[3];
        for (int i = 0; i < 3; ++i) p[i] = static_cast<float>(origin[i] + scale * (a * e1[i] + b * e2[i]));
        return Vec3{p[0], p[1], p[2]};
    }
};

Frame RandomFrame(std::mt19937& rng) {
    std::normal_distribution<double> gauss;
    std::uniform_real_distribution<double> uniform(-50, 50);
    Frame f;
    double a[3], b[3];
    for (int i = 0; i < 3; ++i) a[i] = gauss(rng), b[i] = gauss(rng), f.origin[i] = uniform(rng);
    const auto normalise = [](double* v) {
        const double l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        for (int i = 0; i < 3; ++i) v[i] /= l;
    };
    normalise(a);
    const double d = a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
    for (int i = 0; i < 3; ++i) b[i] -= d * a[i];
    normalise(b);
    for (int i = 0; i < 3; ++i) f.e1[i] = a[i], f.e2[i] = b[i];
    f.n[0] = a[1] * b[2] - a[2] * b[1], f.n[1] = a[2] * b[0] - a[0] * b[2],
    f.n[2] = a[0] * b[1] - a[1] * b[0];
    f.scale = std::exp(std::uniform_real_distribution<double>(std::log(0.5), std::log(20.0))(rng));
    return f;
}

// Corners on an ellipse at well-separated sorted angles: a strictly convex polygon, either winding.
std::vector<std::array<double, 2>> ConvexPolygon(std::mt19937& rng, int corners) {
    std::uniform_real_distribution<double> angle(0, 2 * std::numbers::pi), radius(0.5, 2);
    std::vector<double> angles;
    do {
        angles.clear();
        for (int i = 0; i < corners; ++i) angles.push_back(angle(rng));
        std::sort(angles.begin(), angles.end());
    } while ([&] {
        for (int i = 0; i < corners; ++i) {
            const double gap =
                i + 1 < corners ? angles[i + 1] - angles[i] : angles[0] + 2 * std::numbers::pi - angles[i];
            if (gap < 0.4) return true;
        }
        return false;
    }());
    const double rx = radius(rng), ry = radius(rng);
    std::vector<std::array<double, 2>> polygon;
    for (double a : angles) polygon.push_back({rx * std::cos(a), ry * std::sin(a)});
    if (rng() & 1) std::reverse(polygon.begin(), polygon.end());
    return polygon;
}

// Signed distance of q inside the convex polygon: positive inside, negative outside.
double InsideMargin(const std::vector<std::array<double, 2>>& polygon, const std::array<double, 2>& q) {
    double area = 0;
    for (size_t i = 0; i < polygon.size(); ++i) {
        const auto& a = polygon[i];
        const auto& b = polygon[(i + 1) % polygon.size()];
        area += a[0] * b[1] - a[1] * b[0];
    }
    double margin = INFINITY;
    for (size_t i = 0; i < polygon.size(); ++i) {
        const auto& a = polygon[i];
        const auto& b = polygon[(i + 1) % polygon.size()];
        const double ex = b[0] - a[0], ey = b[1] - a[1];
        const double side = (ex * (q[1] - a[1]) - ey * (q[0] - a[0])) / std::hypot(ex, ey);
        margin = std::min(margin, area > 0 ? side : -side);
    }
    return margin;
}

// A ray from either side of the plane through a random point near the polygon; the reference hit
// in the polygon's 2D coordinates, and t, from the ray as rounded to float.
struct Ray {
    Vec3 origin, direction;
    bool fromFront;
    std::array<double, 2> hit2;
    double t, point[3];
};

Ray RandomRay(std::mt19937& rng, const Frame& f) {
    std::uniform_real_distribution<double> u(-1, 1);
    const double a = 1.6 * u(rng), b = 1.6 * u(rng);
    const double height = 0.5 + 4 * (u(rng) + 1), side = u(rng) < 0 ? -1 : 1;
    const double k = std::exp(1.5 * u(rng));
    const double sa = u(rng), sb = u(rng);
    Ray r;
    double o[3], d[3];
    for (int i = 0; i < 3; ++i) {
        const double target = f.origin[i] + f.scale * (a * f.e1[i] + b * f.e2[i]);
        o[i] = static_cast<float>(target + f.scale * (side * height * f.n[i] + sa * f.e1[i] + sb * f.e2[i]));
        d[i] = static_cast<float>((target - o[i]) * k);
    }
    r.origin = Vec3{float(o[0]), float(o[1]), float(o[2])};
    r.direction = Vec3{float(d[0]), float(d[1]), float(d[2])};
    r.fromFront = side > 0;
    double num = 0, den = 0;
    for (int i = 0; i < 3; ++i) num += (f.origin[i] - o[i]) * f.n[i], den += d[i] * f.n[i];
    r.t = num / den;
    double local[2] = {0, 0};
    for (int i = 0; i < 3; ++i) {
        r.point[i] = o[i] + r.t * d[i];
        local[0] += (r.point[i] - f.origin[i]) * f.e1[i] / f.scale;
        local[1] += (r.point[i] - f.origin[i]) * f.e2[i] / f.scale;
    }
    r.hit2 = {local[0], local[1]};
    return r;
}

void ExpectPointAndT(const RayHit& hit, const Ray& r) {
    EXPECT_NEAR(hit.t, r.t, 1e-4 * r.t);
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR((&hit.x)[i], r.point[i], 1e-5 * (60 + std::fabs(r.t) * 100));
    }
}

// Bilinear coordinates of q in the quad q0 q1 q2 q3 by Newton's method.
std::array<double, 2> Bilinear(const std::vector<std::array<double, 2>>& q, const std::array<double, 2>& p) {
    double u = 0.5, v = 0.5;
    for (int iteration = 0; iteration < 30; ++iteration) {
        double f[2], du[2], dv[2];
        for (int i = 0; i < 2; ++i) {
            f[i] = (1 - u) * (1 - v) * q[0][i] + u * (1 - v) * q[1][i] + u * v * q[2][i] +
                   (1 - u) * v * q[3][i] - p[i];
            du[i] = (1 - v) * (q[1][i] - q[0][i]) + v * (q[2][i] - q[3][i]);
            dv[i] = (1 - u) * (q[3][i] - q[0][i]) + u * (q[2][i] - q[1][i]);
        }
        const double det = du[0] * dv[1] - du[1] * dv[0];
        u -= (f[0] * dv[1] - f[1] * dv[0]) / det;
        v -= (du[0] * f[1] - du[1] * f[0]) / det;
    }
    return {u, v};
}

TEST(RayIntersection, AgreesWithDoubleReferenceAwayFromEdges) {
    std::mt19937 rng(7);
    const Vec3 none{0, 0, 0};
    int hits = 0, compared = 0;
    for (int i = 0; i < 40000; ++i) {
        const Frame f = RandomFrame(rng);
        const Vec3 normal{float(f.n[0]), float(f.n[1]), float(f.n[2])};
        const bool quad = i % 2 == 0;
        const auto polygon = ConvexPolygon(rng, quad ? 4 : 3);
        const Ray r = RandomRay(rng, f);
        const double margin = InsideMargin(polygon, r.hit2);
        if (std::fabs(margin) < 1e-3) continue;
        ++compared;
        const bool inside = margin > 0;
        hits += inside;
        RayHit hit = Untouched;
        if (quad) {
            const Quad q(f.At(polygon[0][0], polygon[0][1]), f.At(polygon[1][0], polygon[1][1]),
                         f.At(polygon[2][0], polygon[2][1]), f.At(polygon[3][0], polygon[3][1]));
            ASSERT_EQ(IntersectQuad(q, r.origin, r.direction, none, false, hit), inside) << i;
            if (inside) {
                ExpectPointAndT(hit, r);
                const auto uv = Bilinear(polygon, r.hit2);
                EXPECT_NEAR(hit.u, uv[0], 1e-3) << i;
                EXPECT_NEAR(hit.v, uv[1], 1e-3) << i;
            }
            ASSERT_EQ(IntersectQuadProjected(q, r.origin, r.direction, normal, false, hit),
                      inside && r.fromFront);
            hit = Untouched;
            ASSERT_EQ(IntersectQuadProjected(q, r.origin, r.direction, normal, true, hit), inside) << i;
            if (inside) {
                ExpectPointAndT(hit, r);
                EXPECT_TRUE(hit.u >= 0 && hit.u <= 1 && hit.v >= 0 && hit.v <= 1) << hit.u << " " << hit.v;
            }
        } else {
            const Triangle tri(f.At(polygon[0][0], polygon[0][1]), f.At(polygon[1][0], polygon[1][1]),
                               f.At(polygon[2][0], polygon[2][1]));
            ASSERT_EQ(IntersectTriangleProjected(tri, r.origin, r.direction, normal, false, hit),
                      inside && r.fromFront);
            hit = Untouched;
            ASSERT_EQ(IntersectTriangleProjected(tri, r.origin, r.direction, normal, true, hit), inside) << i;
            if (inside) {
                ExpectPointAndT(hit, r);
                // u and v are the weights of p0 and p2 times one common (projected area) factor.
                const auto& p = polygon;
                const auto& q = r.hit2;
                const double area =
                    (p[1][0] - p[0][0]) * (p[2][1] - p[0][1]) - (p[1][1] - p[0][1]) * (p[2][0] - p[0][0]);
                const double w0 =
                    ((p[1][0] - q[0]) * (p[2][1] - q[1]) - (p[1][1] - q[1]) * (p[2][0] - q[0])) / area;
                const double w2 =
                    ((p[0][0] - q[0]) * (p[1][1] - q[1]) - (p[0][1] - q[1]) * (p[1][0] - q[0])) / area;
                EXPECT_NEAR(hit.u * w2, hit.v * w0, 1e-4 * (std::fabs(hit.u) + std::fabs(hit.v))) << i;
                EXPECT_GE(hit.u * hit.v, 0.0f);
            }
        }
    }
    EXPECT_GT(hits, compared / 10);
    EXPECT_LT(hits, compared / 2);

    // Parallelograms with whole-number corners: the projected u, v are exactly the clamped weights
    // of p0 and p2, while the bilinear test reports the coordinates along the edges.
    std::uniform_int_distribution<int> small(-5, 5), wide(-20, 20);
    std::uniform_real_distribution<double> ab(-0.2, 1.2);
    for (int i = 0; i < 5000; ++i) {
        const double p0[3] = {double(wide(rng)), double(wide(rng)), double(wide(rng))};
        const double e1[3] = {double(small(rng)), double(small(rng)), double(small(rng))};
        const double e2[3] = {double(small(rng)), double(small(rng)), double(small(rng))};
        const double n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                             e1[0] * e2[1] - e1[1] * e2[0]};
        if (n[0] == 0 && n[1] == 0 && n[2] == 0) continue;
        const double a = ab(rng), b = ab(rng);
        if (std::fabs(a) < 1e-3 || std::fabs(a - 1) < 1e-3 || std::fabs(b) < 1e-3 || std::fabs(b - 1) < 1e-3)
            continue;
        const auto at = [&](double s, double t) {
            return Vec3{float(p0[0] + s * e1[0] + t * e2[0]), float(p0[1] + s * e1[1] + t * e2[1]),
                        float(p0[2] + s * e1[2] + t * e2[2])};
        };
        const Quad q(at(0, 0), at(1, 0), at(1, 1), at(0, 1));
        const Vec3 target = at(a, b);
        const Vec3 origin{target.x + float(n[0]), target.y + float(n[1]), target.z + float(n[2])};
        const Vec3 direction{float(-n[0]), float(-n[1]), float(-n[2])};
        const Vec3 normal{float(n[0]), float(n[1]), float(n[2])};
        const bool inside = a > 0 && a < 1 && b > 0 && b < 1;
        RayHit hit = Untouched;
        ASSERT_EQ(IntersectQuadProjected(q, origin, direction, normal, false, hit), inside);
        if (inside) {
            EXPECT_NEAR(hit.u, 1 - a, 1e-4);
            EXPECT_NEAR(hit.v, b, 1e-4);
            EXPECT_NEAR(hit.t, 1, 1e-5);
        }
        ASSERT_EQ(IntersectQuad(q, origin, direction, normal, false, hit), inside);
        if (inside) {
            EXPECT_NEAR(hit.u, a, 1e-4);
            EXPECT_NEAR(hit.v, b, 1e-4);
        }
    }
}

}  // namespace
}  // namespace Quorvin
