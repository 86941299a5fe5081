#include "analysis/tone_step_curves.h"

#include "analysis/tone_step.h"
#include "pixels/fixed.h"

namespace voved {

namespace {

constexpr int32_t kToneHalf = kToneOne / 2;
constexpr int32_t kTopLevel = kLevels - 1;
constexpr uint16_t kIdentityGamma = 100;  // gamma x 100

// The exponent p of the curves: the power (p - 1) / 100 is applied to the
// rootTable ratio, so p = 10000 / gamma stands for 100 / gamma.
int32_t RootPower(uint16_t gamma) {
    return kToneOne / gamma;
}

// q^(p - 1) for q in fixed point, by p - 2 rounded multiplications.
int32_t RaiseRoot(int32_t q, int32_t power) {
    int32_t d = q;
    for (int32_t step = 2; step < power; ++step) {
        d = (q * d + kToneHalf) / kToneOne;
    }
    return d;
}

// The joint of the knee curve is replaced, from 0.8 to 1.2 x knee, by the
// quadratic through its ends and a middle point pulled toward the knee by
// the slope above it. The products overflow 32 bits for small knees.
struct JointPoint {
    int64_t x;
    int64_t y;
};

// One Lagrange term of the quadratic through a, b and c at u, weighted by
// c's level, with its own truncating division.
int64_t LagrangeTerm(int64_t u, JointPoint a, JointPoint b, JointPoint c) {
    return (u - a.x) * (u - b.x) * kToneOne / ((c.x - a.x) * (c.x - b.x)) * c.y;
}

void SmoothKneeJoint(int32_t knee, uint8_t* table) {
    const int32_t x1 = 8 * knee / 10;
    const int32_t x3 = 12 * knee / 10;
    if (x3 > kTopLevel) {
        return;  // the joint would reach past the top level: keep the knee
    }
    const JointPoint first{x1, table[x1]};
    const JointPoint last{x3, table[x3]};
    const int64_t h = int64_t{50000 / (2 * knee)} * (last.y - first.y);
    const int64_t hh = h * h / kToneOne;
    const int64_t m = 10 * hh + 100000;
    const JointPoint middle{(h + 9 * hh + 100000) * knee / m, (h + 10 * hh + 90000) * knee / m};
    if (middle.x == first.x || middle.x == last.x || first.x == last.x) {
        return;  // no quadratic through points sharing an x: keep the knee
    }
    for (int32_t u = x1; u <= x3; ++u) {
        const int64_t sum = LagrangeTerm(u, middle, last, first) +
                            LagrangeTerm(u, first, last, middle) +
                            LagrangeTerm(u, first, middle, last);
        table[u] = u8(sum / kToneOne);
    }
}

}  // namespace

int16_t GammaExponentCurve(uint16_t gamma, uint8_t* table) {
    if (gamma == 0 || gamma == kIdentityGamma) {
        return kToneNoFit;
    }
    const int32_t power = RootPower(gamma);
    table[0] = 0;
    for (int32_t i = 1; i <= kTopLevel; ++i) {
        const int32_t q = (rootTable[i] * kToneOne + kToneHalf) / rootTable[kTopLevel];
        const int32_t d = RaiseRoot(q, power);
        table[i] = u8((kTopLevel * d + kToneHalf) / kToneOne);
    }
    return 0;
}

int16_t KneeCurve(uint16_t gamma, uint16_t knee, uint8_t* table) {
    if (gamma == 0 || knee == 0 || knee > kTopLevel) {
        return kToneNoFit;
    }
    const int32_t power = RootPower(gamma);
    const int32_t k = knee;
    for (int32_t i = 0; i <= k; ++i) {
        table[i] = u8(i);
    }
    for (int32_t i = k + 1; i <= kTopLevel; ++i) {
        const int32_t q = rootTable[i - k] * kToneOne / rootTable[kTopLevel - k];
        const int32_t d = RaiseRoot(q, power);
        table[i] = u8(k + ((kTopLevel - k) * d + kToneHalf) / kToneOne);
    }
    SmoothKneeJoint(k, table);
    return 0;
}

void PolynomialCurve(const QVDecimal (&coefficients)[kPolynomialTerms], uint8_t* table) {
    table[0] = 0;
    for (int32_t i = 1; i <= kTopLevel; ++i) {
        const QVDecimal x{i, 0};
        QVDecimal power = x;
        QVDecimal y = coefficients[0];
        for (int term = 1; term < kPolynomialTerms; ++term) {
            if (term > 1) {
                power = MultiplyDecimal(power, x);
            }
            y = AddDecimal(y, MultiplyDecimal(coefficients[term], power));
        }
        const int32_t level = AddWrap32(y.mantissa, kToneHalf) / kToneOne;
        table[i] = u8(Limit(level, 0, kTopLevel));
    }
}

}  // namespace voved
