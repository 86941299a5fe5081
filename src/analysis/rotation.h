// The colour rotation: 3-D vectors and matrices on the axes (R - Y, B - Y,
// luminance level), in double precision.
#pragma once

#include <array>
#include <cstdint>

namespace voved {

struct Vector3 {
    double x;
    double y;
    double z;
};

// Row-major: m[row][column].
using Matrix3 = std::array<std::array<double, 3>, 3>;

inline constexpr Matrix3 kIdentityMatrix = {{{1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}}};

// The rotation about the common normal of `a` and `b` that turns the
// direction of `a` onto that of `b`. Returns 0, or -4 (rotation unchanged)
// when either vector has no length or they point in opposite directions.
// Vectors that already point the same way give the identity.
int16_t BuildRotation(const Vector3& a, const Vector3& b, Matrix3* rotation);

// Rounds half away from zero into 16 bits, saturating at -32768 and 32767
// (and 0 for a value that is not a number).
int16_t RoundToShort(double x);

}  // namespace voved
