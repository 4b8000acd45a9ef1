// Ray against quadrilateral and triangle: the bilinear-patch test and the two projected tests.
#include "core/geometry/RayIntersection.h"

#include <cfloat>
#include <cmath>

#include "core/diagnostics/Ensure.h"

namespace Quorvin {
namespace {

constexpr float Epsilon = 1e-5f;

Vec3 Sub(const Vec3& a, const Vec3& b) { return Vec3{a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 Cross(const Vec3& a, const Vec3& b) {
    return Vec3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// Bilinear coordinates of a point from its weights (alpha, beta) and those of the fourth corner
// (alpha11, beta11). `nearOne` decides when a fourth-corner weight counts as 1, which makes the
// quad a parallelogram along that axis and the inversion linear.
template <class NearOne>
void BilinearCoordinates(float alpha, float beta, float alpha11, float beta11, NearOne nearOne, float& u,
                         float& v) {
    if (nearOne(alpha11)) {
        u = alpha;
        v = nearOne(beta11) ? beta : beta / (u * (beta11 - 1.0f) + 1.0f);
    } else if (nearOne(beta11)) {
        v = beta;
        u = alpha / (v * (alpha11 - 1.0f) + 1.0f);
    } else {
        const float a = 1.0f - beta11;
        const float b = alpha * (beta11 - 1.0f) - beta * (alpha11 - 1.0f) - 1.0f;
        const float c = alpha;
        // Exactly, the discriminant of a hit inside a convex quad is never negative; rounding can
        // make it so, and its square root must not turn the coordinates into NaN.
        const float discriminant = std::fmax(b * b - 4.0f * a * c, 0.0f);
        const float s = b < 0.0f ? -1.0f : 1.0f;
        // The root taken without cancellation; the other one is c / q.
        const float q = -0.5f * (b + s * std::sqrt(discriminant));
        u = q / a;
        if (u < 0.0f || u > 1.0f) {
            u = c / q;
        }
        v = beta / (u * (beta11 - 1.0f) + 1.0f);
    }
}

// NaN goes to 0 with the negatives, so a degenerate quad still reports coordinates in [0, 1].
float Clamp01(float value) { return value > 0.0f ? (value > 1.0f ? 1.0f : value) : 0.0f; }

// The shape's plane met by the ray, and the two axes that the containment test keeps.
struct ProjectedHit {
    Vec3 point;
    float t;
    int a;  // kept axes, in x, y, z order
    int b;
};

bool MeetPlane(const Vec3& p0, const Vec3& origin, const Vec3& direction, const Vec3& n, bool twoSided,
               ProjectedHit& hit) {
    // The + 0 turns −0 into +0; it is kept so the sum rounds as it always has.
    const float denom = ((n.x * direction.x + 0.0f) + n.y * direction.y) + n.z * direction.z;
    if (denom == 0.0f || (!twoSided && denom > 0.0f)) {
        return false;
    }
    const float t = -(Dot(n, origin) - Dot(n, p0)) / denom;
    if (!(t > 0.0f)) {  // also NaN
        return false;
    }
    hit.point = Vec3{origin.x + t * direction.x, origin.y + t * direction.y, origin.z + t * direction.z};
    hit.t = t;

    // Drop the axis along which the normal is largest; ties keep the later axis.
    const float ax = std::fabs(n.x);
    const float ay = std::fabs(n.y);
    const float az = std::fabs(n.z);
    const float largerOfXY = ay > ax ? ay : ax;
    const int dropped = az > largerOfXY ? 2 : (ay > ax ? 1 : 0);
    switch (dropped) {
    case 0:
        hit.a = 1;
        hit.b = 2;
        break;
    case 1:
        hit.a = 0;
        hit.b = 2;
        break;
    case 2:
        hit.a = 0;
        hit.b = 1;
        break;
    default: EnsurePrivate::FailFatal(0, "Unexpected");
    }
    return true;
}

float Axis(const Vec3& v, int axis) { return axis == 0 ? v.x : (axis == 1 ? v.y : v.z); }

// Twice the signed area spanned by s and q on the kept axes. The differences are single precision;
// the products and their difference are taken in double, then rounded once.
float Cross2(const Vec3& s, const Vec3& q, int a, int b) {
    const double sa = Axis(s, a), sb = Axis(s, b), qa = Axis(q, a), qb = Axis(q, b);
    return static_cast<float>(sa * qb - sb * qa);
}

bool IsFinite(const Vec3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

// A shape whose projected area is zero (its corners collapsed onto a line or a point) or not finite
// has no inside: without this, a triangle collapsed onto a line contains every point of that line's
// projection that the weights' signs cannot tell apart.
bool HasArea(float twiceArea) { return std::fabs(twiceArea) > 0.0f && std::fabs(twiceArea) <= FLT_MAX; }

// Whether P lies in triangle (p0, p1, p2), from wA (edge p1 p2) and wB (edge p0 p1) against the
// triangle's own area; the sign of the area gives the winding.
bool InTriangle(float area, float wA, float wB) {
    if (area > 0.0f) {
        return wA >= 0.0f && wB >= 0.0f && wA + wB <= area;
    }
    return wA <= 0.0f && wB <= 0.0f && area <= wA + wB;
}

}  // namespace

bool IntersectQuad(const Quad& quad, const Vec3& origin, const Vec3& direction, const Vec3& /*normal*/,
                   bool /*twoSided*/, RayHit& hit) {
    const Vec3 e01 = Sub(quad.p1, quad.p0);
    const Vec3 e03 = Sub(quad.p3, quad.p0);
    const Vec3 p = Cross(direction, e03);
    const float det = Dot(e01, p);
    if (!(std::fabs(det) >= Epsilon)) {
        return false;
    }
    const Vec3 t0 = Sub(origin, quad.p0);
    const float alpha = Dot(t0, p) / det;
    if (!(alpha >= 0.0f)) {
        return false;
    }
    const Vec3 q = Cross(t0, e01);
    const float beta = Dot(direction, q) / det;
    if (!(beta >= 0.0f)) {
        return false;
    }

    if (alpha + beta > 1.0f) {
        // Beyond the diagonal p1 p3: the point must also lie in the triangle (p2, p3, p1).
        const Vec3 e23 = Sub(quad.p3, quad.p2);
        const Vec3 e21 = Sub(quad.p1, quad.p2);
        const Vec3 p2 = Cross(direction, e21);
        const float det2 = Dot(e23, p2);
        if (!(std::fabs(det2) >= Epsilon)) {
            return false;
        }
        const Vec3 t2 = Sub(origin, quad.p2);
        const float alpha2 = Dot(t2, p2) / det2;
        if (!(alpha2 >= 0.0f)) {
            return false;
        }
        const float beta2 = Dot(direction, Cross(t2, e23)) / det2;
        if (!(beta2 >= 0.0f)) {
            return false;
        }
    }

    const float t = Dot(e03, q) / det;
    if (!(t >= 0.0f)) {
        return false;
    }

    // Weights of p2 relative to p0, p1, p3, solved on the axis where the normal is largest.
    const Vec3 e02 = Sub(quad.p2, quad.p0);
    const Vec3 n = Cross(e01, e03);
    const float nx = std::fabs(n.x), ny = std::fabs(n.y), nz = std::fabs(n.z);
    float alpha11;
    float beta11;
    if (nx >= ny && nx >= nz) {
        alpha11 = (e02.y * e03.z - e02.z * e03.y) / n.x;
        beta11 = (e01.y * e02.z - e01.z * e02.y) / n.x;
    } else if (ny >= nx && ny >= nz) {
        alpha11 = (e02.z * e03.x - e02.x * e03.z) / n.y;
        beta11 = (e01.z * e02.x - e01.x * e02.z) / n.y;
    } else {
        alpha11 = (e02.x * e03.y - e02.y * e03.x) / n.z;
        beta11 = (e01.x * e02.y - e01.y * e02.x) / n.z;
    }

    float u;
    float v;
    BilinearCoordinates(
        alpha, beta, alpha11, beta11, [](float w) { return std::fabs(w - 1.0f) < Epsilon; }, u, v);
    hit = RayHit{origin.x + t * direction.x, origin.y + t * direction.y, origin.z + t * direction.z, t, u, v};
    return true;
}

bool IntersectQuadProjected(const Quad& quad, const Vec3& origin, const Vec3& direction, const Vec3& normal,
                            bool twoSided, RayHit& hit) {
    ProjectedHit meet;
    if (!IsFinite(quad.p0) || !IsFinite(quad.p1) || !IsFinite(quad.p2) || !IsFinite(quad.p3) ||
        !MeetPlane(quad.p0, origin, direction, normal, twoSided, meet)) {
        return false;
    }
    const Vec3& P = meet.point;
    const int a = meet.a, b = meet.b;

    const float area1 = Cross2(Sub(quad.p0, quad.p2), Sub(quad.p1, quad.p2), a, b);
    const float area2 = Cross2(Sub(quad.p2, quad.p0), Sub(quad.p3, quad.p0), a, b);
    // A quad with area in one half only (a corner on the diagonal) is still tested as before.
    if (!HasArea(std::fabs(area1) + std::fabs(area2))) {
        return false;
    }
    const float wA = Cross2(Sub(quad.p1, P), Sub(quad.p2, P), a, b);
    const float wB = Cross2(Sub(quad.p0, P), Sub(quad.p1, P), a, b);
    // Outside the edges p0 p1 or p1 p2 means outside the whole quad.
    if (area1 > 0.0f ? (wA < 0.0f || wB < 0.0f) : (wA > 0.0f || wB > 0.0f)) {
        return false;
    }
    if (!InTriangle(area1, wA, wB)) {
        const float wC = Cross2(Sub(quad.p2, P), Sub(quad.p3, P), a, b);
        const float wD = Cross2(Sub(quad.p0, P), Sub(quad.p2, P), a, b);
        if (!InTriangle(area2, wC, wD)) {
            return false;
        }
    }

    const float alpha = wA / area1;
    const float beta = wB / area1;
    const float alpha11 = Cross2(Sub(quad.p1, quad.p3), Sub(quad.p2, quad.p3), a, b) / area1;
    const float beta11 = Cross2(Sub(quad.p0, quad.p3), Sub(quad.p1, quad.p3), a, b) / area1;

    float u;
    float v;
    // A fourth-corner weight near −1 counts as one near 1 here, as callers of this test expect.
    BilinearCoordinates(
        alpha, beta, alpha11, beta11, [](float w) { return std::fabs(std::fabs(w) - 1.0f) < Epsilon; }, u, v);
    hit = RayHit{P.x, P.y, P.z, meet.t, Clamp01(u), Clamp01(v)};
    return true;
}

bool IntersectTriangleProjected(const Triangle& triangle, const Vec3& origin, const Vec3& direction,
                                const Vec3& normal, bool twoSided, RayHit& hit) {
    ProjectedHit meet;
    if (!IsFinite(triangle.p0) || !IsFinite(triangle.p1) || !IsFinite(triangle.p2) ||
        !MeetPlane(triangle.p0, origin, direction, normal, twoSided, meet)) {
        return false;
    }
    const Vec3& P = meet.point;
    const int a = meet.a, b = meet.b;
    const float area = Cross2(Sub(triangle.p0, triangle.p2), Sub(triangle.p1, triangle.p2), a, b);
    if (!HasArea(area)) {
        return false;
    }
    const float wA = Cross2(Sub(triangle.p1, P), Sub(triangle.p2, P), a, b);
    const float wB = Cross2(Sub(triangle.p0, P), Sub(triangle.p1, P), a, b);
    if (!InTriangle(area, wA, wB)) {
        return false;
    }
    hit = RayHit{P.x, P.y, P.z, meet.t, wA, wB};
    return true;
}

}  // namespace Quorvin
