// Frustum construction and the SSE box tests, four planes per register.
#include "core/geometry/Frustum.h"

#include <immintrin.h>

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "core/diagnostics/Ensure.h"

namespace Quorvin {
namespace {

// The address goes through a volatile so that no compiler folds the test away on the strength of
// the type's own alignment: the check exists for objects that were placed where they should not be.
bool IsAlignedTo(size_t address, size_t alignment) {
    const volatile size_t value = address;
    return (value & (alignment - 1)) == 0;
}
#define IS_ALIGNED(address, alignment) IsAlignedTo(address, alignment)

// Stores the plane whose inside is where a·x + b·y + c·z + d ≥ 0, normalised, pointing outwards.
Plane OutwardPlane(float a, float b, float c, float d) {
    const float lengthSquared = a * a + b * b + c * c;
    // Too short to normalise (also NaN): such a plane must never reject a box.
    if (!(lengthSquared > 0x1p-46f)) {
        return Plane{0.0f, 0.0f, 0.0f, 0.0f};
    }
    const float k = 1.0f / std::sqrt(lengthSquared);
    return Plane{-a * k, -b * k, -c * k, d * k};
}

// One box, each coordinate broadcast to all four lanes; the half-extent already made non-negative.
struct BroadcastBox {
    __m128 cx, cy, cz;
    __m128 ex, ey, ez;
};

QUORVIN_FORCEINLINE __m128 Abs(__m128 v) { return _mm_max_ps(_mm_sub_ps(_mm_setzero_ps(), v), v); }

QUORVIN_FORCEINLINE BroadcastBox Broadcast(__m128 cx, __m128 cy, __m128 cz, __m128 ex, __m128 ey,
                                           __m128 ez) {
    return BroadcastBox{cx, cy, cz, Abs(ex), Abs(ey), Abs(ez)};
}

QUORVIN_FORCEINLINE BroadcastBox Broadcast(const Vec3& center, const Vec3& halfExtent) {
    // One float at a time: a Vec3 may end a page, so no load may reach past its twelve bytes.
    return Broadcast(_mm_set1_ps(center.x), _mm_set1_ps(center.y), _mm_set1_ps(center.z),
                     _mm_set1_ps(halfExtent.x), _mm_set1_ps(halfExtent.y), _mm_set1_ps(halfExtent.z));
}

// Center distance d and projected radius r of the box for the four planes of one lane group.
struct GroupDistances {
    __m128 d;
    __m128 r;
};

QUORVIN_FORCEINLINE GroupDistances Measure(const float (&lanes)[4][4], const BroadcastBox& box) {
    const __m128 nx = _mm_load_ps(lanes[0]);
    const __m128 ny = _mm_load_ps(lanes[1]);
    const __m128 nz = _mm_load_ps(lanes[2]);
    const __m128 w = _mm_load_ps(lanes[3]);
    const __m128 d =
        _mm_sub_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(ny, box.cy), _mm_mul_ps(nx, box.cx)), _mm_mul_ps(nz, box.cz)), w);
    const __m128 r = _mm_add_ps(_mm_add_ps(_mm_mul_ps(Abs(ny), box.ey), _mm_mul_ps(Abs(nx), box.ex)),
                                _mm_mul_ps(Abs(nz), box.ez));
    return GroupDistances{d, r};
}

QUORVIN_FORCEINLINE bool AnyOutside(const GroupDistances& g) { return _mm_movemask_ps(_mm_cmplt_ps(g.r, g.d)) != 0; }

QUORVIN_FORCEINLINE bool AnyAcross(const GroupDistances& g) {
    return _mm_movemask_ps(_mm_cmplt_ps(_mm_sub_ps(_mm_setzero_ps(), g.r), g.d)) != 0;
}

QUORVIN_FORCEINLINE int32_t Visible(const Frustum& frustum, const BroadcastBox& box) {
    // Both groups are measured before either is tested: one branch instead of two.
    const GroupDistances a = Measure(frustum.lanesA, box);
    const GroupDistances b = Measure(frustum.lanesB, box);
    const __m128 outside = _mm_or_ps(_mm_cmplt_ps(a.r, a.d), _mm_cmplt_ps(b.r, b.d));
    return _mm_movemask_ps(outside) == 0 ? 1 : 0;
}

}  // namespace

