// Opening and closing a streaming conversion through the public entry
// points: the working size, the buffers and their release.
#include <cstdint>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/context_access.h"
#include "voved32.h"

namespace voved {
namespace {

using test::ScopedContext;

struct Size {
    uint16_t width;
    uint16_t lines;
};

// Opens a conversion and answers its working size (closing it again).
Size WorkingSizeOf(uint16_t width, uint16_t lines, uint16_t outputWidth, int scale, uint16_t mode) {
    ScopedContext ctx;
    EXPECT_EQ(QVInitImageConversion(ctx.handle(), width, lines, outputWidth, 0,
                                    static_cast<int16_t>(scale), mode),
              0);
    const Size size{ctx->workWidth, ctx->workLines};
    EXPECT_EQ(QVTerminateImageConversion(ctx.handle()), 0);
    return size;
}

// With imageWidth equal to outputWidth the effective resolution is the scale.
Size AtResolution(int resolution, uint16_t width = 600, uint16_t lines = 400) {
    return WorkingSizeOf(width, lines, width, resolution, QV_MODE_SHARPEN);
}

TEST(WorkingSize, EnlargesBelowThreeHundred) {
    const Size twice = WorkingSizeOf(1200, 900, 800, 100, QV_MODE_SHARPEN);  // resolution 150
    EXPECT_EQ(twice.width, 2400);
    EXPECT_EQ(twice.lines, 1800);
    const Size thrice = AtResolution(100);
    EXPECT_EQ(thrice.width, 1800);
    EXPECT_EQ(thrice.lines, 1200);
    EXPECT_EQ(AtResolution(200).width, 1200);
    EXPECT_EQ(AtResolution(201).width, 600) << "201 to 299 give the factor 1";
    EXPECT_EQ(AtResolution(250).width, 600);
    EXPECT_EQ(AtResolution(299).lines, 400);
}

TEST(WorkingSize, KeepsTheSizeFromThreeToSevenHundred) {
    for (int resolution : {300, 450, 700}) {
        const Size size = AtResolution(resolution);
        EXPECT_EQ(size.width, 600) << resolution;
        EXPECT_EQ(size.lines, 400) << resolution;
    }
}

TEST(WorkingSize, ReducesAboveSevenHundred) {
    for (int resolution : {701, 800, 899}) {
        const Size size = AtResolution(resolution);
        EXPECT_EQ(size.width, 300) << resolution;
        EXPECT_EQ(size.lines, 200) << resolution;
    }
    for (int resolution : {900, 1199}) {
        const Size size = AtResolution(resolution);
        EXPECT_EQ(size.width, 200) << resolution;
        EXPECT_EQ(size.lines, 133) << resolution;
    }
    EXPECT_EQ(AtResolution(1200).width, 150);
}

TEST(WorkingSize, SmallImagesFallBack) {
    const Size fourLines = AtResolution(900, 600, 4);
    EXPECT_EQ(fourLines.width, 200);
    EXPECT_EQ(fourLines.lines, 2) << "4 / 3 lines keep two";
    const Size oneLine = AtResolution(800, 600, 1);
    EXPECT_EQ(oneLine.lines, 1);
    const Size fiveLines = AtResolution(800, 600, 5);
    EXPECT_EQ(fiveLines.lines, 2) << "5 / 2 is below three";
    const Size narrow = AtResolution(800, 1, 9);
    EXPECT_EQ(narrow.width, 1) << "a width of 0 keeps the image size in both directions";
    EXPECT_EQ(narrow.lines, 9);
    // 1 x 300 pixels enlarged 300 times wraps the width to 300 x 300 mod 65536.
    const Size wrapped = WorkingSizeOf(300, 2, 300, 1, QV_MODE_SHARPEN);
    EXPECT_EQ(wrapped.width, static_cast<uint16_t>(300 * 300));
    EXPECT_EQ(wrapped.lines, 600);
}

TEST(WorkingSize, OnlyPlainSharpeningWithAnOutputWidthResamples) {
    const Size corrected = WorkingSizeOf(600, 400, 600, 100, QV_MODE_SHARPEN | QV_MODE_CORRECT);
    EXPECT_EQ(corrected.width, 600);
    const Size noOutput = WorkingSizeOf(600, 400, 0, 100, QV_MODE_SHARPEN);
    EXPECT_EQ(noOutput.width, 600);
    const Size toning = WorkingSizeOf(600, 400, 600, 100, QV_MODE_TONE);
    EXPECT_EQ(toning.width, 600);
    for (int scale : {0, -100, -32768}) {
        const Size size = WorkingSizeOf(600, 400, 600, scale, QV_MODE_SHARPEN);
        EXPECT_EQ(size.width, 600) << scale;
        EXPECT_EQ(size.lines, 400) << scale;
    }
}

TEST(WorkingSize, TheMaskCanLiftTheCorrectionBitAndWithItTheBan) {
    ScopedContext ctx;
    ASSERT_EQ(QVExtension(ctx.handle(), QV_MODE_CORRECT, nullptr, nullptr, 0), 0);
    ctx->correctionMask = static_cast<uint16_t>(0xFFFFu & ~QV_MODE_CORRECT);
    ASSERT_EQ(QVInitImageConversion(ctx.handle(), 600, 400, 600, 0, 100,
                                    static_cast<uint16_t>(QV_MODE_CORRECT | QV_MODE_SHARPEN)),
              0);
    EXPECT_EQ(ctx->mode, QV_MODE_SHARPEN);
    EXPECT_EQ(ctx->workWidth, 1800);
    EXPECT_EQ(QVTerminateImageConversion(ctx.handle()), 0);
}

TEST(WorkingSize, WithoutTheExtensionTheRequestedModeStandsAsIs) {
    ScopedContext ctx;
    ctx->correctionMask = 0;  // never read without QVExtension
    ASSERT_EQ(QVInitImageConversion(ctx.handle(), 10, 10, 0, 0, 0, 0xA005), 0);
    EXPECT_EQ(ctx->mode, 0xA005);
    QVTerminateImageConversion(ctx.handle());
}

TEST(OpenConversion, StoresTheSizesAndResetsTheCounters) {
    ScopedContext ctx;
    QVContext& c = ctx.context();
    c.lineStep = 9;
    c.ringPhase = 4;
    c.inputLineNo = 7;
    c.inputMapped = 3;
    c.inputRepeats = 2;
    c.outputRowNo = 5;
    c.outputMapped = 6;
    c.outputRepeats = 3;
    c.heldResult = 0x1234;
    ASSERT_EQ(QVInitImageConversion(ctx.handle(), 321, 123, 456, 0, -5, QV_MODE_TONE), 0);
    EXPECT_EQ(c.imageWidth, 321);
    EXPECT_EQ(c.imageLines, 123);
    EXPECT_EQ(c.workWidth, 321);
    EXPECT_EQ(c.workLines, 123);
    EXPECT_EQ(c.resolutionScale, -5);
    EXPECT_EQ(c.mode, QV_MODE_TONE);
    EXPECT_EQ(c.lineStep, 0);
    EXPECT_EQ(c.ringPhase, 1);
    EXPECT_EQ(c.inputLineNo, 1);
    EXPECT_EQ(c.inputMapped, 0);
    EXPECT_EQ(c.inputRepeats, 0);
    EXPECT_EQ(c.outputRowNo, 1);
    EXPECT_EQ(c.outputMapped, 0);
    EXPECT_EQ(c.outputRepeats, 0);
    EXPECT_EQ(c.heldResult, 0x1234) << "not reset";
    QVTerminateImageConversion(ctx.handle());
}

bool Holds(const QVHandle& handle) {
    return handle.block != nullptr;
}

TEST(OpenConversion, TheModeDecidesTheBuffers) {
    struct Case {
        uint16_t mode;
        long blocks;
        bool ring;
    };
    const Case cases[] = {
        {QV_MODE_TONE, 1, false},       {QV_MODE_CORRECT, 1, false},
        {QV_MODE_BYTE_TABLE, 1, false}, {QV_MODE_DENOISE, 8, true},
        {QV_MODE_SHARPEN, 8, true},     {QV_MODE_SHARPEN | QV_MODE_TONE, 8, true}};
    for (const Case& k : cases) {
        ScopedContext ctx;
        const long before = LiveBlockCount();
        ASSERT_EQ(QVInitImageConversion(ctx.handle(), 64, 8, 0, 0, 0, k.mode), 0);
        EXPECT_EQ(LiveBlockCount() - before, k.blocks) << k.mode;
        EXPECT_TRUE(Holds(ctx->resultLineHandle));
        EXPECT_EQ(Holds(ctx->heldInputHandle), k.ring);
        EXPECT_EQ(Holds(ctx->heldOutputHandle), k.ring);
        for (const QVHandle& ring : ctx->ringHandle) {
            EXPECT_EQ(Holds(ring), k.ring);
        }
        EXPECT_EQ(QVTerminateImageConversion(ctx.handle()), 0);
        EXPECT_EQ(LiveBlockCount(), before);
    }
}

TEST(OpenConversion, AFailedAllocationReleasesExactlyTheOthers) {
    for (int failing = 1; failing <= 8; ++failing) {
        ScopedContext ctx;
        const long before = LiveBlockCount();
        FailNthAllocation(failing);
        EXPECT_EQ(QVInitImageConversion(ctx.handle(), 64, 8, 0, 0, 0, QV_MODE_DENOISE), -1)
            << failing;
        EXPECT_EQ(LiveBlockCount(), before) << failing;
        for (const QVHandle& ring : ctx->ringHandle) {
            EXPECT_FALSE(Holds(ring));
        }
        EXPECT_FALSE(Holds(ctx->heldInputHandle));
        EXPECT_FALSE(Holds(ctx->heldOutputHandle));
        EXPECT_FALSE(Holds(ctx->resultLineHandle));
        // Mode, sizes and counters keep what the opening stored.
        EXPECT_EQ(ctx->mode, QV_MODE_DENOISE);
        EXPECT_EQ(ctx->imageWidth, 64);
        EXPECT_EQ(ctx->lineStep, 0);
    }
    ScopedContext toning;
    const long before = LiveBlockCount();
    FailNthAllocation(1);
    EXPECT_EQ(QVInitImageConversion(toning.handle(), 64, 8, 0, 0, 0, QV_MODE_TONE), -1);
    EXPECT_EQ(LiveBlockCount(), before);
}

TEST(OpenConversion, AZeroWidthImageHasNoBuffers) {
    ScopedContext ctx;
    const long before = LiveBlockCount();
    EXPECT_EQ(QVInitImageConversion(ctx.handle(), 0, 8, 0, 0, 0, QV_MODE_TONE), -1);
    EXPECT_EQ(LiveBlockCount(), before);
}

TEST(OpenConversion, AnEmptyEffectiveModeFails) {
    ScopedContext ctx;
    ASSERT_EQ(QVExtension(ctx.handle(), 0, nullptr, nullptr, 0), 0);
    ctx->correctionMask = QV_MODE_CORRECT;
    ctx->imageWidth = 77;
    const long before = LiveBlockCount();
    EXPECT_EQ(QVInitImageConversion(ctx.handle(), 64, 8, 0, 0, 0, QV_MODE_TONE), -2);
    EXPECT_EQ(ctx->mode, 0) << "stored even though the opening fails";
    EXPECT_EQ(ctx->imageWidth, 77) << "nothing else changes";
    EXPECT_EQ(LiveBlockCount(), before);
    EXPECT_EQ(QVInitImageConversion(ctx.handle(), 64, 8, 0, 0, 0, 0), -2);
}

TEST(OpenConversion, ReopeningReleasesTheOpenConversionFirst) {
    ScopedContext ctx;
    const long before = LiveBlockCount();
    ASSERT_EQ(QVInitImageConversion(ctx.handle(), 64, 8, 0, 0, 0, QV_MODE_SHARPEN), 0);
    ASSERT_EQ(QVInitImageConversion(ctx.handle(), 32, 4, 0, 0, 0, QV_MODE_TONE), 0);
    EXPECT_EQ(LiveBlockCount() - before, 1);
    EXPECT_FALSE(Holds(ctx->ringHandle[0]));
    ASSERT_EQ(QVInitImageConversion(ctx.handle(), 32, 4, 0, 0, 0, QV_MODE_DENOISE), 0);
    EXPECT_EQ(LiveBlockCount() - before, 8);
    EXPECT_EQ(QVTerminateImageConversion(ctx.handle()), 0);
    EXPECT_EQ(LiveBlockCount(), before);
}

TEST(CloseConversion, TwiceIsHarmlessAndKeepsTheState) {
    ScopedContext ctx;
    const long before = LiveBlockCount();
    ASSERT_EQ(QVInitImageConversion(ctx.handle(), 64, 8, 0, 0, 0, QV_MODE_DENOISE), 0);
    EXPECT_EQ(QVTerminateImageConversion(ctx.handle()), 0);
    EXPECT_EQ(LiveBlockCount(), before);
    EXPECT_EQ(QVTerminateImageConversion(ctx.handle()), 0);
    EXPECT_EQ(ctx->mode, QV_MODE_DENOISE);
    EXPECT_EQ(ctx->imageWidth, 64);
}

TEST(CloseConversion, FreeingTheContextReleasesAConversionLeftOpen) {
    const long before = LiveBlockCount();
    QVHandle handle{};
    ASSERT_EQ(QVAlloc(&handle), 0);
    ASSERT_EQ(QVInitImageConversion(&handle, 64, 8, 0, 0, 0, QV_MODE_SHARPEN), 0);
    EXPECT_EQ(QVFree(&handle), 0);
    EXPECT_EQ(LiveBlockCount(), before);
}

TEST(ConversionEntryPoints, RejectInvalidContexts) {
    EXPECT_EQ(QVInitImageConversion(nullptr, 8, 8, 0, 0, 0, QV_MODE_TONE), -2);
    EXPECT_EQ(QVTerminateImageConversion(nullptr), -2);
    QVHandle empty{};
    EXPECT_EQ(QVInitImageConversion(&empty, 8, 8, 0, 0, 0, QV_MODE_TONE), -2);
    EXPECT_EQ(QVTerminateImageConversion(&empty), -2);
    ScopedContext ctx;
    ctx->magic = 0x1234;
    EXPECT_EQ(QVInitImageConversion(ctx.handle(), 8, 8, 0, 0, 0, QV_MODE_TONE), -2);
    EXPECT_EQ(QVTerminateImageConversion(ctx.handle()), -2);
    ctx->magic = 0x5651;
    ctx->flags = 0;
    EXPECT_EQ(QVInitImageConversion(ctx.handle(), 8, 8, 0, 0, 0, QV_MODE_TONE), -2);
    EXPECT_EQ(ctx->mode, 0) << "nothing changed";
    ctx->flags = QV_FLAG_VALID;
}

}  // namespace
}  // namespace voved
