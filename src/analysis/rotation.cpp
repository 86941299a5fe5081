#include "analysis/rotation.h"

#include <cmath>

#include "pixels/fixed.h"

namespace voved {

namespace {

constexpr int16_t kNoRotation = -4;
constexpr double kShortMax = 32767.0;
constexpr double kShortMin = -32768.0;

double Length(const Vector3& v) {
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

double Dot(const Vector3& a, const Vector3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vector3 Cross(const Vector3& a, const Vector3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

}  // namespace

// Rodrigues' formula with the unit axis k, the cosine and sine of the angle
// and t = 1 - cos.
int16_t BuildRotation(const Vector3& a, const Vector3& b, Matrix3* rotation) {
    const double n = Length(a) * Length(b);
    if (!(n > 0.0) || !std::isfinite(n)) {
        return kNoRotation;
    }
    const Vector3 normal = Cross(a, b);
    const double normalLength = Length(normal);
    if (normalLength == 0.0) {
        // Parallel vectors have no axis: nothing to turn, or no unique turn.
        if (Dot(a, b) > 0.0) {
            *rotation = kIdentityMatrix;
            return 0;
        }
        return kNoRotation;
    }
    const Vector3 k{normal.x / normalLength, normal.y / normalLength, normal.z / normalLength};
    const double cosine = Dot(a, b) / n;
    const double sine = normalLength / n;
    const double t = 1.0 - cosine;
    Matrix3& r = *rotation;
    r[0][0] = cosine + t * k.x * k.x;
    r[0][1] = t * k.x * k.y - sine * k.z;
    r[0][2] = t * k.x * k.z + sine * k.y;
    r[1][0] = t * k.x * k.y + sine * k.z;
    r[1][1] = cosine + t * k.y * k.y;
    r[1][2] = t * k.y * k.z - sine * k.x;
    r[2][0] = t * k.x * k.z - sine * k.y;
    r[2][1] = t * k.y * k.z + sine * k.x;
    r[2][2] = cosine + t * k.z * k.z;
    return 0;
}

int16_t RoundToShort(double x) {
    if (x > 0.0) {
        return x >= kShortMax ? INT16_MAX : TruncToShort(x + 0.5);
    }
    if (x <= 0.0) {
        return x < kShortMin ? INT16_MIN : TruncToShort(x - 0.5);
    }
    return 0;
}

}  // namespace voved
