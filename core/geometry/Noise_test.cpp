// Tests of the noise functions: the tables' defining properties, exact values at the lattice, the
// period, agreement with a dimension-generic reference in double, continuity, range, the
// independence of the vector components, and every kernel against the portable definition.
//
// CTest also runs these tests once per kernel, forced through QUORVIN_NOISE_KERNEL; a kernel that
// the build or the machine lacks skips that run with the reason.
#include "core/geometry/Noise.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <set>
#include <type_traits>
#include <vector>

#include "core/base/Compiler.h"
#include "core/geometry/internal/NoiseKernel.h"
#include "core/geometry/internal/NoisePortable.h"
#include "tests/support/KernelTesting.h"

namespace Quorvin {
namespace {

using GeometryPrivate::ActiveNoiseKernel;
using GeometryPrivate::ActiveNoiseKernelRequest;
using GeometryPrivate::FindNoiseKernel;
using GeometryPrivate::NoiseKernel;

[[maybe_unused]] const testing::Environment* const forcedKernelCheck =
    Testing::AddForcedKernelCheck("noise", GeometryPrivate::NoiseKernels);

// Every function under one signature: dimension, kind, and a component (−1 for the scalar form).
enum Kind { Gradient, Simplex };

float Evaluate(Kind kind, int dims, int component, const float* p) {
    const Vec3 v3{p[0], p[1], p[2]};
    if (component < 0) {
        switch (dims) {
        case 1: return kind == Gradient ? GradientNoise(p[0]) : SimplexNoise(p[0]);
        case 2: return kind == Gradient ? GradientNoise(p[0], p[1]) : SimplexNoise(p[0], p[1]);
        case 3: return kind == Gradient ? GradientNoise(v3) : SimplexNoise(v3);
        default: return kind == Gradient ? GradientNoise(v3, p[3]) : SimplexNoise(v3, p[3]);
        }
    }
    Vec3 r;
    switch (dims) {
    case 1: r = kind == Gradient ? GradientNoiseVector(p[0]) : SimplexNoiseVector(p[0]); break;
    case 2: r = kind == Gradient ? GradientNoiseVector(p[0], p[1]) : SimplexNoiseVector(p[0], p[1]); break;
    case 3: r = kind == Gradient ? GradientNoiseVector(v3) : SimplexNoiseVector(v3); break;
    default: r = kind == Gradient ? GradientNoiseVector(v3, p[3]) : SimplexNoiseVector(v3, p[3]); break;
    }
    return component == 0 ? r.x : component == 1 ? r.y : r.z;
}

// Calls `check(kind, dims, component)` for all 32 functions and components.
template <class Check>
void ForEachFunction(Check check, bool gradientOnly = false) {
    for (Kind kind : {Gradient, Simplex}) {
        if (gradientOnly && kind == Simplex) continue;
        for (int dims = 1; dims <= 4; ++dims) {
            for (int component = -1; component < 3; ++component) {
                SCOPED_TRACE(testing::Message() << (kind == Gradient ? "gradient " : "simplex ") << dims
                                                << "D component " << component);
                check(kind, dims, component);
            }
        }
    }
}

TEST(NoiseTables, HoldTheirDefiningProperties) {
    std::set<int> values(NoisePermutation, NoisePermutation + 256);
    EXPECT_EQ(values.size(), 256u);
    EXPECT_EQ(*values.rbegin(), 255);
    EXPECT_TRUE(std::equal(NoisePermutation, NoisePermutation + 256, NoisePermutation + 256));
    const int first[] = {151, 160, 137, 91, 90, 15}, last[] = {61, 156, 180};
    EXPECT_TRUE(std::equal(first, first + 6, NoisePermutation));
    EXPECT_TRUE(std::equal(last, last + 3, NoisePermutation + 253));

    for (int i = 0; i < 16; ++i) EXPECT_EQ(Gradients1[i], i < 8 ? i + 1 : 7 - i);
    const int g2[8][2] = {{1, 2}, {-1, 2}, {1, -2}, {-1, -2}, {2, 1}, {2, -1}, {-2, 1}, {-2, -1}};
    for (int i = 0; i < 8; ++i) EXPECT_TRUE(std::equal(g2[i], g2[i] + 2, Gradients2[i])) << i;

    // 3D: the twelve cube edges (one zero, two of ±1) with the zero in z, y, x in blocks of four,
    // signs counting with x fastest; then four repeats.
    std::set<std::array<int, 3>> edges;
    for (int i = 0; i < 12; ++i) {
        const int zero = 2 - i / 4;
        const int signs[2] = {i & 1 ? -1 : 1, i & 2 ? -1 : 1};
        std::array<int, 3> expected{};
        for (int axis = 0, k = 0; axis < 3; ++axis) expected[axis] = axis == zero ? 0 : signs[k++];
        EXPECT_EQ((std::array<int, 3>{Gradients3[i][0], Gradients3[i][1], Gradients3[i][2]}), expected) << i;
        edges.insert(expected);
    }
    EXPECT_EQ(edges.size(), 12u);
    const int tail[4][3] = {{1, 1, 0}, {0, -1, 1}, {-1, 1, 0}, {0, -1, -1}};
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(std::equal(tail[i], tail[i] + 3, Gradients3[12 + i])) << i;

    // 4D: zero in w, z, y, x in blocks of eight; the other three count through their signs.
    for (int i = 0; i < 32; ++i) {
        const int zero = 3 - i / 8;
        for (int axis = 0, k = 0; axis < 4; ++axis) {
            const int expected = axis == zero ? 0 : ((i >> k++) & 1 ? -1 : 1);
            EXPECT_EQ(Gradients4[i][axis], expected) << i << "," << axis;
        }
    }

    // Simplex order: every ordering of four distinct values lands on its ranks; the other 40 rows
    // are zero.
    std::array<int, 4> v = {0, 1, 2, 3};
    std::set<int> reached;
    do {
        const int index = 32 * (v[0] > v[1]) + 16 * (v[0] > v[2]) + 8 * (v[1] > v[2]) + 4 * (v[0] > v[3]) +
                          2 * (v[1] > v[3]) + (v[2] > v[3]);
        reached.insert(index);
        for (int axis = 0; axis < 4; ++axis) EXPECT_EQ(SimplexOrder4[index][axis], v[axis]) << index;
    } while (std::next_permutation(v.begin(), v.end()));
    EXPECT_EQ(reached.size(), 24u);
    for (int index = 0; index < 64; ++index) {
        if (!reached.count(index)) {
            EXPECT_EQ(SimplexOrder4[index][0] | SimplexOrder4[index][1] | SimplexOrder4[index][2] |
                          SimplexOrder4[index][3],
                      0)
                << index;
        }
    }
}

TEST(GradientNoise, IsOneHalfOnTheLatticeAndRepeatsEvery256) {
    // The worked examples: 2.0 is the top of cell 1; −0.5 lies halfway through cell −1, whose
    // corners 255 and 0 hash to gradients 5 and 8: lerp(2.5, −4, 0.5) = −0.75.
    EXPECT_EQ(GradientNoise(2.0f), 0.5f);
    EXPECT_EQ(GradientNoise(-0.5f), -0.75f * 0.094f + 0.5f);

    std::mt19937 rng(3);
    std::uniform_int_distribution<int> whole(-1000, 1000), sixtyFourths(-200 * 64, 200 * 64), axisOf(0, 3);
    const float far[] = {0x1p23f, -0x1p23f, 0x1p24f + 2, -3e9f, 1e30f, -1e38f};
    ForEachFunction(
        [&](Kind kind, int dims, int component) {
            for (int i = 0; i < 2000; ++i) {
                float p[4];
                for (float& c : p) c = i < 100 ? far[rng() % 6] : static_cast<float>(whole(rng));
                ASSERT_EQ(Evaluate(kind, dims, component, p), 0.5f) << p[0] << " " << p[1] << " " << p[2];
                for (float& c : p) c = sixtyFourths(rng) / 64.0f;
                const float value = Evaluate(kind, dims, component, p);
                const int axis = axisOf(rng) % dims;
                p[axis] += (rng() & 1) ? 256.0f : -256.0f;
                ASSERT_EQ(Evaluate(kind, dims, component, p), value) << "axis " << axis;
            }
        },
        true);
}

// ---------------------------------------------------------------------------------------------
// Reference: both kinds written once for any dimension, in double, from the definitions.

int GradientIndex(int dims, const long long* corner, int component) {
    const int mask = dims == 2 ? 7 : dims == 4 ? 31 : 15;
    if (component < 0) {
        int h = 0;
        for (int axis = dims - 1; axis >= 0; --axis) h = NoisePermutation[h + (corner[axis] & 255)];
        return h & mask;
    }
    uint32_t lane[4] = {0, 1018897798u, 1042201148u, 0};
    for (int axis = 0; axis < dims; ++axis)
        lane[axis] = uint32_t(corner[axis] & 255) * 1664525u + 1013904223u;
    uint32_t &x = lane[0], &y = lane[1], &z = lane[2], &w = lane[3];
    uint32_t out[3];
    if (dims <= 3) {
        x += y * z, y += z * x, z += x * y;
        out[0] = (x += y * z) >> 16, out[1] = (y += z * x) >> 16, out[2] = (z += x * y) >> 16;
    } else {
        x += y * w, y += z * x, z += x * y, w += y * z;
        out[0] = (x += y * w) >> 16, out[1] = (y += z * x) >> 16, out[2] = (z += x * y) >> 16;
    }
    return static_cast<int>(out[component] & mask);
}

double GradientDot(int dims, const long long* corner, int component, const double* offset) {
    const int g = GradientIndex(dims, corner, component);
    const int8_t* gradient = dims == 1   ? &Gradients1[g]
                             : dims == 2 ? Gradients2[g]
                             : dims == 3 ? Gradients3[g]
                                         : Gradients4[g];
    double dot = 0;
    for (int axis = 0; axis < dims; ++axis) dot += gradient[axis] * offset[axis];
    return dot;
}

long long Cell(double v) {
    const double cell = std::floor(v);
    return static_cast<long long>(cell == v ? cell - 1 : cell);
}

double ReferenceNoise(Kind kind, int dims, int component, const float* point) {
    const double gradientScale[] = {0.094, 0.2535, 0.468, 0.435}, simplexScale[] = {0.197, 20, 36, 31};
    double p[4];
    std::copy(point, point + dims, p);
    double sum = 0;
    long long corner[4];
    double offset[4];
    if (kind == Gradient) {
        // Multilinear blend: each corner weighted by the product of its fade weights.
        long long cell[4];
        double f[4];
        for (int a = 0; a < dims; ++a) cell[a] = Cell(p[a]), f[a] = p[a] - cell[a];
        for (int bits = 0; bits < (1 << dims); ++bits) {
            double weight = 1;
            for (int a = 0; a < dims; ++a) {
                const int up = (bits >> a) & 1;
                const double fade = f[a] * f[a] * f[a] * (f[a] * (f[a] * 6 - 15) + 10);
                weight *= up ? fade : 1 - fade;
                corner[a] = cell[a] + up, offset[a] = f[a] - up;
            }
            sum += weight * GradientDot(dims, corner, component, offset);
        }
        return sum * gradientScale[dims - 1] + 0.5;
    }
    if (dims == 1) {
        const long long cell = Cell(p[0]);
        for (int up = 0; up < 2; ++up) {
            corner[0] = cell + up, offset[0] = p[0] - cell - up;
            sum += std::pow(1 - offset[0] * offset[0], 4) * GradientDot(1, corner, component, offset);
        }
        return sum * simplexScale[0] + 0.5;
    }
    // Skew to the cube lattice, walk from the cell's origin along the axes in falling order of the
    // unskewed offset, one simplex corner per step.
    const double n = dims, skew = (std::sqrt(n + 1) - 1) / n, unskew = (1 - 1 / std::sqrt(n + 1)) / n;
    double s = 0, t = 0, x0[4];
    for (int a = 0; a < dims; ++a) s += p[a];
    long long cell[4];
    for (int a = 0; a < dims; ++a) cell[a] = Cell(p[a] + s * skew), t += cell[a];
    for (int a = 0; a < dims; ++a) x0[a] = p[a] - (cell[a] - t * unskew);
    int order[4] = {0, 1, 2, 3};
    std::stable_sort(order, order + dims, [&](int a, int b) { return x0[a] > x0[b]; });
    int step[4] = {0, 0, 0, 0};
    for (int m = 0; m <= dims; ++m) {
        if (m > 0) step[order[m - 1]] = 1;
        double r2 = 0;
        for (int a = 0; a < dims; ++a) {
            corner[a] = cell[a] + step[a], offset[a] = x0[a] - step[a] + m * unskew,
            r2 += offset[a] * offset[a];
        }
        if (r2 < 0.5) sum += std::pow(0.5 - r2, 4) * GradientDot(dims, corner, component, offset);
    }
    return sum * simplexScale[dims - 1] + 0.5;
}

TEST(Noise, AgreesWithAGenericReferenceInDouble) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> coordinate(-300, 300);
    ForEachFunction([&](Kind kind, int dims, int component) {
        double worst = 0;
        for (int i = 0; i < 20000; ++i) {
            float p[4];
            for (float& c : p) c = coordinate(rng);
            const double error =
                std::fabs(Evaluate(kind, dims, component, p) - ReferenceNoise(kind, dims, component, p));
            ASSERT_LT(error, kind == Gradient ? 2e-6 : 3e-4)
                << p[0] << " " << p[1] << " " << p[2] << " " << p[3];
            worst = std::max(worst, error);
        }
        RecordProperty("worst", std::to_string(worst));
    });
}

TEST(Noise, IsContinuousAndStaysInABoundedRange) {
    std::mt19937 rng(9);
    std::uniform_real_distribution<float> coordinate(-1000, 1000), direction(-1, 1);
    ForEachFunction([&](Kind kind, int dims, int component) {
        // 250,000 samples per function and component (8 million in all), each with a neighbour
        // 1/1000 away in a random direction; many pairs straddle a cell or simplex boundary.
        float lo = 1, hi = 0;
        double sum = 0, steepest = 0;
        constexpr int Samples = 250000;
        constexpr float Step = 1e-3f;
        for (int i = 0; i < Samples; ++i) {
            float p[4], q[4];
            for (int a = 0; a < 4; ++a) {
                p[a] = coordinate(rng);
                // Every fourth point sits just below a whole number, so its step crosses a cell wall.
                if (i % 4 == 0) p[a] = std::floor(p[a]) - Step * 0.25f;
                q[a] = p[a] + Step * direction(rng);
            }
            const float value = Evaluate(kind, dims, component, p);
            lo = std::min(lo, value), hi = std::max(hi, value), sum += value;
            steepest =
                std::max(steepest, std::fabs(double(Evaluate(kind, dims, component, q)) - value) / Step);
        }
        std::printf("%s %dD component %2d: range [%.4f, %.4f], mean %.4f, steepest slope %.2f\n",
                    kind == Gradient ? "gradient" : "simplex ", dims, component, lo, hi, sum / Samples,
                    steepest);
        EXPECT_GT(lo, 0.0f);
        EXPECT_LT(hi, 1.0f);
        EXPECT_GT(hi - lo, 0.4f);  // the scale is not lost either
        EXPECT_NEAR(sum / Samples, 0.5, 0.01);
        EXPECT_LT(steepest, 8.0);
    });
}

TEST(Noise, VectorComponentsAreIndependentOfEachOtherAndOfTheScalarForm) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> coordinate(-500, 500);
    for (Kind kind : {Gradient, Simplex}) {
        for (int dims = 1; dims <= 4; ++dims) {
            // Correlations between the scalar form (−1) and each component, over well-spread points.
            constexpr int Samples = 20000;
            std::vector<std::array<double, 4>> values(Samples);
            for (auto& v : values) {
                float p[4];
                for (float& c : p) c = coordinate(rng);
                for (int c = -1; c < 3; ++c) v[c + 1] = Evaluate(kind, dims, c, p);
            }
            for (int a = 0; a < 4; ++a) {
                for (int b = a + 1; b < 4; ++b) {
                    double ma = 0, mb = 0, ab = 0, aa = 0, bb = 0;
                    int same = 0;
                    for (const auto& v : values)
                        ma += v[a] / Samples, mb += v[b] / Samples, same += v[a] == v[b];
                    for (const auto& v : values) {
                        ab += (v[a] - ma) * (v[b] - mb), aa += (v[a] - ma) * (v[a] - ma),
                            bb += (v[b] - mb) * (v[b] - mb);
                    }
                    EXPECT_LT(std::fabs(ab / std::sqrt(aa * bb)), 0.05)
                        << kind << " " << dims << "D " << a << "," << b;
                    EXPECT_LT(same, Samples / 50) << kind << " " << dims << "D " << a << "," << b;
                }
            }
        }
    }
}

