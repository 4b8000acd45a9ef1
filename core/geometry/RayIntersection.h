// Ray tests against quadrilaterals and triangles that report the hit point, the ray parameter and
// surface coordinates, for picking and traces.
//
// The three tests share one signature, so a caller can swap one for another: the shape, the ray
// origin and direction (any length, not normalised), the shape's plane normal and a two-sided
// flag, and the RayHit to fill. They answer true on a hit and only then write the RayHit; on a
// miss it is left untouched. The ray parameter t counts in units of the direction's length.
//
// Which test to use:
//  - IntersectQuad solves the ray against the bilinear patch spanned by the corners directly and
//    reports proper bilinear coordinates: u runs along p0→p1, v along p0→p3. It computes its own
//    normal and ignores the one passed, and it hits from both sides. A ray that starts on the quad
//    (t = 0) hits.
//  - IntersectQuadProjected and IntersectTriangleProjected meet the ray with the given plane,
//    then decide containment in 2D on the two axes where the normal is smallest. They honour the
//    two-sided flag and need t > 0: a ray that starts on the shape misses.
//
// IntersectQuadProjected's u and v are NOT those of IntersectQuad for the same hit: they start from
// the weights of p0 and p2 in the triangle (p0, p1, p2) and go through the bilinear inversion with
// the matching weights of p3, as existing callers expect. For the unit square and the point
// (0.25, 0.75), IntersectQuad reports u = 0.25, v = 0.75 and IntersectQuadProjected u = v = 0.75.
// They are clamped to [0, 1] (NaN, from a degenerate quad, becomes 0).
// IntersectTriangleProjected's u and v are the weights of p0 and p2 left unnormalised: each is
// multiplied by twice the triangle's signed area on the two axes the test kept.

// Quads are expected to be planar and convex, corners in order around the edge. Degenerate shapes
// (zero area, a zero normal, a ray parallel to the plane) miss; NaN anywhere misses.
//
// Thread-safety: pure functions of their arguments. Nothing allocates or throws.
#pragma once

#include "core/geometry/Vec3.h"

namespace Quorvin {

/// A quadrilateral: corners p0, p1, p2, p3 in order around it.
struct Quad {
    Quad() = default;
    /// The corners in order.
    Quad(const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& p3) : p0(p0), p1(p1), p2(p2), p3(p3) {}
    Vec3 p0;  ///< first corner
    Vec3 p1;  ///< second corner
    Vec3 p2;  ///< third corner, opposite p0
    Vec3 p3;  ///< fourth corner
};

/// A triangle: corners p0, p1, p2.
struct Triangle {
    Triangle() = default;
    /// The corners in order.
    Triangle(const Vec3& p0, const Vec3& p1, const Vec3& p2) : p0(p0), p1(p1), p2(p2) {}
    Vec3 p0;  ///< first corner
    Vec3 p1;  ///< second corner
    Vec3 p2;  ///< third corner
};

/// Where a ray met a shape: the point, the ray parameter t (point = origin + t·direction), and
/// the surface coordinates u, v whose meaning each test states.
struct RayHit {
    float x;  ///< the point, x
    float y;  ///< the point, y
    float z;  ///< the point, z
    float t;  ///< the ray parameter
    float u;  ///< first surface coordinate
    float v;  ///< second surface coordinate
};

/// Ray against the bilinear quad (Lagae and Dutré): hits for t ≥ 0 from either side. `normal`
/// and `twoSided` are accepted for the common signature and ignored. u, v are the bilinear
/// coordinates (point = (1−u)(1−v)·p0 + u(1−v)·p1 + uv·p2 + (1−u)v·p3), not clamped.
bool IntersectQuad(const Quad& quad, const Vec3& origin, const Vec3& direction, const Vec3& normal,
                   bool twoSided, RayHit& hit);

/// Ray against the quad's plane, given by `normal` (any length), then a projected containment test
/// over the triangles (p0, p1, p2) and (p0, p2, p3). Hits only for t > 0; unless `twoSided`, only
/// when the ray meets the front (direction · normal < 0). u, v as described above, in [0, 1].
bool IntersectQuadProjected(const Quad& quad, const Vec3& origin, const Vec3& direction, const Vec3& normal,
                            bool twoSided, RayHit& hit);

/// Ray against the triangle's plane, given by `normal`, then a projected containment test. Hits
/// only for t > 0; unless `twoSided`, only from the front. u, v are the unnormalised weights of
/// p0 and p2.
bool IntersectTriangleProjected(const Triangle& triangle, const Vec3& origin, const Vec3& direction,
                                const Vec3& normal, bool twoSided, RayHit& hit);

}  // namespace Quorvin
