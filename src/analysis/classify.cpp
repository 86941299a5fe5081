#include "analysis/classify.h"

#include <cmath>
#include <iterator>
#include <limits>

#include "analysis/camera_plugin.h"
#include "analysis/rotation.h"
#include "analysis/tone_curves.h"
#include "pixels/fixed.h"
#include "stats/colour_geometry.h"

namespace voved {

namespace {

constexpr int16_t kNoCorrection = -4;
constexpr int32_t kNoHue = -100;
constexpr int32_t kHalfTurn = 180;
constexpr int32_t kFullTurn = 360;
constexpr int32_t kRatioScale = 1024;

constexpr int16_t kDefaultRotationStrength = 2;
constexpr int16_t kScenePlain = 5101;
constexpr int16_t kScenePartialRotation = 5123;
constexpr int16_t kSceneBrightHighlights = 5138;
constexpr int16_t kSceneBrightCast = 5139;

// Bright scenes among the plain rotations: highlights that the shoulder
// analysis moved, or a strong cast under a low white point.
constexpr int32_t kBrightHighlightsWhite = 180;
constexpr double kBrightHighlightsNeutral = 70.0;
constexpr int32_t kBrightCastDistance = 70;
constexpr int32_t kBrightCastWhite = 150;
constexpr uint8_t kUnmovedWhiteSearch = 255;

// The grey axis the rotation aims the cast at, and the share of the cast's
// colour that a partial rotation keeps, by rotation strength 1..3.
constexpr double kGreyAxisLength = 1024.0;
constexpr double kKeptColour[] = {0.75, 0.5, 0.25};

constexpr double kUnitGain = 1024.0;

// ---- Rule table --------------------------------------------------------------

constexpr int64_t kLowest = std::numeric_limits<int64_t>::min();
constexpr int64_t kHighest = std::numeric_limits<int64_t>::max();

constexpr Condition AtLeast(Feature f, int64_t v) {
    return {f, v, kHighest};
}
constexpr Condition Above(Feature f, int64_t v) {
    return {f, v + 1, kHighest};
}
constexpr Condition AtMost(Feature f, int64_t v) {
    return {f, kLowest, v};
}
constexpr Condition Below(Feature f, int64_t v) {
    return {f, kLowest, v - 1};
}
constexpr Condition Within(Feature f, int64_t lo, int64_t hi) {
    return {f, lo, hi};
}
constexpr Condition Equals(Feature f, int64_t v) {
    return {f, v, v};
}

constexpr Feature MR = Feature::kMeanRadius;
constexpr Feature H = Feature::kCastDistance;
constexpr Feature K = Feature::kShadowRadius;
constexpr Feature J = Feature::kWhiteRadius;
constexpr Feature JK = Feature::kRadiusSum;
constexpr Feature L = Feature::kWhiteHue;
constexpr Feature M = Feature::kShadowHue;
constexpr Feature HS = Feature::kHueSpread;
constexpr Feature LS = Feature::kLevelHueSpread;
constexpr Feature Gap = Feature::kHueGap;
constexpr Feature Ratio = Feature::kRadiusRatio;
constexpr Feature I = Feature::kNeutralLevel;

constexpr int16_t kNone = kTypeNone;
constexpr int16_t kRotate = kTypeRotation;
constexpr int16_t kStretch = kTypeStretch;

// Tried in order; the first rule that holds decides. Rules 1 to 23 look for
// scenes that must not be corrected, or only stretched; rules 24 to 41 are
// tried only when none of those holds; rule 42 rotates everything else.
// clang-format off
constexpr SceneRule kSceneRules[] = {
    { 1, 5102, kNone,    {AtLeast(MR, 55), AtLeast(H, 80)}},
    { 2, 5103, kNone,    {AtLeast(MR, 70), AtLeast(H, 20)}},
    { 3, 5104, kNone,    {AtLeast(K, 50)}},
    { 4, 5105, kNone,    {Within(L, 80, 130), AtLeast(J, 80)}},
    { 5, 5106, kStretch, {Within(L, 80, 130), AtLeast(J, 20)}},
    { 6, 5107, kNone,    {Within(M, 90, 165), AtLeast(K, 30)}},
    { 7, 5108, kStretch, {Within(M, 90, 165), AtLeast(K, 8), Within(L, 130, 165), AtLeast(J, 20)}},
    { 8, 5109, kNone,    {Within(M, 90, 165), AtLeast(K, 8), Within(L, 0, 145), AtMost(J, 10)}},
    { 9, 5110, kNone,    {Within(M, 90, 165), AtLeast(K, 8), AtLeast(H, 50)}},
    {10, 5111, kNone,    {Within(M, 90, 165), AtLeast(K, 8), AtLeast(H, 30), AtLeast(Gap, 100),
                          AtLeast(MR, 20)}},
    {11, 5112, kNone,    {Within(L, 130, 165), AtLeast(J, 50), AtMost(MR, 50)}},
    {12, 5113, kNone,    {Within(L, 130, 165), AtLeast(J, 50), Equals(K, 0)}},
    {12, 5113, kNone,    {Within(L, 130, 165), AtLeast(J, 50), AtLeast(K, 20)}},
    {13, 5114, kStretch, {Within(L, 130, 165), Within(J, 20, 49), AtLeast(H, 20)}},
    {14, 5115, kNone,    {Within(M, 300, 359), AtLeast(K, 20), Below(MR, 30)}},
    {15, 5117, kStretch, {Within(L, 300, 340), AtLeast(J, 10), Above(Gap, 100)}},
    {16, 5116, kStretch, {Within(L, 300, 340), Equals(M, -100), AtLeast(J, 30)}},
    {17, 5118, kNone,    {Within(L, 0, 100), AtMost(JK, 12)}},
    {18, 5119, kNone,    {Equals(JK, 0)}},
    {19, 5120, kNone,    {AtMost(HS, 25)}},
    {20, 5120, kNone,    {AtMost(HS, 40), AtLeast(H, 40)}},
    {21, 5121, kNone,    {AtMost(HS, 50), AtMost(LS, 50)}},
    {22, 5122, kStretch, {AtMost(HS, 50), AtMost(LS, 80)}},
    {23, 5121, kNone,    {Above(HS, 50), AtMost(LS, 10)}},

    {24, 5124, kNone,    {AtLeast(Ratio, 8192), AtLeast(H, 35)}},
    {25, 5125, kStretch, {AtLeast(Ratio, 8192)}},
    {26, 5126, kNone,    {AtLeast(Ratio, 3072), AtLeast(H, 30), AtMost(HS, 1000)}},
    {27, 5126, kNone,    {AtLeast(Ratio, 2560), AtLeast(H, 15), AtMost(HS, 700), AtLeast(MR, 40)}},
    {28, 5129, kNone,    {AtLeast(H, 70), Within(HS, 250, 5000), AtMost(L, 200)}},
    {29, 5130, kStretch, {AtLeast(H, 70), Within(HS, 250, 5000), AtLeast(LS, 500)}},
    {30, 5133, kNone,    {AtLeast(J, 40), AtLeast(HS, 1000), AtLeast(LS, 300), Equals(K, 0)}},
    {31, 5123, kRotate,  {AtLeast(J, 40), AtLeast(HS, 1000), AtLeast(LS, 300)}},
    {32, 5132, kNone,    {AtLeast(J, 25), AtMost(L, 300), AtLeast(MR, 58)}},
    {33, 5123, kRotate,  {AtLeast(J, 20), AtLeast(L, 300), AtMost(MR, 25), AtMost(I, -30)}},
    {34, 5127, kNone,    {Equals(K, 0), AtLeast(J, 18), AtMost(HS, 200)}},
    {34, 5127, kNone,    {Equals(K, 0), AtLeast(J, 18), AtLeast(HS, 7000), AtLeast(LS, 7000)}},
    {35, 5128, kStretch, {Equals(K, 0), AtLeast(J, 18), AtMost(L, 300)}},
    {36, 5131, kNone,    {AtLeast(I, 500), AtMost(HS, 400), AtMost(L, 300)}},
    {37, 5134, kNone,    {AtLeast(L, 300), AtLeast(J, 25), AtMost(HS, 100)}},
    {38, 5135, kNone,    {AtLeast(L, 300), AtLeast(J, 10), AtLeast(LS, 700), AtLeast(I, 400)}},
    {39, 5136, kNone,    {AtLeast(L, 300), AtLeast(J, 10), Within(LS, 700, 1500), AtMost(MR, 20)}},
    {40, 5137, kStretch, {Equals(J, 0), AtLeast(K, 10)}},
    {41, 5140, kStretch, {AtMost(L, 170), AtMost(LS, 230), AtMost(I, -150)}},
    {42, kScenePlain, kRotate, {}},
};
// clang-format on

int64_t ValueOf(const SceneFeatures& f, Feature feature) {
    switch (feature) {
    case Feature::kMeanRadius:
        return f.meanRadius;
    case Feature::kCastDistance:
        return f.castDistance;
    case Feature::kShadowRadius:
        return f.shadowRadius;
    case Feature::kWhiteRadius:
        return f.whiteRadius;
    case Feature::kRadiusSum:
        return static_cast<int64_t>(f.whiteRadius) + f.shadowRadius;
    case Feature::kWhiteHue:
        return f.whiteHue;
    case Feature::kShadowHue:
        return f.shadowHue;
    case Feature::kHueSpread:
        return f.hueSpread;
    case Feature::kLevelHueSpread:
        return f.levelHueSpread;
    case Feature::kHueGap:
        return f.hueGap;
    case Feature::kRadiusRatio:
        return f.radiusRatio;
    case Feature::kNeutralLevel:
        return f.neutralLevel;
    case Feature::kNone:
        break;
    }
    return 0;
}

// ---- Features ----------------------------------------------------------------

// Chroma radius of a mean cast: each difference truncated to 16 bits first,
// the root truncated.
int32_t CastRadius(double ry, double by) {
    const double a = TruncToShort(ry);
    const double b = TruncToShort(by);
    return TruncToInt32(std::sqrt(a * a + b * b));
}

int32_t HueGap(int32_t whiteHue, int32_t shadowHue) {
    if (whiteHue == kNoHue || shadowHue == kNoHue) {
        return kNoHue;
    }
    const int32_t gap = whiteHue > shadowHue ? whiteHue - shadowHue : shadowHue - whiteHue;
    return gap > kHalfTurn ? kFullTurn - gap : gap;
}

// Rounds half away from zero, saturating at the 32-bit range.
int32_t RoundHalfAway(double x) {
    if (std::isnan(x)) {
        return 0;
    }
    if (x >= 2147483647.0) {
        return INT32_MAX;
    }
    if (x <= -2147483648.0) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(std::lround(x));
}

// ---- Rotation and correction ---------------------------------------------------

// The rotation that brings the cast vector onto the grey axis, or, for a
// partial rotation, onto a vector of the same length that keeps part of the
// cast's colour. A cast without chroma needs no rotation.
int16_t BuildCastRotation(const CastGeometry& cast, const SceneChoice& choice, Matrix3* rotation) {
    *rotation = kIdentityMatrix;
    if (cast.dRY == 0.0 && cast.dBY == 0.0) {
        return 0;
    }
    Vector3 target{0.0, 0.0, kGreyAxisLength};
    if (choice.sceneClass == kScenePartialRotation) {
        const double s = kKeptColour[Limit(choice.rotationStrength, 1, 3) - 1];
        const double keptRY = s * cast.dRY;
        const double keptBY = s * cast.dBY;
        target = {keptRY, keptBY,
                  std::sqrt(cast.castLength * cast.castLength - keptRY * keptRY - keptBY * keptBY)};
    }
    return BuildRotation({cast.dRY, cast.dBY, cast.dY}, target, rotation);
}

// Plain rotations of bright scenes keep the rotation but aim the tone curve
// differently.
void ChooseBrightScene(SceneChoice* choice, const QVAnalysisRecord& record, int32_t castDistance,
                       uint8_t whiteSearchTop) {
    if (choice->sceneClass != kScenePlain) {
        return;
    }
    if (whiteSearchTop < kUnmovedWhiteSearch && record.whiteLevel < kBrightHighlightsWhite &&
        record.neutralLevel > kBrightHighlightsNeutral) {
        *choice = {kSceneBrightHighlights, kTypeBrightRotation, choice->rotationStrength};
    } else if (castDistance > kBrightCastDistance && record.whiteLevel < kBrightCastWhite) {
        *choice = {kSceneBrightCast, kTypeBrightRotation, choice->rotationStrength};
    }
}

// The colour rows carry the saturation gain; the level row does not.
void StoreColourMatrix(QVContext* context, const Matrix3& rotation) {
    const double gain = context->saturationGain;
    for (int r = 0; r < 3; ++r) {
        const double scale = r < 2 ? gain : kUnitGain;
        for (int j = 0; j < 3; ++j) {
            context->colourMatrix[3 * r + j] = RoundToShort(scale * rotation[r][j]);
        }
    }
}

int16_t BuildCorrection(QVContext* context, QVAnalysisRecord* record, const Matrix3& rotation,
                        uint8_t whiteSearchTop, int16_t type) {
    switch (type) {
    case kTypeRotation:
    case kTypeBrightRotation:
        if (BuildRotationCurve(context, *record, rotation, whiteSearchTop) != 0) {
            return kNoCorrection;
        }
        StoreColourMatrix(context, rotation);
        return 0;
    case kTypeStretch:
        return BuildStretchCurve(context, record) == 0 ? 0 : kNoCorrection;
    default:
        return kNoCorrection;
    }
}

}  // namespace

CastGeometry MeasureCast(const QVAnalysisRecord& record) {
    CastGeometry g{};
    g.dRY = record.whiteRY - record.shadowRY;
    g.dBY = record.whiteBY - record.shadowBY;
    g.dY = static_cast<double>(record.whiteLevel) - record.blackLevel;
    // Without chroma in the cast the line is a point: it is its own nearest
    // point to grey.
    g.u = record.shadowRY;
    g.v = record.shadowBY;
    if (g.dRY != 0.0 || g.dBY != 0.0) {
        const double p = g.dRY * g.dRY + g.dBY * g.dBY;
        g.u = g.dBY * (g.dBY * record.shadowRY - g.dRY * record.shadowBY) / p;
        g.v = g.dRY * (g.dRY * record.shadowBY - g.dBY * record.shadowRY) / p;
    }
    if (g.dBY != 0.0) {
        g.neutralLevel = record.blackLevel + g.dY * (g.v - record.shadowBY) / g.dBY;
    } else if (g.dRY != 0.0) {
        g.neutralLevel = record.blackLevel - g.dY * record.shadowRY / g.dRY;
    } else {
        g.neutralLevel = 0.0;
    }
    g.castLength = std::sqrt(g.dY * g.dY + g.dBY * g.dBY + g.dRY * g.dRY);
    return g;
}

SceneFeatures MeasureSceneFeatures(const QVAnalysisRecord& record, const CastGeometry& cast,
                                   uint32_t hueSpread, int32_t levelHueSpread, int16_t meanRadius) {
    SceneFeatures f{};
    f.meanRadius = meanRadius;
    f.castDistance = TruncToInt32(std::sqrt(cast.dRY * cast.dRY + cast.dBY * cast.dBY) + 0.5);
    f.shadowRadius = CastRadius(record.shadowRY, record.shadowBY);
    f.whiteRadius = CastRadius(record.whiteRY, record.whiteBY);
    f.whiteHue = HueAngle(record.whiteRY, record.whiteBY);
    f.shadowHue = HueAngle(record.shadowRY, record.shadowBY);
    f.hueSpread = hueSpread;
    f.levelHueSpread = levelHueSpread;
    f.hueGap = HueGap(f.whiteHue, f.shadowHue);
    f.radiusRatio = f.whiteRadius == 0 ? 0 : f.shadowRadius * kRatioScale / f.whiteRadius;
    f.neutralLevel = RoundHalfAway(cast.neutralLevel);
    return f;
}

bool RuleHolds(const SceneRule& rule, const SceneFeatures& features) {
    for (const Condition& c : rule.all) {
        if (c.feature == Feature::kNone) {
            continue;
        }
        const int64_t value = ValueOf(features, c.feature);
        if (value < c.lo || value > c.hi) {
            return false;
        }
    }
    return true;
}

const SceneRule& MatchSceneRule(const SceneFeatures& features) {
    for (const SceneRule& rule : kSceneRules) {
        if (RuleHolds(rule, features)) {
            return rule;
        }
    }
    return kSceneRules[std::size(kSceneRules) - 1];
}

int16_t ClassifyScene(QVContext* context, QVAnalysisRecord* record, uint32_t hueSpread,
                      int32_t levelHueSpread, uint32_t meanRadius, uint8_t whiteSearchTop) {
    record->neutralLevel = 0.0;
    record->rotatedNeutralLevel = 0.0;
    const CastGeometry cast = MeasureCast(*record);
    record->neutralLevel = cast.neutralLevel;
    const int16_t mr = s16(meanRadius);
    const SceneFeatures features =
        MeasureSceneFeatures(*record, cast, hueSpread, levelHueSpread, mr);
    const SceneRule& rule = MatchSceneRule(features);
    SceneChoice choice{rule.sceneClass, rule.type, kDefaultRotationStrength};

    // Without a plug-in the class and type stand as the rules gave them.
    uint16_t flags = 0;
    if (context->cameraModelSet != 0 && AskCameraPlugin(context->cameraModel, &flags) &&
        ApplyCameraFlags(context, flags, mr, &choice) != 0) {
        return kNoCorrection;
    }
    context->sceneCode = choice.sceneClass;

    Matrix3 rotation = kIdentityMatrix;
    if (choice.type == kTypeRotation && BuildCastRotation(cast, choice, &rotation) != 0) {
        return kNoCorrection;
    }
    record->rotatedNeutralLevel = rotation[2][0] * (cast.u - record->shadowRY) +
                                  rotation[2][1] * (cast.v - record->shadowBY) +
                                  rotation[2][2] * (record->neutralLevel - record->blackLevel);

    ChooseBrightScene(&choice, *record, features.castDistance, whiteSearchTop);
    context->sceneCode = choice.sceneClass;
    context->correctionType = choice.type;
    return BuildCorrection(context, record, rotation, whiteSearchTop, choice.type);
}

}  // namespace voved