// The portable definition through the same signature as Evaluate.
float EvaluatePortable(Kind kind, int dims, int component, const float* p) {
    using namespace GeometryPrivate;
    const auto pick = [component](const auto& v) {
        if constexpr (std::is_same_v<std::decay_t<decltype(v)>, float>) {
            return v;
        } else {
            return component == 0 ? v.x : component == 1 ? v.y : v.z;
        }
    };
    const auto at = [&]<class Hash>(Hash) {
        switch (dims) {
        case 1:
            return kind == Gradient ? pick(GradientNoiseAt<Hash, 1>({p[0]}))
                                    : pick(SimplexNoiseAt<Hash, 1>({p[0]}));
        case 2:
            return kind == Gradient ? pick(GradientNoiseAt<Hash, 2>({p[0], p[1]}))
                                    : pick(SimplexNoiseAt<Hash, 2>({p[0], p[1]}));
        case 3:
            return kind == Gradient ? pick(GradientNoiseAt<Hash, 3>({p[0], p[1], p[2]}))
                                    : pick(SimplexNoiseAt<Hash, 3>({p[0], p[1], p[2]}));
        default:
            return kind == Gradient ? pick(GradientNoiseAt<Hash, 4>({p[0], p[1], p[2], p[3]}))
                                    : pick(SimplexNoiseAt<Hash, 4>({p[0], p[1], p[2], p[3]}));
        }
    };
    return component < 0 ? at(PermutationHash{}) : at(LaneHash{});
}

