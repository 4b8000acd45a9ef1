// Gradient and simplex noise: the public functions. One dimension is computed here; two to four
// dimensions go to the kernel chosen for the machine (internal/NoiseKernel.h), whose results equal
// the portable definition's bit for bit.
#include "core/geometry/Noise.h"

#include "core/geometry/internal/NoiseKernel.h"
#include "core/geometry/internal/NoisePortable.h"

namespace Quorvin {

using namespace GeometryPrivate;

namespace {
// Acquire pairs with the release that publishes the choice (a plain load on x86).
const NoiseKernel& Kernel() { return *NoiseKernels.InUse(); }
}  // namespace

float GradientNoise(float x) { return GradientNoiseAt<PermutationHash, 1>({x}); }
float GradientNoise(float x, float y) { return Kernel().gradient2(x, y); }
float GradientNoise(const Vec3& p) { return Kernel().gradient3(p); }
float GradientNoise(const Vec3& p, float w) { return Kernel().gradient4(p, w); }

float SimplexNoise(float x) { return SimplexNoiseAt<PermutationHash, 1>({x}); }
float SimplexNoise(float x, float y) { return Kernel().simplex2(x, y); }
float SimplexNoise(const Vec3& p) { return Kernel().simplex3(p); }
float SimplexNoise(const Vec3& p, float w) { return Kernel().simplex4(p, w); }

Vec3 GradientNoiseVector(float x) { return GradientNoiseAt<LaneHash, 1>({x}); }
Vec3 GradientNoiseVector(float x, float y) { return Kernel().gradientVector2(x, y); }
Vec3 GradientNoiseVector(const Vec3& p) { return Kernel().gradientVector3(p); }
Vec3 GradientNoiseVector(const Vec3& p, float w) { return Kernel().gradientVector4(p, w); }

Vec3 SimplexNoiseVector(float x) { return SimplexNoiseAt<LaneHash, 1>({x}); }
Vec3 SimplexNoiseVector(float x, float y) { return Kernel().simplexVector2(x, y); }
Vec3 SimplexNoiseVector(const Vec3& p) { return Kernel().simplexVector3(p); }
Vec3 SimplexNoiseVector(const Vec3& p, float w) { return Kernel().simplexVector4(p, w); }

}  // namespace Quorvin
