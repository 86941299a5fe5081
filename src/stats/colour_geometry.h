// Hue and chroma radius of a colour-difference pair, shared by the
// statistics and the analysis.
#pragma once

#include <cstdint>

namespace voved {

// Hue in whole degrees 0..359 of (a = R - Y, x = B - Y); -100 when both are 0.
int32_t HueAngle(double a, double x);

// Square root of q (0 when q <= 0), plus 0.5 unless `exact` is non-zero.
double ChromaRadius(double q, int16_t exact);

}  // namespace voved
