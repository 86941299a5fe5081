#include "stats/colour_geometry.h"

#include <cmath>

#include "pixels/fixed.h"

namespace voved {

namespace {

// Degrees per radian, as the hue measure has always used it (slightly above
// 180 / pi, so results near the axes must not be "corrected").
constexpr double kDegreesPerRadian = 57.29582790879778;

constexpr int32_t kNoHue = -100;
constexpr int32_t kHueOfPositiveRY = 90;
constexpr int32_t kHueOfNegativeRY = 270;
constexpr int32_t kFullTurn = 360;

}  // namespace

int32_t HueAngle(double a, double x) {
    if (x == 0.0) {
        if (a == 0.0) {
            return kNoHue;
        }
        return a > 0.0 ? kHueOfPositiveRY : kHueOfNegativeRY;
    }
    int32_t h = TruncToInt32(std::atan2(a, x) * kDegreesPerRadian);
    if (h < 0) {
        h += kFullTurn;
    }
    return (h < 0 || h >= kFullTurn) ? 0 : h;
}

double ChromaRadius(double q, int16_t exact) {
    if (q <= 0.0) {
        return 0.0;
    }
    const double root = std::sqrt(q);
    return exact == 0 ? root + 0.5 : root;
}

}  // namespace voved
