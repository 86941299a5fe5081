// Tone curves of the colour correction and the highlight shoulder.
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "analysis/highlights.h"
#include "analysis/tone_curves.h"
#include "support/context_access.h"

namespace voved {
namespace {

using test::ScopedContext;

// ---- Small conversions ---------------------------------------------------------

TEST(ToneCurves, TargetWhiteRisesFrom224To245ThenJumpsTo255) {
    EXPECT_DOUBLE_EQ(TargetWhite(92), 224.0);
    EXPECT_NEAR(TargetWhite(244), 244.8627, 1e-4);
    EXPECT_DOUBLE_EQ(TargetWhite(245), 255.0);
    EXPECT_DOUBLE_EQ(TargetWhite(255), 255.0);
    EXPECT_NEAR(TargetWhite(170), 234.7059, 1e-4);
    EXPECT_LT(TargetWhite(0), 224.0) << "the line continues below 92";
}

TEST(ToneCurves, RoundToByteRoundsHalfUpWithinAByte) {
    EXPECT_EQ(RoundToByte(254.5), 255);
    EXPECT_EQ(RoundToByte(254.49), 254);
    EXPECT_EQ(RoundToByte(1000.0), 255);
    EXPECT_EQ(RoundToByte(0.5), 1);
    EXPECT_EQ(RoundToByte(0.49), 0);
    EXPECT_EQ(RoundToByte(-0.01), 0);
    EXPECT_EQ(RoundToByte(-1e9), 0);
    EXPECT_EQ(RoundToByte(std::nan("")), 0);
}

// ---- Stretch curve ---------------------------------------------------------------

void SetIdentity(QVContext& c) {
    for (int i = 0; i < kToneCurveSize; ++i) {
        c.toneCurve[i] = static_cast<int16_t>(i);
    }
}

QVAnalysisRecord Levels(uint8_t black, uint8_t white) {
    QVAnalysisRecord r{};
    r.blackLevel = black;
    r.whiteLevel = white;
    return r;
}

TEST(StretchCurve, MapsBlackAndWhiteOnto10And245) {
    ScopedContext ctx;
    SetIdentity(ctx.context());
    ctx->whiteLevel = 190;  // raw white not above the record's
    QVAnalysisRecord r = Levels(20, 200);
    ASSERT_EQ(BuildStretchCurve(&ctx.context(), &r), 0);
    EXPECT_EQ(ctx->toneCurve[20], 10);
    EXPECT_EQ(ctx->toneCurve[200], 245);
    EXPECT_EQ(ctx->toneCurve[255], 255) << "clamped";
    EXPECT_EQ(ctx->toneCurve[0], 0) << "clamped";
    EXPECT_EQ(ctx->toneCurve[110], 128) << "10 + 235 x 90 / 180 = 127.5, rounded up";
    EXPECT_EQ(ctx->toneCurve[256], 256) << "entries above 255 stay as they were";
    EXPECT_EQ(ctx->toneCurve[299], 299);
    EXPECT_EQ(r.whiteLevel, 200);
}

TEST(StretchCurve, AHigherRawWhiteRaisesTheWhiteAndTheTop) {
    ScopedContext ctx;
    SetIdentity(ctx.context());
    ctx->whiteLevel = 230;
    QVAnalysisRecord r = Levels(20, 200);
    ASSERT_EQ(BuildStretchCurve(&ctx.context(), &r), 0);
    EXPECT_EQ(r.whiteLevel, 230);
    EXPECT_EQ(ctx->toneCurve[20], 10);
    EXPECT_EQ(ctx->toneCurve[230], 255);
    EXPECT_EQ(ctx->toneCurve[124], 131) << "10 + 245 x 104 / 210 = 131.3";
}

TEST(StretchCurve, NoSpanNoCurve) {
    ScopedContext ctx;
    SetIdentity(ctx.context());
    ctx->whiteLevel = 90;
    QVAnalysisRecord r = Levels(100, 100);
    EXPECT_EQ(BuildStretchCurve(&ctx.context(), &r), -4);
    EXPECT_EQ(ctx->toneCurve[100], 100);
    EXPECT_EQ(ctx->toneCurve[10], 10);
}

// ---- Rotation curve ----------------------------------------------------------------

// A rotation curve with an identity rotation and no casts, so the rotated
// span l is white - black. Scene 5138 makes the white target g the record's
// white level; o is 10 with an unmoved search top (255), else 0.
struct CurveCase {
    uint8_t black;
    uint8_t white;
    double t;  // neutral level
    double m;  // rotated neutral level
    uint8_t searchTop = 255;
};

std::vector<int16_t> Curve(const CurveCase& c, int16_t sceneCode = 5138, uint8_t rawWhite = 0) {
    ScopedContext ctx;
    SetIdentity(ctx.context());
    ctx->sceneCode = sceneCode;
    ctx->whiteLevel = rawWhite == 0 ? c.white : rawWhite;
    QVAnalysisRecord r = Levels(c.black, c.white);
    r.neutralLevel = c.t;
    r.rotatedNeutralLevel = c.m;
    EXPECT_EQ(BuildRotationCurve(&ctx.context(), r, kIdentityMatrix, c.searchTop), 0);
    return std::vector<int16_t>(ctx->toneCurve, ctx->toneCurve + kToneCurveSize);
}

bool IsIdentity(const std::vector<int16_t>& curve) {
    for (int i = 0; i < kToneCurveSize; ++i) {
        if (curve[static_cast<std::size_t>(i)] != i) {
            return false;
        }
    }
    return true;
}

TEST(RotationCurve, StraightFromTheFloorToTheWhiteTarget) {
    // Grey point beyond white and far from the neutral level: the line from
    // (0, 10) to (235, 245), continued until it saturates.
    const std::vector<int16_t> y = Curve({10, 245, 200, 300});
    EXPECT_EQ(y[0], 10);
    EXPECT_EQ(y[235], 245);
    EXPECT_EQ(y[244], 254);
    EXPECT_EQ(y[245], 255);
    EXPECT_EQ(y[299], 309);
    // The same line when the neutral level lies above white by 15 or more.
    EXPECT_EQ(Curve({10, 245, 250, 100}), y);
    // And for a grey point below black whose neutral level is far from it.
    EXPECT_EQ(Curve({10, 245, 100, -100}), y);
}

TEST(RotationCurve, ThroughTheNeutralLevelAtTheGreyPoint) {
    // l <= m, neutral level within 30: o + (t - o) i / m.
    std::vector<int16_t> y = Curve({10, 245, 270, 250});
    EXPECT_EQ(y[0], 10);
    EXPECT_EQ(y[125], 140);
    EXPECT_EQ(y[250], 270);
    // Grey point inside the span with the neutral level at or above white
    // but within 15 of m.
    y = Curve({0, 250, 252, 240});
    EXPECT_EQ(y[240], 252);
    EXPECT_EQ(y[120], 131);
}

TEST(RotationCurve, FromBelowZeroForAGreyPointFarBelowBlack) {
    const std::vector<int16_t> y = Curve({10, 245, 0, -301});
    EXPECT_EQ(y[0], -5);
    EXPECT_EQ(y[47], 45);
    EXPECT_EQ(y[235], 245);
}

TEST(RotationCurve, ThroughTheNeutralLevelBelowBlack) {
    // -300 <= m <= 0, neutral within 30: the line through (m, t) and (l, g)
    // when it starts at or below the floor ...
    std::vector<int16_t> y = Curve({10, 245, -20, -5});
    EXPECT_EQ(y[0], -14);
    EXPECT_EQ(y[235], 245);
    // ... otherwise the straight line from the floor.
    y = Curve({10, 245, 10, -10});
    EXPECT_EQ(y[0], 10);
    EXPECT_EQ(y[100], 110);
}

TEST(RotationCurve, ThroughADarkNeutralLevel) {
    // t <= o: the line through (m, t) and (l, g).
    const std::vector<int16_t> y = Curve({10, 245, 5, 20});
    EXPECT_EQ(y[20], 5);
    EXPECT_EQ(y[235], 245);
    EXPECT_EQ(y[0], -17);
}

TEST(RotationCurve, TwoSegmentsJoinAtTheGreyPoint) {
    // e = t (smaller than o + 1.5 m).
    std::vector<int16_t> y = Curve({10, 245, 120, 100});
    EXPECT_EQ(y[0], 10);
    EXPECT_EQ(y[50], 65);
    EXPECT_EQ(y[100], 120);
    EXPECT_EQ(y[167], 182);
    EXPECT_EQ(y[235], 245);
    // e = o + 1.5 m limits a steep shadow segment.
    y = Curve({10, 245, 150, 50});
    EXPECT_EQ(y[50], 85);
    EXPECT_EQ(y[25], 48);
    EXPECT_EQ(y[235], 245);
    // From m = 192 on, the segment reaches t itself.
    y = Curve({10, 245, 230, 200});
    EXPECT_EQ(y[200], 230);
    EXPECT_EQ(y[100], 120);
}

TEST(RotationCurve, AGreyPointAtTheWhitePointIsNotASpan) {
    // A white point without chroma makes the grey point the white point:
    // m equals l but for the last bit. Both roundings give the same curve,
    // through the neutral level, instead of a segment that whitens all above.
    const std::vector<int16_t> exact = Curve({10, 160, 160, 150}, 5101);
    const std::vector<int16_t> below = Curve({10, 160, 160, std::nextafter(150.0, 0.0)}, 5101);
    EXPECT_EQ(below, exact);
    EXPECT_EQ(exact[150], 160);
    EXPECT_EQ(exact[200], 210);
    // A real span, however small, still takes the (steep) segment to white.
    const std::vector<int16_t> apart = Curve({10, 160, 160, 149.5}, 5101);
    EXPECT_EQ(apart[149], 159);
    EXPECT_EQ(apart[150], 233);
    EXPECT_EQ(apart[151], 380);
}

TEST(RotationCurve, NoFloorWhenTheSearchTopMoved) {
    const std::vector<int16_t> y = Curve({10, 245, 200, 300, 245});
    EXPECT_EQ(y[0], 0);
    EXPECT_EQ(y[235], 245);
}

TEST(RotationCurve, WhiteTargetFollowsTheRawWhite) {
    // Without the bright-highlight scene: TargetWhite, or 200 / 220 when the
    // raw white lies more than 30 above the white level.
    EXPECT_EQ(Curve({10, 170, 0, 400}, 5101, 241)[160], 200);
    EXPECT_EQ(Curve({10, 190, 0, 400}, 5101, 221)[180], 220);
    EXPECT_EQ(Curve({10, 205, 0, 400}, 5101, 240)[195], 240) << "TargetWhite(205) = 239.5";
    EXPECT_EQ(Curve({10, 170, 0, 400}, 5101, 200)[160], 235) << "30 above is not far";
    EXPECT_EQ(Curve({10, 250, 0, 400}, 5101, 250)[240], 255);
}

TEST(RotationCurve, ARotatedWhiteAtOrBelowBlackKeepsTheCurve) {
    EXPECT_TRUE(IsIdentity(Curve({100, 100, 10, 0})));    // l = m = 0
    EXPECT_TRUE(IsIdentity(Curve({200, 150, 0, 100})));   // l < 0, straight
    EXPECT_TRUE(IsIdentity(Curve({100, 100, 0, -400})));  // l = 0 from below
    EXPECT_TRUE(
        IsIdentity(Curve({120, 100, 0, -30})));  // l < 0, grey point within 30 of its target
}

// ---- Highlight shoulder ------------------------------------------------------------

struct Shoulder {
    int status;
    int knee;
    int searchTop;
};

Shoulder Analyse(const std::vector<uint32_t>& h) {
    uint32_t total = 0;
    for (uint32_t v : h) {
        total += v;
    }
    uint8_t knee = 0;
    uint8_t top = 0;
    const int status = AnalyseHighlights(h.data(), total, &knee, &top);
    return {status, knee, top};
}

std::vector<uint32_t> Histogram(std::initializer_list<std::array<uint32_t, 3>> ranges) {
    std::vector<uint32_t> h(256, 0);
    for (const auto& range : ranges) {
        for (uint32_t k = range[0]; k <= range[1]; ++k) {
            h[k] = range[2];
        }
    }
    return h;
}

TEST(HighlightShoulder, AFlatHistogramMovesNothing) {
    const Shoulder s = Analyse(Histogram({{1, 254, 10}}));
    EXPECT_EQ(s.status, 0);
    EXPECT_EQ(s.knee, 255);
    EXPECT_EQ(s.searchTop, 255);
}

TEST(HighlightShoulder, AHeavyTopStartsTheSearchAt245) {
    const Shoulder s = Analyse(Histogram({{0, 239, 10}, {245, 255, 1000}}));
    EXPECT_EQ(s.status, 2);
    EXPECT_EQ(s.knee, 254);
    EXPECT_EQ(s.searchTop, 245);
}

TEST(HighlightShoulder, ATopOverAnEmptyBandSearchesFrom245) {
    // Top band 1700 after smoothing, the band below empty, not 1.2 percent
    // of all: no peak in the top band, no rise, the search top stays 245.
    const Shoulder s = Analyse(Histogram({{0, 200, 1000}, {255, 255, 1000}}));
    EXPECT_EQ(s.status, 0);
    EXPECT_EQ(s.knee, 255);
    EXPECT_EQ(s.searchTop, 245);
}

TEST(HighlightShoulder, ARiseBelowThePeakMovesTheSearchDown) {
    // Peak at 255 over a gap (251..254 empty) and a bump at 244..248: the
    // smoothed histogram rises again from 252 down, first by enough in the
    // window 249..252.
    const Shoulder s =
        Analyse(Histogram({{0, 200, 100}, {226, 240, 240}, {244, 248, 600}, {255, 255, 3000}}));
    EXPECT_EQ(s.status, 3);
    EXPECT_EQ(s.knee, 255);
    EXPECT_EQ(s.searchTop, 252);
}

TEST(HighlightShoulder, ASteepRiseBelowAFlatTopIsAKnee) {
    // 300 per level above 200, 1000 below: the smoothed step rises over
    // 199..203, first seen whole in the window ending at 204.
    const Shoulder s = Analyse(Histogram({{0, 200, 1000}, {201, 255, 300}}));
    EXPECT_EQ(s.status, 1);
    EXPECT_EQ(s.knee, 200);
    EXPECT_EQ(s.searchTop, 255);
}

TEST(HighlightShoulder, LevelsOfHardlyAnyCountsHaveNoSlope) {
    // The same step far below 0.1 percent of all counts is no knee.
    const Shoulder s = Analyse(Histogram({{0, 100, 100000}, {190, 200, 100}, {201, 255, 30}}));
    EXPECT_EQ(s.status, 0);
    EXPECT_EQ(s.knee, 255);
}

}  // namespace
}  // namespace voved
