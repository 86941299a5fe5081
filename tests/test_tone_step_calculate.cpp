// The tone step as QVCalculate runs it: the results with and without the
// colour correction, what a failing step withdraws, and which histogram the
// step measures.
#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

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
using test::ToneSegment;
using test::ToneTableDesc;
using Curve = std::array<uint8_t, kToneTableSize>;

constexpr uint16_t kCorrect = QV_MODE_CORRECT;
constexpr uint16_t kByteTable = QV_MODE_BYTE_TABLE;
constexpr uint8_t kMarker = 0xC3;

Curve GammaCurve(int gamma) {
    Curve curve{};
    EXPECT_EQ(GammaExponentCurve(static_cast<uint16_t>(gamma), curve.data()), 0);
    return curve;
}

// Two zones: highlights below 200 get gamma 0.70, the rest gamma 1.40.
// With weight 0 the score never exceeds 100, below every score limit.
std::vector<uint8_t> TwoZoneTable() {
    ToneTableDesc desc{0, 50, 150, {}};
    desc.zones = {{200, {{255, 70, {ToneSegment::Gamma(255)}}}},
                  {255, {{255, 140, {ToneSegment::Gamma(255)}}}}};
    return BuildToneTable(desc);
}

std::vector<uint8_t> BrokenTable() {
    std::vector<uint8_t> table = TwoZoneTable();
    table.back() = static_cast<uint8_t>(table.back() ^ 0x40);
    return table;
}