// The functions of one kernel through the same signature as Evaluate; one dimension has no kernel.
float EvaluateKernel(const NoiseKernel& k, Kind kind, int dims, int component, const float* p) {
    const Vec3 v3{p[0], p[1], p[2]};
    if (dims == 1) {
        return Evaluate(kind, dims, component, p);
    }
    if (component < 0) {
        switch (dims) {
        case 2: return kind == Gradient ? k.gradient2(p[0], p[1]) : k.simplex2(p[0], p[1]);
        case 3: return kind == Gradient ? k.gradient3(v3) : k.simplex3(v3);
        default: return kind == Gradient ? k.gradient4(v3, p[3]) : k.simplex4(v3, p[3]);
        }
    }
    Vec3 r;
    switch (dims) {
    case 2: r = kind == Gradient ? k.gradientVector2(p[0], p[1]) : k.simplexVector2(p[0], p[1]); break;
    case 3: r = kind == Gradient ? k.gradientVector3(v3) : k.simplexVector3(v3); break;
    default: r = kind == Gradient ? k.gradientVector4(v3, p[3]) : k.simplexVector4(v3, p[3]); break;
    }
    return component == 0 ? r.x : component == 1 ? r.y : r.z;
}

TEST(NoiseKernels, TheChoiceIsTheForcedKernelOrTheFastestOneAvailable) {
    const KernelRequest& request = ActiveNoiseKernelRequest();
    const NoiseKernel* portable = FindNoiseKernel(KernelId::Portable);
    ASSERT_NE(portable, nullptr);
    EXPECT_STREQ(portable->name, "portable");
    std::string why;
    const NoiseKernel* sse2 = FindNoiseKernel(KernelId::Sse2, &why);
    EXPECT_EQ(sse2 == nullptr, QUORVIN_HAS_SSE2 == 0) << why;
    const NoiseKernel* avx2 = FindNoiseKernel(KernelId::Avx2, &why);
    if (avx2 == nullptr) {
        EXPECT_FALSE(why.empty());
    } else {
        EXPECT_STREQ(avx2->name, "avx2");
    }
    // A kernel that leaves a function out has it filled from a slower one.
    for (const NoiseKernel* k : {portable, sse2, avx2}) {
        if (k == nullptr) continue;
        const void* functions[] = {reinterpret_cast<const void*>(k->gradient2),
                                   reinterpret_cast<const void*>(k->gradient3),
                                   reinterpret_cast<const void*>(k->gradient4),
                                   reinterpret_cast<const void*>(k->simplex2),
                                   reinterpret_cast<const void*>(k->simplex3),
                                   reinterpret_cast<const void*>(k->simplex4),
                                   reinterpret_cast<const void*>(k->gradientVector2),
                                   reinterpret_cast<const void*>(k->gradientVector3),
                                   reinterpret_cast<const void*>(k->gradientVector4),
                                   reinterpret_cast<const void*>(k->simplexVector2),
                                   reinterpret_cast<const void*>(k->simplexVector3),
                                   reinterpret_cast<const void*>(k->simplexVector4)};
        for (const void* f : functions) EXPECT_NE(f, nullptr) << k->name;
    }
    // Once a function has run, calls go straight to the chosen kernel.
    EXPECT_EQ(SimplexNoise(Vec3{0.3f, 1.7f, -2.2f}), ActiveNoiseKernel().simplex3(Vec3{0.3f, 1.7f, -2.2f}));
    EXPECT_EQ(GeometryPrivate::NoiseKernels.InUse(), &ActiveNoiseKernel());
    if (!request.requested.empty()) {
        EXPECT_EQ(ActiveNoiseKernel().name, request.requested);
        return;
    }
    const NoiseKernel* fastest = QUORVIN_HAS_SSE2 == 0 ? portable : avx2 != nullptr ? avx2 : sse2;
    EXPECT_EQ(&ActiveNoiseKernel(), fastest);
}

