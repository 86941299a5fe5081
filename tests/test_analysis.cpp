// QVCalculate through the public API: synthetic pictures fed line by line,
// hand-made statistics for the single steps, and every failure.
#include <cmath>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "analysis/calculate.h"
#include "platform/platform.h"
#include "support/context_access.h"
#include "support/pictures.h"

namespace voved {
namespace {

using test::CastRamp;
using test::Colour;
using test::FeedPicture;
using test::Line;
using test::Picture;
using test::Repeat;
using test::ScopedContext;
using test::SolidLine;

constexpr uint16_t kCorrect = QV_MODE_CORRECT;

// ---- Helpers ---------------------------------------------------------------------

// Statistics written by hand: short runs (booked at their level and at their
// mean alike) and chroma sums at chosen levels.
void Runs(QVContext& c, int from, int to, uint32_t count) {
    for (int k = from; k <= to; ++k) {
        c.levelStats[k].runByLevel = count;
        c.levelStats[k].runByMean = count;
    }
}

void Chroma(QVContext& c, int level, uint32_t count, int32_t sumRY, int32_t sumBY) {
    c.levelStats[level].chromaCount = count;
    c.levelStats[level].sumRY = sumRY;
    c.levelStats[level].sumBY = sumBY;
}

// Runs of 10 at each level 1..254: threshold 12, black level 3, raw white
// 252, no highlight shoulder. Chroma without cast at both points.
void EvenLevels(QVContext& c) {
    Runs(c, 1, 254, 10);
    Chroma(c, 3, 20, 0, 0);
    Chroma(c, 252, 20, 0, 0);
    c.levelStats[0].radiusCount = 100;
}

QVResult Calculate(ScopedContext& ctx, uint16_t mode, const char* model = "") {
    EXPECT_EQ(QVExtension(ctx.handle(), mode, nullptr, model, 0), 0);
    return QVCalculate(ctx.handle(), 0);
}

bool IsIdentityCurve(const QVContext& c) {
    for (int i = 0; i < kToneCurveSize; ++i) {
        if (c.toneCurve[i] != i) {
            return false;
        }
    }
    return true;
}

int FirstWhiteInput(const QVContext& c) {
    for (int i = 0; i < kToneCurveSize; ++i) {
        if (c.toneCurve[i] >= 255) {
            return i;
        }
    }
    return 0;
}

// A picture of 40 lines of 256 pixels: a full ramp whose cast runs from
// `shadow` to `highlight`.
Picture CastPicture(test::Cast shadow, test::Cast highlight) {
    return Repeat(CastRamp(256, 0, 255, shadow, highlight), 40);
}

// ---- Validation and preconditions -----------------------------------------------

TEST(Calculate, InvalidHandlesChangeNothing) {
    EXPECT_EQ(QVCalculate(nullptr, 0), -2);
    QVHandle empty{};
    EXPECT_EQ(QVCalculate(&empty, 0), -2);

    ScopedContext ctx;
    ASSERT_EQ(QVExtension(ctx.handle(), kCorrect, nullptr, "", 0), 0);
    ctx->flags = 0;
    const QVContext before = ctx.context();
    EXPECT_EQ(QVCalculate(ctx.handle(), 0), -2);
    EXPECT_EQ(std::memcmp(&before, &ctx.context(), sizeof before), 0);
    ctx->flags = QV_FLAG_VALID;
    ctx->magic = 0x4151;
    EXPECT_EQ(QVCalculate(ctx.handle(), 0), -2);
    ctx->magic = 0x5651;
}

TEST(Calculate, WithoutExtensionChangesNothing) {
    ScopedContext ctx;
    ASSERT_EQ(FeedPicture(ctx.handle(), CastPicture({0, 8}, {8, 0})), 0);
    const QVContext before = ctx.context();
    EXPECT_EQ(QVCalculate(ctx.handle(), 0), -3);
    EXPECT_EQ(std::memcmp(&before, &ctx.context(), sizeof before), 0);
}

TEST(Calculate, WorkTableAllocationFailure) {
    ScopedContext ctx;
    EvenLevels(ctx.context());
    ctx->levelStats[0].radiusCount = 0;
    ctx->levelStats[25].radiusCount = 4;  // mean radius 25: gain 1178
    ASSERT_EQ(QVExtension(ctx.handle(), kCorrect, nullptr, "", 0), 0);
    ctx->sceneCode = 1;
    ctx->correctionType = 2;
    ctx->saturationGain = 3;
    QVContext before = ctx.context();
    FailNthAllocation(1);
    EXPECT_EQ(QVCalculate(ctx.handle(), 0), -1);
    EXPECT_EQ(ctx->sceneCode, 5000);
    EXPECT_EQ(ctx->correctionType, 5000);
    EXPECT_EQ(ctx->saturationGain, 1178);
    before.sceneCode = 5000;
    before.correctionType = 5000;
    before.saturationGain = 1178;
    EXPECT_EQ(std::memcmp(&before, &ctx.context(), sizeof before), 0) << "nothing else changes";
    // The next call succeeds in the analysis it failed to start.
    EXPECT_EQ(QVCalculate(ctx.handle(), 0), -4);
    EXPECT_EQ(ctx->sceneCode, 5119);
}

// ---- Level failures ------------------------------------------------------------------

// What a failing level search leaves: the mask narrowed to 0x1FFF and the
// two codes at 5000; the levels, curve, flags and mode untouched.
void ExpectLevelFailure(ScopedContext& ctx, uint16_t mode) {
    ctx->blackLevel = 7;
    ctx->whiteLevel = 8;
    ctx->toneCurve[5] = 99;
    EXPECT_EQ(Calculate(ctx, mode), -4);
    EXPECT_EQ(ctx->correctionMask, 0x1FFF);
    EXPECT_EQ(ctx->mode, mode);
    EXPECT_EQ(ctx->sceneCode, 5000);
    EXPECT_EQ(ctx->correctionType, 5000);
    EXPECT_EQ(ctx->blackLevel, 7);
    EXPECT_EQ(ctx->whiteLevel, 8);
    EXPECT_EQ(ctx->toneCurve[5], 99);
    EXPECT_EQ(ctx->flags & QV_FLAG_DERIVED, 0);
}

TEST(Calculate, NothingSeenFailsAtTheBlackLevel) {
    // No statistics: mean radius 1000 (gain 1024), threshold 0, black level
    // 1 without chroma.
    ScopedContext ctx;
    ExpectLevelFailure(ctx, kCorrect | QV_MODE_BYTE_TABLE);
    EXPECT_EQ(ctx->saturationGain, 1024);
}

TEST(Calculate, AWhiteLevelWithoutChromaFails) {
    ScopedContext ctx;
    EvenLevels(ctx.context());
    Chroma(ctx.context(), 252, 4, 0, 0);
    ExpectLevelFailure(ctx, kCorrect);
}

TEST(Calculate, ABlackLevelWithoutEnoughChromaFails) {
    ScopedContext ctx;
    EvenLevels(ctx.context());
    Chroma(ctx.context(), 3, 9, 0, 0);
    ExpectLevelFailure(ctx, 0);
}

TEST(Calculate, LevelsCloserThan60Fail) {
    // One pixel per level from 40 to 95: black 41, white 94, 53 apart.
    ScopedContext ctx;
    ASSERT_EQ(FeedPicture(ctx.handle(), Repeat(test::GreyRamp(56, 40, 95), 40)), 0);
    ExpectLevelFailure(ctx, kCorrect);

    // Up to 102 the span is 60 and the analysis goes on.
    ScopedContext wider;
    ASSERT_EQ(FeedPicture(wider.handle(), Repeat(test::GreyRamp(63, 40, 102), 40)), 0);
    EXPECT_EQ(Calculate(wider, kCorrect), -4);
    EXPECT_EQ(wider->sceneCode, 5119) << "reached the classification";
    EXPECT_EQ(wider->blackLevel, 41);
    EXPECT_EQ(wider->whiteLevel, 101);
}

TEST(Calculate, TheWhiteLevelIsAtLeast92) {
    // Levels 20..80 with a small lamp at 92: the raw white is 79, so the
    // white point is 92, where the lamp gives it chroma. Without the lamp
    // the white point has none.
    Picture picture = Repeat(test::GreyRamp(61, 20, 80), 40);
    ScopedContext withoutLamp;
    ASSERT_EQ(FeedPicture(withoutLamp.handle(), picture), 0);
    ExpectLevelFailure(withoutLamp, kCorrect);

    picture.push_back(SolidLine(5, {92, 92, 92}));
    ScopedContext ctx;
    ASSERT_EQ(FeedPicture(ctx.handle(), picture), 0);
    EXPECT_EQ(Calculate(ctx, kCorrect), -4);
    EXPECT_EQ(ctx->sceneCode, 5119) << "reached the classification";
    EXPECT_EQ(ctx->whiteLevel, 79);
}

TEST(Calculate, APictureOfOneLevelFails) {
    ScopedContext ctx;
    ASSERT_EQ(FeedPicture(ctx.handle(), Repeat(SolidLine(300, {90, 140, 60}), 30)), 0);
    ExpectLevelFailure(ctx, kCorrect);
}

// ---- Single steps on hand-made statistics ---------------------------------------------

TEST(Calculate, SaturationGainFollowsTheMeanRadius) {
    const struct {
        uint32_t radius;
        uint16_t gain;
    } cases[] = {{0, 1229}, {19, 1229}, {20, 1178}, {29, 1178}, {30, 1024}, {200, 1024}};
    for (const auto& c : cases) {
        ScopedContext ctx;
        ctx->levelStats[c.radius].radiusCount = 3;
        ctx->levelStats[c.radius + 1].radiusCount = 1;  // mean stays c.radius
        EXPECT_EQ(Calculate(ctx, kCorrect), -4);
        EXPECT_EQ(ctx->saturationGain, c.gain) << "mean radius " << c.radius;
    }
}

TEST(Calculate, ColourFreeStatisticsKeepTheRawLevels) {
    ScopedContext ctx;
    EvenLevels(ctx.context());
    ctx->toneCurve[77] = 5;
    EXPECT_EQ(Calculate(ctx, kCorrect), -4);
    EXPECT_EQ(ctx->sceneCode, 5119);
    EXPECT_EQ(ctx->correctionType, 5000);
    EXPECT_EQ(ctx->blackLevel, 3);
    EXPECT_EQ(ctx->whiteLevel, 252);
    EXPECT_TRUE(IsIdentityCurve(ctx.context()));
    EXPECT_EQ(ctx->highlightLevel, 255);
    EXPECT_EQ(ctx->correctionMask, 0x3FFF);
    EXPECT_EQ(ctx->mode, 0) << "the colour correction asked for is withdrawn";
    EXPECT_EQ(ctx->flags & QV_FLAG_DERIVED, 0);
}

TEST(Calculate, WithoutRunsTheBlackIs1AndTheWhite254) {
    // Fewer than 200 run units: the threshold is 0, so the black search stops
    // at level 0 and the white search at its first bin.
    ScopedContext ctx;
    Runs(ctx.context(), 100, 100, 199);
    Chroma(ctx.context(), 1, 10, 0, 0);
    Chroma(ctx.context(), 254, 5, 0, 0);
    EXPECT_EQ(Calculate(ctx, kCorrect), -4);
    EXPECT_EQ(ctx->sceneCode, 5119);
    EXPECT_EQ(ctx->blackLevel, 1);
    EXPECT_EQ(ctx->whiteLevel, 254);
}

TEST(Calculate, TheBlackSearchEndsAbove95) {
    ScopedContext ctx;
    Runs(ctx.context(), 200, 200, 1000);
    Chroma(ctx.context(), 97, 10, 0, 0);
    Chroma(ctx.context(), 199, 5, 0, 0);
    EXPECT_EQ(Calculate(ctx, kCorrect), -4);
    EXPECT_EQ(ctx->sceneCode, 5119);
    EXPECT_EQ(ctx->blackLevel, 97);
    EXPECT_EQ(ctx->whiteLevel, 199);
}

TEST(Calculate, AMovedSearchTopCountsBinsFrom255) {
    // A heavy top in the runs by mean starts the white search at 245; the
    // runs by level reach the threshold with bins 255 and 254: white 243.
    ScopedContext ctx;
    Runs(ctx.context(), 1, 255, 10);
    for (int k = 245; k <= 255; ++k) {
        ctx->levelStats[k].runByMean = 1000;
    }
    Chroma(ctx.context(), 3, 20, 0, 0);
    Chroma(ctx.context(), 243, 5, 0, 0);
    EXPECT_EQ(Calculate(ctx, kCorrect), -4);
    EXPECT_EQ(ctx->sceneCode, 5119);
    EXPECT_EQ(ctx->blackLevel, 3);
    EXPECT_EQ(ctx->whiteLevel, 243);
}

// Statistics with a knee at 200 in the runs by mean (level 228 is the white
// point) and colourful levels whose hues disagree (0 and 180: spread 8100).
void KneeStatistics(QVContext& c) {
    Runs(c, 1, 230, 10);
    for (int k = 0; k <= 200; ++k) {
        c.levelStats[k].runByMean = 1000;
    }
    for (int k = 201; k <= 255; ++k) {
        c.levelStats[k].runByMean = 300;
    }
    c.levelStats[30].radiusCount = 10;  // mean radius 30
    Chroma(c, 3, 20, 0, 0);
    Chroma(c, 228, 20, 0, 0);
    for (int k = 10; k < 20; ++k) {
        Chroma(c, k, 10, 0, 100);        // hue 0
        Chroma(c, k + 10, 10, 0, -100);  // hue 180
    }
}

TEST(Calculate, AKneeStandsInForAWhiteOfDisagreeingHues) {
    // Level hue spread above 2500, mean radius above 15 and the knee 28 below
    // white: the knee is the white point, and without chroma there the
    // analysis fails.
    ScopedContext ctx;
    KneeStatistics(ctx.context());
    EXPECT_EQ(Calculate(ctx, kCorrect), -4);
    EXPECT_EQ(ctx->correctionMask, 0x1FFF) << "failed at the white level";
    // With chroma at the knee the analysis goes on with the knee as white.
    ScopedContext withKnee;
    KneeStatistics(withKnee.context());
    Chroma(withKnee.context(), 200, 5, 0, 0);
    EXPECT_EQ(Calculate(withKnee, kCorrect), -4);
    EXPECT_EQ(withKnee->correctionMask, 0x3FFF) << "failed only at the classification";
    EXPECT_EQ(withKnee->whiteLevel, 228) << "the raw white is kept on failure";
}

TEST(Calculate, AKneeIsIgnoredWhenTheLevelHuesAgree) {
    // Hues 0 and 45: spread (10 x 400 + 10 x 625) / 22 = 465.
    ScopedContext ctx;
    KneeStatistics(ctx.context());
    for (int k = 20; k < 30; ++k) {
        Chroma(ctx.context(), k, 10, 100, 100);  // hue 45
    }
    EXPECT_EQ(Calculate(ctx, kCorrect), -4);
    EXPECT_EQ(ctx->correctionMask, 0x3FFF) << "white stays at 228, which has chroma";
}

TEST(Calculate, LevelsWithCancellingChromaCountWithoutAHue) {
    // Level hues 0 and 18, and two levels whose sums cancel (-100): n = 4,
    // mean 18 / 4 = 4, spread (16 + 196) / 4 = 53, with a sampled hue spread
    // of 49: rule 22, a stretch. (Leaving the cancelling levels out of n would
    // give 81; adding -100 to the sums, far more: neither is a stretch.)
    ScopedContext ctx;
    Runs(ctx.context(), 1, 254, 10);
    Chroma(ctx.context(), 3, 20, 0, 0);
    Chroma(ctx.context(), 252, 20, 0, 400);
    Chroma(ctx.context(), 100, 10, 330, 1000);
    Chroma(ctx.context(), 101, 10, 0, 0);
    ctx->levelStats[0].radiusCount = 100;
    ctx->hueCounts[100] = 1;
    ctx->hueCounts[114] = 1;
    EXPECT_EQ(Calculate(ctx, kCorrect), 0);
    EXPECT_EQ(ctx->sceneCode, 5122);
    EXPECT_EQ(ctx->correctionType, 5003);
    EXPECT_EQ(ctx->toneCurve[3], 10);
    EXPECT_EQ(ctx->toneCurve[252], 245);
}

// ---- Pictures ---------------------------------------------------------------------

TEST(CalculatePictures, AGreyRampIsNotColourCorrected) {
    ScopedContext ctx;
    ASSERT_EQ(FeedPicture(ctx.handle(), Repeat(test::GreyRamp(256, 0, 255), 40)), 0);
    EXPECT_EQ(Calculate(ctx, kCorrect), -4);
    EXPECT_EQ(ctx->sceneCode, 5119);
    EXPECT_EQ(ctx->correctionType, 5000);
    // One run per level and line: 0.5 percent is reached at levels 2 and 253.
    EXPECT_EQ(ctx->blackLevel, 3);
    EXPECT_EQ(ctx->whiteLevel, 252);
    EXPECT_EQ(ctx->saturationGain, 1229);
    EXPECT_EQ(ctx->correctionMask, 0x3FFF);
    EXPECT_EQ(ctx->mode, 0);
}

// Checks what a successful rotation leaves in the context.
void ExpectRotation(const QVContext& c, test::Cast shadow) {
    EXPECT_NE(c.flags & QV_FLAG_DERIVED, 0);
    EXPECT_EQ(c.correctionType, 5001);
    EXPECT_NEAR(c.shadowCastRY, shadow.dr, 1);
    EXPECT_NEAR(c.shadowCastBY, shadow.db, 1);
    EXPECT_EQ(c.highlightLevel, FirstWhiteInput(c));
    for (int i = 1; i < kToneCurveSize; ++i) {
        ASSERT_GE(c.toneCurve[i], c.toneCurve[i - 1]) << "the curve never falls, at " << i;
    }
}

TEST(CalculatePictures, BlueShadowsAndWarmHighlightsAreRotated) {
    ScopedContext ctx;
    ASSERT_EQ(FeedPicture(ctx.handle(), CastPicture({0, 8}, {8, 0})), 0);
    EXPECT_EQ(Calculate(ctx, kCorrect), 0);
    EXPECT_EQ(ctx->sceneCode, 5101);
    ExpectRotation(ctx.context(), {0, 8});
    EXPECT_EQ(ctx->blackLevel, 2);
    EXPECT_EQ(ctx->correctionMask, 0xFFFF);
    EXPECT_EQ(ctx->mode, kCorrect);
    EXPECT_EQ(ctx->saturationGain, 1229);
    EXPECT_EQ(ctx->toneCurve[0], 10) << "lifted floor";

    // The matrix turns the cast line, from the mean colour at the black
    // level to that at the white level, onto the grey axis.
    const QVLevelBin& b = ctx->levelStats[ctx->blackLevel];
    const QVLevelBin& w = ctx->levelStats[ctx->whiteLevel];
    const auto mean = [](int32_t sum, uint32_t count) { return static_cast<double>(sum) / count; };
    const double dRY = mean(w.sumRY, w.chromaCount) - mean(b.sumRY, b.chromaCount);
    const double dBY = mean(w.sumBY, w.chromaCount) - mean(b.sumBY, b.chromaCount);
    const double dY = ctx->whiteLevel - ctx->blackLevel;
    const int16_t* m = ctx->colourMatrix;
    EXPECT_NEAR((m[0] * dRY + m[1] * dBY + m[2] * dY) / ctx->saturationGain, 0.0, 0.3);
    EXPECT_NEAR((m[3] * dRY + m[4] * dBY + m[5] * dY) / ctx->saturationGain, 0.0, 0.3);
    EXPECT_NEAR((m[6] * dRY + m[7] * dBY + m[8] * dY) / 1024.0,
                std::sqrt(dRY * dRY + dBY * dBY + dY * dY), 0.3);
}

TEST(CalculatePictures, PureBlackAndWhiteLinesChangeNothing) {
    ScopedContext plain;
    ASSERT_EQ(FeedPicture(plain.handle(), CastPicture({0, 8}, {8, 0})), 0);
    ASSERT_EQ(Calculate(plain, kCorrect), 0);

    // The same picture with black and white lines between its lines, keeping
    // the sampling grid on the same lines.
    ScopedContext mixed;
    const Line black = SolidLine(256, {0, 0, 0});
    const Line white = SolidLine(256, {255, 255, 255});
    const Picture picture = CastPicture({0, 8}, {8, 0});
    for (const Line& line : picture) {
        ASSERT_EQ(test::FeedLine(mixed.handle(), line), 0);
        ASSERT_EQ(test::FeedLine(mixed.handle(), black), 0);
        ASSERT_EQ(test::FeedLine(mixed.handle(), white), 0);
        ASSERT_EQ(test::FeedLine(mixed.handle(), black), 0);
        ASSERT_EQ(test::FeedLine(mixed.handle(), white), 0);
    }
    ASSERT_EQ(Calculate(mixed, kCorrect), 0);
    EXPECT_EQ(std::memcmp(plain->colourMatrix, mixed->colourMatrix, sizeof plain->colourMatrix), 0);
    EXPECT_EQ(std::memcmp(plain->toneCurve, mixed->toneCurve, sizeof plain->toneCurve), 0);
    EXPECT_EQ(plain->blackLevel, mixed->blackLevel);
    EXPECT_EQ(plain->whiteLevel, mixed->whiteLevel);
}

TEST(CalculatePictures, WarmHighlightsAloneAreStretched) {
    ScopedContext ctx;
    ASSERT_EQ(FeedPicture(ctx.handle(), Repeat(CastRamp(211, 10, 220, {0, 0}, {25, 0}), 40)), 0);
    EXPECT_EQ(Calculate(ctx, kCorrect), 0);
    EXPECT_EQ(ctx->sceneCode, 5106);
    EXPECT_EQ(ctx->correctionType, 5003);
    EXPECT_NE(ctx->flags & QV_FLAG_DERIVED, 0);
    EXPECT_EQ(ctx->toneCurve[ctx->blackLevel], 10);
    EXPECT_EQ(ctx->toneCurve[ctx->whiteLevel], 245);
    EXPECT_EQ(ctx->toneCurve[0], 0);
    EXPECT_EQ(ctx->toneCurve[255], 255);
    EXPECT_EQ(ctx->highlightLevel, FirstWhiteInput(ctx.context()));
}

// A dark picture: levels 5..60 whose cast is (3, -2) up to level 20 and then
// turns, a small lamp at level 92 and a small blue patch at `patchLevel`.
// Both are too small to move the raw white level, which stays below 70.
Picture DarkPicture(test::Cast lamp, int patchLevel) {
    const test::Cast cast{3, -2};
    Line line = CastRamp(64, 5, 20, cast, cast);
    const Line upper = CastRamp(160, 21, 60, cast, {-3, -2});
    line.insert(line.end(), upper.begin(), upper.end());
    Picture picture = Repeat(line, 40);
    picture.push_back(SolidLine(5, test::ColourFromDifferences(92, lamp.dr, lamp.db)));
    picture.push_back(SolidLine(5, test::ColourFromDifferences(patchLevel, 0, 12)));
    return picture;
}

TEST(CalculatePictures, ADarkPictureGetsAWhiteOf150) {
    // The lamp has the shadow's cast: the casts coincide, so the white point
    // moves from 92 to 150, and its cast is measured again there.
    ScopedContext ctx;
    ASSERT_EQ(FeedPicture(ctx.handle(), DarkPicture({3, -2}, 150)), 0);
    EXPECT_EQ(Calculate(ctx, kCorrect), 0);
    EXPECT_EQ(ctx->whiteLevel, 150);
    EXPECT_EQ(ctx->sceneCode, 5101);
    ExpectRotation(ctx.context(), {3, -2});
    // Rotated, the patch's blue (0, 12) against the shadow's (3, -2) lies on
    // the grey axis: the matrix was built from the cast measured at 150.
    const int16_t* m = ctx->colourMatrix;
    const double dY = 150 - ctx->blackLevel;
    EXPECT_NEAR((m[3] * -3.0 + m[4] * 14.0 + m[5] * dY) / ctx->saturationGain, 0.0, 0.3);
}

TEST(CalculatePictures, AStrongCastRaisesTheWhiteOfADarkPicture) {
    // The lamp is 20 away from the shadow cast: white = 2 x 20 + 150.
    ScopedContext ctx;
    ASSERT_EQ(FeedPicture(ctx.handle(), DarkPicture({3, 18}, 190)), 0);
    EXPECT_EQ(Calculate(ctx, kCorrect), 0);
    EXPECT_EQ(ctx->whiteLevel, 190);
    ExpectRotation(ctx.context(), {3, -2});
}

TEST(CalculatePictures, AWhiteWithoutChromaHasNoCast) {
    // Nothing at the raised white level: its cast counts as none, the cast
    // line ends on the grey axis, and the correction still succeeds.
    ScopedContext ctx;
    ASSERT_EQ(FeedPicture(ctx.handle(), DarkPicture({3, -2}, 120)), 0);
    EXPECT_EQ(Calculate(ctx, kCorrect), 0);
    EXPECT_EQ(ctx->whiteLevel, 150);
    const int16_t* m = ctx->colourMatrix;
    const double dY = 150 - ctx->blackLevel;
    EXPECT_NEAR((m[0] * -3.0 + m[1] * 2.0 + m[2] * dY) / ctx->saturationGain, 0.0, 0.3);
    EXPECT_NEAR((m[3] * -3.0 + m[4] * 2.0 + m[5] * dY) / ctx->saturationGain, 0.0, 0.3);
}

TEST(CalculatePictures, ClippedHighlightsMakeABrightScene) {
    // Each line climbs from 20 to 170 (blue shadows turning warm), rests at
    // 170 and ends in a clipped white pixel: the rest is booked at the mean of
    // white, the shoulder moves the white search to 245, the white point is
    // 245 - 86 = 159 and the neutral level about half-way.
    Line line = CastRamp(151, 20, 170, {0, 8}, {8, 0});
    const Line rest = SolidLine(40, line.back());
    line.insert(line.end(), rest.begin(), rest.end());
    line.push_back({255, 255, 255});
    ScopedContext ctx;
    ASSERT_EQ(FeedPicture(ctx.handle(), Repeat(line, 40)), 0);
    EXPECT_EQ(Calculate(ctx, kCorrect), 0);
    EXPECT_EQ(ctx->sceneCode, 5138);
    EXPECT_EQ(ctx->correctionType, 5002);
    EXPECT_EQ(ctx->whiteLevel, 159);
    EXPECT_EQ(ctx->toneCurve[0], 0) << "no lifted floor";
    EXPECT_NE(ctx->flags & QV_FLAG_DERIVED, 0);
}

// ---- Modes and results --------------------------------------------------------------

TEST(CalculateModes, NeitherCorrectionNorToneTableAlwaysGivesMinus4) {
    ScopedContext ctx;
    ASSERT_EQ(FeedPicture(ctx.handle(), CastPicture({0, 8}, {8, 0})), 0);
    EXPECT_EQ(Calculate(ctx, 0), -4);
    EXPECT_NE(ctx->flags & QV_FLAG_DERIVED, 0) << "the parameters exist all the same";
    EXPECT_EQ(ctx->sceneCode, 5101);
    EXPECT_EQ(ctx->correctionMask, 0xFFFF);
}

TEST(CalculateModes, AFailedToneStepWithdrawsTheToneTable) {
    // No parameter table: the tone step fails, bit 13 leaves mode and mask,
    // and the colour correction still stands.
    ScopedContext ctx;
    ASSERT_EQ(FeedPicture(ctx.handle(), CastPicture({0, 8}, {8, 0})), 0);
    EXPECT_EQ(Calculate(ctx, kCorrect | QV_MODE_BYTE_TABLE | QV_MODE_DENOISE), 0);
    EXPECT_EQ(ctx->mode, kCorrect | QV_MODE_DENOISE);
    EXPECT_EQ(ctx->correctionMask, 0xDFFF);

    ScopedContext grey;
    ASSERT_EQ(FeedPicture(grey.handle(), Repeat(test::GreyRamp(256, 0, 255), 40)), 0);
    EXPECT_EQ(Calculate(grey, QV_MODE_BYTE_TABLE), -4);
    EXPECT_EQ(grey->mode, 0);
    EXPECT_EQ(grey->correctionMask, 0x1FFF);
}

TEST(CalculateModes, RecalculationStartsAfresh) {
    ScopedContext ctx;
    ASSERT_EQ(FeedPicture(ctx.handle(), CastPicture({0, 8}, {8, 0})), 0);
    ASSERT_EQ(Calculate(ctx, kCorrect), 0);
    const int16_t matrix0 = ctx->colourMatrix[0];
    // A later failing call keeps the derived flag and the earlier matrix.
    ctx->levelStats[ctx->blackLevel].chromaCount = 0;
    ctx->levelStats[1].runByLevel = 1000000;
    ctx->levelStats[1].chromaCount = 0;
    EXPECT_EQ(QVCalculate(ctx.handle(), 0), -4);
    EXPECT_NE(ctx->flags & QV_FLAG_DERIVED, 0);
    EXPECT_EQ(ctx->colourMatrix[0], matrix0);
    EXPECT_EQ(ctx->correctionMask, 0x1FFF);
    // QVExtension resets the mask for the next attempt.
    EXPECT_EQ(QVExtension(ctx.handle(), kCorrect, nullptr, nullptr, 0), 0);
    EXPECT_EQ(ctx->correctionMask, 0xFFFF);
}

TEST(CalculateModes, ResultTable) {
    struct Case {
        uint16_t mode;
        int16_t status;
        int16_t tone;
        int16_t result;
        uint16_t modeAfter;
        uint16_t maskAfter;
    };
    const Case cases[] = {
        {0xE000, 0, -2, 0, 0xE000, 0xFFFF},   {0xE000, 0, 5, 0, 0xE000, 0xFFFF},
        {0xE000, -5, -2, -4, 0x2000, 0x3FFF}, {0xE000, -5, 5, -5, 0x2000, 0x3FFF},
        {0x6000, 0, -7, -4, 0x6000, 0xFFFF},  {0x6000, 0, 0, 0, 0x6000, 0xFFFF},
        {0x6000, -5, 1, -5, 0x6000, 0xFFFF},  {0x6000, -5, -1, -4, 0x6000, 0xFFFF},
    };
    for (const Case& c : cases) {
        ScopedContext ctx;
        ctx->mode = c.mode;
        ctx->correctionMask = 0xFFFF;
        EXPECT_EQ(FinishAnalysis(&ctx.context(), c.status, c.tone), c.result)
            << std::hex << c.mode << " " << std::dec << c.status << " " << c.tone;
        EXPECT_EQ(ctx->mode, c.modeAfter);
        EXPECT_EQ(ctx->correctionMask, c.maskAfter);
    }
}

}  // namespace
}  // namespace voved
