// Line steps shared by both corrections: pixels to working line, the fixed
// output curve, the tone-table pass and the extended-precision sine and
// cosine of the toning constants.
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "correct/shared_steps.h"
#include "support/context_access.h"

namespace voved {
namespace {

using test::ScopedContext;

TEST(PixelsToWorkLine, ConvertsEveryLayoutAndWalksTheStep) {
    // Layout 0 with 4-byte pixels: (R, G, B) = (255, 0, 0) then (0, 0, 255).
    const uint8_t bgrx[8] = {0, 0, 255, 77, 255, 0, 0, 77};
    int16_t line[6] = {};
    ASSERT_EQ(PixelsToWorkLine(bgrx, line, 2, 4, QV_PIXEL_BGR), 0);
    EXPECT_EQ((std::vector<int16_t>(line, line + 6)),
              (std::vector<int16_t>{79, 31, 176, -31, -79, 224}));

    // Layout 3 walked backwards from the second pixel.
    const uint8_t rgb[6] = {10, 20, 30, 255, 0, 0};
    ASSERT_EQ(PixelsToWorkLine(rgb + 3, line, 2, -3, QV_PIXEL_RGB), 0);
    EXPECT_EQ((std::vector<int16_t>(line, line + 6)),
              (std::vector<int16_t>{79, 18, 176, -8, -79, 12}));

    // 5-5-5: white ignores bit 15; 0x7C00 is pure red expanded to 255.
    const uint8_t words[4] = {0xFF, 0xFF, 0x00, 0x7C};
    ASSERT_EQ(PixelsToWorkLine(words, line, 2, 2, QV_PIXEL_RGB555), 0);
    EXPECT_EQ((std::vector<int16_t>(line, line + 6)),
              (std::vector<int16_t>{255, 79, 0, 176, 0, -79}));
}

TEST(PixelsToWorkLine, CountZeroWritesNothing) {
    const uint8_t pixel[3] = {1, 2, 3};
    int16_t line[3] = {-5, -5, -5};
    EXPECT_EQ(PixelsToWorkLine(pixel, line, 0, 3, QV_PIXEL_RGB), 0);
    EXPECT_EQ(line[0], -5);
    EXPECT_EQ(line[2], -5);
}

TEST(FixedOutputCurve, LiftsShadowsAndKeepsTheEnds) {
    uint8_t curve[256] = {};
    ASSERT_EQ(BuildFixedOutputCurve(curve), 0);
    EXPECT_EQ(curve[0], 0);
    EXPECT_EQ(curve[64], 116);
    EXPECT_EQ(curve[128], 167);
    EXPECT_EQ(curve[192], 200);
    EXPECT_EQ(curve[255], 255);
    for (int i = 1; i < 256; ++i) {
        EXPECT_GE(curve[i], curve[i - 1]) << i;
        EXPECT_GE(curve[i], i) << "never darkens, at " << i;
    }
    for (int i = 224; i < 256; ++i) {
        EXPECT_EQ(curve[i], i) << "identity from 224 upward";
    }
}

class ToneTablePass : public ::testing::Test {
  protected:
    void SetUp() override {
        for (int i = 0; i < 256; ++i) {
            ctx->toneTable[i] = static_cast<uint8_t>(255 - i);
        }
    }
    ScopedContext ctx;
};

TEST_F(ToneTablePass, MapsEveryByteOfThePixelsIncludingTheFourth) {
    std::vector<uint8_t> source(16);
    for (std::size_t i = 0; i < source.size(); ++i) {
        source[i] = static_cast<uint8_t>(i);
    }
    std::vector<uint8_t> destination(16, 0xAA);
    ApplyToneTable(&ctx.context(), source.data(), destination.data(), 3, 4);
    for (std::size_t i = 0; i < 12; ++i) {
        EXPECT_EQ(destination[i], 255 - i) << i;
    }
    EXPECT_EQ(destination[12], 0xAA) << "nothing past count x step bytes";

    ApplyToneTable(&ctx.context(), source.data(), source.data(), 4, 4);  // in place
    EXPECT_EQ(source[0], 255);
    EXPECT_EQ(source[15], 240);
}

TEST_F(ToneTablePass, NegativeStepTouchesExactlyTheRunsBytes) {
    // Three 4-byte pixels walked backwards from the last one: bytes 4..15 of
    // the buffer, each pixel from its own address.
    std::vector<uint8_t> buffer(20, 7);
    ApplyToneTable(&ctx.context(), buffer.data() + 12, buffer.data() + 12, 3, -4);
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        const bool inRun = i >= 4 && i < 16;
        EXPECT_EQ(buffer[i], inRun ? 248 : 7) << i;
    }
}

TEST_F(ToneTablePass, LongLinesAreMappedToTheirEnd) {
    // 30000 x 3 = 90000 bytes: more than a 16-bit count can hold.
    std::vector<uint8_t> line(90000, 1);
    ApplyToneTable(&ctx.context(), line.data(), line.data(), 30000, 3);
    EXPECT_EQ(line.front(), 254);
    EXPECT_EQ(line.back(), 254);
}

TEST(ExtendedTrigonometry, ToningConstantsAtTheQuarterTurns) {
    // Degrees to radians as the toning does it, then x 1024 truncated in
    // extended precision.
    const auto scaled = [](long double v) { return static_cast<int32_t>(v * 1024.0L); };
    const auto radians = [](int hue) { return hue * 0.0174532925; };
    EXPECT_EQ(scaled(SineExtended(radians(0))), 0);
    EXPECT_EQ(scaled(CosineExtended(radians(0))), 1024);
    EXPECT_EQ(scaled(SineExtended(radians(90))), 1023) << "sin(1.570796325) is just below 1";
    EXPECT_EQ(scaled(CosineExtended(radians(180))), -1023);
    EXPECT_EQ(scaled(SineExtended(radians(270))), -1023);
    EXPECT_EQ(scaled(SineExtended(radians(30))), 511);
    EXPECT_EQ(scaled(CosineExtended(radians(60))), 512);
}

}  // namespace
}  // namespace voved
