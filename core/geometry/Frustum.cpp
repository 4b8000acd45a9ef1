// Frustum construction: the planes of a view-projection matrix and their transposed lanes.
#include "core/geometry/Frustum.h"

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
    planes[0] = OutwardPlane(m[2], m[6], m[10], m[14]);                                // near: z ≥ 0
    planes[1] = OutwardPlane(m[0] + m[3], m[4] + m[7], m[8] + m[11], m[12] + m[15]);   // left: x ≥ −w
    planes[2] = OutwardPlane(m[3] - m[0], m[7] - m[4], m[11] - m[8], m[15] - m[12]);   // right: x ≤ w
    planes[3] = OutwardPlane(m[3] - m[1], m[7] - m[5], m[11] - m[9], m[15] - m[13]);   // top: y ≤ w
    planes[4] = OutwardPlane(m[1] + m[3], m[5] + m[7], m[9] + m[11], m[13] + m[15]);   // bottom: y ≥ −w
    planes[5] = OutwardPlane(m[3] - m[2], m[7] - m[6], m[11] - m[10], m[15] - m[14]);  // far: z ≤ w
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

}  // namespace Quorvin