TEST(NoiseKernels, GiveExactlyThePortableResults) {
    // Every kernel the machine has, and the public functions, bit for bit over ordinary points,
    // lattice points, points on both sides of the 2^23 limit, and points whose simplex offsets tie
    // (equal coordinates: on the faces between two simplices).
    std::vector<const NoiseKernel*> kernels;
    std::string skipped;
    for (int i = 0; i < KernelCount; ++i) {
        std::string why;
        if (const NoiseKernel* k = FindNoiseKernel(static_cast<KernelId>(i), &why)) {
            kernels.push_back(k);
        } else {
            skipped += std::string(KernelName(static_cast<KernelId>(i))) + " (" + why + ") ";
        }
    }
    if (!skipped.empty()) {
        std::printf("kernels not compared here: %s\n", skipped.c_str());
    }
    std::mt19937 rng(13);
    std::uniform_real_distribution<float> coordinate(-3000, 3000);
    const float special[] = {0.0f, -0.0f, -1.0f, 255.5f, 0x1p23f - 1, 0x1p23f, -0x1p23f, 1e9f, NAN};
    ForEachFunction([&](Kind kind, int dims, int component) {
        for (int i = 0; i < 30000; ++i) {
            float p[4];
            for (float& c : p) {
                c = i % 10 == 0   ? special[rng() % 9]
                    : i % 10 == 1 ? std::round(coordinate(rng))
                                  : coordinate(rng);
            }
            if (i % 10 == 2) p[1] = p[0];
            if (i % 20 == 2) p[2] = p[0];
            if (i % 10 == 3) p[3] = p[1] = p[2], p[0] = std::round(p[0]);
            const float portable = EvaluatePortable(kind, dims, component, p);
            const auto check = [&](float value, const char* name) {
                ASSERT_TRUE(std::memcmp(&value, &portable, sizeof value) == 0)
                    << name << ": " << value << " vs " << portable << " at " << p[0] << " " << p[1] << " "
                    << p[2] << " " << p[3];
            };
            check(Evaluate(kind, dims, component, p), "public");
            for (const NoiseKernel* k : kernels) check(EvaluateKernel(*k, kind, dims, component, p), k->name);
            if (HasFailure()) return;
        }
    });
}

TEST(Noise, NonFiniteCoordinatesGiveNaN) {
    const float bad[] = {NAN, INFINITY, -INFINITY};
    ForEachFunction([&](Kind kind, int dims, int component) {
        for (float b : bad) {
            for (int axis = 0; axis < dims; ++axis) {
                float p[4] = {0.3f, 1.7f, -2.2f, 5.1f};
                p[axis] = b;
                EXPECT_TRUE(std::isnan(Evaluate(kind, dims, component, p))) << b << " on axis " << axis;
            }
        }
        const float huge[4] = {3e38f, -1e20f, 0x1p23f + 1, -0x1p23f};
        EXPECT_TRUE(std::isfinite(Evaluate(kind, dims, component, huge)));
    });
}

}  // namespace
}  // namespace Quorvin
