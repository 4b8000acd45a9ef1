// The noise gradients as float rows padded to four: the values of Gradients1 to Gradients4, kept
// beside them so that the noise functions multiply by them directly, without integer conversions.
#pragma once

namespace Quorvin::GeometryPrivate {

extern const float GradientRows1[16];
extern const float GradientRows2[8][4];
extern const float GradientRows3[16][4];
extern const float GradientRows4[32][4];

}  // namespace Quorvin::GeometryPrivate
