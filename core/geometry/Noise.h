// Gradient noise (improved lattice noise) and simplex noise in one to four dimensions, each as a
// scalar and as a three-component vector, for procedural content.
//
// Every result is centred on 0.5: the raw noise is multiplied by a per-variant scale and 0.5 is
// added. Gradient noise is exactly 0.5 at every lattice point (integer coordinates) and repeats
// every 256 units along each axis; simplex noise is not tied to the axis-aligned lattice and has
// neither property. Over millions of samples every form stays inside (0, 1); the scales are not
// chosen to reach either end (the observed ranges run from about [0.12, 0.88] for 2D gradient
// noise to about [0.001, 0.999] for 1D simplex noise).
//
// Lattice cells: the cell of a coordinate v is the largest integer strictly below v, so an integer
// belongs to the cell below it with fraction 1. Single precision keeps no fraction from 2^23 on:
// there a coordinate counts as a whole number (cell taken modulo 256), and simplex noise, whose
// skewed lattice then has no corner within reach, is 0.5.
//
// The vector forms give three independent values for the price of one cell set-up: each corner
// hashes its lattice indices into three gradient choices, one per component, with the same
// interpolation, falloff, scale and offset as the scalar form. Their components differ from one
// another and from the scalar form.
//
// Failure: a NaN or infinite coordinate gives NaN (in every component); nothing else fails.
// Thread-safety: no state; every function may run on any thread. Nothing allocates or throws; the
// only memory read besides the arguments is constant tables (those below, and the same values
// kept in other layouts). On x86-64 two to four dimensions run on SSE2, or on AVX2 where the
// processor and the operating system support it (decided once per process, on the first call);
// every path gives the portable code's results bit for bit.
#pragma once

#include <cstdint>

#include "core/geometry/Vec3.h"

namespace Quorvin {

/// The 256-entry permutation of improved noise, stored twice so that an index up to 511 needs no
/// wrap.
extern const uint8_t NoisePermutation[512];
/// 1D gradients: ±1 to ±8.
extern const int8_t Gradients1[16];
/// 2D gradients (gx, gy): the eight vectors (±1, ±2) and (±2, ±1).
extern const int8_t Gradients2[8][2];
/// 3D gradients: the twelve cube-edge directions, then four of them again to fill sixteen.
extern const int8_t Gradients3[16][3];
/// 4D gradients: the 32 vectors with one zero component and three of ±1.
extern const int8_t Gradients4[32][4];
/// 4D simplex traversal: for each of the 64 outcomes of the six pairwise comparisons of the
/// coordinates, the rank (0 to 3) of x, y, z and w; outcomes that cannot occur hold zeros.
extern const uint8_t SimplexOrder4[64][4];

/// Gradient noise; scales 0.094 (1D), 0.2535 (2D), 0.468 (3D) and 0.435 (4D).
float GradientNoise(float x);
float GradientNoise(float x, float y);
float GradientNoise(const Vec3& p);
float GradientNoise(const Vec3& p, float w);

/// Simplex noise; scales 0.197 (1D), 20 (2D), 36 (3D) and 31 (4D).
float SimplexNoise(float x);
float SimplexNoise(float x, float y);
float SimplexNoise(const Vec3& p);
float SimplexNoise(const Vec3& p, float w);

/// Three independent gradient-noise values at one point.
Vec3 GradientNoiseVector(float x);
Vec3 GradientNoiseVector(float x, float y);
Vec3 GradientNoiseVector(const Vec3& p);
Vec3 GradientNoiseVector(const Vec3& p, float w);

/// Three independent simplex-noise values at one point.
Vec3 SimplexNoiseVector(float x);
Vec3 SimplexNoiseVector(float x, float y);
Vec3 SimplexNoiseVector(const Vec3& p);
Vec3 SimplexNoiseVector(const Vec3& p, float w);

}  // namespace Quorvin