Frustum::Frustum() {
    QUORVIN_ENSURE(IS_ALIGNED(size_t(this), 16));
    for (Plane& plane : planes) {
        plane = Plane{0.0f, 0.0f, 0.0f, 0.0f};
    }
    UpdateLanes();
}

Frustum::Frustum(std::span<const float, 16> m) {
    QUORVIN_ENSURE(IS_ALIGNED(size_t(this), 16));
    planes[0] = OutwardPlane(m[2], m[6], m[10], m[14]);                                   // near: z ≥ 0
    planes[1] = OutwardPlane(m[0] + m[3], m[4] + m[7], m[8] + m[11], m[12] + m[15]);      // left: x ≥ −w
    planes[2] = OutwardPlane(m[3] - m[0], m[7] - m[4], m[11] - m[8], m[15] - m[12]);      // right: x ≤ w
    planes[3] = OutwardPlane(m[3] - m[1], m[7] - m[5], m[11] - m[9], m[15] - m[13]);      // top: y ≤ w
    planes[4] = OutwardPlane(m[1] + m[3], m[5] + m[7], m[9] + m[11], m[13] + m[15]);      // bottom: y ≥ −w
    planes[5] = OutwardPlane(m[3] - m[2], m[7] - m[6], m[11] - m[10], m[15] - m[14]);     // far: z ≤ w
    UpdateLanes();
}

void Frustum::UpdateLanes() {
    constexpr int groupB[4] = {4, 5, 4, 4};
    for (int lane = 0; lane < 4; ++lane) {
        const Plane& a = planes[lane];
        const Plane& b = planes[groupB[lane]];
        lanesA[0][lane] = a.nx;
        lanesA[1][lane] = a.ny;
        lanesA[2][lane] = a.nz;
        lanesA[3][lane] = a.w;
        lanesB[0][lane] = b.nx;
        lanesB[1][lane] = b.ny;
        lanesB[2][lane] = b.nz;
        lanesB[3][lane] = b.w;
    }
}

void Frustum::Classify(const Vec3& center, const Vec3& halfExtent, BoxClass& result) const {
    const BroadcastBox box = Broadcast(center, halfExtent);
    uint8_t bits = static_cast<uint8_t>(BoxClass::Inside);
    for (const auto* lanes : {&lanesA, &lanesB}) {
        const GroupDistances group = Measure(*lanes, box);
        if (AnyOutside(group)) {
            result = BoxClass::Outside;
            return;
        }
        if (AnyAcross(group)) {
            bits |= 0x10;
        }
    }
    result = static_cast<BoxClass>(bits);
}

int32_t Frustum::IsVisible(const Vec3& center, const Vec3& halfExtent) const {
    return Visible(*this, Broadcast(center, halfExtent));
}

int32_t Frustum::IsVisibleA(const Vec3A& center, const Vec3A& halfExtent) const {
    const __m128 c = _mm_load_ps(&center.x);
    const __m128 e = _mm_load_ps(&halfExtent.x);
    return Visible(*this, Broadcast(_mm_shuffle_ps(c, c, 0x00), _mm_shuffle_ps(c, c, 0x55), _mm_shuffle_ps(c, c, 0xAA),
                                    _mm_shuffle_ps(e, e, 0x00), _mm_shuffle_ps(e, e, 0x55), _mm_shuffle_ps(e, e, 0xAA)));
}

int32_t Frustum::IsVisibleMinMax(const MinMaxBox& box) const {
    const Vec3 center{(box.max.x + box.min.x) * 0.5f, (box.max.y + box.min.y) * 0.5f, (box.max.z + box.min.z) * 0.5f};
    const Vec3 halfExtent{(box.max.x - box.min.x) * 0.5f, (box.max.y - box.min.y) * 0.5f,
                          (box.max.z - box.min.z) * 0.5f};
    return IsVisible(center, halfExtent);
}

}  // namespace Quorvin
