// The parameter-table tone step: decimal arithmetic, the root table, the
// three curves, the measures of the histogram and the choice of a curve.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "analysis/tone_apply.h"
#include "analysis/tone_decimal.h"
#include "analysis/tone_measure.h"
#include "analysis/tone_step.h"
#include "analysis/tone_step_curves.h"
#include "platform/platform.h"
#include "support/context_access.h"
#include "support/tone_table_builder.h"

namespace voved {
namespace {

using test::BuildToneTable;
using test::ExactBuffer;
using test::ScopedContext;
using test::StoredDecimal;
using test::ToneEntry;
using test::ToneSegment;
using test::ToneTableDesc;
using test::ToneZone;
using Curve = std::array<uint8_t, kToneTableSize>;

void ExpectDecimal(QVDecimal value, int32_t mantissa, int16_t exponent) {
    EXPECT_EQ(value.mantissa, mantissa);
    EXPECT_EQ(value.exponent, exponent);
}

// ---- Decimal arithmetic ----------------------------------------------------

TEST(ToneDecimal, NormalisingKeepsTheLimitAndDropsDigitsAboveIt) {
    ExpectDecimal(NormaliseDecimal({10000, 0}), 10000, 0);
    ExpectDecimal(NormaliseDecimal({-10000, 3}), -10000, 3);
    ExpectDecimal(NormaliseDecimal({10001, 0}), 1000, 1);
    ExpectDecimal(NormaliseDecimal({10005, 0}), 1001, 1);  // 5 added before each division
    ExpectDecimal(NormaliseDecimal({100049, -2}), 1001, 0);
    ExpectDecimal(NormaliseDecimal({123456, 0}), 1235, 2);
    ExpectDecimal(NormaliseDecimal({99999, 0}), 10000, 1);
    // A negative mantissa moves toward zero: -10009 + 5 = -10004, / 10.
    ExpectDecimal(NormaliseDecimal({-10009, 0}), -1000, 1);
    ExpectDecimal(NormaliseDecimal({-20, 0}), -20, 0);
}

TEST(ToneDecimal, MultiplyNormalisesOperandsAndProduct) {
    ExpectDecimal(MultiplyDecimal({255, 0}, {255, 0}), 6503, 1);  // 65025
    ExpectDecimal(MultiplyDecimal({12345, 0}, {2, 0}), 2470, 1);  // 1235 e1 x 2
    ExpectDecimal(MultiplyDecimal({-3, -2}, {7, 5}), -21, 3);
    ExpectDecimal(MultiplyDecimal({0, 9}, {7, 5}), 0, 14);
}

TEST(ToneDecimal, AddAlignsToFourDecimalsUnlessTheTermIsZero) {
    ExpectDecimal(AddDecimal({1, 0}, {5, -1}), 15000, -4);
    ExpectDecimal(AddDecimal({123456, -6}, {0, 0}), 123456, -6);  // zero term: as it stands
    ExpectDecimal(AddDecimal({123456, -6}, {1, -9}), 1235, -4);   // 12346 e-5, then 1235 e-4
    ExpectDecimal(AddDecimal({-7, 0}, {25, -1}), -45000, -4);
    // The mantissa is a 32-bit register: raising 1 e20 to e-4 wraps.
    const int64_t wrapped = [] {
        uint64_t v = 1;
        for (int i = 0; i < 24; ++i) {
            v *= 10;  // unsigned: wraps modulo 2^64, whose low 32 bits are kept
        }
        const uint32_t low = static_cast<uint32_t>(v);
        return low >= 0x80000000u ? int64_t{low} - 0x100000000LL : int64_t{low};
    }();
    ExpectDecimal(AddDecimal({0, 0}, {1, 20}), static_cast<int32_t>(wrapped), -4);
}

// ---- Root table and curves ------------------------------------------------

TEST(RootTable, HoldsTheRoundedHundredthRoots) {
    EXPECT_EQ(rootTable[0], 0);
    EXPECT_EQ(rootTable[1], 10000);
    EXPECT_EQ(rootTable[2], 10070);
    EXPECT_EQ(rootTable[255], 10570);
    for (int i = 1; i < kLevels; ++i) {
        ASSERT_EQ(rootTable[i], std::lround(10000.0 * std::pow(i, 0.01))) << "entry " << i;
    }
}

// The fixed-point curves against the functions they approximate. The root
// table's rounding (1e-4 relative) is raised to the power p - 1, so the gap
// grows with p: within 4 levels for p up to about 150 (gamma 0.70 and up).
constexpr double kGammaTolerance = 4.0;

double GammaReference(int gamma, double x) {
    const int p = 10000 / gamma;
    return std::pow(x, (p - 1) / 100.0);
}

TEST(ToneCurves, GammaExponentFollowsThePowerCurve) {
    for (int gamma : {70, 120, 200, 255}) {
        Curve curve{};
        ASSERT_EQ(GammaExponentCurve(static_cast<uint16_t>(gamma), curve.data()), 0);
        EXPECT_EQ(curve[0], 0);
        EXPECT_EQ(curve[255], 255);
        for (int i = 1; i < kLevels; ++i) {
            const double expected = 255.0 * GammaReference(gamma, i / 255.0);
            ASSERT_NEAR(curve[i], expected, kGammaTolerance) << "gamma " << gamma << " at " << i;
            ASSERT_GE(curve[i], curve[i - 1]);
        }
    }
}

TEST(ToneCurves, GammaOfZeroOrOneBuildsNothing) {
    Curve curve;
    curve.fill(77);
    EXPECT_EQ(GammaExponentCurve(100, curve.data()), kToneNoFit);
    EXPECT_EQ(GammaExponentCurve(0, curve.data()), kToneNoFit);
    EXPECT_TRUE(std::all_of(curve.begin(), curve.end(), [](uint8_t v) { return v == 77; }));
}

TEST(ToneCurves, KneeIsTheIdentityBelowItsJointAndThePowerCurveAbove) {
    for (int knee : {40, 100, 180}) {
        for (int gamma : {80, 150}) {
            Curve curve{};
            ASSERT_EQ(
                KneeCurve(static_cast<uint16_t>(gamma), static_cast<uint16_t>(knee), curve.data()),
                0);
            const int x1 = 8 * knee / 10;
            const int x3 = 12 * knee / 10;
            for (int i = 0; i <= x1; ++i) {
                ASSERT_EQ(curve[i], i) << "knee " << knee;
            }
            for (int i = x3; i < kLevels; ++i) {
                const double expected =
                    knee + (255 - knee) * GammaReference(gamma, (i - knee) / (255.0 - knee));
                ASSERT_NEAR(curve[i], expected, kGammaTolerance) << "knee " << knee << " at " << i;
            }
            // The joint runs from its first to its last point without a step back.
            for (int i = x1 + 1; i <= x3; ++i) {
                ASSERT_GE(curve[i], curve[i - 1]) << "knee " << knee << " at " << i;
            }
            EXPECT_EQ(curve[255], 255);
        }
    }
}

TEST(ToneCurves, KneeJointIsSmoothedAtTheKnee) {
    // Without the joint the curve would leave the identity at the knee with
    // a sharp bend; the quadratic bends away already below it.
    Curve curve{};
    ASSERT_EQ(KneeCurve(60, 100, curve.data()), 0);
    EXPECT_NE(curve[95], 95);
    EXPECT_NE(curve[100], 100);
}

TEST(ToneCurves, KneesWithoutARoomForTheJointKeepTheBend) {
    // Knees 1..4 put two joint points on one x; knees from 214 would reach
    // past level 255. Both keep the unsmoothed curve: the identity up to the
    // knee. Each curve goes into a buffer of exactly 256 bytes.
    for (int knee : {1, 2, 3, 4, 214, 230, 254, 255}) {
        for (int gamma : {1, 30, 100, 255}) {
            std::unique_ptr<uint8_t[]> curve(new uint8_t[kToneTableSize]);
            ASSERT_EQ(
                KneeCurve(static_cast<uint16_t>(gamma), static_cast<uint16_t>(knee), curve.get()),
                0);
            for (int i = 0; i <= knee; ++i) {
                ASSERT_EQ(curve[i], i) << "knee " << knee << " gamma " << gamma;
            }
            ASSERT_EQ(curve[255], 255);
        }
    }
}

TEST(ToneCurves, EveryKneeAndGammaStaysMonotone) {
    for (int knee = 1; knee < kLevels; knee += 3) {
        for (int gamma : {20, 45, 99, 100, 101, 180, 255}) {
            std::unique_ptr<uint8_t[]> curve(new uint8_t[kToneTableSize]);
            ASSERT_EQ(
                KneeCurve(static_cast<uint16_t>(gamma), static_cast<uint16_t>(knee), curve.get()),
                0);
            for (int i = 1; i < kLevels; ++i) {
                ASSERT_GE(curve[i], curve[i - 1]) << "knee " << knee << " gamma " << gamma;
            }
        }
    }
}

TEST(ToneCurves, KneeNeedsAKneeAndAGamma) {
    Curve curve;
    curve.fill(9);
    EXPECT_EQ(KneeCurve(120, 0, curve.data()), kToneNoFit);
    EXPECT_EQ(KneeCurve(0, 120, curve.data()), kToneNoFit);
    EXPECT_TRUE(std::all_of(curve.begin(), curve.end(), [](uint8_t v) { return v == 9; }));
}

double StoredValue(StoredDecimal c) {
    return c.mantissa * std::pow(10.0, c.exponent);
}

QVDecimal InMemory(StoredDecimal c) {
    return {c.mantissa, c.exponent};
}

TEST(ToneCurves, PolynomialFollowsItsFloatingPointValue) {
    // 1.4 x - 0.0031 x^2 + 4.2e-6 x^3 + 2.5e-9 x^4 - 4e-12 x^5 + 3: about
    // four significant digits survive each product; within one level.
    const std::array<StoredDecimal, 6> stored = {
        {{3, 0}, {14, -1}, {-31, -4}, {42, -7}, {25, -10}, {-4, -12}}};
    QVDecimal coefficients[kPolynomialTerms];
    for (int k = 0; k < kPolynomialTerms; ++k) {
        coefficients[k] = InMemory(stored[k]);
    }
    Curve curve{};
    PolynomialCurve(coefficients, curve.data());
    EXPECT_EQ(curve[0], 0);
    for (int i = 1; i < kLevels; ++i) {
        double y = 0.0;
        for (int k = kPolynomialTerms - 1; k >= 0; --k) {
            y = y * i + StoredValue(stored[k]);
        }
        const double expected = std::min(255.0, std::max(0.0, y));
        ASSERT_NEAR(curve[i], expected, 1.0) << "level " << i;
    }
}

TEST(ToneCurves, PolynomialIsLimitedToTheByteRange) {
    QVDecimal identity[kPolynomialTerms] = {{0, 0}, {1, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}};
    Curve curve{};
    PolynomialCurve(identity, curve.data());
    for (int i = 0; i < kLevels; ++i) {
        ASSERT_EQ(curve[i], i);
    }
    QVDecimal steep[kPolynomialTerms] = {{-100, 0}, {2, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}};
    PolynomialCurve(steep, curve.data());
    EXPECT_EQ(curve[10], 0);  // -80
    EXPECT_EQ(curve[100], 100);
    EXPECT_EQ(curve[200], 255);  // 300
}

// ---- Histogram measures ----------------------------------------------------

class ToneCounts : public ::testing::Test {
  protected:
    void SetRuns(std::initializer_list<std::pair<int, uint32_t>> runs) {
        for (const auto& [level, count] : runs) {
            ctx->levelStats[level].runByLevel = count;
        }
    }
    ScopedContext ctx;
    uint32_t counts[kLevels] = {};
};

TEST_F(ToneCounts, StretchOverTheWholeRangeKeepsTheCounts) {
    for (int level = 0; level < kLevels; ++level) {
        ctx->levelStats[level].runByLevel = static_cast<uint32_t>(level * 7 % 50);
    }
    ctx->blackLevel = 0;
    ctx->whiteLevel = 255;
    StretchHistogram(ctx.context(), counts);
    for (int level = 0; level < kLevels; ++level) {
        ASSERT_EQ(counts[level], static_cast<uint32_t>(level * 7 % 50));
    }
}

TEST_F(ToneCounts, StretchInterpolatesTheGapsBothWays) {
    // 85 levels from 50: each lands three places apart (step 3000).
    ctx->blackLevel = 50;
    ctx->whiteLevel = 135;
    SetRuns({{50, 10}, {51, 20}, {52, 10}, {53, 0}, {135, 44}});
    StretchHistogram(ctx.context(), counts);
    // Kept one above the count: 11 -> 21 rises by 3 a place, 21 -> 11 and
    // 11 -> 1 fall by 3; then the one is taken off again.
    const uint32_t expected[] = {10, 13, 16, 20, 17, 14, 10, 7, 4, 0};
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(counts[i], expected[i]) << "entry " << i;
    }
    EXPECT_EQ(counts[255], 44u);
}

TEST_F(ToneCounts, StretchRepeatsTheLastCountUpToTheTop) {
    // 61 levels: step 4180, so the white level lands on 254.
    ctx->blackLevel = 100;
    ctx->whiteLevel = 161;
    SetRuns({{160, 5}, {161, 9}});
    StretchHistogram(ctx.context(), counts);
    EXPECT_EQ(counts[254], 9u);
    EXPECT_EQ(counts[255], 9u);
}

TEST_F(ToneCounts, StretchWithoutARangeCopiesTheCounts) {
    SetRuns({{0, 3}, {90, 8}, {255, 1}});
    for (const auto& [black, white] : {std::pair<int, int>{90, 90}, {120, 40}}) {
        ctx->blackLevel = static_cast<uint8_t>(black);
        ctx->whiteLevel = static_cast<uint8_t>(white);
        StretchHistogram(ctx.context(), counts);
        EXPECT_EQ(counts[0], 3u);
        EXPECT_EQ(counts[90], 8u);
        EXPECT_EQ(counts[255], 1u);
        EXPECT_EQ(counts[1], 0u);
    }
}

TEST_F(ToneCounts, HighlightSpikesAreClippedToTheBandLimit) {
    std::fill(counts, counts + 230, 1000u);
    std::fill(counts + 230, counts + kLevels, 10u);
    counts[240] = 500;
    counts[250] = 400;
    ClipHighlightSpikes(counts);
    // limit = (24 x 10 + 500 + 400) / 19 = 60; only counts above 1.5 x 60 fall.
    EXPECT_EQ(counts[240], 60u);
    EXPECT_EQ(counts[250], 60u);
    EXPECT_EQ(counts[231], 10u);
    EXPECT_EQ(counts[229], 1000u);
}

TEST_F(ToneCounts, AmongEqualSpikesTheLowerLevelsAreKept) {
    std::fill(counts, counts + 230, 1000u);
    for (int level = 231; level <= 245; level += 2) {
        counts[level] = 300;  // eight equal spikes, seven are kept
    }
    ClipHighlightSpikes(counts);
    const uint32_t limit = 8 * 300 / 19;  // 126
    for (int level = 231; level <= 243; level += 2) {
        EXPECT_EQ(counts[level], limit) << "level " << level;
    }
    EXPECT_EQ(counts[245], 300u);
}

TEST_F(ToneCounts, HeavyHighlightsAreNotSpikes) {
    std::fill(counts, counts + 230, 10u);
    counts[250] = 1500;  // 1500 of 3800: above 30 percent
    counts[240] = 10;
    ClipHighlightSpikes(counts);
    EXPECT_EQ(counts[250], 1500u);
    std::fill(counts, counts + kLevels, 0u);
    ClipHighlightSpikes(counts);  // nothing counted: nothing to divide by
    EXPECT_EQ(counts[250], 0u);
}

// Tables for the measures: only the header matters to MeasureTones.
std::vector<uint8_t> HeaderOnly(uint8_t weight, uint8_t lowBound, uint8_t midBound) {
    return BuildToneTable({weight, lowBound, midBound, {}});
}

TEST_F(ToneCounts, MeasuresSharesScoreAndHighlight) {
    counts[10] = 100;
    counts[100] = 300;
    counts[200] = 600;
    const ExactBuffer bytes(HeaderOnly(20, 50, 150));
    ToneTableReader table(bytes.data());
    QVToneStats stats{};
    MeasureTones(counts, table, &stats);
    EXPECT_EQ(stats.weight, 20);
    EXPECT_EQ(stats.lowBound, 50);
    EXPECT_EQ(stats.midBound, 150);
    EXPECT_EQ(stats.highlight, 200);
    EXPECT_EQ(stats.lowShare, 1000);
    EXPECT_EQ(stats.midShare, 3000);
    EXPECT_EQ(stats.score, 5000);  // (20 x 100 x 1000 + 300 x 10000) / 1000
}

TEST_F(ToneCounts, HighlightNeedsMoreThanOnePercent) {
    const ExactBuffer bytes(HeaderOnly(0, 50, 150));
    ToneTableReader table(bytes.data());
    counts[0] = 990;
    counts[250] = 10;  // exactly 1 percent: not more
    QVToneStats stats{};
    MeasureTones(counts, table, &stats);
    EXPECT_EQ(stats.highlight, 0);
    counts[0] = 989;
    counts[250] = 11;
    stats = {};
    MeasureTones(counts, table, &stats);
    EXPECT_EQ(stats.highlight, 250);
}

TEST_F(ToneCounts, ScoreKeepsTheLowSixteenBits) {
    const ExactBuffer bytes(HeaderOnly(255, 100, 200));
    ToneTableReader table(bytes.data());
    counts[20] = 4;  // all in the shadows: 255 x 10000 x 0.1 = 255000
    QVToneStats stats{};
    MeasureTones(counts, table, &stats);
    EXPECT_EQ(stats.lowShare, 10000);
    EXPECT_EQ(stats.midShare, 0);
    EXPECT_EQ(stats.score, 255000 - 3 * 65536);
}

TEST_F(ToneCounts, AnEmptyHistogramMeasuresZero) {
    const ExactBuffer bytes(HeaderOnly(7, 50, 150));
    ToneTableReader table(bytes.data());
    QVToneStats stats{};
    MeasureTones(counts, table, &stats);
    EXPECT_EQ(stats.weight, 7);
    EXPECT_EQ(stats.highlight, 0);
    EXPECT_EQ(stats.lowShare, 0);
    EXPECT_EQ(stats.score, 0);
}

// ---- The step on a context -------------------------------------------------

Curve GammaCurve(int gamma) {
    Curve curve{};
    EXPECT_EQ(GammaExponentCurve(static_cast<uint16_t>(gamma), curve.data()), 0);
    return curve;
}

Curve KneeCurveOf(int gamma, int knee) {
    Curve curve{};
    EXPECT_EQ(KneeCurve(static_cast<uint16_t>(gamma), static_cast<uint16_t>(knee), curve.data()),
              0);
    return curve;
}

constexpr uint8_t kMarker = 0xA5;

class ToneStepOnContext : public ToneCounts {
  protected:
    // Shadow at level 20, mid-tones at 100, highlights at `highlight`; with
    // weight 10 the score is (shadow + mid) x 10000 / total.
    void SetPicture(uint32_t shadow, uint32_t mid, int highlight, uint32_t bright) {
        SetRuns({{20, shadow}, {100, mid}, {highlight, bright}});
    }
    int16_t Run(const std::vector<uint8_t>& bytes, int16_t status = -5) {
        table_ = std::make_unique<ExactBuffer>(bytes);
        ctx->toneParameters = table_->data();
        std::fill(std::begin(ctx->toneTable), std::end(ctx->toneTable), kMarker);
        return ToneStep(&ctx.context(), status);
    }
    Curve ToneTable() {
        Curve curve{};
        std::copy(std::begin(ctx->toneTable), std::end(ctx->toneTable), curve.begin());
        return curve;
    }
    bool ToneTableUnchanged() {
        return std::all_of(std::begin(ctx->toneTable), std::end(ctx->toneTable),
                           [](uint8_t v) { return v == kMarker; });
    }

