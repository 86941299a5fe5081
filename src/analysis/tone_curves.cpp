#include "analysis/tone_curves.h"

#include <cmath>

#include "pixels/fixed.h"

namespace voved {

namespace {

constexpr int16_t kNoCurve = -4;

constexpr int32_t kTopTargetLevel = 245;
constexpr double kTopTarget = 255.0;
constexpr int32_t kLowestWhite = 92;
constexpr double kTargetAtLowestWhite = 224.0;
constexpr double kTargetPerLevel = 0.13725490196078433;  // 35 / 255

constexpr double kByteTop = 255.0;
constexpr double kByteRoundUp = 254.5;

// Output floor of the rotation curve: lifted unless the highlight analysis
// moved the white search.
constexpr uint8_t kUnmovedWhiteSearch = 255;
constexpr double kLiftedFloor = 10.0;
// A white point far below the raw white level (specular highlights) aims
// lower.
constexpr int32_t kFarBelowRawWhite = 30;
constexpr int32_t kLowWhite = 180;
constexpr int32_t kMiddleWhite = 200;
constexpr double kLowWhiteTarget = 200.0;
constexpr double kMiddleWhiteTarget = 220.0;
constexpr int16_t kSceneBrightHighlights = 5138;

// How far the neutral level may stray from the rotated one before the curve
// stops passing through it.
constexpr double kNearNeutral = 30.0;
constexpr double kNeutralAboveWhite = 15.0;
constexpr double kFarBelowBlack = -300.0;
constexpr double kDeepFloor = -5.0;
constexpr double kShadowLift = 1.5;
constexpr double kSteepestShadowEnd = 192.0;
// A white point without chroma is its own nearest grey point, so the rotated
// span and the rotated grey level are then equal but for rounding. The
// segments that end at white divide by their difference: a difference this
// small is no span at all, not a vertical segment that whitens everything.
constexpr double kSameLevel = 1e-9;

constexpr double kStretchFloor = 10.0;
constexpr int32_t kStretchTop = 245;
constexpr int32_t kStretchTopRaised = 255;

// The shapes the rotation curve can take. Each is evaluated in its own form.
enum class CurveShape {
    kKeep,         // leave the curve as it is
    kThroughGrey,  // o + (t - o) i / m
    kStraight,     // o + r i
    kFromBelow,    // -5 + (g + 5) i / l
    kToWhite,      // g - w l + w i: the line through the grey point and white
    kTwoSegments,  // o + (e - o) i / m below m, then the line from (m, e) to (l, g)
};

struct RotationCurve {
    CurveShape shape = CurveShape::kKeep;
    double o = 0.0;  // output floor
    double g = 0.0;  // output target of the white point
    double l = 0.0;  // rotated white span
    double m = 0.0;  // rotated neutral level
    double t = 0.0;  // neutral level
    double r = 0.0;  // (g - o) / l
    double w = 0.0;  // slope of the segment that ends at white
    double e = 0.0;  // output at m of the two-segment curve
};

double WhiteTarget(const QVContext& context, const QVAnalysisRecord& record) {
    const int32_t white = record.whiteLevel;
    double g = TargetWhite(white);
    if (static_cast<int32_t>(context.whiteLevel) - white > kFarBelowRawWhite) {
        if (white < kLowWhite) {
            g = kLowWhiteTarget;
        } else if (white < kMiddleWhite) {
            g = kMiddleWhiteTarget;
        }
    }
    if (context.sceneCode == kSceneBrightHighlights) {
        g = white;
    }
    return g;
}

double RotatedSpan(const QVAnalysisRecord& record, const Matrix3& m) {
    return m[2][0] * (record.whiteRY - record.shadowRY) +
           m[2][1] * (record.whiteBY - record.shadowBY) +
           m[2][2] * (static_cast<double>(record.whiteLevel) - record.blackLevel);
}

// The straight line from the floor to the white target needs a white point
// above the black point.
CurveShape StraightIfSpan(const RotationCurve& c) {
    return c.l > 0.0 ? CurveShape::kStraight : CurveShape::kKeep;
}

// Through the grey point, unless it sits on the black point.
CurveShape ThroughGreyIfAbove(const RotationCurve& c) {
    return c.m != 0.0 ? CurveShape::kThroughGrey : StraightIfSpan(c);
}

CurveShape ChooseShape(RotationCurve* c) {
    const double diff = c->t - c->m;
    if (c->l - c->m <= kSameLevel) {
        return std::fabs(diff) < kNearNeutral ? ThroughGreyIfAbove(*c) : StraightIfSpan(*c);
    }
    if (c->m < kFarBelowBlack) {
        return c->l != 0.0 ? CurveShape::kFromBelow : CurveShape::kKeep;
    }
    if (c->m <= 0.0) {
        if (std::fabs(diff) <= kNearNeutral) {
            c->w = (c->g - c->t) / (c->l - c->m);
            const double a = c->g - c->w * c->l;
            return a <= c->o ? CurveShape::kToWhite : StraightIfSpan(*c);
        }
        return StraightIfSpan(*c);
    }
    if (c->t >= c->g) {
        return diff >= kNeutralAboveWhite ? StraightIfSpan(*c) : ThroughGreyIfAbove(*c);
    }
    if (c->t <= c->o) {
        c->w = (c->g - c->t) / (c->l - c->m);
        return CurveShape::kToWhite;
    }
    if (c->o < c->t) {
        c->e = c->m >= kSteepestShadowEnd ? c->t : std::fmin(c->o + kShadowLift * c->m, c->t);
        c->w = (c->g - c->e) / (c->l - c->m);
        return CurveShape::kTwoSegments;
    }
    return CurveShape::kKeep;  // only for values that are not numbers
}

double Evaluate(const RotationCurve& c, double i) {
    switch (c.shape) {
    case CurveShape::kThroughGrey:
        return c.o + (c.t - c.o) * i / c.m;
    case CurveShape::kStraight:
        return c.o + c.r * i;
    case CurveShape::kFromBelow:
        return kDeepFloor + (c.g + 5.0) * i / c.l;
    case CurveShape::kToWhite:
        return c.g - c.w * c.l + c.w * i;
    case CurveShape::kTwoSegments:
        return i < c.m ? c.o + (c.e - c.o) * i / c.m : c.g - c.w * c.l + c.w * i;
    case CurveShape::kKeep:
        break;
    }
    return i;
}

}  // namespace

double TargetWhite(int32_t whiteLevel) {
    if (whiteLevel >= kTopTargetLevel) {
        return kTopTarget;
    }
    return (whiteLevel - kLowestWhite) * kTargetPerLevel + kTargetAtLowestWhite;
}

int16_t RoundToByte(double x) {
    if (x >= kByteRoundUp) {
        return static_cast<int16_t>(kByteTop);
    }
    if (x < 0.0) {
        return 0;
    }
    return TruncToShort(x + 0.5);
}

int16_t BuildRotationCurve(QVContext* context, const QVAnalysisRecord& record,
                           const Matrix3& rotation, uint8_t whiteSearchTop) {
    RotationCurve c;
    c.o = whiteSearchTop == kUnmovedWhiteSearch ? kLiftedFloor : 0.0;
    c.g = WhiteTarget(*context, record);
    c.l = RotatedSpan(record, rotation);
    c.r = (c.g - c.o) / c.l;
    c.t = record.neutralLevel;
    c.m = record.rotatedNeutralLevel;
    c.shape = ChooseShape(&c);
    if (c.shape == CurveShape::kKeep) {
        return 0;
    }
    for (int i = 0; i < kToneCurveSize; ++i) {
        context->toneCurve[i] = RoundToShort(Evaluate(c, static_cast<double>(i)));
    }
    return 0;
}

int16_t BuildStretchCurve(QVContext* context, QVAnalysisRecord* record) {
    int32_t top = kStretchTop;
    if (context->whiteLevel > record->whiteLevel) {
        record->whiteLevel = context->whiteLevel;
        top = kStretchTopRaised;
    }
    const int32_t span = static_cast<int32_t>(record->whiteLevel) - record->blackLevel;
    if (span <= 0) {
        return kNoCurve;
    }
    const double slope = static_cast<double>(top - 10) / span;
    const double intercept = kStretchFloor - record->blackLevel * slope;
    for (int i = 0; i < kLevels; ++i) {
        context->toneCurve[i] = RoundToByte(intercept + slope * i);
    }
    return 0;
}

}  // namespace voved
