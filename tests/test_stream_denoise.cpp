// The noise-filter pipeline through the public entry points: the result
// sequences and whole pictures against a row-by-row model of the filters.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "correct/shared_steps.h"
#include "correct/stream_correction.h"
#include "filters/chroma_denoise.h"
#include "pixels/pixels.h"
#include "stream/line_steps.h"
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
using test::ScopedContext;
using test::SmoothPicture;
using test::StreamArgs;
using test::StreamRun;

using Results = std::vector<uint16_t>;
using Row = std::vector<int16_t>;

// A smooth picture with a little colour noise, so that the filters smooth
// most pixels and leave some.
PixelPicture NoisyPicture(int lines, int width, int step, uint32_t seed) {
    PixelPicture picture = SmoothPicture(lines, width, step);
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> noise(-6, 6);
    for (PixelLine& line : picture) {
        for (std::size_t i = 0; i < line.size(); ++i) {
            if (i % static_cast<std::size_t>(step) < 3) {
                line[i] = static_cast<uint8_t>(std::clamp(line[i] + noise(random), 0, 255));
            }
        }
    }
    return picture;
}

// Filters row j of the picture's rows in place of the pipeline: the rows
// that exist around it, nearest first, as each row's position asks.
void FilterRowModel(std::vector<Row>& rows, int j, uint16_t n, int16_t level, int16_t* out) {
    const int m = static_cast<int>(rows.size());
    const auto r = [&](int k) { return rows[static_cast<std::size_t>(k)].data(); };
    if (m <= 1) {
        ChromaDenoise1(n, level, out, r(0));
    } else if (m == 2) {
        ChromaDenoise2(n, level, out, r(j), r(1 - j));
    } else if (m == 3) {
        const int a = j == 0 ? 1 : (j == 1 ? 0 : 1);
        const int b = j == 0 ? 2 : (j == 1 ? 2 : 0);
        ChromaDenoise3(n, level, out, r(j), r(a), r(b));
    } else if (j == 0) {
        ChromaDenoise3(n, level, out, r(0), r(1), r(2));
    } else if (j == m - 1) {
        ChromaDenoise3(n, level, out, r(j), r(j - 1), r(j - 2));
    } else if (m == 4) {
        ChromaDenoise4(n, level, out, r(j), r(j == 1 ? 0 : 1), r(j == 1 ? 2 : 3),
                       r(j == 1 ? 3 : 0));
    } else if (j == 1) {
        ChromaDenoise4(n, level, out, r(1), r(2), r(0), r(3));
    } else if (j == m - 2) {
        ChromaDenoise4(n, level, out, r(j), r(j - 1), r(j + 1), r(j - 2));
    } else {
        ChromaDenoise5(n, level, out, r(j), r(j - 2), r(j - 1), r(j + 1), r(j + 2));
    }
}

// The picture a noise-filter conversion delivers: every line converted,
// filtered in order (later rows see the colour written back into earlier
// ones), then corrected or packed, then mapped through the byte table.
PixelPicture Model(const PixelPicture& picture, const QVContext& c, const StreamArgs& a) {
    const int m = static_cast<int>(picture.size());
    const uint16_t n = a.pixelCount;
    std::vector<Row> rows(picture.size(), Row(3u * n));
    for (std::size_t i = 0; i < picture.size(); ++i) {
        PixelsToWorkLine(picture[i].data(), rows[i].data(), n, a.step, a.layout);
    }
    PixelPicture delivered;
    for (int j = 0; j < m; ++j) {
        Row out(3u * n);
        FilterRowModel(rows, j, n, c.highlightLevel, out.data());
        // The caller's line at the step that delivers row j.
        const int presented = std::min(m <= 2 ? j + m - 1 : j + 2, m - 1);
        PixelLine pixels(static_cast<std::size_t>(n) * static_cast<std::size_t>(a.step),
                         test::kUnwritten);
        if ((c.mode & QV_MODE_CORRECT) != 0) {
            CorrectFromWorkLine(&c, picture[static_cast<std::size_t>(presented)].data(),
                                pixels.data(), out.data(), n, a.step, a.layout);
        } else {
            PackLine(out.data(), pixels.data(), n, a.step, a.layout);
        }
        if ((c.mode & QV_MODE_BYTE_TABLE) != 0) {
            ApplyToneTable(&c, pixels.data(), pixels.data(), n, a.step);
        }
        delivered.push_back(pixels);
    }
    return delivered;
}

