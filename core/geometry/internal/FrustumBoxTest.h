// The SSE box test behind the Frustum queries, inline so that a caller's loop over many boxes keeps
// the lanes and their absolute values in registers. Included by Frustum.h only.
#pragma once

#include <immintrin.h>

#include "core/base/Compiler.h"

namespace Quorvin::GeometryPrivate {

// Clearing the sign bit gives the same comparisons as max(0 − v, v) (the two differ at most in the
// sign of a zero), in one instruction.
QUORVIN_FORCEINLINE __m128 Abs(__m128 v) { return _mm_andnot_ps(_mm_set1_ps(-0.0f), v); }

// One box: each coordinate broadcast to the four lanes, the half-extent made non-negative.
struct Box {
    __m128 cx, cy, cz;
    __m128 ex, ey, ez;
};

QUORVIN_FORCEINLINE Box Broadcast(const Vec3& center, const Vec3& halfExtent) {
    // One float at a time: a Vec3 may end a page, so no load may reach past its twelve bytes.
    return Box{_mm_set1_ps(center.x),          _mm_set1_ps(center.y),
               _mm_set1_ps(center.z),          Abs(_mm_set1_ps(halfExtent.x)),
               Abs(_mm_set1_ps(halfExtent.y)), Abs(_mm_set1_ps(halfExtent.z))};
}

QUORVIN_FORCEINLINE Box Broadcast(const Vec3A& center, const Vec3A& halfExtent) {
    const __m128 c = _mm_load_ps(&center.x);
    const __m128 e = Abs(_mm_load_ps(&halfExtent.x));
    return Box{_mm_shuffle_ps(c, c, 0x00), _mm_shuffle_ps(c, c, 0x55), _mm_shuffle_ps(c, c, 0xAA),
               _mm_shuffle_ps(e, e, 0x00), _mm_shuffle_ps(e, e, 0x55), _mm_shuffle_ps(e, e, 0xAA)};
}

// For the four planes of one lane group: d, the signed distance of the center, summed as
// (ny·cy + nx·cx) + nz·cz − w; and r, the box's reach along the normal, (|ny|·ey + |nx|·ex) + |nz|·ez.
// The box is wholly outside a plane when r < d, and reaches across it when −r < d.
struct Reach {
    __m128 d;
    __m128 r;
};

QUORVIN_FORCEINLINE Reach Measure(const float (&lanes)[4][4], const Box& b) {
    const __m128 nx = _mm_load_ps(lanes[0]);
    const __m128 ny = _mm_load_ps(lanes[1]);
    const __m128 nz = _mm_load_ps(lanes[2]);
    const __m128 w = _mm_load_ps(lanes[3]);
    const __m128 d = _mm_sub_ps(
        _mm_add_ps(_mm_add_ps(_mm_mul_ps(ny, b.cy), _mm_mul_ps(nx, b.cx)), _mm_mul_ps(nz, b.cz)), w);
    const __m128 r = _mm_add_ps(_mm_add_ps(_mm_mul_ps(Abs(ny), b.ey), _mm_mul_ps(Abs(nx), b.ex)),
                                _mm_mul_ps(Abs(nz), b.ez));
    return Reach{d, r};
}

QUORVIN_FORCEINLINE __m128 Outside(const Reach& g) { return _mm_cmplt_ps(g.r, g.d); }
QUORVIN_FORCEINLINE __m128 Across(const Reach& g) {
    return _mm_cmplt_ps(_mm_sub_ps(_mm_setzero_ps(), g.r), g.d);
}

// Both groups are measured before anything is decided: the answer comes from the masks without a
// branch, which matters when boxes fall on either side at random.
QUORVIN_FORCEINLINE int32_t Visible(const Frustum& f, const Box& b) {
    const Reach a = Measure(f.lanesA, b);
    const Reach c = Measure(f.lanesB, b);
    return _mm_movemask_ps(_mm_or_ps(Outside(a), Outside(c))) == 0 ? 1 : 0;
}

QUORVIN_FORCEINLINE BoxClass Classify(const Frustum& f, const Box& b) {
    const Reach a = Measure(f.lanesA, b);
    const Reach c = Measure(f.lanesB, b);
    const int outside = _mm_movemask_ps(_mm_or_ps(Outside(a), Outside(c))) != 0 ? 1 : 0;
    const int across = _mm_movemask_ps(_mm_or_ps(Across(a), Across(c))) != 0 ? 1 : 0;
    // Outside: 0x10 whatever else; else bit 0, with bit 4 when some plane is crossed.
    return static_cast<BoxClass>((1 - outside) | ((outside | across) << 4));
}

}  // namespace Quorvin::GeometryPrivate

namespace Quorvin {

inline void Frustum::Classify(const Vec3& center, const Vec3& halfExtent, BoxClass& result) const {
    result = GeometryPrivate::Classify(*this, GeometryPrivate::Broadcast(center, halfExtent));
}

inline int32_t Frustum::IsVisible(const Vec3& center, const Vec3& halfExtent) const {
    return GeometryPrivate::Visible(*this, GeometryPrivate::Broadcast(center, halfExtent));
}

inline int32_t Frustum::IsVisibleA(const Vec3A& center, const Vec3A& halfExtent) const {
    return GeometryPrivate::Visible(*this, GeometryPrivate::Broadcast(center, halfExtent));
}

inline int32_t Frustum::IsVisibleMinMax(const MinMaxBox& box) const {
    const Vec3 center{(box.max.x + box.min.x) * 0.5f, (box.max.y + box.min.y) * 0.5f,
                      (box.max.z + box.min.z) * 0.5f};
    const Vec3 halfExtent{(box.max.x - box.min.x) * 0.5f, (box.max.y - box.min.y) * 0.5f,
                          (box.max.z - box.min.z) * 0.5f};
    return IsVisible(center, halfExtent);
}

}  // namespace Quorvin
