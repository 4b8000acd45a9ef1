// Tests of the frustum: planes from matrices, the box rules, and agreement with a double-precision
// corner test over a million random boxes under real view-projection matrices.
#include "core/geometry/Frustum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <random>

namespace Quorvin {
namespace {

using Matrix = std::array<float, 16>;
using Matrix64 = std::array<double, 16>;

constexpr Matrix Identity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

BoxClass ClassOf(const Frustum& f, Vec3 c, Vec3 e) {
    BoxClass result = BoxClass::Inside;
    f.Classify(c, e, result);
    return result;
}

void ExpectPlane(const Plane& p, float nx, float ny, float nz, float w) {
    EXPECT_EQ(p.nx, nx);
    EXPECT_EQ(p.ny, ny);
    EXPECT_EQ(p.nz, nz);
    EXPECT_EQ(p.w, w);
}

TEST(Frustum, IdentityMatrixBoundsTheUnitClipBox) {
    Frustum f(Identity);
    ExpectPlane(f.planes[0], 0, 0, -1, 0);  // near
    ExpectPlane(f.planes[1], -1, 0, 0, 1);  // left
    ExpectPlane(f.planes[2], 1, 0, 0, 1);   // right
    ExpectPlane(f.planes[3], 0, 1, 0, 1);   // top
    ExpectPlane(f.planes[4], 0, -1, 0, 1);  // bottom
    ExpectPlane(f.planes[5], 0, 0, 1, 1);   // far
    const float lanesA[4][4] = {{0, -1, 1, 0}, {0, 0, 0, 1}, {-1, 0, 0, 0}, {0, 1, 1, 1}};
    const float lanesB[4][4] = {{0, 0, 0, 0}, {-1, 0, -1, -1}, {0, 1, 0, 0}, {1, 1, 1, 1}};
    for (int row = 0; row < 4; ++row) {
        for (int lane = 0; lane < 4; ++lane) {
            EXPECT_EQ(f.lanesA[row][lane], lanesA[row][lane]) << row << "," << lane;
            EXPECT_EQ(f.lanesB[row][lane], lanesB[row][lane]) << row << "," << lane;
        }
    }

    // Inside is the box from (−1, −1, 0) to (1, 1, 1).
    EXPECT_EQ(ClassOf(f, {0, 0, 0.5f}, {0.5f, 0.5f, 0.25f}), BoxClass::Inside);
    EXPECT_EQ(ClassOf(f, {0, 0, 0.5f}, {1, 1, 0.5f}), BoxClass::Inside);  // the whole region
    const Vec3 beyond[6] = {{0, 0, -0.5f},   {-1.5f, 0, 0.5f}, {1.5f, 0, 0.5f},
                            {0, 1.5f, 0.5f}, {0, -1.5f, 0.5f}, {0, 0, 1.5f}};
    for (const Vec3& c : beyond) {
        EXPECT_EQ(ClassOf(f, c, {0.25f, 0.25f, 0.25f}), BoxClass::Outside);
        EXPECT_EQ(f.IsVisible(c, {0.25f, 0.25f, 0.25f}), 0);
        EXPECT_EQ(ClassOf(f, c, {0.5f, 0.5f, 0.5f}), BoxClass::Intersecting);  // now reaching across
        EXPECT_EQ(f.IsVisible(c, {0.5f, 0.5f, 0.5f}), 1);
    }

    // Touching a plane exactly is not outside: r == d against the right plane x = 1.
    EXPECT_EQ(f.IsVisible({2, 0, 0.5f}, {1, 0.5f, 0.25f}), 1);
    EXPECT_EQ(ClassOf(f, {2, 0, 0.5f}, {1, 0.5f, 0.25f}), BoxClass::Intersecting);
    EXPECT_EQ(f.IsVisible({2.0000002f, 0, 0.5f}, {1, 0.5f, 0.25f}), 0);
    EXPECT_EQ(f.IsVisibleMinMax({{1, -0.5f, 0.25f}, {3, 0.5f, 0.75f}}), 1);
    EXPECT_EQ(f.IsVisibleMinMax({{1.0000001f, -0.5f, 0.25f}, {3, 0.5f, 0.75f}}), 0);

    // Straddling the left plane sets bit 4 in the first group; lying wholly below the bottom
    // plane, tested in the second group, still makes the box Outside.
    EXPECT_EQ(ClassOf(f, {-1, 0, 0.5f}, {0.5f, 0.5f, 0.1f}), BoxClass::Intersecting);
    EXPECT_EQ(static_cast<int>(ClassOf(f, {-1, -3, 0.5f}, {0.5f, 0.5f, 0.1f})), 0x10);
    EXPECT_EQ(static_cast<int>(ClassOf(f, {-1, 0, 3}, {0.5f, 0.5f, 0.1f})), 0x10);  // beyond far
    EXPECT_EQ(static_cast<int>(ClassOf(f, {0.9f, 0, 0.5f}, {0.2f, 0.1f, 0.1f})), 0x11);

    // A negative half-extent counts by its absolute value, in every component and every query.
    const Vec3 centers[3] = {{1.2f, 0, 0.5f}, {0, -1.1f, 0.5f}, {0.5f, 0.5f, 1.05f}};
    for (const Vec3& c : centers) {
        for (int signs = 0; signs < 8; ++signs) {
            const Vec3 e{signs & 1 ? -0.3f : 0.3f, signs & 2 ? -0.2f : 0.2f, signs & 4 ? -0.1f : 0.1f};
            EXPECT_EQ(ClassOf(f, c, e), BoxClass::Intersecting);
            EXPECT_EQ(f.IsVisible(c, e), 1);
            EXPECT_EQ(f.IsVisibleA(Vec3A{c.x, c.y, c.z, 0}, Vec3A{e.x, e.y, e.z, 0}), 1);
        }
    }

    // Hand-written planes take effect through UpdateLanes.
    f.planes[5] = Plane{0, 0, 1, 0.5f};
    EXPECT_EQ(f.IsVisible({0, 0, 0.75f}, {0.1f, 0.1f, 0.1f}), 1);
    f.UpdateLanes();
    EXPECT_EQ(f.IsVisible({0, 0, 0.75f}, {0.1f, 0.1f, 0.1f}), 0);
}

TEST(Frustum, DegeneratePlanesRejectNothing) {
    // A zero third column: clip.z is always 0, so neither the near nor the far plane can be
    // normalised; both are stored as zeros and never reject, however far the box.
    Matrix m = Identity;
    m[2] = m[6] = m[10] = m[14] = 0;
    Frustum f(m);
    ExpectPlane(f.planes[0], 0, 0, 0, 0);
    ExpectPlane(f.planes[5], 0, 0, 0, 0);
    EXPECT_EQ(ClassOf(f, {0, 0, -1e30f}, {0.5f, 0.5f, 0}), BoxClass::Inside);
    EXPECT_EQ(f.IsVisible({0, 0, 1e30f}, {0, 0, 0}), 1);
    EXPECT_EQ(f.IsVisible({5, 0, 0}, {0, 0, 0}), 0);  // the side planes still work

    // A normal just long enough to keep and one just too short.
    m = Identity;
    m[2] = 0x1p-23f;  // squared length 2^-46: not greater than the limit
    m[6] = m[10] = 0;
    EXPECT_EQ(Frustum(m).planes[0].nx, 0.0f);
    m[2] = 0x1.000002p-23f;
    EXPECT_FLOAT_EQ(Frustum(m).planes[0].nx, -1.0f);

    Frustum empty;
    EXPECT_EQ(ClassOf(empty, {1e20f, -1e20f, 3}, {1, 1, 1}), BoxClass::Inside);
}

// The six clip-space combinations (a, b, c, d) in double: inside where a·x + b·y + c·z + d ≥ 0.
std::array<std::array<double, 4>, 6> ClipPlanes(const Matrix& f) {
    Matrix64 m;
    std::copy(f.begin(), f.end(), m.begin());
    std::array<std::array<double, 4>, 6> p;
    for (int i = 0; i < 4; ++i) {
        const double x = m[4 * i], y = m[4 * i + 1], z = m[4 * i + 2], w = m[4 * i + 3];
        p[0][i] = z;
        p[1][i] = x + w;
        p[2][i] = w - x;
        p[3][i] = w - y;
        p[4][i] = y + w;
        p[5][i] = w - z;
    }
    return p;
}

// Classification by corners: outside when all eight corners lie outside one plane, intersecting
// when some corner lies outside some plane. `bias` moves every plane outwards by that distance.
BoxClass ReferenceClass(const std::array<std::array<double, 4>, 6>& planes, const double c[3],
                        const double e[3], double bias) {
    bool across = false;
    for (const auto& p : planes) {
        const double length = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
        int out = 0;
        for (int corner = 0; corner < 8; ++corner) {
            double value = p[3];
            for (int axis = 0; axis < 3; ++axis) {
                value += p[axis] * (c[axis] + ((corner >> axis) & 1 ? e[axis] : -e[axis]));
            }
            out += value / length + bias < 0 ? 1 : 0;
        }
        if (out == 8) return BoxClass::Outside;
        across = across || out > 0;
    }
    return across ? BoxClass::Intersecting : BoxClass::Inside;
}

Matrix64 Multiply(const Matrix64& a, const Matrix64& b) {
    Matrix64 r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            for (int k = 0; k < 4; ++k) r[4 * i + j] += a[4 * i + k] * b[4 * k + j];
    return r;
}

// A left-handed look-at view matrix for row vectors.
Matrix64 LookAt(const double eye[3], const double at[3]) {
    double z[3] = {at[0] - eye[0], at[1] - eye[1], at[2] - eye[2]};
    const double zl = std::sqrt(z[0] * z[0] + z[1] * z[1] + z[2] * z[2]);
    for (double& v : z) v /= zl;
    double x[3] = {z[2], 0, -z[0]};  // up (0, 1, 0) × z
    const double xl = std::sqrt(x[0] * x[0] + x[2] * x[2]);
    for (double& v : x) v /= xl;
    const double y[3] = {z[1] * x[2] - z[2] * x[1], z[2] * x[0] - z[0] * x[2], z[0] * x[1] - z[1] * x[0]};
    const auto dot = [&](const double* a) { return a[0] * eye[0] + a[1] * eye[1] + a[2] * eye[2]; };
    return {x[0], y[0], z[0], 0, x[1], y[1], z[1], 0, x[2], y[2], z[2], 0, -dot(x), -dot(y), -dot(z), 1};
}

Matrix64 Perspective(double fovY, double aspect, double zn, double zf) {
    const double ys = 1 / std::tan(fovY / 2), xs = ys / aspect, q = zf / (zf - zn);
    return {xs, 0, 0, 0, 0, ys, 0, 0, 0, 0, q, 1, 0, 0, -zn * q, 0};
}

Matrix64 Orthographic(double w, double h, double zn, double zf) {
    return {2 / w, 0, 0, 0, 0, 2 / h, 0, 0, 0, 0, 1 / (zf - zn), 0, 0, 0, -zn / (zf - zn), 1};
}

TEST(Frustum, AgreesWithCornerTestInDoubleOnAMillionBoxes) {
    struct Camera {
        Matrix64 projection;
        double eye[3], at[3];
        double reach;  // boxes are scattered over a cube of this half-size around the target
    };
    const Camera cameras[] = {
        {Perspective(1.0, 16.0 / 9.0, 0.1, 1000.0), {10, 5, -20}, {40, -3, 60}, 300},
        {Perspective(0.3, 1.0, 1.0, 100.0), {0, 0, 0}, {1, 1, 1}, 80},
        {Orthographic(40, 30, -10, 50), {-5, 20, 3}, {0, 0, 0}, 60},
        {Orthographic(2, 2, 0, 1), {0, 0, -0.5}, {0, 0, 1}, 2},
    };
    std::mt19937 rng(12);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    int compared = 0;
    int skipped = 0;
    for (const Camera& camera : cameras) {
        const Matrix64 m64 = Multiply(LookAt(camera.eye, camera.at), camera.projection);
        Matrix m;
        std::copy(m64.begin(), m64.end(), m.begin());
        const Frustum frustum(m);
        const auto planes = ClipPlanes(m);
        for (int i = 0; i < 300000; ++i) {
            // Sizes spread over five orders of magnitude, signs of the half-extent at random.
            const double size = camera.reach * std::pow(10.0, 2.5 * unit(rng) - 2.5);
            const Vec3 c{static_cast<float>(camera.at[0] + camera.reach * unit(rng)),
                         static_cast<float>(camera.at[1] + camera.reach * unit(rng)),
                         static_cast<float>(camera.at[2] + camera.reach * unit(rng))};
            const Vec3 e{static_cast<float>(size * unit(rng)), static_cast<float>(size * unit(rng)),
                         static_cast<float>(size * unit(rng))};
            const BoxClass got = ClassOf(frustum, c, e);
            const int visible = frustum.IsVisible(c, e);
            ASSERT_EQ(visible, got != BoxClass::Outside ? 1 : 0);
            ASSERT_EQ(frustum.IsVisibleA(Vec3A{c.x, c.y, c.z, NAN}, Vec3A{e.x, e.y, e.z, NAN}), visible);

            const double cd[3] = {c.x, c.y, c.z};
            const double ed[3] = {std::fabs(e.x), std::fabs(e.y), std::fabs(e.z)};
            // Decisions that a change within single-precision rounding could flip are not compared.
            const double tolerance = 1e-6 * (std::fabs(cd[0]) + std::fabs(cd[1]) + std::fabs(cd[2]) + ed[0] +
                                             ed[1] + ed[2] + camera.reach);
            const BoxClass expected = ReferenceClass(planes, cd, ed, 0);
            if (ReferenceClass(planes, cd, ed, tolerance) != expected ||
                ReferenceClass(planes, cd, ed, -tolerance) != expected) {
                ++skipped;
                continue;
            }
            ++compared;
            ASSERT_EQ(static_cast<int>(got), static_cast<int>(expected))
                << "box " << c.x << "," << c.y << "," << c.z << " ± " << e.x << "," << e.y << "," << e.z;
            const MinMaxBox box{{c.x - std::fabs(e.x), c.y - std::fabs(e.y), c.z - std::fabs(e.z)},
                                {c.x + std::fabs(e.x), c.y + std::fabs(e.y), c.z + std::fabs(e.z)}};
            ASSERT_EQ(frustum.IsVisibleMinMax(box), visible);
        }
    }
    std::printf("compared %d boxes, %d within rounding of a plane\n", compared, skipped);
    EXPECT_LT(skipped, compared / 100);
}

}  // namespace
}  // namespace Quorvin