  private:
    std::unique_ptr<ExactBuffer> table_;
};

// Three zones by highlight, each with two entries by score; the entries of
// zone 1 have segments by shadow share.
ToneTableDesc ThreeZones() {
    ToneTableDesc desc{10, 50, 110, {}};
    desc.zones = {
        {150, {{50, 60, {ToneSegment::Gamma(255)}}, {101, 70, {ToneSegment::Gamma(255)}}}},
        {200,
         {{60, 80, {ToneSegment::Gamma(15), ToneSegment::Knee(30, 90)}},
          {90, 120, {ToneSegment::Gamma(15), ToneSegment::Gamma(40)}}}},
        {250, {{101, 150, {ToneSegment::Gamma(255)}}}},
    };
    return desc;
}

TEST_F(ToneStepOnContext, ZoneAndEntryFollowHighlightAndScore) {
    const std::vector<uint8_t> table = BuildToneTable(ThreeZones());
    // Highlight 120: zone 0; score (200 + 300) x 10 = 5000: entry 1 (limit 101).
    SetPicture(200, 300, 120, 500);
    EXPECT_EQ(Run(table), 1);
    EXPECT_EQ(ToneTable(), GammaCurve(70));
    // Highlight 180: zone 1; score 7000 -> 70: entry 1 of zone 1 (limit 90),
    // shadow share 2000 -> 20: its second segment (limit 40), record 5.
    SetRuns({{120, 0}});
    SetPicture(200, 500, 180, 300);
    EXPECT_EQ(Run(table), 5);
    EXPECT_EQ(ToneTable(), GammaCurve(120));
}

TEST_F(ToneStepOnContext, ScoreLimitMustExceedTheScore) {
    ToneTableDesc desc{0, 50, 150, {}};
    desc.zones = {
        {250, {{40, 90, {ToneSegment::Gamma(255)}}, {41, 110, {ToneSegment::Gamma(255)}}}}};
    SetPicture(0, 400, 180, 600);  // weight 0: score 4000 -> 40
    EXPECT_EQ(Run(BuildToneTable(desc)), 1);
    EXPECT_EQ(ToneTable(), GammaCurve(110));
}

TEST_F(ToneStepOnContext, SegmentFollowsTheShadowShare) {
    const std::vector<uint8_t> table = BuildToneTable(ThreeZones());
    // Zone 1, entry 0 (score 5000 -> 50 < 60). Shadow share 1000 -> 10:
    // the first segment (limit 15), record 2.
    SetPicture(100, 400, 180, 500);
    EXPECT_EQ(Run(table), 2);
    EXPECT_EQ(ToneTable(), GammaCurve(80));
    // Shadow share 2000 -> 20: the knee segment (limit 30), record 3.
    SetPicture(200, 300, 180, 500);
    EXPECT_EQ(Run(table), 3);
    EXPECT_EQ(ToneTable(), KneeCurveOf(80, 90));
}

TEST_F(ToneStepOnContext, NoSegmentForTheShareLeavesTheTable) {
    const std::vector<uint8_t> table = BuildToneTable(ThreeZones());
    // Zone 1, entry 0, shadow share 5000 -> 50: above both limits. The
    // index is one past the entry's last record.
    SetPicture(500, 0, 180, 500);
    EXPECT_EQ(Run(table), 4);
    EXPECT_TRUE(ToneTableUnchanged());
}

TEST_F(ToneStepOnContext, AnEntryWithoutSegmentsLeavesTheTable) {
    ToneTableDesc desc{10, 50, 150, {}};
    desc.zones = {
        {250, {{20, 90, {ToneSegment::Gamma(255), ToneSegment::Gamma(255)}}, {101, 110, {}}}}};
    SetPicture(200, 300, 180, 500);  // score 50: entry 1, after two records
    EXPECT_EQ(Run(BuildToneTable(desc)), 2);
    EXPECT_TRUE(ToneTableUnchanged());
}

TEST_F(ToneStepOnContext, NoZoneForTheHighlightFails) {
    SetPicture(200, 300, 252, 500);  // highlight 252, last zone limit 250
    EXPECT_EQ(Run(BuildToneTable(ThreeZones())), kToneNoFit);
    EXPECT_TRUE(ToneTableUnchanged());
}

TEST_F(ToneStepOnContext, WithoutAnEntryTheNextZoneSpeaksButWithoutGamma) {
    // Score 9000 -> 90 passes zone 0's limits: the entry just past the zone,
    // zone 1's first, is used with no gamma. Its polynomial needs none;
    // a gamma segment there cannot be built.
    const std::array<StoredDecimal, 6> half = {{{0, 0}, {5, -1}, {0, 0}, {0, 0}, {0, 0}, {0, 0}}};
    ToneTableDesc desc{10, 50, 150, {}};
    desc.zones = {{200, {{50, 90, {ToneSegment::Gamma(255)}}}},
                  {250, {{101, 110, {ToneSegment::Polynomial(255, half)}}}}};
    SetPicture(100, 800, 180, 100);
    EXPECT_EQ(Run(BuildToneTable(desc)), 1);
    EXPECT_EQ(ToneTable()[200], 100);
    desc.zones[1].entries[0].segments = {ToneSegment::Gamma(255)};
    EXPECT_EQ(Run(BuildToneTable(desc)), kToneNoFit);
    EXPECT_TRUE(ToneTableUnchanged());
}

TEST_F(ToneStepOnContext, WithoutAnEntryInTheLastZoneNothingIsBuilt) {
    ToneTableDesc desc{10, 50, 150, {}};
    desc.zones = {{250, {{50, 90, {ToneSegment::Gamma(255), ToneSegment::Gamma(255)}}}}};
    SetPicture(100, 800, 180, 100);  // score 90: past the only entry
    EXPECT_EQ(Run(BuildToneTable(desc)), 2);
    EXPECT_TRUE(ToneTableUnchanged());
}

TEST_F(ToneStepOnContext, ChecksumMismatchFails) {
    std::vector<uint8_t> table = BuildToneTable(ThreeZones());
    table.back() = static_cast<uint8_t>(table.back() + 1);
    SetPicture(200, 300, 120, 500);
    EXPECT_EQ(Run(table), kToneBadTable);
    EXPECT_TRUE(ToneTableUnchanged());
}

TEST_F(ToneStepOnContext, GammaOfOneInAGammaSegmentFails) {
    ToneTableDesc desc{10, 50, 150, {}};
    desc.zones = {{250, {{101, 100, {ToneSegment::Gamma(255)}}}}};
    SetPicture(200, 300, 120, 500);
    EXPECT_EQ(Run(BuildToneTable(desc)), kToneNoFit);
    EXPECT_TRUE(ToneTableUnchanged());
    // A knee curve has no such restriction.
    desc.zones[0].entries[0].segments = {ToneSegment::Knee(255, 128)};
    EXPECT_EQ(Run(BuildToneTable(desc)), 0);
    EXPECT_EQ(ToneTable(), KneeCurveOf(100, 128));
}

TEST_F(ToneStepOnContext, ZeroGammaOrKneeFails) {
    ToneTableDesc desc{10, 50, 150, {}};
    desc.zones = {{250, {{101, 0, {ToneSegment::Gamma(255)}}}}};
    SetPicture(200, 300, 120, 500);
    EXPECT_EQ(Run(BuildToneTable(desc)), kToneNoFit);
    desc.zones[0].entries[0].segments = {ToneSegment::Knee(255, 100)};
    EXPECT_EQ(Run(BuildToneTable(desc)), kToneNoFit);
    desc.zones[0].entries[0].gamma = 80;
    desc.zones[0].entries[0].segments = {ToneSegment::Knee(255, 0)};
    EXPECT_EQ(Run(BuildToneTable(desc)), kToneNoFit);
    EXPECT_TRUE(ToneTableUnchanged());
}

TEST_F(ToneStepOnContext, PolynomialSegmentReadsItsCoefficients) {
    const std::array<StoredDecimal, 6> curve = {
        {{12, 0}, {9, -1}, {2, -3}, {0, 0}, {0, 0}, {0, 0}}};  // 12 + 0.9 x + 0.002 x^2
    ToneTableDesc desc{10, 50, 150, {}};
    desc.zones = {{250, {{101, 0, {ToneSegment::Polynomial(255, curve)}}}}};
    SetPicture(200, 300, 120, 500);
    EXPECT_EQ(Run(BuildToneTable(desc)), 0);
    EXPECT_EQ(ToneTable()[0], 0);
    EXPECT_EQ(ToneTable()[100], 122);  // 12 + 90 + 20
    EXPECT_EQ(ToneTable()[200], 255);  // 272, limited
}

TEST_F(ToneStepOnContext, CorrectionModeMeasuresTheStretchedHistogram) {
    // The picture spans 100..150 with its highlights at 130. Stretched onto
    // 0..255 they lie above zone 0's limit; as they stand, below it.
    ToneTableDesc desc{10, 50, 110, {}};
    desc.zones = {{140, {{101, 70, {ToneSegment::Gamma(255)}}}},
                  {200, {{101, 140, {ToneSegment::Gamma(255)}}}}};
    const std::vector<uint8_t> table = BuildToneTable(desc);
    SetRuns({{100, 400}, {125, 300}, {130, 300}});
    ctx->blackLevel = 100;
    ctx->whiteLevel = 150;
    ctx->mode = QV_MODE_CORRECT | QV_MODE_BYTE_TABLE;
    EXPECT_EQ(Run(table, 0), 1);
    EXPECT_EQ(ToneTable(), GammaCurve(140));
    EXPECT_EQ(Run(table, -5), 0) << "no colour correction: the counts as they stand";
    EXPECT_EQ(ToneTable(), GammaCurve(70));
    ctx->mode = QV_MODE_BYTE_TABLE;
    EXPECT_EQ(Run(table, 0), 0);
    EXPECT_EQ(ToneTable(), GammaCurve(70));
}

TEST_F(ToneStepOnContext, OutOfMemoryFailsWithTheTableUntouched) {
    const std::vector<uint8_t> table = BuildToneTable(ThreeZones());
    SetPicture(200, 300, 120, 500);
    ctx->blackLevel = 10;
    ctx->whiteLevel = 220;
    ctx->mode = QV_MODE_CORRECT | QV_MODE_BYTE_TABLE;
    FailNthAllocation(1);
    EXPECT_EQ(Run(table, 0), kToneNoMemory);
    EXPECT_TRUE(ToneTableUnchanged());
    FailNthAllocation(2);
    EXPECT_EQ(Run(table, 0), kToneNoMemory) << "the stretched copy";
    EXPECT_TRUE(ToneTableUnchanged());
    FailNthAllocation(2);
    EXPECT_GE(Run(table, -5), 0) << "no stretched copy without the colour correction";
}

TEST_F(ToneStepOnContext, NoTableFails) {
    SetPicture(200, 300, 120, 500);
    std::fill(std::begin(ctx->toneTable), std::end(ctx->toneTable), kMarker);
    ctx->toneParameters = nullptr;
    EXPECT_EQ(ToneStep(&ctx.context(), -5), kToneBadTable);
    EXPECT_TRUE(ToneTableUnchanged());
}

}  // namespace
}  // namespace voved
