// The decimal number format of the polynomial tone curves.
//
// A value is mantissa x 10^exponent. Products keep about four significant
// digits: a mantissa is brought back within +-10000 after every
// multiplication by truncating divisions by ten with 5 added first: a positive
// mantissa rounds to nearest, a negative one moves up to one unit toward zero.
// Sums are aligned to the exponent -4, so the mantissa of a sum is the value
// x 10000. The mantissa is a 32-bit register and wraps as one; the exponent
// is 16-bit.
#pragma once

#include <cstdint>

#include "pixels/fixed.h"

namespace voved {

struct QVDecimal {
    int32_t mantissa;
    int16_t exponent;
};

// The mantissa bound kept by normalisation and the exponent of a sum.
constexpr int32_t kDecimalMantissaLimit = 10000;
constexpr int16_t kDecimalSumExponent = -4;

// One decimal digit off the mantissa, rounding on the digit dropped.
constexpr QVDecimal DropDigit(QVDecimal value) {
    return {AddWrap32(value.mantissa, 5) / 10, s16(value.exponent + 1)};
}

constexpr QVDecimal NormaliseDecimal(QVDecimal value) {
    while (value.mantissa > kDecimalMantissaLimit || value.mantissa < -kDecimalMantissaLimit) {
        value = DropDigit(value);
    }
    return value;
}

constexpr QVDecimal MultiplyDecimal(QVDecimal a, QVDecimal b) {
    a = NormaliseDecimal(a);
    b = NormaliseDecimal(b);
    return NormaliseDecimal(
        {MulWrap32(a.mantissa, b.mantissa), s16(int32_t{a.exponent} + b.exponent)});
}

// The value at the exponent of a sum.
constexpr QVDecimal AlignDecimal(QVDecimal value) {
    while (value.exponent < kDecimalSumExponent) {
        value = DropDigit(value);
    }
    while (value.exponent > kDecimalSumExponent) {
        value = {MulWrap32(value.mantissa, 10), s16(value.exponent - 1)};
    }
    return value;
}

// a + b. A zero term leaves the sum as it stands, unaligned.
constexpr QVDecimal AddDecimal(QVDecimal a, QVDecimal b) {
    if (b.mantissa == 0) {
        return a;
    }
    a = AlignDecimal(a);
    b = AlignDecimal(b);
    return {AddWrap32(a.mantissa, b.mantissa), kDecimalSumExponent};
}

}  // namespace voved
