// A six-plane view frustum laid out for SSE, and box classification and visibility against it.
//
// The planes are kept twice: as written (`planes`) and transposed into two groups of four lanes
// (`lanesA`, `lanesB`) so that one SSE register holds the same component of four planes and a box
// is tested against four planes per instruction. Every query reads only the lanes; whoever writes
// `planes` by hand calls UpdateLanes afterwards.
//
// A box is given by its center and half-extent (each half-extent component is taken by its
// absolute value) or by its min and max corners. It is outside when, for one plane, it lies wholly
// on the outer side: with d the signed distance of its center and r its projected radius,
// r < d. A box that only touches a plane (r == d) is not outside. This is the usual conservative
// test: a box near a frustum corner can be reported visible though it misses the frustum.
//
// Failure: a Frustum must sit on a 16-byte boundary, which the type's alignment gives every
// ordinary declaration, `new` and standard container; constructing one anywhere else fails the
// fatal ensure check "IS_ALIGNED(size_t(this), 16)". A box with a NaN coordinate is never
// outside (it is reported visible). Nothing allocates or throws.
//
// Thread-safety: the queries are const and may run on many threads at once; writing the planes or
// calling UpdateLanes must not overlap with them.
#pragma once

#include <cstdint>
#include <span>

#include "core/geometry/Vec3.h"

namespace Quorvin {

/// A plane (nx, ny, nz, w). A point p lies outside it when nx·px + ny·py + nz·pz − w > 0: the
/// normal points out of the frustum. A plane of four zeros rejects nothing.
struct Plane {
    float nx;  ///< normal, x
    float ny;  ///< normal, y
    float nz;  ///< normal, z
    float w;   ///< distance along the normal
};

/// Where a box lies against a frustum. Bit 0: at least partly inside; bit 4: not entirely inside.
enum class BoxClass : uint8_t {
    Inside = 0x01,
    Intersecting = 0x11,
    Outside = 0x10,
};

/// An axis-aligned box given by its smallest and largest corners.
struct MinMaxBox {
    Vec3 min;  ///< the smallest x, y and z
    Vec3 max;  ///< the largest x, y and z
};

/// A view frustum of six planes with the two lane groups that the box tests read.
class alignas(16) Frustum {
public:
    /// A frustum of six zero planes, which rejects nothing: set `planes` and call UpdateLanes.
    /// Fails the fatal ensure check "IS_ALIGNED(size_t(this), 16)" when misplaced.
    Frustum();

    /// The frustum of a view-projection matrix: 16 floats row by row, points as row vectors
    /// (clip = (x, y, z, 1)·M), clip-space depth from 0 to w. The planes come out normalised, in
    /// the order near, left, right, top, bottom, far; a plane whose normal has a squared length
    /// of at most 2^-46 (a degenerate matrix) is stored as four zeros and rejects nothing.
    /// Fails the fatal ensure check "IS_ALIGNED(size_t(this), 16)" when misplaced.
    explicit Frustum(std::span<const float, 16> viewProjection);

    /// Refills `lanesA` from planes 0 to 3 and `lanesB` from planes 4, 5, 4, 4 (the repeated
    /// plane cannot change a result). Call it after writing `planes`.
    void UpdateLanes();

    /// Classifies the box with this center and half-extent: Outside when it lies wholly beyond a
    /// plane, else Intersecting when it reaches across a plane, else Inside.
    void Classify(const Vec3& center, const Vec3& halfExtent, BoxClass& result) const;

    /// 1 when the box with this center and half-extent is not outside, else 0.
    int32_t IsVisible(const Vec3& center, const Vec3& halfExtent) const;

    /// IsVisible for aligned points: reads x, y and z of each with one aligned load.
    int32_t IsVisibleA(const Vec3A& center, const Vec3A& halfExtent) const;

    /// IsVisible for the box between `box.min` and `box.max` (center and half-extent computed
    /// per component as (max + min)·0.5 and (max − min)·0.5).
    int32_t IsVisibleMinMax(const MinMaxBox& box) const;

    /// Near, left, right, top, bottom, far when built from a matrix.
    Plane planes[6];
    /// Planes 0 to 3 transposed: rows of all nx, all ny, all nz, all w.
    alignas(16) float lanesA[4][4];
    /// Planes 4, 5, 4, 4 transposed the same way.
    alignas(16) float lanesB[4][4];
};

static_assert(sizeof(Frustum) == 224 && alignof(Frustum) == 16);

}  // namespace Quorvin

#include "core/geometry/internal/FrustumBoxTest.h"
