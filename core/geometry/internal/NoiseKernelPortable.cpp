// The portable noise kernel: the definition itself (NoisePortable.h), for builds without SSE2 and
// as the twin that the other kernels are tested against.
#include "core/geometry/internal/NoiseKernel.h"
#include "core/geometry/internal/NoisePortable.h"

namespace Quorvin::GeometryPrivate {
namespace {

constexpr NoiseKernel Kernel = {
    "portable",
    [](float x, float y) {
        return GradientNoiseAt<PermutationHash, 2>({x, y});
    },
    [](const Vec3& p) {
        return GradientNoiseAt<PermutationHash, 3>({p.x, p.y, p.z});
    },
    [](const Vec3& p, float w) {
        return GradientNoiseAt<PermutationHash, 4>({p.x, p.y, p.z, w});
    },
    [](float x, float y) {
        return SimplexNoiseAt<PermutationHash, 2>({x, y});
    },
    [](const Vec3& p) {
        return SimplexNoiseAt<PermutationHash, 3>({p.x, p.y, p.z});
    },
    [](const Vec3& p, float w) {
        return SimplexNoiseAt<PermutationHash, 4>({p.x, p.y, p.z, w});
    },
    [](float x, float y) {
        return GradientNoiseAt<LaneHash, 2>({x, y});
    },
    [](const Vec3& p) {
        return GradientNoiseAt<LaneHash, 3>({p.x, p.y, p.z});
    },
    [](const Vec3& p, float w) {
        return GradientNoiseAt<LaneHash, 4>({p.x, p.y, p.z, w});
    },
    [](float x, float y) {
        return SimplexNoiseAt<LaneHash, 2>({x, y});
    },
    [](const Vec3& p) {
        return SimplexNoiseAt<LaneHash, 3>({p.x, p.y, p.z});
    },
    [](const Vec3& p, float w) {
        return SimplexNoiseAt<LaneHash, 4>({p.x, p.y, p.z, w});
    },
};

}  // namespace

constinit const NoiseKernel* const PortableNoiseKernel = &Kernel;

}  // namespace Quorvin::GeometryPrivate
