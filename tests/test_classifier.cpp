// The scene classifier: the rule tables over features, the features of a
// record, the colour rotation, and whole classifications of records.
#include <cmath>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "analysis/classify.h"
#include "analysis/rotation.h"
#include "support/context_access.h"

namespace voved {
namespace {

using test::ScopedContext;

// ---- Rule tables, rule by rule ------------------------------------------------

// Features that satisfy no rule but the last.
SceneFeatures PlainFeatures() {
    SceneFeatures f{};
    f.meanRadius = 10;
    f.castDistance = 10;
    f.shadowRadius = 5;
    f.whiteRadius = 10;
    f.whiteHue = 200;
    f.shadowHue = 0;
    f.hueSpread = 100;
    f.levelHueSpread = 100;
    f.hueGap = 0;
    f.radiusRatio = 512;
    f.neutralLevel = 100;
    return f;
}

struct RuleCase {
    int rule;
    int16_t sceneClass;
    int16_t type;
    void (*adjust)(SceneFeatures&);
};

// Each case changes the plain features just enough to reach its rule (and
// no rule before it).
// clang-format off
const RuleCase kRuleCases[] = {
    { 1, 5102, 5000, [](SceneFeatures& f) { f.meanRadius = 55; f.castDistance = 80; }},
    { 2, 5103, 5000, [](SceneFeatures& f) { f.meanRadius = 70; f.castDistance = 20; }},
    { 3, 5104, 5000, [](SceneFeatures& f) { f.shadowRadius = 50; }},
    { 4, 5105, 5000, [](SceneFeatures& f) { f.whiteHue = 80; f.whiteRadius = 80; }},
    { 5, 5106, 5003, [](SceneFeatures& f) { f.whiteHue = 130; f.whiteRadius = 20; }},
    { 6, 5107, 5000, [](SceneFeatures& f) { f.shadowHue = 90; f.shadowRadius = 30; }},
    { 7, 5108, 5003, [](SceneFeatures& f) { f.shadowHue = 165; f.shadowRadius = 8; f.whiteHue = 140;
                                            f.whiteRadius = 20; }},
    { 8, 5109, 5000, [](SceneFeatures& f) { f.shadowHue = 120; f.shadowRadius = 8; f.whiteHue = 0;
                                            f.whiteRadius = 10; }},
    { 9, 5110, 5000, [](SceneFeatures& f) { f.shadowHue = 120; f.shadowRadius = 8;
                                            f.castDistance = 50; }},
    {10, 5111, 5000, [](SceneFeatures& f) { f.shadowHue = 120; f.shadowRadius = 8;
                                            f.castDistance = 30; f.hueGap = 100;
                                            f.meanRadius = 20; }},
    {11, 5112, 5000, [](SceneFeatures& f) { f.whiteHue = 150; f.whiteRadius = 50;
                                            f.meanRadius = 50; }},
    {12, 5113, 5000, [](SceneFeatures& f) { f.whiteHue = 150; f.whiteRadius = 50; f.meanRadius = 51;
                                            f.shadowRadius = 0; }},
    {12, 5113, 5000, [](SceneFeatures& f) { f.whiteHue = 165; f.whiteRadius = 50; f.meanRadius = 51;
                                            f.shadowRadius = 20; }},
    {13, 5114, 5003, [](SceneFeatures& f) { f.whiteHue = 150; f.whiteRadius = 49;
                                            f.castDistance = 20; }},
    {14, 5115, 5000, [](SceneFeatures& f) { f.shadowHue = 300; f.shadowRadius = 20;
                                            f.meanRadius = 29; }},
    {15, 5117, 5003, [](SceneFeatures& f) { f.whiteHue = 300; f.whiteRadius = 10; f.hueGap = 101; }},
    {16, 5116, 5003, [](SceneFeatures& f) { f.whiteHue = 340; f.shadowHue = -100; f.hueGap = -100;
                                            f.whiteRadius = 30; }},
    {17, 5118, 5000, [](SceneFeatures& f) { f.whiteHue = 50; f.whiteRadius = 6;
                                            f.shadowRadius = 6; }},
    {18, 5119, 5000, [](SceneFeatures& f) { f.whiteRadius = 0; f.shadowRadius = 0; }},
    {19, 5120, 5000, [](SceneFeatures& f) { f.hueSpread = 25; }},
    {20, 5120, 5000, [](SceneFeatures& f) { f.hueSpread = 40; f.castDistance = 40; }},
    {21, 5121, 5000, [](SceneFeatures& f) { f.hueSpread = 50; f.levelHueSpread = 50; }},
    {22, 5122, 5003, [](SceneFeatures& f) { f.hueSpread = 50; f.levelHueSpread = 80; }},
    {23, 5121, 5000, [](SceneFeatures& f) { f.hueSpread = 51; f.levelHueSpread = 10; }},
    {24, 5124, 5000, [](SceneFeatures& f) { f.radiusRatio = 8192; f.castDistance = 35; }},
    {25, 5125, 5003, [](SceneFeatures& f) { f.radiusRatio = 8192; f.castDistance = 34; }},
    {26, 5126, 5000, [](SceneFeatures& f) { f.radiusRatio = 3072; f.castDistance = 30;
                                            f.hueSpread = 1000; }},
    {27, 5126, 5000, [](SceneFeatures& f) { f.radiusRatio = 2560; f.castDistance = 15;
                                            f.hueSpread = 700; f.meanRadius = 40; }},
    {28, 5129, 5000, [](SceneFeatures& f) { f.castDistance = 70; f.hueSpread = 250; }},
    {29, 5130, 5003, [](SceneFeatures& f) { f.castDistance = 70; f.hueSpread = 5000;
                                            f.whiteHue = 201; f.levelHueSpread = 500; }},
    {30, 5133, 5000, [](SceneFeatures& f) { f.whiteRadius = 40; f.hueSpread = 1000;
                                            f.levelHueSpread = 300; f.shadowRadius = 0; }},
    {31, 5123, 5001, [](SceneFeatures& f) { f.whiteRadius = 40; f.hueSpread = 1000;
                                            f.levelHueSpread = 300; }},
    {32, 5132, 5000, [](SceneFeatures& f) { f.whiteRadius = 25; f.whiteHue = 250;
                                            f.meanRadius = 58; }},
    {33, 5123, 5001, [](SceneFeatures& f) { f.whiteRadius = 20; f.whiteHue = 300; f.meanRadius = 25;
                                            f.neutralLevel = -30; }},
    {34, 5127, 5000, [](SceneFeatures& f) { f.shadowRadius = 0; f.whiteRadius = 18;
                                            f.hueSpread = 200; }},
    {34, 5127, 5000, [](SceneFeatures& f) { f.shadowRadius = 0; f.whiteRadius = 18;
                                            f.hueSpread = 7000; f.levelHueSpread = 7000; }},
    {35, 5128, 5003, [](SceneFeatures& f) { f.shadowRadius = 0; f.whiteRadius = 18; f.whiteHue = 300;
                                            f.hueSpread = 1000; }},
    {36, 5131, 5000, [](SceneFeatures& f) { f.neutralLevel = 500; f.hueSpread = 400;
                                            f.whiteHue = 300; }},
    {37, 5134, 5000, [](SceneFeatures& f) { f.whiteHue = 300; f.whiteRadius = 25; f.hueSpread = 100; }},
    {38, 5135, 5000, [](SceneFeatures& f) { f.whiteHue = 300; f.levelHueSpread = 700;
                                            f.neutralLevel = 400; }},
    {39, 5136, 5000, [](SceneFeatures& f) { f.whiteHue = 300; f.levelHueSpread = 1500;
                                            f.meanRadius = 20; }},
    {40, 5137, 5003, [](SceneFeatures& f) { f.whiteRadius = 0; f.shadowRadius = 10; }},
    {41, 5140, 5003, [](SceneFeatures& f) { f.whiteHue = 170; f.levelHueSpread = 230;
                                            f.neutralLevel = -150; }},
    {42, 5101, 5001, [](SceneFeatures&) {}},
};
// clang-format on

TEST(SceneRules, EachRuleIsReachedAndDecides) {
    std::vector<bool> reached(43, false);
    for (const RuleCase& c : kRuleCases) {
        SceneFeatures f = PlainFeatures();
        c.adjust(f);
        const SceneRule& rule = MatchSceneRule(f);
        EXPECT_EQ(rule.number, c.rule);
        EXPECT_EQ(rule.sceneClass, c.sceneClass) << "rule " << c.rule;
        EXPECT_EQ(rule.type, c.type) << "rule " << c.rule;
        reached[static_cast<std::size_t>(c.rule)] = true;
    }
    for (int rule = 1; rule <= 42; ++rule) {
        EXPECT_TRUE(reached[static_cast<std::size_t>(rule)]) << "rule " << rule << " untested";
    }
}

TEST(SceneRules, BoundsAreInclusiveAndOneStepOutsideFails) {
    // One step outside each bound of a few rules falls through to a later rule.
    struct Probe {
        void (*adjust)(SceneFeatures&);
        int rule;
    };
    const Probe probes[] = {
        {[](SceneFeatures& f) {
             f.meanRadius = 54;
             f.castDistance = 80;
         },
         42},
        {[](SceneFeatures& f) {
             f.whiteHue = 79;
             f.whiteRadius = 80;
         },
         42},
        {[](SceneFeatures& f) {
             f.whiteHue = 131;
             f.whiteRadius = 80;
             f.meanRadius = 51;
         },
         42},
        {[](SceneFeatures& f) {
             f.shadowHue = 166;
             f.shadowRadius = 30;
         },
         42},
        {[](SceneFeatures& f) {
             f.shadowHue = 300;
             f.shadowRadius = 20;
             f.meanRadius = 30;
         },
         42},
        {[](SceneFeatures& f) {
             f.whiteHue = 300;
             f.whiteRadius = 10;
             f.hueGap = 100;
         },
         42},
        {[](SceneFeatures& f) {
             f.whiteHue = 50;
             f.whiteRadius = 7;
             f.shadowRadius = 6;
         },
         42},
        {[](SceneFeatures& f) { f.hueSpread = 26; }, 42},
        {[](SceneFeatures& f) {
             f.radiusRatio = 8191;
             f.castDistance = 35;
         },
         26},
        {[](SceneFeatures& f) {
             f.castDistance = 70;
             f.hueSpread = 5001;
         },
         42},
        {[](SceneFeatures& f) {
             f.whiteHue = 170;
             f.levelHueSpread = 230;
             f.neutralLevel = -149;
         },
         42},
    };
    for (const Probe& p : probes) {
        SceneFeatures f = PlainFeatures();
        p.adjust(f);
        EXPECT_EQ(MatchSceneRule(f).number, p.rule);
    }
}

TEST(SceneRules, MissingHueLiesInNoRangeButCountsInOneSidedBounds) {
    // L = -100 is not in 80..130 (rule 4) or 0..100 (rule 17) ...
    SceneFeatures f = PlainFeatures();
    f.whiteHue = -100;
    f.whiteRadius = 80;
    f.levelHueSpread = 500;
    EXPECT_EQ(MatchSceneRule(f).number, 42);
    // ... but it is below 200 in rule 28, and below 170 in rule 41.
    f = PlainFeatures();
    f.whiteHue = -100;
    f.castDistance = 70;
    f.hueSpread = 250;
    EXPECT_EQ(MatchSceneRule(f).number, 28);
    f = PlainFeatures();
    f.whiteHue = -100;
    f.levelHueSpread = 230;
    f.neutralLevel = -150;
    EXPECT_EQ(MatchSceneRule(f).number, 41);
    // It never reaches 300 (rule 37).
    f = PlainFeatures();
    f.whiteHue = -100;
    f.whiteRadius = 25;
    f.hueSpread = 100;
    EXPECT_EQ(MatchSceneRule(f).number, 42);
}

TEST(SceneRules, ColourlessScenesAreNotCorrected) {
    // Strong colour everywhere with a cast distance of 80: class 5102 before
    // any hue is looked at.
    SceneFeatures f = PlainFeatures();
    f.meanRadius = 55;
    f.castDistance = 80;
    f.whiteHue = 100;
    f.whiteRadius = 90;
    EXPECT_EQ(MatchSceneRule(f).sceneClass, 5102);
}

// ---- Features of a record -------------------------------------------------------

QVAnalysisRecord Record(double sRY, double sBY, double wRY, double wBY, uint8_t black,
                        uint8_t white) {
    QVAnalysisRecord r{};
    r.shadowRY = sRY;
    r.shadowBY = sBY;
    r.whiteRY = wRY;
    r.whiteBY = wBY;
    r.blackLevel = black;
    r.whiteLevel = white;
    return r;
}

TEST(SceneFeatures, RadiiTruncateEachCastThenTheRoot) {
    // Shadow (5.9, -8.9) -> (5, -8): K = trunc(sqrt(89)) = 9.
    // White (0.5, 30.7) -> (0, 30): J = 30.
    const QVAnalysisRecord r = Record(5.9, -8.9, 0.5, 30.7, 10, 200);
    const CastGeometry cast = MeasureCast(r);
    const SceneFeatures f = MeasureSceneFeatures(r, cast, 7, 8, 9);
    EXPECT_EQ(f.shadowRadius, 9);
    EXPECT_EQ(f.whiteRadius, 30);
    EXPECT_EQ(f.radiusRatio, 9 * 1024 / 30);
    // H = sqrt(5.4^2 + 39.6^2) = 39.97 + 0.5 -> 40.
    EXPECT_EQ(f.castDistance, 40);
    EXPECT_EQ(f.shadowHue, 146);  // atan2(5.9, -8.9)
    EXPECT_EQ(f.whiteHue, 0);
    EXPECT_EQ(f.hueGap, 146);
    EXPECT_EQ(f.hueSpread, 7u);
    EXPECT_EQ(f.levelHueSpread, 8);
    EXPECT_EQ(f.meanRadius, 9);
}

TEST(SceneFeatures, HueGapTakesTheShorterWayRound) {
    const QVAnalysisRecord r = Record(-10, 10, -10, 100, 10, 200);  // M = 315, L = 355
    const SceneFeatures f = MeasureSceneFeatures(r, MeasureCast(r), 0, 0, 0);
    EXPECT_EQ(f.shadowHue, 315);
    EXPECT_EQ(f.whiteHue, 355);
    EXPECT_EQ(f.hueGap, 40);
    const QVAnalysisRecord wide = Record(-10, 10, 10, 10, 10, 200);  // M = 315, L = 45
    EXPECT_EQ(MeasureSceneFeatures(wide, MeasureCast(wide), 0, 0, 0).hueGap, 90);
    const QVAnalysisRecord grey = Record(0, 0, 10, 10, 10, 200);
    const SceneFeatures g = MeasureSceneFeatures(grey, MeasureCast(grey), 0, 0, 0);
    EXPECT_EQ(g.shadowHue, -100);
    EXPECT_EQ(g.hueGap, -100);
    EXPECT_EQ(g.radiusRatio, 0);
}

TEST(SceneFeatures, RatioIsZeroWithoutWhiteChroma) {
    const QVAnalysisRecord r = Record(20, 0, 0.4, -0.9, 10, 200);
    const SceneFeatures f = MeasureSceneFeatures(r, MeasureCast(r), 0, 0, 0);
    EXPECT_EQ(f.whiteRadius, 0);
    EXPECT_EQ(f.radiusRatio, 0);
}

TEST(SceneFeatures, NeutralLevelRoundsHalfAwayFromZero) {
    const QVAnalysisRecord r = Record(0, 0, 0, 0, 10, 200);
    CastGeometry cast = MeasureCast(r);
    const double levels[] = {2.5, -2.5, 2.4999, -0.5, 1e12, -1e12, std::nan("")};
    const int32_t rounded[] = {3, -3, 2, -1, INT32_MAX, INT32_MIN, 0};
    for (int i = 0; i < 7; ++i) {
        cast.neutralLevel = levels[i];
        EXPECT_EQ(MeasureSceneFeatures(r, cast, 0, 0, 0).neutralLevel, rounded[i]) << levels[i];
    }
}

TEST(SceneFeatures, MeanRadiusIsReadAsSigned16Bits) {
    SceneFeatures f = PlainFeatures();
    const QVAnalysisRecord r = Record(0, 0, 0, 0, 10, 200);
    f = MeasureSceneFeatures(r, MeasureCast(r), 0, 0, static_cast<int16_t>(-3));
    EXPECT_EQ(f.meanRadius, -3);
}

// ---- Cast geometry ---------------------------------------------------------------

TEST(CastGeometry, NearestGreyPointIsTheFootOfThePerpendicular) {
    const QVAnalysisRecord r = Record(-6, 10, 14, -2, 20, 220);
    const CastGeometry g = MeasureCast(r);
    EXPECT_DOUBLE_EQ(g.dRY, 20);
    EXPECT_DOUBLE_EQ(g.dBY, -12);
    EXPECT_DOUBLE_EQ(g.dY, 200);
    // (u, v) lies on the chroma line and is perpendicular to it from grey.
    EXPECT_NEAR(g.u * g.dRY + g.v * g.dBY, 0.0, 1e-9);
    EXPECT_NEAR((g.u - r.shadowRY) * g.dBY - (g.v - r.shadowBY) * g.dRY, 0.0, 1e-9);
    // The level moves along the line in proportion.
    const double along = (g.v - r.shadowBY) / g.dBY;
    EXPECT_DOUBLE_EQ(g.neutralLevel, 20 + 200 * along);
    EXPECT_DOUBLE_EQ(g.castLength, std::sqrt(200.0 * 200 + 144 + 400));
}

TEST(CastGeometry, PurelyRedCastsUseTheRedDifference) {
    // dBY = 0: the level where R - Y crosses zero.
    const QVAnalysisRecord r = Record(-5, 3, 15, 3, 20, 220);
    const CastGeometry g = MeasureCast(r);
    EXPECT_DOUBLE_EQ(g.neutralLevel, 20 - 200 * -5.0 / 20);
    EXPECT_DOUBLE_EQ(g.u, 0.0);
    EXPECT_DOUBLE_EQ(g.v, 3.0);
}

TEST(CastGeometry, ACastWithoutChromaIsItsOwnGreyPoint) {
    const QVAnalysisRecord r = Record(4, -3, 4, -3, 20, 220);
    const CastGeometry g = MeasureCast(r);
    EXPECT_EQ(g.neutralLevel, 0.0);
    EXPECT_EQ(g.u, 4.0);
    EXPECT_EQ(g.v, -3.0);
}

// ---- Rotation ----------------------------------------------------------------------

Vector3 Apply(const Matrix3& m, const Vector3& v) {
    return {m[0][0] * v.x + m[0][1] * v.y + m[0][2] * v.z,
            m[1][0] * v.x + m[1][1] * v.y + m[1][2] * v.z,
            m[2][0] * v.x + m[2][1] * v.y + m[2][2] * v.z};
}

TEST(Rotation, TurnsTheFirstVectorOntoTheSecondKeepingLengths) {
    const Vector3 a{12, -7, 180};
    const Vector3 b{0, 0, 1024};
    Matrix3 m{};
    ASSERT_EQ(BuildRotation(a, b, &m), 0);
    const Vector3 turned = Apply(m, a);
    const double length = std::sqrt(12.0 * 12 + 49 + 180.0 * 180);
    EXPECT_NEAR(turned.x, 0.0, 1e-9);
    EXPECT_NEAR(turned.y, 0.0, 1e-9);
    EXPECT_NEAR(turned.z, length, 1e-9);
    // Orthonormal rows.
    for (int r = 0; r < 3; ++r) {
        for (int s = 0; s < 3; ++s) {
            const double dot = m[r][0] * m[s][0] + m[r][1] * m[s][1] + m[r][2] * m[s][2];
            EXPECT_NEAR(dot, r == s ? 1.0 : 0.0, 1e-12);
        }
    }
}

TEST(Rotation, DegenerateVectors) {
    Matrix3 m = kIdentityMatrix;
    m[0][1] = 5.0;
    const Matrix3 untouched = m;
    EXPECT_EQ(BuildRotation({0, 0, 0}, {0, 0, 1}, &m), -4);
    EXPECT_EQ(BuildRotation({1, 2, 3}, {0, 0, 0}, &m), -4);
    EXPECT_EQ(BuildRotation({0, 0, 5}, {0, 0, -3}, &m), -4) << "opposite: no unique axis";
    EXPECT_EQ(m, untouched);
    EXPECT_EQ(BuildRotation({0, 0, 5}, {0, 0, 1024}, &m), 0);
    EXPECT_EQ(m, kIdentityMatrix);
}

TEST(Rotation, RoundToShortRoundsHalfAwayAndSaturates) {
    EXPECT_EQ(RoundToShort(1.5), 2);
    EXPECT_EQ(RoundToShort(1.49), 1);
    EXPECT_EQ(RoundToShort(-1.5), -2);
    EXPECT_EQ(RoundToShort(-1.49), -1);
    EXPECT_EQ(RoundToShort(0.0), 0);
    EXPECT_EQ(RoundToShort(32766.5), 32767);
    EXPECT_EQ(RoundToShort(32767.0), 32767);
    EXPECT_EQ(RoundToShort(1e9), 32767);
    EXPECT_EQ(RoundToShort(-32768.0), -32768);
    EXPECT_EQ(RoundToShort(-32768.4), -32768);
    EXPECT_EQ(RoundToShort(-1e9), -32768);
    EXPECT_EQ(RoundToShort(HUGE_VAL), 32767);
    EXPECT_EQ(RoundToShort(-HUGE_VAL), -32768);
    EXPECT_EQ(RoundToShort(std::nan("")), 0);
}

// ---- Whole classifications ---------------------------------------------------------

// A context ready for classification: identity curve, raw levels as the
// analysis leaves them.
void PrepareContext(QVContext& c, const QVAnalysisRecord& r, uint16_t gain) {
    for (int i = 0; i < kToneCurveSize; ++i) {
        c.toneCurve[i] = static_cast<int16_t>(i);
    }
    c.blackLevel = r.blackLevel;
    c.whiteLevel = r.whiteLevel;
    c.saturationGain = gain;
    c.sceneCode = 5000;
    c.correctionType = 5000;
}

// The stored matrix applied to a vector, with the gains taken out again.
Vector3 ApplyStored(const QVContext& c, const Vector3& v) {
    const int16_t* m = c.colourMatrix;
    const double g = c.saturationGain;
    return {(m[0] * v.x + m[1] * v.y + m[2] * v.z) / g, (m[3] * v.x + m[4] * v.y + m[5] * v.z) / g,
            (m[6] * v.x + m[7] * v.y + m[8] * v.z) / 1024.0};
}

bool IsMonotonic(const QVContext& c) {
    for (int i = 1; i < kToneCurveSize; ++i) {
        if (c.toneCurve[i] < c.toneCurve[i - 1]) {
            return false;
        }
    }
    return true;
}

TEST(ClassifyScene, ACastLineIsRotatedOntoTheGreyAxis) {
    ScopedContext ctx;
    QVAnalysisRecord r = Record(0, 8, 8, 0, 3, 252);
    PrepareContext(ctx.context(), r, 1229);
    ASSERT_EQ(ClassifyScene(&ctx.context(), &r, 1000, 31, 0, 255), 0);
    EXPECT_EQ(ctx->sceneCode, 5101);
    EXPECT_EQ(ctx->correctionType, 5001);

    // The cast vector ends on the grey axis with its length (to the
    // precision of the stored fixed-point matrix).
    const double length = std::sqrt(64.0 + 64.0 + 249.0 * 249.0);
    const Vector3 turned = ApplyStored(ctx.context(), {8, -8, 249});
    EXPECT_NEAR(turned.x, 0.0, 0.3);
    EXPECT_NEAR(turned.y, 0.0, 0.3);
    EXPECT_NEAR(turned.z, length, 0.3);
    EXPECT_NEAR(ctx->colourMatrix[0], 1229, 1) << "colour rows carry the saturation gain";
    EXPECT_NEAR(ctx->colourMatrix[8], 1024, 1) << "the level row does not";

    // The cast line passes nearest to grey half-way, at (4, 4).
    EXPECT_DOUBLE_EQ(r.neutralLevel, 3 + 249 * 0.5);
    EXPECT_NEAR(r.rotatedNeutralLevel, length / 2, 1e-9);

    // Two segments: from the lifted floor through the neutral level to 255 at
    // the rotated white point.
    EXPECT_EQ(ctx->toneCurve[0], 10);
    EXPECT_NEAR(ctx->toneCurve[125], 127.5, 1.0);
    EXPECT_EQ(ctx->toneCurve[249], 255);
    EXPECT_TRUE(IsMonotonic(ctx.context()));
}

TEST(ClassifyScene, APartialRotationKeepsHalfTheCastsColour) {
    // Rule 31 (white radius 45, wide spreads): class 5123 with the default
    // strength 2 keeps half of the cast's chroma.
    ScopedContext ctx;
    QVAnalysisRecord r = Record(3, 0, 0, 45, 20, 230);
    PrepareContext(ctx.context(), r, 1024);
    ASSERT_EQ(ClassifyScene(&ctx.context(), &r, 1000, 300, 10, 255), 0);
    EXPECT_EQ(ctx->sceneCode, 5123);
    EXPECT_EQ(ctx->correctionType, 5001);
    const Vector3 cast{-3, 45, 210};
    const double length = std::sqrt(9.0 + 45.0 * 45 + 210.0 * 210);
    const Vector3 turned = ApplyStored(ctx.context(), cast);
    EXPECT_NEAR(turned.x, -1.5, 0.3);
    EXPECT_NEAR(turned.y, 22.5, 0.3);
    EXPECT_NEAR(std::sqrt(turned.x * turned.x + turned.y * turned.y + turned.z * turned.z), length,
                0.3);
}

TEST(ClassifyScene, ColourFreeScenesGetNoCorrection) {
    ScopedContext ctx;
    QVAnalysisRecord r = Record(0, 0, 0, 0, 3, 252);
    PrepareContext(ctx.context(), r, 1229);
    ctx->colourMatrix[4] = 77;
    EXPECT_EQ(ClassifyScene(&ctx.context(), &r, 1000, 0, 0, 255), -4);
    EXPECT_EQ(ctx->sceneCode, 5119);
    EXPECT_EQ(ctx->correctionType, 5000);
    EXPECT_EQ(ctx->colourMatrix[4], 77) << "no matrix is built";
    EXPECT_EQ(ctx->toneCurve[40], 40) << "no curve is built";
    EXPECT_EQ(r.neutralLevel, 0.0);
}

TEST(ClassifyScene, AWarmWhiteIsOnlyStretched) {
    // White cast (25, 0): hue 90, radius 25: rule 5, a stretch.
    ScopedContext ctx;
    QVAnalysisRecord r = Record(0, 0, 25, 0, 20, 200);
    PrepareContext(ctx.context(), r, 1024);
    ctx->colourMatrix[0] = 77;
    ASSERT_EQ(ClassifyScene(&ctx.context(), &r, 1000, 31, 0, 255), 0);
    EXPECT_EQ(ctx->sceneCode, 5106);
    EXPECT_EQ(ctx->correctionType, 5003);
    EXPECT_EQ(ctx->colourMatrix[0], 77) << "a stretch builds no matrix";
    EXPECT_EQ(ctx->toneCurve[20], 10);
    EXPECT_EQ(ctx->toneCurve[200], 245);
    EXPECT_EQ(ctx->toneCurve[260], 260);
}

TEST(ClassifyScene, ACastWithoutChromaNeedsNoRotation) {
    // Equal casts at black and white: nothing to turn, the matrix is the
    // gain alone.
    ScopedContext ctx;
    QVAnalysisRecord r = Record(5, 5, 5, 5, 20, 220);
    PrepareContext(ctx.context(), r, 1178);
    ASSERT_EQ(ClassifyScene(&ctx.context(), &r, 1000, 31, 25, 255), 0);
    EXPECT_EQ(ctx->correctionType, 5001);
    const int16_t expected[9] = {1178, 0, 0, 0, 1178, 0, 0, 0, 1024};
    EXPECT_EQ(std::memcmp(ctx->colourMatrix, expected, sizeof expected), 0);
    EXPECT_DOUBLE_EQ(r.rotatedNeutralLevel, -20.0);
}

TEST(ClassifyScene, BrightHighlightsAimAtTheirOwnWhite) {
    // A plain rotation whose white search was moved by the shoulder, with a
    // low white point and a high neutral level: class 5138, type 5002, and the
    // curve aims the white point at its own level.
    ScopedContext ctx;
    QVAnalysisRecord r = Record(0, 8, 8, 0, 20, 170);
    PrepareContext(ctx.context(), r, 1229);
    ASSERT_EQ(ClassifyScene(&ctx.context(), &r, 1000, 31, 0, 245), 0);
    EXPECT_DOUBLE_EQ(r.neutralLevel, 95.0);
    EXPECT_EQ(ctx->sceneCode, 5138);
    EXPECT_EQ(ctx->correctionType, 5002);
    EXPECT_EQ(ctx->toneCurve[0], 0) << "no lifted floor when the search moved";
    const int span = static_cast<int>(std::lround(std::sqrt(64.0 + 64.0 + 150.0 * 150.0)));
    EXPECT_NEAR(ctx->toneCurve[span], 170, 1);
}

TEST(ClassifyScene, AStrongCastUnderALowWhiteIsABrightCastScene) {
    // Rules leave it a plain rotation; cast distance 81 and white 140 make
    // it class 5139.
    ScopedContext ctx;
    QVAnalysisRecord r = Record(20, 40, -20, -30, 20, 140);
    PrepareContext(ctx.context(), r, 1024);
    ASSERT_EQ(ClassifyScene(&ctx.context(), &r, 100, 31, 10, 255), 0);
    EXPECT_EQ(ctx->sceneCode, 5139);
    EXPECT_EQ(ctx->correctionType, 5002);
}

TEST(ClassifyScene, BrightSceneRulesNeedBothConditions) {
    // Moved search but white at 180: stays 5101.
    ScopedContext ctx;
    QVAnalysisRecord r = Record(0, 8, 8, 0, 20, 180);
    PrepareContext(ctx.context(), r, 1229);
    ASSERT_EQ(ClassifyScene(&ctx.context(), &r, 1000, 31, 0, 245), 0);
    EXPECT_EQ(ctx->sceneCode, 5101);
    EXPECT_EQ(ctx->correctionType, 5001);
}

}  // namespace
}  // namespace voved