// Statistics of a picture with runs of 10 at every level 1..top: black
// level 2, raw white level top - 1. With `coloured`, every level carries a
// cast of R-Y 30, which the scene classifier corrects by a level stretch;
// without, the picture is grey and gets no colour correction.
class ToneStepInCalculate : public ::testing::Test {
  protected:
    void SetPicture(int top, bool coloured) {
        for (int level = 1; level <= top; ++level) {
            ctx->levelStats[level].runByLevel = 10;
        }
        for (QVLevelBin& bin : ctx->levelStats) {
            bin.chromaCount = 20;
            bin.sumRY = coloured ? 20 * 30 : 0;
            bin.sumBY = 0;
        }
        ctx->levelStats[0].radiusCount = 100;
    }
    QVResult Calculate(uint16_t mode, const std::vector<uint8_t>& table) {
        table_ = std::make_unique<ExactBuffer>(table);
        EXPECT_EQ(QVExtension(ctx.handle(), mode, table_->data(), nullptr, 0), 0);
        std::fill(std::begin(ctx->toneTable), std::end(ctx->toneTable), kMarker);
        return QVCalculate(ctx.handle(), 0);
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
    bool Derived() { return (ctx->flags & QV_FLAG_DERIVED) != 0; }

    ScopedContext ctx;

  private:
    std::unique_ptr<ExactBuffer> table_;
};

TEST_F(ToneStepInCalculate, ColourCorrectionAndToneTableBothStand) {
    SetPicture(254, true);
    EXPECT_EQ(Calculate(kCorrect | kByteTable, TwoZoneTable()), 0);
    EXPECT_EQ(ctx->correctionType, kTypeStretch);
    EXPECT_EQ(ToneTable(), GammaCurve(140));
    EXPECT_EQ(ctx->mode, kCorrect | kByteTable);
    EXPECT_EQ(ctx->correctionMask, 0xFFFF);
    EXPECT_TRUE(Derived());
}

TEST_F(ToneStepInCalculate, AFailedStepLeavesTheColourCorrection) {
    SetPicture(254, true);
    EXPECT_EQ(Calculate(kCorrect | kByteTable, BrokenTable()), 0);
    EXPECT_TRUE(ToneTableUnchanged());
    EXPECT_EQ(ctx->mode, kCorrect);
    EXPECT_EQ(ctx->correctionMask, 0xDFFF);
    EXPECT_TRUE(Derived());
}

TEST_F(ToneStepInCalculate, ToneTableAloneWhenTheColourCorrectionFails) {
    SetPicture(254, false);
    EXPECT_EQ(Calculate(kCorrect | kByteTable, TwoZoneTable()), -5);
    EXPECT_EQ(ctx->correctionType, kTypeNone);
    EXPECT_EQ(ToneTable(), GammaCurve(140));
    EXPECT_EQ(ctx->mode, kByteTable) << "the colour correction is withdrawn";
    EXPECT_EQ(ctx->correctionMask, 0x3FFF);
    EXPECT_TRUE(Derived()) << "the tone table is a derived parameter";
}

TEST_F(ToneStepInCalculate, NothingWhenBothFail) {
    SetPicture(254, false);
    EXPECT_EQ(Calculate(kCorrect | kByteTable, BrokenTable()), -4);
    EXPECT_TRUE(ToneTableUnchanged());
    EXPECT_EQ(ctx->mode, 0);
    EXPECT_EQ(ctx->correctionMask, 0x1FFF);
    EXPECT_FALSE(Derived());
}

TEST_F(ToneStepInCalculate, ToneTableWithoutTheColourCorrection) {
    // Without QV_MODE_CORRECT the result is the classification's status
    // when the step succeeds and -4 when it fails.
    SetPicture(254, true);
    EXPECT_EQ(Calculate(kByteTable, TwoZoneTable()), 0);
    EXPECT_EQ(ToneTable(), GammaCurve(140));
    EXPECT_EQ(Calculate(kByteTable, BrokenTable()), -4);
    EXPECT_TRUE(ToneTableUnchanged());
    EXPECT_EQ(ctx->mode, 0);
    EXPECT_EQ(ctx->correctionMask, 0xDFFF);

    SetPicture(254, false);
    EXPECT_EQ(Calculate(kByteTable, TwoZoneTable()), -5);
    EXPECT_EQ(ToneTable(), GammaCurve(140));
    EXPECT_EQ(ctx->mode, kByteTable);
    EXPECT_EQ(Calculate(kByteTable, BrokenTable()), -4);
    EXPECT_EQ(ctx->mode, 0);
}

TEST_F(ToneStepInCalculate, WithoutTheByteTableModeNoStepRuns) {
    SetPicture(254, true);
    EXPECT_EQ(Calculate(kCorrect, TwoZoneTable()), 0);
    EXPECT_TRUE(ToneTableUnchanged());
    SetPicture(254, false);
    EXPECT_EQ(Calculate(kCorrect, TwoZoneTable()), -4);
    EXPECT_TRUE(ToneTableUnchanged());
}

TEST_F(ToneStepInCalculate, TheColourCorrectionStretchesWhatTheStepMeasures) {
    // Levels 1..180: as they stand the highlights lie near 180 (zone 0);
    // stretched from black to white onto 0..255 they lie near 255 (zone 1).
    SetPicture(180, true);
    EXPECT_EQ(Calculate(kCorrect | kByteTable, TwoZoneTable()), 0);
    EXPECT_EQ(ToneTable(), GammaCurve(140));
    EXPECT_EQ(Calculate(kByteTable, TwoZoneTable()), 0);
    EXPECT_EQ(ToneTable(), GammaCurve(70));
}

TEST_F(ToneStepInCalculate, OutOfMemoryInTheStepWithdrawsOnlyTheToneTable) {
    SetPicture(254, true);
    // The first block is the analysis' own work table; the step's come next.
    for (int nth : {2, 3}) {
        FailNthAllocation(nth);
        EXPECT_EQ(Calculate(kCorrect | kByteTable, TwoZoneTable()), 0) << "block " << nth;
        EXPECT_TRUE(ToneTableUnchanged());
        EXPECT_EQ(ctx->mode, kCorrect);
        EXPECT_EQ(ctx->correctionMask, 0xDFFF);
    }
}

TEST(ToneStepWithoutCurve, AnEntryWithoutSegmentsLeavesThePicturesBytesAlone) {
    // The step succeeds without building a curve: the fresh context's table
    // is the identity, so the tone-table pass changes no byte.
    ScopedContext ctx;
    for (int level = 1; level <= 254; ++level) {
        ctx->levelStats[level].runByLevel = 10;
        ctx->levelStats[level].chromaCount = 20;
    }
    ToneTableDesc desc{0, 50, 150, {{255, {{255, 70, {}}}}}};
    const ExactBuffer table(BuildToneTable(desc));
    ASSERT_EQ(QVExtension(ctx.handle(), kByteTable, table.data(), nullptr, 0), 0);
    EXPECT_EQ(QVCalculate(ctx.handle(), 0), -5) << "no colour class, but the step succeeded";
    EXPECT_EQ(ctx->mode, kByteTable);

    std::vector<uint8_t> line(4 * 64);
    for (std::size_t i = 0; i < line.size(); ++i) {
        line[i] = static_cast<uint8_t>(i * 7);
    }
    std::vector<uint8_t> out(line.size(), 0);
    ASSERT_EQ(QVCorrection(ctx.handle(), line.data(), out.data(), 64, 1, 4, QV_PIXEL_RGB), 0);
    EXPECT_EQ(out, line);
}

}  // namespace
}  // namespace voved
