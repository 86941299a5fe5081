// The scene classification: features of the black and white points, an
// ordered table of rules that names the scene and its correction type, and
// the colour rotation and tone curve of the chosen correction.
#pragma once

#include <array>
#include <cstdint>

#include "analysis/analysis_record.h"
#include "context/context.h"

namespace voved {

// Geometry of the cast line that runs from the black point to the white
// point in (R - Y, B - Y, level).
struct CastGeometry {
    double dRY;  // the cast vector
    double dBY;
    double dY;
    double u;  // point of the chroma line nearest to grey
    double v;
    double neutralLevel;  // level at which the line passes (u, v)
    double castLength;    // length of the cast vector
};

CastGeometry MeasureCast(const QVAnalysisRecord& record);

// The integer features the rules test.
struct SceneFeatures {
    int32_t meanRadius;      // MR: mean chroma radius of the samples
    int32_t castDistance;    // H: chroma distance from black point to white point
    int32_t shadowRadius;    // K: chroma radius of the black point
    int32_t whiteRadius;     // J: chroma radius of the white point
    int32_t whiteHue;        // L: hue of the white point, -100 without chroma
    int32_t shadowHue;       // M: hue of the black point, -100 without chroma
    uint32_t hueSpread;      // HS: spread of the sampled hues
    int32_t levelHueSpread;  // LS: spread of the mean hues of the levels
    int32_t hueGap;          // angle between L and M, -100 when either is missing
    int32_t radiusRatio;     // K x 1024 / J
    int32_t neutralLevel;    // I: the neutral level rounded
};

// `meanRadius` is taken as a signed 16-bit value.
SceneFeatures MeasureSceneFeatures(const QVAnalysisRecord& record, const CastGeometry& cast,
                                   uint32_t hueSpread, int32_t levelHueSpread, int16_t meanRadius);

// What a rule condition can look at.
enum class Feature : uint8_t {
    kNone,  // an unused condition, always true
    kMeanRadius,
    kCastDistance,
    kShadowRadius,
    kWhiteRadius,
    kRadiusSum,  // J + K
    kWhiteHue,
    kShadowHue,
    kHueSpread,
    kLevelHueSpread,
    kHueGap,
    kRadiusRatio,
    kNeutralLevel,
};

// lo <= feature <= hi. Hue ranges start at 0, so a missing hue (-100) lies
// in none of them, while one-sided bounds compare -100 as a number.
struct Condition {
    Feature feature;
    int64_t lo;
    int64_t hi;
};

constexpr int kMaxConditions = 5;

// A rule holds when all its conditions hold. A rule whose condition has an
// "or" is written as two rows with the same number.
struct SceneRule {
    int16_t number;
    int16_t sceneClass;
    int16_t type;
    std::array<Condition, kMaxConditions> all;
};

bool RuleHolds(const SceneRule& rule, const SceneFeatures& features);

// The first rule that holds; the last rule always does.
const SceneRule& MatchSceneRule(const SceneFeatures& features);

// The scene's class and correction type, and how strongly a partial
// rotation keeps the cast.
struct SceneChoice {
    int16_t sceneClass;
    int16_t type;
    int16_t rotationStrength;  // 1..3
};

// Classifies the scene from the record and the spreads, stores
// `sceneCode` and `correctionType`, and for a correcting type builds the
// colour matrix and the tone curve. May change `saturationGain`, `mode` and
// `correctionMask` through the camera-properties plug-in. Returns 0 when the
// context holds a usable correction (type 5001, 5002 or 5003), else -4.
int16_t ClassifyScene(QVContext* context, QVAnalysisRecord* record, uint32_t hueSpread,
                      int32_t levelHueSpread, uint32_t meanRadius, uint8_t whiteSearchTop);

}  // namespace voved