// Opens a noise-filter conversion on a context prepared by `prepare`,
// drives it and checks the picture against the model.
template <typename Prepare>
StreamRun FilterAndCheck(const PixelPicture& picture, const StreamArgs& a, uint16_t mode,
                         Prepare prepare) {
    ScopedContext ctx;
    prepare(ctx.context());
    EXPECT_EQ(QVInitImageConversion(ctx.handle(), a.pixelCount,
                                    static_cast<uint16_t>(picture.size()), 0, 0, 0, mode),
              0);
    const StreamRun run = DriveConversion(ctx.handle(), picture, a);
    EXPECT_TRUE(run.completed);
    const PixelPicture expected = Model(picture, ctx.context(), a);
    EXPECT_EQ(run.delivered.size(), picture.size());
    EXPECT_EQ(run.delivered, expected);
    EXPECT_EQ(QVTerminateImageConversion(ctx.handle()), 0);
    return run;
}

StreamRun FilterAndCheck(const PixelPicture& picture, const StreamArgs& a) {
    return FilterAndCheck(picture, a, QV_MODE_DENOISE, [](QVContext&) {});
}

TEST(DenoisePath, SixLines) {
    const StreamRun run = FilterAndCheck(NoisyPicture(6, 24, 3, 1), {24, 3, QV_PIXEL_RGB});
    EXPECT_EQ(run.results, (Results{1, 1, 3, 3, 3, 3, 2, 6}));
}

TEST(DenoisePath, ShortPicturesFollowTheirSchedules) {
    struct Case {
        int lines;
        Results results;
    };
    const Case cases[] = {
        {1, {6}},
        {2, {1, 2, 6}},
        {3, {1, 1, 2, 2, 6}},
        {4, {1, 1, 3, 2, 2, 6}},
        {5, {1, 1, 3, 3, 3, 2, 6}},
    };
    for (const Case& c : cases) {
        const PixelPicture picture = NoisyPicture(c.lines, 20, 4, static_cast<uint32_t>(c.lines));
        const StreamRun run = FilterAndCheck(picture, {20, 4, QV_PIXEL_BGR});
        EXPECT_EQ(run.results, c.results) << c.lines << " lines";
    }
}

TEST(DenoisePath, EveryHeightMatchesTheModel) {
    const uint16_t kWidths[] = {1, 3, 4, 5, 9, 40};
    for (int lines = 1; lines <= 14; ++lines) {
        for (uint16_t width : kWidths) {
            const PixelPicture picture =
                NoisyPicture(lines, width, 3, static_cast<uint32_t>(lines));
            FilterAndCheck(picture, {width, 3, QV_PIXEL_RGB});
            if (testing::Test::HasFailure()) {
                FAIL() << lines << " lines of " << width;
            }
        }
    }
}

TEST(DenoisePath, TheFiltersSmoothTheColour) {
    // Not a restatement of the model: the delivered picture differs from the
    // plain conversion of its lines.
    const PixelPicture picture = NoisyPicture(8, 32, 3, 5);
    ScopedContext ctx;
    ASSERT_EQ(QVInitImageConversion(ctx.handle(), 32, 8, 0, 0, 0, QV_MODE_DENOISE), 0);
    const StreamRun run = DriveConversion(ctx.handle(), picture, {32, 3, QV_PIXEL_RGB});
    int changed = 0;
    for (std::size_t y = 0; y < picture.size(); ++y) {
        Row row(3 * 32);
        PixelsToWorkLine(picture[y].data(), row.data(), 32, 3, QV_PIXEL_RGB);
        PixelLine plain(96);
        PackLine(row.data(), plain.data(), 32, 3, QV_PIXEL_RGB);
        changed += plain != run.delivered[y] ? 1 : 0;
    }
    EXPECT_GE(changed, 6);
    QVTerminateImageConversion(ctx.handle());
}

