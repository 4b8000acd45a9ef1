// The small vector types that the geometry tests and the noise functions take and return.
#pragma once

namespace Quorvin {

/// Three consecutive floats x, y, z; no alignment beyond a float's. Plain data: copy freely.
struct Vec3 {
    float x;  ///< first coordinate
    float y;  ///< second coordinate
    float z;  ///< third coordinate
};

/// Four floats on a 16-byte boundary, so one aligned load fetches the point; only x, y and z
/// are read, `w` is padding whose value never matters.
struct alignas(16) Vec3A {
    float x;  ///< first coordinate
    float y;  ///< second coordinate
    float z;  ///< third coordinate
    float w;  ///< padding, never read
};

static_assert(sizeof(Vec3) == 12 && sizeof(Vec3A) == 16);

}  // namespace Quorvin
