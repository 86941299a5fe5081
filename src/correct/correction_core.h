// The per-pixel colour correction in fixed point, shared by everything that
// corrects: the one-shot correction and the two streaming line steps.
//
// Types 5001 and 5002 correct through the colour matrix: the differences
// (minus the shadow cast) and the luminance (minus the black level) form the
// column (c0, c1, c2); the matrix rows give u, v and w with 1024 = 1.0. The
// tone curve at w / 1024 gives the new luminance L, and the output is
// L + u / 1024 in red, L + v / 1024 in blue and green from the inverse
// transform. Every other type maps each channel through the tone curve.
//
// Widths: inputs, differences and clamps are signed 16-bit; products and
// their sums are signed 32-bit and wrap; shifts round toward minus infinity
// and the division by 9 truncates toward zero.
#pragma once

#include <cstdint>

#include "context/context.h"
#include "correct/fixed_output_curve.h"
#include "pixels/fixed.h"
#include "pixels/pixels.h"

namespace voved {

constexpr unsigned kFixedShift = 10;     // 1024 = 1.0
constexpr int32_t kNearWhiteSum = 763;   // a source R + G + B above this is written white
constexpr int16_t kNearWhiteLuma = 255;  // the same test on a working sample
constexpr int16_t kCurveBlack = 0;       // a tone-curve value that forces black
constexpr int16_t kCurveWhite = 300;     // a tone-curve value from which white is forced
constexpr int32_t kLastCurveIndex = kToneCurveSize - 1;

constexpr Rgb kBlack = {0, 0, 0};
constexpr Rgb kWhite = {255, 255, 255};

// The three products of the matrix step and the tone-curve value.
struct MatrixTerms {
    int32_t u;      // red difference x 1024
    int32_t v;      // blue difference x 1024
    int16_t level;  // L, the new luminance
};

// 0 when the context holds derived parameters; -2 when it is missing or
// invalid, -3 when the parameters were not derived.
inline int16_t CheckDerived(const QVContext* context) {
    if (context == nullptr || context->magic != kContextMagic ||
        (context->flags & kFlagValid) == 0) {
        return QV_RESULT_INVALID;
    }
    if ((context->flags & kFlagDerived) == 0) {
        return QV_RESULT_NOT_DERIVED;
    }
    return QV_RESULT_OK;
}

inline bool IsRotationType(int16_t type) {
    return type == kTypeRotation || type == kTypeBrightRotation;
}

// The correction parameters of one context, read once per line.
class PixelCorrection {
  public:
    explicit PixelCorrection(const QVContext& context)
        : curve_(context.toneCurve), castRY_(context.shadowCastRY), castBY_(context.shadowCastBY),
          blackLevel_(context.blackLevel),
          fixedCurve_(context.correctionType == kTypeBrightRotation) {
        for (int k = 0; k < 9; ++k) {
            m_[k] = context.colourMatrix[k];
        }
    }

    // The matrix step: u, v and the tone-curve value at w / 1024, the index
    // clamped to the curve.
    MatrixTerms Matrix(int32_t y, int32_t dr, int32_t db) const {
        const int16_t c0 = s16(dr - castRY_);
        const int16_t c1 = s16(db - castBY_);
        const int16_t c2 = s16(y - blackLevel_);
        const int32_t u = Row(0, c0, c1, c2);
        const int32_t v = Row(3, c0, c1, c2);
        const int32_t w = Row(6, c0, c1, c2);
        const int32_t index = ClampShort(AsrInt(w, kFixedShift), 0, kLastCurveIndex);
        return {u, v, curve_[index]};
    }

    // The output step: black for L = 0, white from L = 300, otherwise the
    // inverse transform around L (type 5002: through the fixed output curve).
    Rgb Output(const MatrixTerms& t) const {
        if (t.level == kCurveBlack) {
            return kBlack;
        }
        if (t.level >= kCurveWhite) {
            return kWhite;
        }
        const Rgb c = Inverse(t);
        return fixedCurve_ ? ThroughFixedCurve(c) : c;
    }

    // The inverse transform around L, each channel clamped to 0..255.
    static Rgb Inverse(const MatrixTerms& t) {
        const int32_t green = AddWrap32(MulWrap32(5, t.u), MulWrap32(2, t.v)) / 9;
        return {ClampByte(t.level + AsrInt(t.u, kFixedShift)),
                ClampByte(t.level - AsrInt(green, kFixedShift)),
                ClampByte(t.level + AsrInt(t.v, kFixedShift))};
    }

    // The per-channel variant: the low 8 bits of the tone curve at each
    // channel (0..255).
    Rgb Channels(const Rgb& c) const { return {u8(curve_[c.r]), u8(curve_[c.g]), u8(curve_[c.b])}; }

    // Whole curve values, for the working-line form of the per-channel
    // variant.
    int16_t Curve(int32_t channel) const { return curve_[channel]; }

    // The luminance sample type 5002 stores in a working line.
    bool UsesFixedCurve() const { return fixedCurve_; }

  private:
    int32_t Row(int first, int16_t c0, int16_t c1, int16_t c2) const {
        return AddWrap32(AddWrap32(MulWrap32(m_[first], c0), MulWrap32(m_[first + 1], c1)),
                         MulWrap32(m_[first + 2], c2));
    }
    static Rgb ThroughFixedCurve(const Rgb& c) {
        return {kFixedOutputCurve[c.r], kFixedOutputCurve[c.g], kFixedOutputCurve[c.b]};
    }

    int16_t m_[9];
    const int16_t* curve_;
    int16_t castRY_;
    int16_t castBY_;
    int16_t blackLevel_;
    bool fixedCurve_;
};

inline void WriteColour(uint8_t* p, int16_t layout, const Rgb& c, uint16_t bit15) {
    WritePixel(p, layout, c.r, c.g, c.b, bit15);
}

}  // namespace voved