TEST(DenoisePath, HighlightLevelReachesTheFilters) {
    // Luminance around 150: above the limit of level 121, below the usual one.
    PixelPicture picture = NoisyPicture(7, 16, 3, 9);
    for (PixelLine& line : picture) {
        for (uint8_t& b : line) {
            b = static_cast<uint8_t>(b + 60);
        }
    }
    const auto low = [](QVContext& c) { c.highlightLevel = 121; };
    const StreamRun limited = FilterAndCheck(picture, {16, 3, QV_PIXEL_RGB}, QV_MODE_DENOISE, low);
    const StreamRun plain = FilterAndCheck(picture, {16, 3, QV_PIXEL_RGB});
    EXPECT_NE(limited.delivered, plain.delivered);
}

TEST(DenoisePath, CorrectedAndMappedOnTheWayOut) {
    const PixelPicture picture = NoisyPicture(7, 12, 4, 13);
    const auto prepare = [](QVContext& c) {
        test::SetIdentityCorrection(c, 5002);
        c.colourMatrix[0] = 1200;
        for (int i = 0; i < 256; ++i) {
            c.toneTable[i] = static_cast<uint8_t>(i / 2 + 64);
        }
    };
    FilterAndCheck(picture, {12, 4, QV_PIXEL_BGR},
                   QV_MODE_DENOISE | QV_MODE_CORRECT | QV_MODE_BYTE_TABLE, prepare);
    const auto perChannel = [](QVContext& c) {
        test::SetIdentityCorrection(c, 5003);
        for (int i = 0; i < 300; ++i) {
            c.toneCurve[i] = static_cast<int16_t>(255 - i);
        }
    };
    FilterAndCheck(picture, {12, 4, QV_PIXEL_BGR}, QV_MODE_DENOISE | QV_MODE_CORRECT, perChannel);
}

TEST(DenoisePath, ALineFilteredAloneIsStillDelivered) {
    // The second line differs too much from the first: its filter answers -3.
    PixelPicture picture{PixelLine(60, 20), PixelLine(60, 200)};
    const StreamRun run = FilterAndCheck(picture, {20, 3, QV_PIXEL_RGB});
    EXPECT_EQ(run.results, (Results{1, 2, 6}));
}

TEST(DenoisePath, AnEmptyLineFailsTheFilterStep) {
    ScopedContext ctx;
    ASSERT_EQ(QVInitImageConversion(ctx.handle(), 4, 3, 0, 0, 0, QV_MODE_DENOISE), 0);
    PixelLine in(12, 7), out(12, 0);
    for (int call = 0; call < 2; ++call) {
        EXPECT_EQ(QVCorrection2(ctx.handle(), in.data(), out.data(), 0, 3, 3, 0, 0), QV_STEP_TAKEN);
    }
    EXPECT_EQ(QVCorrection2(ctx.handle(), in.data(), out.data(), 0, 3, 3, 0, 0), QV_STEP_FAILED);
    EXPECT_EQ(ctx->lineStep, 2) << "the failing step does not advance";
    QVTerminateImageConversion(ctx.handle());
}

