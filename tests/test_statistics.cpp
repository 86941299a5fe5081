// Colour statistics: QVHistogram and QVMargeHisto through the public API,
// and the hue and radius measures they share with the analysis.
#include <cstdint>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "context/handles.h"
#include "platform/platform.h"
#include "stats/colour_geometry.h"
#include "support/context_access.h"
#include "support/pictures.h"

namespace voved {
namespace {

using test::Colour;
using test::ContextOf;
using test::FeedLine;
using test::Line;
using test::PackLine;
using test::ScopedContext;
using test::SolidLine;

constexpr Colour kBlack{0, 0, 0};
constexpr Colour kWhite{255, 255, 255};

// Sum of one counter over all levels.
uint64_t Total(const QVContext& c, uint32_t QVLevelBin::*counter) {
    uint64_t total = 0;
    for (const QVLevelBin& bin : c.levelStats) {
        total += bin.*counter;
    }
    return total;
}

uint64_t HueTotal(const QVContext& c) {
    uint64_t total = 0;
    for (uint32_t count : c.hueCounts) {
        total += count;
    }
    return total;
}

bool StatisticsAreEmpty(const QVContext& c) {
    static const QVContext kZero{};
    return std::memcmp(c.levelStats, kZero.levelStats, sizeof c.levelStats) == 0 &&
           std::memcmp(c.hueCounts, kZero.hueCounts, sizeof c.hueCounts) == 0;
}

// ---- Hue and radius --------------------------------------------------------

TEST(ColourGeometry, HueFollowsTheAxesOfTheColourDifferences) {
    EXPECT_EQ(HueAngle(0, 0), -100);
    EXPECT_EQ(HueAngle(5, 0), 90);
    EXPECT_EQ(HueAngle(-5, 0), 270);
    EXPECT_EQ(HueAngle(0, 5), 0);
    EXPECT_EQ(HueAngle(0, -5), 180);
    EXPECT_EQ(HueAngle(10, 10), 45);
    EXPECT_EQ(HueAngle(-10, 10), 315);
    EXPECT_EQ(HueAngle(10, -10), 135);
    EXPECT_EQ(HueAngle(-10, -10), 225);
}

TEST(ColourGeometry, HueTruncatesTowardZeroBeforeWrapping) {
    // -0.57 degrees truncates to 0, not to 359.
    EXPECT_EQ(HueAngle(-1, 100), 0);
    // -89.43 degrees truncates to -89 and wraps to 271.
    EXPECT_EQ(HueAngle(-100, 1), 271);
    // Both sides of the -(B-Y) axis land on 180: the degree factor is a hair
    // above 180 / pi, so pi maps to 180.0001.
    EXPECT_EQ(HueAngle(1e-9, -1), 180);
    EXPECT_EQ(HueAngle(-1e-9, -1), 180);
    EXPECT_EQ(HueAngle(176, -79), 114);
}

TEST(ColourGeometry, RadiusRoundsOnlyWhenNotExact) {
    EXPECT_EQ(ChromaRadius(0, 0), 0.0);
    EXPECT_EQ(ChromaRadius(-4, 0), 0.0);
    EXPECT_DOUBLE_EQ(ChromaRadius(2, 1), 1.4142135623730951);
    EXPECT_DOUBLE_EQ(ChromaRadius(2, 0), 1.9142135623730951);
    EXPECT_EQ(static_cast<int>(ChromaRadius(37217, 0)), 193);
}

// ---- QVHistogram: validation -----------------------------------------------

TEST(Histogram, RejectsInvalidHandlesWithMinusTwo) {
    const std::vector<uint8_t> pixels = PackLine(SolidLine(4, {9, 9, 9}), QV_PIXEL_RGB);
    EXPECT_EQ(QVHistogram(nullptr, pixels.data(), 4, 3, QV_PIXEL_RGB, 0), -2);
    QVHandle empty{};
    EXPECT_EQ(QVHistogram(&empty, pixels.data(), 4, 3, QV_PIXEL_RGB, 0), -2);

    ScopedContext ctx;
    ctx->magic = 0x1234;
    EXPECT_EQ(QVHistogram(ctx.handle(), pixels.data(), 4, 3, QV_PIXEL_RGB, 0), -2);
    ctx->magic = 0x5651;
    ctx->flags = 0;
    EXPECT_EQ(QVHistogram(ctx.handle(), pixels.data(), 4, 3, QV_PIXEL_RGB, 0), -2);
    EXPECT_EQ(ctx->histogramCalls, 0u);
    EXPECT_TRUE(StatisticsAreEmpty(ctx.context()));
    ctx->flags = QV_FLAG_VALID;  // so the scoped context can be freed
}

TEST(Histogram, UnknownLayoutOrNullPixelsChangeNothing) {
    ScopedContext ctx;
    const std::vector<uint8_t> pixels = PackLine(SolidLine(4, {90, 60, 30}), QV_PIXEL_RGB);
    for (const int16_t layout : {int16_t{1}, int16_t{2}, int16_t{5}, int16_t{-1}}) {
        EXPECT_EQ(QVHistogram(ctx.handle(), pixels.data(), 4, 3, layout, 0), -3) << layout;
    }
    EXPECT_EQ(QVHistogram(ctx.handle(), nullptr, 4, 3, QV_PIXEL_RGB, 0), -3);
    EXPECT_EQ(ctx->histogramCalls, 0u);
    EXPECT_TRUE(StatisticsAreEmpty(ctx.context()));
    // No pixels at all is a legitimate call: it is counted.
    EXPECT_EQ(QVHistogram(ctx.handle(), nullptr, 0, 3, QV_PIXEL_RGB, 0), 0);
    EXPECT_EQ(ctx->histogramCalls, 1u);
    EXPECT_TRUE(StatisticsAreEmpty(ctx.context()));
}

// ---- QVHistogram: chroma sums ----------------------------------------------

TEST(Histogram, PureRedSamplesRadius193AndHue114) {
    ScopedContext ctx;
    ASSERT_EQ(FeedLine(ctx.handle(), SolidLine(1, {255, 0, 0})), 0);
    const QVContext& c = ctx.context();
    EXPECT_EQ(c.levelStats[193].radiusCount, 1u);
    EXPECT_EQ(c.hueCounts[114], 1u);
    EXPECT_EQ(HueTotal(c), 1u);
    EXPECT_EQ(c.levelStats[79].chromaCount, 1u);
    EXPECT_EQ(c.levelStats[79].sumRY, 176);
    EXPECT_EQ(c.levelStats[79].sumBY, -79);
}

TEST(Histogram, BlackAndWhitePixelsOnlyCountTheCall) {
    ScopedContext ctx;
    Line line;
    for (int i = 0; i < 100; ++i) {
        line.push_back(i % 3 == 0 ? kBlack : kWhite);
    }
    ASSERT_EQ(FeedLine(ctx.handle(), line), 0);
    EXPECT_EQ(ctx->histogramCalls, 1u);
    EXPECT_TRUE(StatisticsAreEmpty(ctx.context()));
}

TEST(Histogram, BrightStrongColoursStayOutOfTheSums) {
    ScopedContext ctx;
    // Yellow: Y = 223, q = 32^2 + 223^2 >= 20000: sampled but not summed.
    ASSERT_EQ(FeedLine(ctx.handle(), SolidLine(1, {255, 255, 0})), 0);
    EXPECT_EQ(Total(ctx.context(), &QVLevelBin::chromaCount), 0u);
    EXPECT_EQ(Total(ctx.context(), &QVLevelBin::radiusCount), 1u);

    // A pale bright colour (Y = 226, q small) and a strong dark one are both
    // summed at their level.
    ScopedContext second;
    ASSERT_EQ(FeedLine(second.handle(), {{230, 230, 200}, {0, 0, 255}}), 0);
    const QVContext& c = second.context();
    EXPECT_EQ(c.levelStats[226].chromaCount, 1u);
    EXPECT_EQ(c.levelStats[226].sumRY, 4);
    EXPECT_EQ(c.levelStats[226].sumBY, -26);
    EXPECT_EQ(c.levelStats[31].chromaCount, 1u);
    EXPECT_EQ(c.levelStats[31].sumBY, 224);
}

TEST(Histogram, GreyPixelsHaveRadiusZeroAndNoHue) {
    ScopedContext ctx;
    ASSERT_EQ(FeedLine(ctx.handle(), SolidLine(80, {120, 120, 120})), 0);
    const QVContext& c = ctx.context();
    EXPECT_EQ(c.levelStats[0].radiusCount, 80u);
    EXPECT_EQ(HueTotal(c), 0u);
    EXPECT_EQ(c.levelStats[120].chromaCount, 80u);
    EXPECT_EQ(c.levelStats[120].sumRY, 0);
}

TEST(Histogram, OnlySamplesBeyondRadiusTwentyVoteForAHue) {
    ScopedContext ctx;
    // (dR, dB) = (0, 20): radius 20 (20.5 truncated), no hue.
    // (dR, dB) = (0, 21): radius 21, hue 0.
    const Colour radius20 = test::ColourFromDifferences(100, 0, 20);
    const Colour radius21 = test::ColourFromDifferences(100, 0, 21);
    ASSERT_EQ(test::LumaOf(radius20), 100);
    ASSERT_EQ(test::LumaOf(radius21), 100);
    ASSERT_EQ(FeedLine(ctx.handle(), {radius20, radius21}), 0);
    const QVContext& c = ctx.context();
    EXPECT_EQ(c.levelStats[20].radiusCount, 1u);
    EXPECT_EQ(c.levelStats[21].radiusCount, 1u);
    EXPECT_EQ(c.hueCounts[0], 1u);
    EXPECT_EQ(HueTotal(c), 1u);
}

// ---- QVHistogram: runs -----------------------------------------------------

TEST(Histogram, RunsOfUpTo48PixelsAreCounted) {
    const Colour grey{100, 100, 100};
    ScopedContext ctx48;
    ASSERT_EQ(FeedLine(ctx48.handle(), SolidLine(48, grey)), 0);
    EXPECT_EQ(ctx48->levelStats[100].runByLevel, 48u);
    EXPECT_EQ(ctx48->levelStats[100].runByMean, 48u);
    EXPECT_EQ(Total(ctx48.context(), &QVLevelBin::runByLevel), 48u);

    ScopedContext ctx49;
    ASSERT_EQ(FeedLine(ctx49.handle(), SolidLine(49, grey)), 0);
    EXPECT_EQ(Total(ctx49.context(), &QVLevelBin::runByLevel), 0u);
    EXPECT_EQ(Total(ctx49.context(), &QVLevelBin::runByMean), 0u);
}

TEST(Histogram, ARunIsBookedAtTheMeanOfThePixelThatEndsIt) {
    ScopedContext ctx;
    // Five pixels of level 100, then three of (30, 60, 90): Y = 54, mean 60.
    Line line = SolidLine(5, {100, 100, 100});
    const Line tail = SolidLine(3, {30, 60, 90});
    line.insert(line.end(), tail.begin(), tail.end());
    ASSERT_EQ(FeedLine(ctx.handle(), line), 0);
    const QVContext& c = ctx.context();
    EXPECT_EQ(c.levelStats[100].runByLevel, 5u);
    EXPECT_EQ(c.levelStats[54].runByLevel, 3u);
    // The first run went to the mean of the closing pixel (60), the last run
    // to the mean of the last pixel read (60 as well).
    EXPECT_EQ(c.levelStats[60].runByMean, 8u);
    EXPECT_EQ(c.levelStats[100].runByMean, 0u);
}

TEST(Histogram, RunsEndWithEachCall) {
    const Line half = SolidLine(30, {100, 100, 100});
    ScopedContext ctx;
    ASSERT_EQ(FeedLine(ctx.handle(), half), 0);
    ASSERT_EQ(FeedLine(ctx.handle(), half), 0);
    // One run of 60 would not be counted; two runs of 30 are.
    EXPECT_EQ(ctx->levelStats[100].runByLevel, 60u);
}

TEST(Histogram, BlackAndWhiteNeitherExtendNorEndARun) {
    const Colour grey{100, 100, 100};
    ScopedContext ctx;
    Line line = SolidLine(10, grey);
    line.push_back(kWhite);
    line.push_back(kBlack);
    const Line more = SolidLine(10, grey);
    line.insert(line.end(), more.begin(), more.end());
    ASSERT_EQ(FeedLine(ctx.handle(), line), 0);
    EXPECT_EQ(ctx->levelStats[100].runByLevel, 20u);
}

TEST(Histogram, AFinalBlackOrWhitePixelDecidesWhereTheLastRunGoes) {
    const Colour grey{100, 100, 100};
    ScopedContext toWhite;
    Line line = SolidLine(7, grey);
    line.push_back(kWhite);
    ASSERT_EQ(FeedLine(toWhite.handle(), line), 0);
    EXPECT_EQ(toWhite->levelStats[100].runByLevel, 7u);
    EXPECT_EQ(toWhite->levelStats[255].runByMean, 7u);

    ScopedContext toBlack;
    line.back() = kBlack;
    ASSERT_EQ(FeedLine(toBlack.handle(), line), 0);
    EXPECT_EQ(toBlack->levelStats[0].runByMean, 7u);
}

// ---- QVHistogram: sampling grid --------------------------------------------

TEST(Histogram, EightyPixelsAreAllSampledEightyOneHalf) {
    const Colour grey{100, 100, 100};
    ScopedContext ctx80;
    for (int call = 0; call < 3; ++call) {
        ASSERT_EQ(FeedLine(ctx80.handle(), SolidLine(80, grey)), 0);
    }
    EXPECT_EQ(ctx80->levelStats[0].radiusCount, 240u) << "stride 1: every pixel of every line";

    ScopedContext ctx81;
    ASSERT_EQ(FeedLine(ctx81.handle(), SolidLine(81, grey)), 0);
    EXPECT_EQ(ctx81->levelStats[0].radiusCount, 41u) << "stride 2: pixels 0, 2, ..., 80";
    ASSERT_EQ(FeedLine(ctx81.handle(), SolidLine(81, grey)), 0);
    EXPECT_EQ(ctx81->levelStats[0].radiusCount, 41u) << "the second call is off the grid";
    ASSERT_EQ(FeedLine(ctx81.handle(), SolidLine(81, grey)), 0);
    EXPECT_EQ(ctx81->levelStats[0].radiusCount, 82u);
}

TEST(Histogram, SkippedPixelsKeepTheirPlaceInTheGrid) {
    ScopedContext ctx;
    // Stride 2 over 82 pixels: samples at 0, 2, 4, ...; the white pixels sit
    // on even places, so their samples are lost rather than shifted.
    Line line = SolidLine(82, {100, 100, 100});
    for (int i = 0; i < 82; i += 4) {
        line[static_cast<std::size_t>(i)] = kWhite;
    }
    ASSERT_EQ(FeedLine(ctx.handle(), line), 0);
    EXPECT_EQ(ctx->levelStats[0].radiusCount, 20u);
}

TEST(Histogram, LongLinesAreReadAsUnsignedCounts) {
    ScopedContext ctx;
    constexpr uint16_t kCount = 40000;
    const std::vector<uint8_t> pixels = PackLine(SolidLine(kCount, {100, 100, 100}), QV_PIXEL_RGB);
    ASSERT_EQ(QVHistogram(ctx.handle(), pixels.data(), kCount, 3, QV_PIXEL_RGB, 0), 0);
    EXPECT_EQ(Total(ctx.context(), &QVLevelBin::chromaCount), kCount);
    // Stride 40000 / 81 + 1 = 494: 81 samples.
    EXPECT_EQ(ctx->levelStats[0].radiusCount, 81u);
    EXPECT_EQ(ctx->histogramCalls, 1u);
}

TEST(Histogram, CallCounterWrapsAt16Bits) {
    ScopedContext ctx;
    ctx->histogramCalls = 0xFFFF;
    ASSERT_EQ(FeedLine(ctx.handle(), SolidLine(2, {1, 2, 3})), 0);
    EXPECT_EQ(ctx->histogramCalls, 0u);
}

TEST(Histogram, CountersWrapAt32Bits) {
    ScopedContext ctx;
    QVLevelBin& bin = ctx->levelStats[100];
    bin.chromaCount = 0xFFFFFFFFu;
    bin.sumRY = INT32_MAX;
    bin.sumBY = INT32_MIN;
    const Colour c = test::ColourFromDifferences(100, 10, -10);
    ASSERT_EQ(test::LumaOf(c), 100);
    ASSERT_EQ(FeedLine(ctx.handle(), {c}), 0);
    EXPECT_EQ(bin.chromaCount, 0u);
    EXPECT_EQ(bin.sumRY, INT32_MIN + 9);
    EXPECT_EQ(bin.sumBY, INT32_MAX - 9);
}

// ---- QVHistogram: layouts and steps ----------------------------------------

TEST(Histogram, AllLayoutsAndStepsGiveTheSameStatistics) {
    // Colours that survive the 5-bit reduction unchanged.
    Line line;
    const uint8_t levels[] = {8, 66, 99, 140, 173, 214, 247};
    for (uint8_t r : levels) {
        for (uint8_t b : levels) {
            line.push_back({r, levels[(r + b) % 7], b});
        }
    }
    ScopedContext reference;
    ASSERT_EQ(FeedLine(reference.handle(), line, QV_PIXEL_RGB), 0);

    struct Variant {
        int16_t layout;
        int16_t step;
    };
    for (const Variant v :
         {Variant{QV_PIXEL_BGR, 3}, Variant{QV_PIXEL_BGR, 4}, Variant{QV_PIXEL_RGB, 5},
          Variant{QV_PIXEL_RGB555, 2}, Variant{QV_PIXEL_RGB555, 4}}) {
        ScopedContext ctx;
        const std::vector<uint8_t> bytes = PackLine(line, v.layout, v.step, 0xFF);
        ASSERT_EQ(QVHistogram(ctx.handle(), bytes.data(), static_cast<uint16_t>(line.size()),
                              v.step, v.layout, 0),
                  0);
        EXPECT_EQ(std::memcmp(ctx->levelStats, reference->levelStats, sizeof ctx->levelStats), 0)
            << "layout " << v.layout << " step " << v.step;
        EXPECT_EQ(std::memcmp(ctx->hueCounts, reference->hueCounts, sizeof ctx->hueCounts), 0);
    }
}

TEST(Histogram, ANegativeStepWalksBackwards) {
    const Line line = {{200, 10, 10}, {10, 200, 10}, {10, 10, 200}, {10, 10, 200}};
    Line reversed(line.rbegin(), line.rend());
    ScopedContext forward;
    ASSERT_EQ(FeedLine(forward.handle(), reversed), 0);

    ScopedContext backward;
    const std::vector<uint8_t> bytes = PackLine(line, QV_PIXEL_RGB);
    ASSERT_EQ(QVHistogram(backward.handle(), bytes.data() + 9, 4, -3, QV_PIXEL_RGB, 0), 0);
    EXPECT_EQ(std::memcmp(forward->levelStats, backward->levelStats, sizeof forward->levelStats),
              0);
}

TEST(Histogram, Bit15Of555PixelsIsIgnored) {
    const uint8_t plain[] = {0x10, 0x42};   // 0x4210: 16, 16, 16 in 5 bits
    const uint8_t marked[] = {0x10, 0xC2};  // the same with bit 15 set
    ScopedContext a;
    ScopedContext b;
    ASSERT_EQ(QVHistogram(a.handle(), plain, 1, 2, QV_PIXEL_RGB555, 0), 0);
    ASSERT_EQ(QVHistogram(b.handle(), marked, 1, 2, QV_PIXEL_RGB555, 0), 0);
    EXPECT_EQ(a->levelStats[132].chromaCount, 1u);
    EXPECT_EQ(std::memcmp(a->levelStats, b->levelStats, sizeof a->levelStats), 0);
}

// ---- QVMargeHisto ----------------------------------------------------------

TEST(MergeHistograms, AddsEveryCounterAndFreesTheSource) {
    const Line line = test::CastRamp(200, 10, 240, {-20, 30}, {25, -5});
    ScopedContext whole;
    ASSERT_EQ(FeedLine(whole.handle(), line), 0);
    ASSERT_EQ(FeedLine(whole.handle(), line), 0);

    ScopedContext target;
    QVHandle source{};
    ASSERT_EQ(QVAlloc(&source), 0);
    ASSERT_EQ(FeedLine(target.handle(), line), 0);
    ASSERT_EQ(FeedLine(&source, line), 0);
    ASSERT_EQ(QVMargeHisto(target.handle(), &source), 0);

    // Each context sampled its first call (stride 3: 67 samples), so the
    // merge holds two sampled lines, while `whole` sampled one of its two.
    for (int k = 0; k < kLevels; ++k) {
        const QVLevelBin& merged = target->levelStats[k];
        const QVLevelBin& single = whole->levelStats[k];
        ASSERT_EQ(merged.runByLevel, single.runByLevel) << k;
        ASSERT_EQ(merged.runByMean, single.runByMean) << k;
        ASSERT_EQ(merged.chromaCount, single.chromaCount) << k;
        ASSERT_EQ(merged.sumRY, single.sumRY) << k;
        ASSERT_EQ(merged.sumBY, single.sumBY) << k;
    }
    EXPECT_EQ(Total(target.context(), &QVLevelBin::radiusCount), 2 * 67u);
    EXPECT_EQ(Total(whole.context(), &QVLevelBin::radiusCount), 67u);
    EXPECT_EQ(target->histogramCalls, 1u) << "the call count is not merged";

    EXPECT_EQ(IsEmptyHandle(&source), 1);
    EXPECT_EQ(QVHistogram(&source, nullptr, 0, 3, QV_PIXEL_RGB, 0), -2);
    EXPECT_EQ(QVMargeHisto(target.handle(), &source), -2);
}

TEST(MergeHistograms, WrapsAt32Bits) {
    ScopedContext target;
    QVHandle source{};
    ASSERT_EQ(QVAlloc(&source), 0);
    target->levelStats[7].runByMean = 0xFFFFFFF0u;
    target->levelStats[7].sumRY = INT32_MAX;
    target->hueCounts[300] = 0xFFFFFFFFu;
    ContextOf(source)->levelStats[7].runByMean = 0x20;
    ContextOf(source)->levelStats[7].sumRY = 2;
    ContextOf(source)->hueCounts[300] = 2;
    ASSERT_EQ(QVMargeHisto(target.handle(), &source), 0);
    EXPECT_EQ(target->levelStats[7].runByMean, 0x10u);
    EXPECT_EQ(target->levelStats[7].sumRY, INT32_MIN + 1);
    EXPECT_EQ(target->hueCounts[300], 1u);
}

TEST(MergeHistograms, ReleasesTheBlocksTheSourceOwns) {
    ScopedContext target;
    QVHandle source{};
    ASSERT_EQ(QVAlloc(&source), 0);
    QVContext* from = ContextOf(source);
    ASSERT_EQ(AttachBlock(64, &from->historyHandle0), 0);
    ASSERT_EQ(AttachBlock(64, &from->filteredHandle), 0);
    ASSERT_EQ(AttachBlock(64, &from->ringHandle[2]), 0);
    ASSERT_EQ(AttachBlock(64, &from->auxBlock), 0);
    const long before = LiveBlockCount();
    ASSERT_EQ(QVMargeHisto(target.handle(), &source), 0);
    EXPECT_EQ(LiveBlockCount(), before - 5);
}

TEST(MergeHistograms, RefusesInvalidOrIdenticalContexts) {
    ScopedContext target;
    target->levelStats[3].chromaCount = 12;
    // The same context twice, through one handle or through two copies.
    EXPECT_EQ(QVMargeHisto(target.handle(), target.handle()), -2);
    QVHandle alias = *target.handle();
    EXPECT_EQ(QVMargeHisto(target.handle(), &alias), -2);
    EXPECT_EQ(target->levelStats[3].chromaCount, 12u);
    EXPECT_EQ(target->flags, QV_FLAG_VALID);

    // An invalid source leaves the target untouched, and the other way round.
    QVHandle source{};
    ASSERT_EQ(QVAlloc(&source), 0);
    ContextOf(source)->levelStats[3].chromaCount = 5;
    QVHandle empty{};
    EXPECT_EQ(QVMargeHisto(target.handle(), &empty), -2);
    EXPECT_EQ(QVMargeHisto(&empty, &source), -2);
    EXPECT_EQ(QVMargeHisto(nullptr, &source), -2);
    EXPECT_EQ(QVMargeHisto(target.handle(), nullptr), -2);
    ContextOf(source)->flags = 0;
    EXPECT_EQ(QVMargeHisto(target.handle(), &source), -2);
    EXPECT_EQ(target->levelStats[3].chromaCount, 12u);
    EXPECT_NE(source.block, nullptr) << "a refused source is not released";
    ContextOf(source)->flags = QV_FLAG_VALID;
    EXPECT_EQ(QVFree(&source), 0);
}

}  // namespace
}  // namespace voved
