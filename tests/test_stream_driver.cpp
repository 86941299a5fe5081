// QVCorrection2: the per-call checks and preparation, the toning path and the
// pass-through path, through the public entry points.
#include <cstdint>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "pixels/pixels.h"
#include "platform/platform.h"
#include "support/context_access.h"
#include "support/correction_params.h"
#include "support/stream_driver.h"
#include "support/stream_pictures.h"
#include "voved32.h"

namespace voved {
namespace {

using test::DriveConversion;
using test::PixelLine;
using test::PixelPicture;
using test::RandomPicture;
using test::ScopedContext;
using test::SetIdentityCorrection;
using test::StreamArgs;
using test::StreamRun;

using Results = std::vector<uint16_t>;

constexpr uint16_t kTaken = QV_STEP_TAKEN;
constexpr uint16_t kOutput = QV_STEP_OUTPUT;
constexpr uint16_t kLast = QV_STEP_LAST;
constexpr uint16_t kFailed = QV_STEP_FAILED;

// Opens a conversion of width x lines without resampling.
void Open(ScopedContext& ctx, uint16_t width, uint16_t lines, uint16_t mode) {
    ASSERT_EQ(QVInitImageConversion(ctx.handle(), width, lines, 0, 0, 0, mode), 0);
}

uint16_t Call(ScopedContext& ctx, const PixelLine& in, PixelLine& out, uint16_t pixelCount,
              int16_t step, int16_t layout, int16_t hue = 0, int16_t level = 0) {
    return QVCorrection2(ctx.handle(), in.data(), out.data(), pixelCount, step, layout, hue, level);
}

// A byte table that no byte maps onto itself.
void SetInvertingTable(QVContext& c) {
    for (int i = 0; i < 256; ++i) {
        c.toneTable[i] = static_cast<uint8_t>(255 - i);
    }
}

// ---- Checks before anything changes -------------------------------------

TEST(StreamCall, FailsWithoutAnOpenConversion) {
    PixelLine in(12, 0), out(12, 0);
    EXPECT_EQ(QVCorrection2(nullptr, in.data(), out.data(), 4, 3, 3, 0, 0), kFailed);
    QVHandle empty{};
    EXPECT_EQ(QVCorrection2(&empty, in.data(), out.data(), 4, 3, 3, 0, 0), kFailed);
    ScopedContext ctx;
    EXPECT_EQ(Call(ctx, in, out, 4, 3, 3), kFailed) << "never opened: mode 0";
    ctx->mode = QV_MODE_TONE;
    EXPECT_EQ(Call(ctx, in, out, 4, 3, 3), kFailed) << "no buffers";
    ctx->mode = 0;
    Open(ctx, 4, 3, QV_MODE_TONE);
    EXPECT_EQ(Call(ctx, in, out, 4, 3, 3), kTaken | kOutput);
    EXPECT_EQ(QVTerminateImageConversion(ctx.handle()), 0);
    EXPECT_EQ(Call(ctx, in, out, 4, 3, 3), kFailed) << "after closing";
    ctx->flags = 0;
    EXPECT_EQ(Call(ctx, in, out, 4, 3, 3), kFailed);
    ctx->flags = QV_FLAG_VALID;
}

TEST(StreamCall, AFailedOpeningLeavesNothingToCall) {
    ScopedContext ctx;
    FailNthAllocation(3);
    ASSERT_EQ(QVInitImageConversion(ctx.handle(), 4, 3, 0, 0, 0, QV_MODE_SHARPEN), -1);
    PixelLine in(12, 0), out(12, 0);
    EXPECT_EQ(Call(ctx, in, out, 4, 3, 3), kFailed);
}

TEST(StreamCall, RejectsCallsThatDoNotFitTheConversion) {
    ScopedContext ctx;
    Open(ctx, 4, 3, QV_MODE_SHARPEN | QV_MODE_BYTE_TABLE | QV_MODE_DENOISE);
    const QVContext before = ctx.context();
    PixelLine in(32, 9), out(32, 0xEE);
    EXPECT_EQ(Call(ctx, in, out, 4, 3, 1), kFailed) << "unknown layout";
    EXPECT_EQ(Call(ctx, in, out, 4, 3, 5), kFailed) << "unknown layout";
    EXPECT_EQ(Call(ctx, in, out, 4, 0, 3), kFailed) << "step 0";
    EXPECT_EQ(Call(ctx, in, out, 4, -3, 3), kFailed) << "negative step";
    EXPECT_EQ(Call(ctx, in, out, 5, 3, 3), kFailed) << "more pixels than the image width";
    EXPECT_EQ(Call(ctx, in, out, 4, 5, 3), kFailed) << "20 bytes do not fit a held line of 16";
    EXPECT_EQ(Call(ctx, in, out, 3, 6, 4), kFailed) << "checked before layout 4 clears bits";
    EXPECT_EQ(std::memcmp(&before, &ctx.context(), sizeof before), 0) << "nothing changed";
    EXPECT_EQ(out, PixelLine(32, 0xEE));
    EXPECT_EQ(Call(ctx, in, out, 2, 8, 3), kTaken) << "16 bytes fit";
}

TEST(StreamCall, WorkingLinesMustHoldTheCallersPixels) {
    // A reducing sharpening conversion whose mode is replaced afterwards by a
    // mode that stores the caller's pixels in the (narrower) working lines.
    ScopedContext ctx;
    ASSERT_EQ(QVInitImageConversion(ctx.handle(), 64, 8, 64, 0, 800, QV_MODE_SHARPEN), 0);
    ASSERT_EQ(ctx->workWidth, 32);
    ASSERT_EQ(QVExtension(ctx.handle(), QV_MODE_DENOISE, nullptr, nullptr, 0), 0);
    PixelLine in(64 * 3, 1), out(64 * 3, 0);
    EXPECT_EQ(Call(ctx, in, out, 64, 3, 3), kFailed);
    EXPECT_EQ(Call(ctx, in, out, 32, 3, 3), kTaken) << "a line that fits is read";
    QVTerminateImageConversion(ctx.handle());
}

TEST(StreamCall, Layout555TurnsTheByteTableAndTheNoiseFilterOff) {
    ScopedContext ctx;
    Open(ctx, 2, 3, QV_MODE_BYTE_TABLE | QV_MODE_DENOISE);
    PixelLine in(4, 0), out(4, 0);
    EXPECT_EQ(Call(ctx, in, out, 2, 2, QV_PIXEL_RGB555), kFailed) << "nothing left to do";
    EXPECT_EQ(ctx->mode, 0);
    EXPECT_EQ(Call(ctx, in, out, 2, 2, QV_PIXEL_RGB), kFailed);
    QVTerminateImageConversion(ctx.handle());

    ScopedContext toning;
    Open(toning, 2, 3, QV_MODE_TONE | QV_MODE_BYTE_TABLE | QV_MODE_DENOISE);
    EXPECT_EQ(Call(toning, in, out, 2, 2, QV_PIXEL_RGB555), kTaken | kOutput);
    EXPECT_EQ(toning->mode, QV_MODE_TONE) << "the change lasts";
    QVTerminateImageConversion(toning.handle());
}

// ---- Toning ---------------------------------------------------------------

TEST(TonePath, AnswersThreeUntilTheLastLineAndSixFromThenOn) {
    ScopedContext ctx;
    Open(ctx, 4, 3, QV_MODE_TONE);
    PixelLine in(12, 100), out(12, 0);
    EXPECT_EQ(Call(ctx, in, out, 4, 3, 3), kTaken | kOutput);
    EXPECT_EQ(Call(ctx, in, out, 4, 3, 3), kTaken | kOutput);
    EXPECT_EQ(Call(ctx, in, out, 4, 3, 3), kOutput | kLast);
    EXPECT_EQ(ctx->lineStep, 2);
    EXPECT_EQ(Call(ctx, in, out, 4, 3, 3), kOutput | kLast) << "later calls tone and answer 6";
    EXPECT_EQ(ctx->lineStep, 2);
    QVTerminateImageConversion(ctx.handle());
}

TEST(TonePath, OneLineAndEmptyPicturesEndAtOnce) {
    for (int lines : {1, 0}) {
        ScopedContext ctx;
        Open(ctx, 4, static_cast<uint16_t>(lines), QV_MODE_TONE);
        PixelLine in(12, 100), out(12, 0);
        EXPECT_EQ(Call(ctx, in, out, 4, 3, 3), kOutput | kLast) << lines;
        EXPECT_EQ(Call(ctx, in, out, 4, 3, 3), kOutput | kLast) << lines;
        QVTerminateImageConversion(ctx.handle());
    }
}

TEST(TonePath, GreyWithANegativeHue) {
    const PixelPicture picture = RandomPicture(5, 16, 4, 11);
    ScopedContext ctx;
    Open(ctx, 16, 5, QV_MODE_TONE);
    const StreamRun run = DriveConversion(ctx.handle(), picture, {16, 4, QV_PIXEL_BGR, -1, 0});
    EXPECT_EQ(run.results, (Results{3, 3, 3, 3, 6}));
    ASSERT_EQ(run.delivered.size(), 5u);
    for (std::size_t y = 0; y < 5; ++y) {
        for (std::size_t x = 0; x < 16; ++x) {
            const uint8_t* p = &picture[y][4 * x];
            const uint8_t* q = &run.delivered[y][4 * x];
            const auto luma = static_cast<uint8_t>(Luma(p[2], p[1], p[0]));
            EXPECT_EQ(q[0], luma);
            EXPECT_EQ(q[1], luma);
            EXPECT_EQ(q[2], luma);
            EXPECT_EQ(q[3], test::kUnwritten);
        }
    }
    QVTerminateImageConversion(ctx.handle());
}

TEST(TonePath, WhiteTonedWithHueZeroAndHue450AsNinety) {
    ScopedContext ctx;
    Open(ctx, 1, 3, QV_MODE_TONE);
    PixelLine white{255, 255, 255}, out(3, 0), ninety(3, 0);
    ASSERT_EQ(Call(ctx, white, out, 1, 3, QV_PIXEL_RGB, 0), kTaken | kOutput);
    EXPECT_EQ(out, (PixelLine{255, 231, 255}));
    ASSERT_EQ(Call(ctx, white, ninety, 1, 3, QV_PIXEL_RGB, 90), kTaken | kOutput);
    ASSERT_EQ(Call(ctx, white, out, 1, 3, QV_PIXEL_RGB, 450), kOutput | kLast);
    EXPECT_EQ(out, ninety);
    EXPECT_EQ(ninety, (PixelLine{255, 195, 255}));
    QVTerminateImageConversion(ctx.handle());
}

TEST(TonePath, CorrectedLinesAreTonedFromTheCorrectedLuminance) {
    // Per-channel correction whose curve halves every channel, then grey.
    ScopedContext ctx;
    SetIdentityCorrection(ctx.context(), 5003);
    for (int i = 0; i < 300; ++i) {
        ctx->toneCurve[i] = static_cast<int16_t>(i / 2);
    }
    Open(ctx, 3, 1, QV_MODE_TONE | QV_MODE_CORRECT);
    PixelLine in{200, 100, 50, 0, 0, 0, 255, 255, 255}, out(9, 0);
    ASSERT_EQ(Call(ctx, in, out, 3, 3, QV_PIXEL_RGB, -1), kOutput | kLast);
    const auto y0 = static_cast<uint8_t>(Luma(100, 50, 25));
    const auto y2 = static_cast<uint8_t>(Luma(127, 127, 127));
    EXPECT_EQ(out, (PixelLine{y0, y0, y0, 0, 0, 0, y2, y2, y2}));
    QVTerminateImageConversion(ctx.handle());
}

TEST(TonePath, CorrectionWithoutDerivedParametersFails) {
    ScopedContext ctx;
    Open(ctx, 3, 2, QV_MODE_TONE | QV_MODE_CORRECT);
    PixelLine in(9, 1), out(9, 0);
    EXPECT_EQ(Call(ctx, in, out, 3, 3, QV_PIXEL_RGB, 10), kFailed);
    EXPECT_EQ(ctx->lineStep, 0);
    QVTerminateImageConversion(ctx.handle());
}

// ---- Pass-through -------------------------------------------------------------

TEST(PassThrough, TheByteTableMapsEveryByte) {
    const PixelPicture picture = RandomPicture(3, 5, 4, 3);
    ScopedContext ctx;
    SetInvertingTable(ctx.context());
    Open(ctx, 5, 3, QV_MODE_BYTE_TABLE);
    const StreamRun run = DriveConversion(ctx.handle(), picture, {5, 4, QV_PIXEL_BGR});
    EXPECT_EQ(run.results, (Results{3, 3, 6}));
    ASSERT_EQ(run.delivered.size(), 3u);
    for (std::size_t y = 0; y < 3; ++y) {
        for (std::size_t i = 0; i < 20; ++i) {
            EXPECT_EQ(run.delivered[y][i], 255 - picture[y][i]) << "fourth bytes too";
        }
    }
    QVTerminateImageConversion(ctx.handle());
}

TEST(PassThrough, NoCorrectionNeededCopiesOrMaps) {
    ScopedContext ctx;
    SetIdentityCorrection(ctx.context(), 5000);
    Open(ctx, 4, 2, QV_MODE_CORRECT);
    PixelLine in{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, out(12, 0);
    EXPECT_EQ(Call(ctx, in, out, 4, 3, QV_PIXEL_BGR), kTaken | kOutput);
    EXPECT_EQ(out, in);
    PixelLine same = in;
    EXPECT_EQ(QVCorrection2(ctx.handle(), same.data(), same.data(), 4, 3, 0, 0, 0),
              kOutput | kLast);
    EXPECT_EQ(same, in);
    QVTerminateImageConversion(ctx.handle());

    ScopedContext mapped;
    SetIdentityCorrection(mapped.context(), 5000);
    SetInvertingTable(mapped.context());
    Open(mapped, 4, 2, QV_MODE_CORRECT | QV_MODE_BYTE_TABLE);
    EXPECT_EQ(Call(mapped, in, out, 4, 3, QV_PIXEL_BGR), kTaken | kOutput);
    EXPECT_EQ(out[0], 254);
    EXPECT_EQ(out[11], 243);
    QVTerminateImageConversion(mapped.handle());
}

TEST(PassThrough, AskingForNothingFails) {
    ScopedContext ctx;
    Open(ctx, 4, 2, 0x0002);
    PixelLine in(12, 0), out(12, 0);
    EXPECT_EQ(Call(ctx, in, out, 4, 3, QV_PIXEL_BGR), kFailed);
    EXPECT_EQ(Call(ctx, in, out, 4, 3, QV_PIXEL_BGR), kFailed);
    QVTerminateImageConversion(ctx.handle());
}

// The corrected line as the working-line arithmetic gives it, for the
// per-channel variant: the curve on each channel, the forward transform, then
// the inverse transform of those samples.
PixelLine PerChannelExpected(const QVContext& c, const PixelLine& line, int step) {
    PixelLine expected = line;
    for (std::size_t p = 0; p + 2 < line.size(); p += static_cast<std::size_t>(step)) {
        const int32_t r = c.toneCurve[line[p]];
        const int32_t g = c.toneCurve[line[p + 1]];
        const int32_t b = c.toneCurve[line[p + 2]];
        const int32_t y = (5 * r + 9 * g + 2 * b) >> 4;
        const Rgb out = InverseTransform(y, s16(r - y), s16(b - y));
        expected[p] = static_cast<uint8_t>(out.r);
        expected[p + 1] = static_cast<uint8_t>(out.g);
        expected[p + 2] = static_cast<uint8_t>(out.b);
    }
    return expected;
}

TEST(PassThrough, CorrectedPictureFollowsTheWorkingLineArithmetic) {
    const PixelPicture picture = RandomPicture(6, 17, 4, 5);
    ScopedContext ctx;
    SetIdentityCorrection(ctx.context(), 5003);
    for (int i = 0; i < 300; ++i) {
        // A lifting curve with a few values beyond a byte.
        ctx->toneCurve[i] = static_cast<int16_t>(i < 240 ? 20 + (i * 9) / 10 : i + 40);
    }
    Open(ctx, 17, 6, QV_MODE_CORRECT);
    const StreamRun run = DriveConversion(ctx.handle(), picture, {17, 4, QV_PIXEL_RGB});
    EXPECT_EQ(run.results, (Results{3, 3, 3, 3, 3, 6}));
    ASSERT_EQ(run.delivered.size(), 6u);
    for (std::size_t y = 0; y < 6; ++y) {
        PixelLine expected = PerChannelExpected(ctx.context(), picture[y], 4);
        for (std::size_t p = 3; p < expected.size(); p += 4) {
            expected[p] = test::kUnwritten;
        }
        EXPECT_EQ(run.delivered[y], expected) << "line " << y;
    }
    QVTerminateImageConversion(ctx.handle());
}

TEST(PassThrough, RotationCorrectionThenTheByteTable) {
    ScopedContext ctx;
    SetIdentityCorrection(ctx.context(), 5001);
    SetInvertingTable(ctx.context());
    Open(ctx, 2, 1, QV_MODE_CORRECT | QV_MODE_BYTE_TABLE);
    // (100, 150, 200) is stored as (140, -40, 60), which packs to
    // (100, 148, 200); near-white becomes white.
    PixelLine in{100, 150, 200, 255, 254, 255}, out(6, 0);
    EXPECT_EQ(Call(ctx, in, out, 2, 3, QV_PIXEL_RGB), kOutput | kLast);
    EXPECT_EQ(out, (PixelLine{155, 107, 55, 0, 0, 0}));
    QVTerminateImageConversion(ctx.handle());
}

TEST(PassThrough, CorrectionWithoutDerivedParametersFails) {
    ScopedContext ctx;
    ctx->correctionType = 5001;
    Open(ctx, 2, 2, QV_MODE_CORRECT);
    PixelLine in(6, 1), out(6, 0);
    EXPECT_EQ(Call(ctx, in, out, 2, 3, QV_PIXEL_RGB), kFailed);
    EXPECT_EQ(out, PixelLine(6, 0));
    QVTerminateImageConversion(ctx.handle());
}

TEST(PassThrough, Layout555IsCorrectedWithBit15Clear) {
    ScopedContext ctx;
    SetIdentityCorrection(ctx.context(), 5003);
    Open(ctx, 2, 1, QV_MODE_CORRECT | QV_MODE_BYTE_TABLE);
    PixelLine in{0xFF, 0xFF, 0x1F, 0x00}, out(4, 0);
    EXPECT_EQ(Call(ctx, in, out, 2, 2, QV_PIXEL_RGB555), kOutput | kLast);
    EXPECT_EQ(ctx->mode, QV_MODE_CORRECT);
    EXPECT_EQ(ReadWord(&out[0]), 0x7FFF);
    EXPECT_EQ(ReadWord(&out[2]), 0x001F);
    QVTerminateImageConversion(ctx.handle());
}

}  // namespace
}  // namespace voved
