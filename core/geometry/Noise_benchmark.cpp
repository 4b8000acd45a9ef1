// Speed of the noise functions per sample, one to four dimensions, scalar and vector forms, beside
// libnoise's GradientCoherentNoise3D as the comparator. Each of ours is labelled with the kernel
// that ran it; QUORVIN_NOISE_KERNEL forces one (portable, sse2 or avx2) to measure it here.
#include <benchmark/benchmark.h>
#include <libnoise/noise.h>

#include <array>
#include <random>
#include <vector>

#include "core/geometry/Noise.h"
#include "core/geometry/internal/NoiseKernel.h"

namespace Quorvin {
namespace {

constexpr int Points = 4096;

// Points spread over many cells, so lookups and branches see no pattern.
const std::vector<std::array<float, 4>>& ThePoints() {
    static const std::vector<std::array<float, 4>> points = [] {
        std::mt19937 rng(2);
        std::uniform_real_distribution<float> coordinate(-100, 100);
        std::vector<std::array<float, 4>> p(Points);
        for (auto& q : p) q = {coordinate(rng), coordinate(rng), coordinate(rng), coordinate(rng)};
        return p;
    }();
    return points;
}

template <class Sample>
void RunOverPoints(benchmark::State& state, Sample sample) {
    const auto& points = ThePoints();
    const KernelRequest& request = GeometryPrivate::ActiveNoiseKernelRequest();
    if (!request.problem.empty()) {
        state.SkipWithError(request.problem.c_str());
        return;
    }
    for (auto _ : state) {
        float sum = 0;
        for (const auto& p : points) sum += sample(p);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * Points);
}

// One of ours, labelled with the kernel that runs it (one dimension has no kernel).
template <class Sample>
void RunOurs(benchmark::State& state, Sample sample) {
    state.SetLabel(state.range(0) == 1 ? "no kernel" : GeometryPrivate::ActiveNoiseKernel().name);
    RunOverPoints(state, sample);
}

float Sum(const Vec3& v) { return v.x + v.y + v.z; }

void BM_GradientNoise(benchmark::State& state) {
    switch (state.range(0)) {
    case 1: return RunOurs(state, [](const auto& p) { return GradientNoise(p[0]); });
    case 2: return RunOurs(state, [](const auto& p) { return GradientNoise(p[0], p[1]); });
    case 3: return RunOurs(state, [](const auto& p) { return GradientNoise(Vec3{p[0], p[1], p[2]}); });
    default: return RunOurs(state, [](const auto& p) { return GradientNoise(Vec3{p[0], p[1], p[2]}, p[3]); });
    }
}

void BM_SimplexNoise(benchmark::State& state) {
    switch (state.range(0)) {
    case 1: return RunOurs(state, [](const auto& p) { return SimplexNoise(p[0]); });
    case 2: return RunOurs(state, [](const auto& p) { return SimplexNoise(p[0], p[1]); });
    case 3: return RunOurs(state, [](const auto& p) { return SimplexNoise(Vec3{p[0], p[1], p[2]}); });
    default: return RunOurs(state, [](const auto& p) { return SimplexNoise(Vec3{p[0], p[1], p[2]}, p[3]); });
    }
}

void BM_GradientNoiseVector(benchmark::State& state) {
    switch (state.range(0)) {
    case 1: return RunOurs(state, [](const auto& p) { return Sum(GradientNoiseVector(p[0])); });
    case 2: return RunOurs(state, [](const auto& p) { return Sum(GradientNoiseVector(p[0], p[1])); });
    case 3:
        return RunOurs(state, [](const auto& p) { return Sum(GradientNoiseVector(Vec3{p[0], p[1], p[2]})); });
    default:
        return RunOurs(state, [](const auto& p) {
            return Sum(GradientNoiseVector(Vec3{p[0], p[1], p[2]}, p[3]));
        });
    }
}

void BM_SimplexNoiseVector(benchmark::State& state) {
    switch (state.range(0)) {
    case 1: return RunOurs(state, [](const auto& p) { return Sum(SimplexNoiseVector(p[0])); });
    case 2: return RunOurs(state, [](const auto& p) { return Sum(SimplexNoiseVector(p[0], p[1])); });
    case 3:
        return RunOurs(state, [](const auto& p) { return Sum(SimplexNoiseVector(Vec3{p[0], p[1], p[2]})); });
    default:
        return RunOurs(state, [](const auto& p) {
            return Sum(SimplexNoiseVector(Vec3{p[0], p[1], p[2]}, p[3]));
        });
    }
}

// The comparator at its default quality (cubic blend) and at its best (quintic, like ours).
void BM_LibnoiseGradientCoherentNoise3D(benchmark::State& state) {
    const auto quality = static_cast<noise::NoiseQuality>(state.range(0));
    RunOverPoints(state, [quality](const auto& p) {
        return static_cast<float>(noise::GradientCoherentNoise3D(p[0], p[1], p[2], 0, quality));
    });
}

BENCHMARK(BM_GradientNoise)->DenseRange(1, 4);
BENCHMARK(BM_SimplexNoise)->DenseRange(1, 4);
BENCHMARK(BM_GradientNoiseVector)->DenseRange(1, 4);
BENCHMARK(BM_SimplexNoiseVector)->DenseRange(1, 4);
BENCHMARK(BM_LibnoiseGradientCoherentNoise3D)->Arg(noise::QUALITY_STD)->Arg(noise::QUALITY_BEST);

}  // namespace
}  // namespace Quorvin
