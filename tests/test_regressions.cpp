// Findings of the fuzz targets, each kept as the smallest call sequence that
// showed it. The raw inputs live in fuzz/regressions and replay in the suite
// too; these tests say in words what must hold.
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

#include <gtest/gtest.h>

#include "support/context_access.h"
#include "support/correction_params.h"
#include "support/stream_pictures.h"
#include "voved32.h"

namespace voved {
namespace {

using test::PixelLine;
using test::ScopedContext;
using test::SmoothPicture;

constexpr uint16_t kFailed = QV_STEP_FAILED;

// The conversion state a refused call must leave as it was.
struct ConversionState {
    uint16_t mode;
    uint16_t lineStep;
    uint16_t inputLineNo;
    int16_t inputRepeats;
    uint16_t outputRowNo;

    static ConversionState Of(const QVContext& c) {
        return {c.mode, c.lineStep, c.inputLineNo, c.inputRepeats, c.outputRowNo};
    }
    bool operator==(const ConversionState& o) const {
        return mode == o.mode && lineStep == o.lineStep && inputLineNo == o.inputLineNo &&
               inputRepeats == o.inputRepeats && outputRowNo == o.outputRowNo;
    }
};

// QVCorrection2 read a null source line (and would have written through a
// null destination): every path now refuses both before it does anything,
// and the conversion goes on normally with real lines.
TEST(Regressions, Correction2RefusesNullLines) {
    constexpr uint16_t kWidth = 50;
    const uint16_t modes[] = {QV_MODE_TONE, QV_MODE_SHARPEN, QV_MODE_DENOISE, QV_MODE_BYTE_TABLE};
    for (const uint16_t mode : modes) {
        SCOPED_TRACE(mode);
        ScopedContext ctx;
        ASSERT_EQ(QVInitImageConversion(ctx.handle(), kWidth, 6, 0, 0, 0, mode), QV_RESULT_OK);
        const std::vector<PixelLine> picture = SmoothPicture(6, kWidth, 3);
        PixelLine out(picture[0].size(), 0xCD);
        const ConversionState before = ConversionState::Of(ctx.context());

        EXPECT_EQ(QVCorrection2(ctx.handle(), nullptr, out.data(), kWidth, 3, QV_PIXEL_RGB, 0, 0),
                  kFailed);
        EXPECT_EQ(
            QVCorrection2(ctx.handle(), picture[0].data(), nullptr, kWidth, 3, QV_PIXEL_RGB, 0, 0),
            kFailed);
        EXPECT_EQ(QVCorrection2(ctx.handle(), nullptr, nullptr, 0, 3, QV_PIXEL_RGB, 0, 0), kFailed);
        EXPECT_TRUE(ConversionState::Of(ctx.context()) == before);
        EXPECT_EQ(out, PixelLine(picture[0].size(), 0xCD));

        const uint16_t first = QVCorrection2(ctx.handle(), picture[0].data(), out.data(), kWidth, 3,
                                             QV_PIXEL_RGB, 0, 0);
        EXPECT_NE(first, kFailed);
        EXPECT_EQ(QVTerminateImageConversion(ctx.handle()), QV_RESULT_OK);
    }
}

// QVCorrection's copy path handed a null source to the byte copy for a line
// of no pixels (which the interface allows), an undefined call even for no
// bytes. An empty run now copies and maps nothing, whatever its pointers.
TEST(Regressions, EmptyLinesTouchNoPointer) {
    for (const uint32_t mode : {0u, uint32_t{QV_MODE_BYTE_TABLE}}) {
        SCOPED_TRACE(mode);
        ScopedContext ctx;
        ASSERT_EQ(QVExtension(ctx.handle(), mode, nullptr, nullptr, 0), QV_RESULT_OK);
        test::SetIdentityCorrection(ctx.context(), 5001);
        PixelLine source = {1, 2, 3, 4, 5, 6};
        PixelLine destination(6, 0xCD);
        EXPECT_EQ(QVCorrection(ctx.handle(), nullptr, destination.data(), 0, 1, 3, QV_PIXEL_RGB),
                  QV_RESULT_OK);
        // A step of 0 puts every pixel on the first: a run of no bytes.
        EXPECT_EQ(
            QVCorrection(ctx.handle(), source.data(), destination.data(), 2, 1, 0, QV_PIXEL_RGB),
            QV_RESULT_OK);
        EXPECT_EQ(destination, PixelLine(6, 0xCD));
    }
}

}  // namespace
}  // namespace voved