TEST(DenoisePath, AFailedCorrectionStopsTheStep) {
    ScopedContext ctx;
    ctx->correctionType = 5001;  // parameters never derived
    ASSERT_EQ(QVInitImageConversion(ctx.handle(), 4, 2, 0, 0, 0,
                                    static_cast<uint16_t>(QV_MODE_DENOISE | QV_MODE_CORRECT)),
              0);
    PixelLine in(12, 7), out(12, 0);
    EXPECT_EQ(QVCorrection2(ctx.handle(), in.data(), out.data(), 4, 3, 3, 0, 0), QV_STEP_TAKEN);
    EXPECT_EQ(QVCorrection2(ctx.handle(), in.data(), out.data(), 4, 3, 3, 0, 0), QV_STEP_FAILED);
    EXPECT_EQ(ctx->lineStep, 1);
    QVTerminateImageConversion(ctx.handle());
}

TEST(DenoisePath, ASingleLineIsFilteredAtEveryCall) {
    ScopedContext ctx;
    ASSERT_EQ(QVInitImageConversion(ctx.handle(), 10, 1, 0, 0, 0, QV_MODE_DENOISE), 0);
    const PixelPicture a = NoisyPicture(1, 10, 3, 1);
    const PixelPicture b = NoisyPicture(1, 10, 3, 2);
    PixelLine outA(30, 0), outB(30, 0);
    EXPECT_EQ(QVCorrection2(ctx.handle(), a[0].data(), outA.data(), 10, 3, 3, 0, 0), 6);
    EXPECT_EQ(QVCorrection2(ctx.handle(), b[0].data(), outB.data(), 10, 3, 3, 0, 0), 6);
    const PixelPicture expectedA = Model(a, ctx.context(), {10, 3, QV_PIXEL_RGB});
    const PixelPicture expectedB = Model(b, ctx.context(), {10, 3, QV_PIXEL_RGB});
    EXPECT_EQ(outA, expectedA[0]);
    EXPECT_EQ(outB, expectedB[0]);
    EXPECT_EQ(ctx->lineStep, 0);
    QVTerminateImageConversion(ctx.handle());
}

TEST(DenoisePath, CallsAfterTheLastAnswerFailAndChangeNothing) {
    for (int lines : {2, 3, 4, 9}) {
        ScopedContext ctx;
        ASSERT_EQ(QVInitImageConversion(ctx.handle(), 8, static_cast<uint16_t>(lines), 0, 0, 0,
                                        QV_MODE_DENOISE),
                  0);
        const PixelPicture picture = NoisyPicture(lines, 8, 3, 3);
        ASSERT_TRUE(DriveConversion(ctx.handle(), picture, {8, 3, QV_PIXEL_RGB}).completed);
        const QVContext before = ctx.context();
        PixelLine out(24, 0x42);
        EXPECT_EQ(QVCorrection2(ctx.handle(), picture.back().data(), out.data(), 8, 3, 3, 0, 0),
                  QV_STEP_FAILED)
            << lines;
        EXPECT_EQ(std::memcmp(&before, &ctx.context(), sizeof before), 0);
        EXPECT_EQ(out, PixelLine(24, 0x42));
        QVTerminateImageConversion(ctx.handle());
    }
}

TEST(DenoisePath, Layout555TurnsTheFilterOffForTheRestOfTheConversion) {
    ScopedContext ctx;
    test::SetIdentityCorrection(ctx.context(), 5003);
    ASSERT_EQ(QVInitImageConversion(ctx.handle(), 2, 3, 0, 0, 0,
                                    static_cast<uint16_t>(QV_MODE_DENOISE | QV_MODE_CORRECT)),
              0);
    PixelLine in{0x10, 0x42, 0xFF, 0x7F}, out(4, 0);
    EXPECT_EQ(QVCorrection2(ctx.handle(), in.data(), out.data(), 2, 2, QV_PIXEL_RGB555, 0, 0), 3)
        << "corrected through the pass-through path";
    EXPECT_EQ(ctx->mode, QV_MODE_CORRECT);
    EXPECT_EQ(ReadWord(&out[0]), 0x4210);
    EXPECT_EQ(ReadWord(&out[2]), 0x7FFF);
    QVTerminateImageConversion(ctx.handle());
}

}  // namespace
}  // namespace voved
