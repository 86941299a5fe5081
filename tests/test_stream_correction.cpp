// The two streaming line steps of the colour correction: source pixels to
// a corrected working line, and a working line to corrected pixels.
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "correct/shared_steps.h"
#include "correct/stream_correction.h"
#include "pixels/pixels.h"
#include "support/context_access.h"
#include "support/correction_params.h"

namespace voved {
namespace {

using test::ScopedContext;
using test::SetIdentityCorrection;
using Samples = std::vector<int16_t>;

// Y, R - Y and B - Y of a one-sample working line.
Samples SampleOf(const int16_t* line) {
    return {line[0], line[1], line[2]};
}

TEST(StreamCorrection, RefusesMissingContextsParametersAndLayouts) {
    ScopedContext ctx;
    const uint8_t pixel[4] = {1, 2, 3, 4};
    uint8_t destination[4] = {9, 9, 9, 9};
    int16_t line[3] = {-7, -7, -7};

    EXPECT_EQ(CorrectToWorkLine(nullptr, pixel, line, 1, 3, QV_PIXEL_RGB), -2);
    EXPECT_EQ(CorrectFromWorkLine(nullptr, pixel, destination, line, 1, 3, QV_PIXEL_RGB), -2);
    EXPECT_EQ(CorrectToWorkLine(&ctx.context(), pixel, line, 1, 3, QV_PIXEL_RGB), -3)
        << "parameters not derived";
    EXPECT_EQ(CorrectFromWorkLine(&ctx.context(), pixel, destination, line, 1, 3, QV_PIXEL_RGB),
              -3);

    SetIdentityCorrection(ctx.context(), kTypeRotation);
    EXPECT_EQ(CorrectToWorkLine(&ctx.context(), pixel, line, 1, 3, 1), -3) << "unknown layout";
    EXPECT_EQ(CorrectFromWorkLine(&ctx.context(), pixel, destination, line, 1, 3, 5), -3);

    ctx->magic = 0x1234;
    EXPECT_EQ(CorrectToWorkLine(&ctx.context(), pixel, line, 1, 3, QV_PIXEL_RGB), -2);
    ctx->magic = kContextMagic;
    ctx->flags = static_cast<uint16_t>(ctx->flags & ~kFlagValid);
    EXPECT_EQ(CorrectFromWorkLine(&ctx.context(), pixel, destination, line, 1, 3, QV_PIXEL_RGB),
              -2);
    ctx->flags = static_cast<uint16_t>(ctx->flags | kFlagValid);

    EXPECT_EQ(SampleOf(line), (Samples{-7, -7, -7})) << "failed calls write nothing";
    EXPECT_EQ(destination[0], 9);
    EXPECT_EQ(CorrectToWorkLine(&ctx.context(), pixel, line, 0, 3, QV_PIXEL_RGB), 0);
}

TEST(CorrectToWorkLine, IdentityStoresTheShiftedDifferences) {
    ScopedContext ctx;
    SetIdentityCorrection(ctx.context(), kTypeRotation);
    const uint8_t rgb[3] = {100, 150, 200};
    int16_t line[3] = {};
    ASSERT_EQ(CorrectToWorkLine(&ctx.context(), rgb, line, 1, 3, QV_PIXEL_RGB), 0);
    EXPECT_EQ(SampleOf(line), (Samples{140, -40, 60}));
    const Rgb back = InverseTransform(line[0], line[1], line[2]);
    EXPECT_EQ(back.g, 148) << "one below the one-shot result: the differences are pre-shifted";
}

TEST(CorrectToWorkLine, NearWhiteAndTheCurveEnds) {
    for (int16_t type : {kTypeRotation, kTypeBrightRotation}) {
        ScopedContext ctx;
        SetIdentityCorrection(ctx.context(), type);
        const uint8_t nearWhite[3] = {255, 254, 255};
        int16_t line[3] = {};
        ASSERT_EQ(CorrectToWorkLine(&ctx.context(), nearWhite, line, 1, 3, QV_PIXEL_RGB), 0);
        EXPECT_EQ(SampleOf(line), (Samples{255, 0, 0})) << type;
    }

    ScopedContext ctx;
    SetIdentityCorrection(ctx.context(), kTypeRotation);
    ctx->toneCurve[140] = 0;
    const uint8_t rgb[3] = {100, 150, 200};
    int16_t line[3] = {};
    ASSERT_EQ(CorrectToWorkLine(&ctx.context(), rgb, line, 1, 3, QV_PIXEL_RGB), 0);
    EXPECT_EQ(SampleOf(line), (Samples{0, -40, 60})) << "L = 0 is stored, not made black";
    ctx->toneCurve[140] = 333;
    ASSERT_EQ(CorrectToWorkLine(&ctx.context(), rgb, line, 1, 3, QV_PIXEL_RGB), 0);
    EXPECT_EQ(line[0], 333);
}

TEST(CorrectToWorkLine, BrightTypeStoresTheFixedCurveOfTheClampedLevel) {
    ScopedContext ctx;
    SetIdentityCorrection(ctx.context(), kTypeBrightRotation);
    // B, G, R byte order; (100, 150, 200) has L = 140, stored as curve[140].
    const uint8_t bgr[9] = {200, 150, 100, 0, 0, 0, 50, 60, 70};
    ctx->toneCurve[0] = -20;                                // black pixel: L below 0
    ctx->toneCurve[(5 * 70 + 9 * 60 + 2 * 50) / 16] = 400;  // third pixel: L above 255
    int16_t line[9] = {};
    ASSERT_EQ(CorrectToWorkLine(&ctx.context(), bgr, line, 3, 3, QV_PIXEL_BGR), 0);
    EXPECT_EQ((Samples{line[0], line[1], line[2]}), (Samples{174, 0, 255}));
    EXPECT_EQ(line[3], -40) << "the differences are stored unchanged";
    EXPECT_EQ(line[6], 60);
}

TEST(CorrectToWorkLine, OtherTypesUseWholeCurveEntries) {
    ScopedContext ctx;
    SetIdentityCorrection(ctx.context(), kTypeStretch);
    for (int i = 0; i < 256; ++i) {
        ctx->toneCurve[i] = static_cast<int16_t>(2 * i);
    }
    // 5-5-5 words walked with a step of 4: the second word is skipped over.
    // (100, 150, 200) is not representable; use codes 12, 18, 25 -> 99, 148, 206.
    const uint16_t word = static_cast<uint16_t>((12 << 10) | (18 << 5) | 25 | 0x8000);
    const uint8_t words[4] = {static_cast<uint8_t>(word & 0xFF), static_cast<uint8_t>(word >> 8),
                              0xFF, 0xFF};
    int16_t line[3] = {};
    ASSERT_EQ(CorrectToWorkLine(&ctx.context(), words, line, 1, 4, QV_PIXEL_RGB555), 0);
    // TR = 198, TG = 296, TB = 412: Y = (990 + 2664 + 824) >> 4 = 279.
    EXPECT_EQ(SampleOf(line), (Samples{279, -81, 133}));
}

TEST(CorrectFromWorkLine, IdentityMatchesTheOneShotArithmetic) {
    ScopedContext ctx;
    SetIdentityCorrection(ctx.context(), kTypeRotation);
    // Plain forward transforms of (100, 150, 200), (200, 100, 50) and a
    // sample with Y = 0.
    const int16_t line[9] = {140, 125, 0, -40, 75, 0, 60, -75, 0};
    uint8_t rgb[9] = {};
    ASSERT_EQ(CorrectFromWorkLine(&ctx.context(), rgb, rgb, line, 3, 3, QV_PIXEL_RGB), 0);
    EXPECT_EQ((std::vector<uint8_t>(rgb, rgb + 9)),
              (std::vector<uint8_t>{100, 149, 200, 200, 100, 50, 0, 0, 0}));
}

TEST(CorrectFromWorkLine, WhiteSamplesAndForcedLevelsKeepBit15) {
    ScopedContext ctx;
    SetIdentityCorrection(ctx.context(), kTypeRotation);
    ctx->toneCurve[100] = 300;
    // Y = 255 with odd differences; Y = 100 meets a curve value of 300;
    // Y = 0 meets the curve value 0.
    const int16_t line[9] = {255, 100, 0, 90, 0, 0, -90, 0, 0};
    const uint8_t source[6] = {0x00, 0x80, 0x34, 0x12, 0xFF, 0xFF};
    uint8_t destination[6] = {};
    ASSERT_EQ(CorrectFromWorkLine(&ctx.context(), source, destination, line, 3, 2, QV_PIXEL_RGB555),
              0);
    EXPECT_EQ(ReadWord(destination), 0xFFFF) << "S15 | 0x7FFF";
    EXPECT_EQ(ReadWord(destination + 2), 0x7FFF) << "forced white, bit 15 clear in the source";
    EXPECT_EQ(ReadWord(destination + 4), 0x8000) << "black keeps bit 15";
}

TEST(CorrectFromWorkLine, IndexOfTheToneCurveIsClamped) {
    ScopedContext ctx;
    SetIdentityCorrection(ctx.context(), kTypeRotation);
    ctx->toneCurve[0] = 33;
    ctx->toneCurve[299] = 77;
    ctx->colourMatrix[8] = 2048;                    // w = 2 x Y
    const int16_t line[6] = {-5, 200, 0, 0, 0, 0};  // w / 1024 = -10 and 400
    uint8_t rgb[6] = {};
    ASSERT_EQ(CorrectFromWorkLine(&ctx.context(), rgb, rgb, line, 2, 3, QV_PIXEL_RGB), 0);
    EXPECT_EQ((std::vector<uint8_t>(rgb, rgb + 6)), (std::vector<uint8_t>{33, 33, 33, 77, 77, 77}));
}

TEST(CorrectFromWorkLine, BrightTypePassesChannelsThroughTheFixedCurve) {
    ScopedContext ctx;
    SetIdentityCorrection(ctx.context(), kTypeBrightRotation);
    const int16_t line[6] = {128, 0, 0, 0, 0, 0};  // grey 128, grey 0 (black)
    uint8_t bgrx[8] = {0, 0, 0, 0xEE, 0, 0, 0, 0xEE};
    ASSERT_EQ(CorrectFromWorkLine(&ctx.context(), bgrx, bgrx, line, 2, 4, QV_PIXEL_BGR), 0);
    EXPECT_EQ((std::vector<uint8_t>(bgrx, bgrx + 8)),
              (std::vector<uint8_t>{167, 167, 167, 0xEE, 0, 0, 0, 0xEE}));
}

TEST(CorrectFromWorkLine, OtherTypesMapTheChannelsThroughTheCurve) {
    ScopedContext ctx;
    SetIdentityCorrection(ctx.context(), kTypeStretch);
    for (int i = 0; i < 256; ++i) {
        ctx->toneCurve[i] = static_cast<int16_t>(511 - i);  // low 8 bits: 255 - i
    }
    // 24-bit: the inverse transform of (79, 176, -79) is (255, 0, 0).
    const int16_t red[3] = {79, 176, -79};
    uint8_t rgb[3] = {};
    ASSERT_EQ(CorrectFromWorkLine(&ctx.context(), rgb, rgb, red, 1, 3, QV_PIXEL_RGB), 0);
    EXPECT_EQ((std::vector<uint8_t>(rgb, rgb + 3)), (std::vector<uint8_t>{0, 255, 255}));

    // 5-5-5: the source word alone decides; codes 3, 10, 20 expand to 24,
    // 82, 165, map to 231, 173, 90 and reduce to 28, 21, 11.
    const int16_t ignored[3] = {0, 500, -500};
    const uint16_t word = static_cast<uint16_t>(0x8000 | (3 << 10) | (10 << 5) | 20);
    uint8_t words[2] = {static_cast<uint8_t>(word & 0xFF), static_cast<uint8_t>(word >> 8)};
    ASSERT_EQ(CorrectFromWorkLine(&ctx.context(), words, words, ignored, 1, 2, QV_PIXEL_RGB555), 0);
    EXPECT_EQ(ReadWord(words), 0x8000 | (28 << 10) | (21 << 5) | 11);
}

TEST(CorrectFromWorkLine, RoundTripThroughTheWorkingLineWalksBackwards) {
    ScopedContext ctx;
    SetIdentityCorrection(ctx.context(), kTypeRotation);
    // Two 3-byte pixels walked from the second: the working line holds them
    // in walking order and the destination gets them back in place.
    const uint8_t source[6] = {100, 150, 200, 200, 100, 50};
    int16_t line[6] = {};
    ASSERT_EQ(PixelsToWorkLine(source + 3, line, 2, -3, QV_PIXEL_RGB), 0);
    uint8_t destination[6] = {};
    ASSERT_EQ(
        CorrectFromWorkLine(&ctx.context(), source + 3, destination + 3, line, 2, -3, QV_PIXEL_RGB),
        0);
    EXPECT_EQ((std::vector<uint8_t>(destination, destination + 6)),
              (std::vector<uint8_t>{100, 149, 200, 200, 100, 50}));
}

}  // namespace
}  // namespace voved
