// The sharpening pipeline through the public entry points: the result
// sequences, the line mapping on both sides, and whole pictures against a
// row-by-row model of the same arithmetic.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "correct/stream_correction.h"
#include "filters/sharpen_luma.h"
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
using test::FlatPicture;
using test::PixelLine;
using test::PixelPicture;
using test::RandomPicture;
using test::ScopedContext;
using test::SmoothPicture;
using test::StreamArgs;
using test::StreamRun;

using Results = std::vector<uint16_t>;
using Row = std::vector<int16_t>;

struct Options {
    int16_t level = 0;
    bool tone = false;
    int16_t hue = 0;
    bool normalise = true;               // take the gain out of the sharpened line
    const QVContext* correct = nullptr;  // read rows through the correction
};

struct Strength {
    int16_t s;
    int16_t g;
};
Strength StrengthOf(int16_t level) {
    switch (level) {
    case -1:
        return {25, 1};
    case 1:
        return {27, 3};
    case 2:
        return {28, 4};
    case 3:
        return {29, 5};
    default:
        return {26, 2};
    }
}

// Sharpens row j of n rows with the rows around it, as each row's position
// in the picture asks.
void SharpenRowModel(const std::vector<Row>& rows, int j, uint16_t width, int16_t s, int16_t* out) {
    const int n = static_cast<int>(rows.size());
    const auto r = [&](int k) { return rows[static_cast<std::size_t>(k)].data(); };
    if (n <= 1) {
        SharpenLuma1(width, s, r(0), out);
    } else if (n == 2) {
        SharpenLuma2(width, s, r(j), r(1 - j), out);
    } else if (n == 3) {
        SharpenLuma3(width, s, r(j), r((j + 1) % 3), r((j + 2) % 3), out);
    } else if (j == 0) {
        SharpenLuma3(width, s, r(0), r(1), r(2), out);
    } else if (j == 1) {
        SharpenLuma4(width, s, r(1), r(0), r(2), r(3), out);
    } else if (j == n - 1) {
        SharpenLuma3(width, s, r(j), r(j - 2), r(j - 1), out);
    } else if (j == n - 2) {
        SharpenLuma4(width, s, r(j), r(j - 2), r(j - 1), r(j + 1), out);
    } else {
        SharpenLuma5(width, s, r(j - 2), r(j - 1), r(j), r(j + 1), r(j + 2), out);
    }
}

// The picture a sharpening conversion of workWidth x workLines delivers:
// caller line i makes the working rows floor(N i / M) .. floor(N (i+1) / M)
// - 1, every row is sharpened, and row j is delivered floor(M (j+1) / N) -
// floor(M j / N) times.
PixelPicture Model(const PixelPicture& picture, uint16_t workWidth, uint16_t workLines,
                   const StreamArgs& a, const Options& o) {
    const uint32_t m = static_cast<uint32_t>(picture.size());
    const uint32_t n = workLines;
    std::vector<Row> rows(n, Row(3u * workWidth));
    for (uint32_t i = 0; i < m; ++i) {
        for (uint32_t j = n * i / m; j < n * (i + 1) / m; ++j) {
            if (o.correct != nullptr) {
                CorrectToWorkLine(o.correct, picture[i].data(), rows[j].data(), a.pixelCount,
                                  a.step, a.layout);
            } else {
                UnpackScaledLine(picture[i].data(), rows[j].data(), a.pixelCount, workWidth, a.step,
                                 a.layout);
            }
        }
    }
    const Strength k = StrengthOf(a.sharpenLevel);
    PixelPicture delivered;
    for (uint32_t j = 0; j < n; ++j) {
        Row out(3u * workWidth);
        SharpenRowModel(rows, static_cast<int>(j), workWidth, k.s, out.data());
        CopyScaledChroma(rows[j].data(), out.data(), workWidth, k.g);
        if (o.normalise) {
            RemoveSharpenGain(out.data(), workWidth, k.g);
        }
        if (o.tone) {
            ToneWorkLine(out.data(), workWidth, a.toneHue);
        }
        PixelLine pixels(static_cast<std::size_t>(a.pixelCount) * static_cast<std::size_t>(a.step),
                         test::kUnwritten);
        PackScaledLine(out.data(), pixels.data(), workWidth, a.pixelCount, a.step, a.layout);
        for (uint32_t t = m * j / n; t < m * (j + 1) / n; ++t) {
            delivered.push_back(pixels);
        }
    }
    return delivered;
}

struct Conversion {
    uint16_t outputWidth = 0;
    int16_t scale = 0;
    uint16_t extraModes = 0;
};

// Opens a sharpening conversion, drives it and checks the delivered picture
// against the model; returns the run.
StreamRun SharpenAndCheck(const PixelPicture& picture, const StreamArgs& a, const Conversion& c,
                          const Options& o = {}) {
    ScopedContext ctx;
    if (o.correct != nullptr) {
        std::memcpy(&ctx.context(), o.correct, sizeof(QVContext));
    }
    const auto lines = static_cast<uint16_t>(picture.size());
    const auto mode = static_cast<uint16_t>(QV_MODE_SHARPEN | c.extraModes);
    EXPECT_EQ(
        QVInitImageConversion(ctx.handle(), a.pixelCount, lines, c.outputWidth, 0, c.scale, mode),
        0);
    const StreamRun run = DriveConversion(ctx.handle(), picture, a);
    EXPECT_TRUE(run.completed);
    EXPECT_EQ(run.delivered.size(), picture.size()) << "as many lines out as in";
    const PixelPicture expected = Model(picture, ctx->workWidth, ctx->workLines, a, o);
    EXPECT_EQ(run.delivered.size(), expected.size());
    for (std::size_t y = 0; y < run.delivered.size() && y < expected.size(); ++y) {
        EXPECT_EQ(run.delivered[y], expected[y]) << "output line " << y;
    }
    EXPECT_EQ(QVTerminateImageConversion(ctx.handle()), 0);
    return run;
}

TEST(SharpenPath, SevenLinesWithoutResampling) {
    const PixelPicture picture = RandomPicture(7, 9, 3, 1);
    const StreamRun run = SharpenAndCheck(picture, {9, 3, QV_PIXEL_RGB}, {});
    EXPECT_EQ(run.results, (Results{1, 1, 3, 3, 3, 3, 2, 2, 6}));
}

TEST(SharpenPath, ThreeLinesEnlargedByTwo) {
    const PixelPicture picture = RandomPicture(3, 8, 3, 2);
    // Resolution 8 x 150 / 8 = 150: six working rows of 16 samples.
    const StreamRun run = SharpenAndCheck(picture, {8, 3, QV_PIXEL_BGR}, {8, 150});
    EXPECT_EQ(run.results, (Results{16, 1, 16, 3, 16, 2, 16, 6}));
    EXPECT_EQ(run.presented, (std::vector<int>{0, 0, 1, 1, 2, 2, 2, 2}));
}

TEST(SharpenPath, SixLinesReducedByTwo) {
    const PixelPicture picture = RandomPicture(6, 8, 4, 3);
    const StreamRun run = SharpenAndCheck(picture, {8, 4, QV_PIXEL_BGR}, {8, 800});
    EXPECT_EQ(run.results, (Results{1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 6}));
    EXPECT_EQ(run.delivered[0], run.delivered[1]) << "each row delivered twice";
    EXPECT_EQ(run.delivered[4], run.delivered[5]);
}

TEST(SharpenPath, ShortPicturesFollowTheirSchedules) {
    struct Case {
        int lines;
        Results results;
    };
    const Case cases[] = {
        {1, {6}},
        {2, {1, 2, 6}},
        {3, {1, 1, 2, 2, 6}},
        {4, {1, 1, 3, 2, 2, 6}},
        {5, {1, 1, 3, 3, 2, 2, 6}},
    };
    for (const Case& c : cases) {
        const PixelPicture picture = RandomPicture(c.lines, 6, 3, static_cast<uint32_t>(c.lines));
        const StreamRun run = SharpenAndCheck(picture, {6, 3, QV_PIXEL_RGB}, {});
        EXPECT_EQ(run.results, c.results) << c.lines << " lines";
    }
}

TEST(SharpenPath, EverySizeAndScaleMatchesTheModel) {
    const int16_t scales[] = {100, 150, 250, 500, 800, 1000, 1500};
    for (int lines = 1; lines <= 13; ++lines) {
        for (int16_t scale : scales) {
            const PixelPicture picture =
                RandomPicture(lines, 7, 3, static_cast<uint32_t>(lines * 1000 + scale));
            SharpenAndCheck(picture, {7, 3, QV_PIXEL_RGB, 0, 1}, {7, scale});
            if (testing::Test::HasFailure()) {
                FAIL() << lines << " lines at resolution " << scale;
            }
        }
    }
}

TEST(SharpenPath, NarrowerCallerLinesAndThe555Layout) {
    // Lines of 5 pixels in a conversion opened for 7; 5-5-5 words.
    const PixelPicture picture = RandomPicture(8, 5, 2, 9);
    ScopedContext ctx;
    ASSERT_EQ(QVInitImageConversion(ctx.handle(), 7, 8, 7, 0, 150, QV_MODE_SHARPEN), 0);
    const StreamArgs a{5, 2, QV_PIXEL_RGB555, 0, 2};
    const StreamRun run = DriveConversion(ctx.handle(), picture, a);
    ASSERT_TRUE(run.completed);
    const PixelPicture expected = Model(picture, ctx->workWidth, ctx->workLines, a, {});
    EXPECT_EQ(run.delivered, expected);
    for (const PixelLine& line : run.delivered) {
        for (std::size_t p = 0; p < line.size(); p += 2) {
            EXPECT_EQ(ReadWord(&line[p]) & kBit15, 0);
        }
    }
    QVTerminateImageConversion(ctx.handle());
}

TEST(SharpenPath, TonedAfterSharpening) {
    const PixelPicture picture = RandomPicture(6, 6, 3, 4);
    Options o;
    o.tone = true;
    SharpenAndCheck(picture, {6, 3, QV_PIXEL_RGB, 200, 0}, {6, 800, QV_MODE_TONE}, o);
    SharpenAndCheck(picture, {6, 3, QV_PIXEL_RGB, -1, 0}, {0, 0, QV_MODE_TONE}, o);
}

TEST(SharpenPath, CorrectedRowsComeStraightFromTheCallersLines) {
    ScopedContext params;
    test::SetIdentityCorrection(params.context(), 5003);
    for (int i = 0; i < 300; ++i) {
        params->toneCurve[i] = static_cast<int16_t>(255 - i / 2);
    }
    Options o;
    o.correct = &params.context();
    const PixelPicture picture = RandomPicture(6, 5, 3, 8);
    // The correction forbids resampling whatever the resolution.
    SharpenAndCheck(picture, {5, 3, QV_PIXEL_RGB}, {5, 150, QV_MODE_CORRECT}, o);
}

TEST(SharpenPath, AFailingReadStopsBeforeTheStepAdvances) {
    ScopedContext ctx;
    ASSERT_EQ(QVInitImageConversion(ctx.handle(), 4, 5, 0, 0, 0,
                                    static_cast<uint16_t>(QV_MODE_SHARPEN | QV_MODE_CORRECT)),
              0);
    PixelLine in(12, 50), out(12, 0);
    EXPECT_EQ(QVCorrection2(ctx.handle(), in.data(), out.data(), 4, 3, 3, 0, 0), QV_STEP_FAILED)
        << "parameters never derived";
    EXPECT_EQ(ctx->lineStep, 0);
    EXPECT_EQ(ctx->inputLineNo, 2) << "the input side had already mapped the line";
    EXPECT_EQ(ctx->outputRowNo, 1);
    QVTerminateImageConversion(ctx.handle());
}

TEST(SharpenPath, RingPhaseFollowsTheSteps) {
    ScopedContext ctx;
    ASSERT_EQ(QVInitImageConversion(ctx.handle(), 4, 7, 0, 0, 0, QV_MODE_SHARPEN), 0);
    const PixelPicture picture = RandomPicture(7, 4, 3, 6);
    const int16_t expected[] = {1, 1, 2, 3, 4, 5, 1, 2, 2};  // after steps 0 .. 8
    std::size_t line = 0;
    PixelLine out(12, 0);
    for (int16_t phase : expected) {
        const uint16_t r =
            QVCorrection2(ctx.handle(), picture[line].data(), out.data(), 4, 3, QV_PIXEL_RGB, 0, 0);
        EXPECT_EQ(ctx->ringPhase, phase) << "after step " << ctx->lineStep;
        if ((r & QV_STEP_TAKEN) != 0 && line + 1 < picture.size()) {
            ++line;
        }
    }
    QVTerminateImageConversion(ctx.handle());
}

TEST(SharpenPath, CallsAfterTheLastAnswerFailAndChangeNothing) {
    const int16_t kScales[] = {0, 800};
    for (int lines : {1, 3, 4, 7}) {
        for (int16_t scale : kScales) {
            ScopedContext ctx;
            ASSERT_EQ(QVInitImageConversion(ctx.handle(), 6, static_cast<uint16_t>(lines), 6, 0,
                                            scale, QV_MODE_SHARPEN),
                      0);
            const PixelPicture picture = RandomPicture(lines, 6, 3, 12);
            const StreamRun run = DriveConversion(ctx.handle(), picture, {6, 3, QV_PIXEL_RGB});
            ASSERT_TRUE(run.completed);
            const QVContext before = ctx.context();
            PixelLine out(18, 0x42);
            EXPECT_EQ(QVCorrection2(ctx.handle(), picture.back().data(), out.data(), 6, 3,
                                    QV_PIXEL_RGB, 0, 0),
                      QV_STEP_FAILED)
                << lines << " lines, scale " << scale;
            EXPECT_EQ(std::memcmp(&before, &ctx.context(), sizeof before), 0);
            EXPECT_EQ(out, PixelLine(18, 0x42));
            QVTerminateImageConversion(ctx.handle());
            ASSERT_EQ(QVInitImageConversion(ctx.handle(), 6, static_cast<uint16_t>(lines), 6, 0,
                                            scale, QV_MODE_SHARPEN),
                      0);
            EXPECT_TRUE(DriveConversion(ctx.handle(), picture, {6, 3, QV_PIXEL_RGB}).completed)
                << "a new conversion starts afresh";
            QVTerminateImageConversion(ctx.handle());
        }
    }
}

// ---- Strength and gain ------------------------------------------------------

TEST(SharpenStrength, LevelSevenIsLevelZero) {
    const PixelPicture picture = RandomPicture(6, 6, 3, 21);
    const StreamRun seven = SharpenAndCheck(picture, {6, 3, QV_PIXEL_RGB, 0, 7}, {});
    const StreamRun zero = SharpenAndCheck(picture, {6, 3, QV_PIXEL_RGB, 0, 0}, {});
    const StreamRun one = SharpenAndCheck(picture, {6, 3, QV_PIXEL_RGB, 0, 1}, {});
    EXPECT_EQ(seven.delivered, zero.delivered);
    EXPECT_NE(one.delivered, zero.delivered);
}

// The picture as the working-line transforms alone give it back.
PixelPicture RoundTrip(const PixelPicture& picture, uint16_t width, int16_t step, int16_t layout) {
    PixelPicture back = picture;
    Row row(3u * width);
    for (PixelLine& line : back) {
        UnpackScaledLine(line.data(), row.data(), width, width, step, layout);
        PackLine(row.data(), line.data(), width, step, layout);
    }
    return back;
}

TEST(SharpenStrength, FlatPicturesComeBackUnchangedAtEveryLevel) {
    const int16_t kLevels[] = {-1, 0, 1, 2, 3, 7, -9};
    const int16_t kScales[] = {0, 100, 800};
    const PixelPicture grey = FlatPicture(7, 9, 4, 120, 120, 120);
    // A colour whose green the inverse transform gives back one lower.
    const PixelPicture colour = FlatPicture(7, 9, 4, 200, 40, 90);
    const PixelPicture colourBack = RoundTrip(colour, 9, 4, QV_PIXEL_BGR);
    ASSERT_NE(colourBack, colour);
    for (int16_t level : kLevels) {
        for (int16_t scale : kScales) {
            for (const PixelPicture* picture : {&grey, &colour}) {
                ScopedContext ctx;
                ASSERT_EQ(QVInitImageConversion(ctx.handle(), 9, 7, 9, 0, scale, QV_MODE_SHARPEN),
                          0);
                const StreamRun run =
                    DriveConversion(ctx.handle(), *picture, {9, 4, QV_PIXEL_BGR, 0, level});
                ASSERT_TRUE(run.completed);
                PixelPicture expected = picture == &grey ? grey : colourBack;
                for (PixelLine& line : expected) {
                    for (std::size_t p = 3; p < line.size(); p += 4) {
                        line[p] = test::kUnwritten;
                    }
                }
                EXPECT_EQ(run.delivered, expected) << "level " << level << " scale " << scale;
                QVTerminateImageConversion(ctx.handle());
            }
        }
    }
}

TEST(SharpenStrength, TheStrongestLevelKeepsTheUnscaledArithmetic) {
    const PixelPicture picture = RandomPicture(8, 10, 3, 31);
    Options raw;
    raw.normalise = false;
    SharpenAndCheck(picture, {10, 3, QV_PIXEL_RGB, 0, -1}, {}, raw);
    // The other levels would carry their gain without the normalisation.
    const PixelPicture unscaled = Model(picture, 10, 8, {10, 3, QV_PIXEL_RGB, 0, 0}, raw);
    ScopedContext ctx;
    ASSERT_EQ(QVInitImageConversion(ctx.handle(), 10, 8, 0, 0, 0, QV_MODE_SHARPEN), 0);
    const StreamRun run = DriveConversion(ctx.handle(), picture, {10, 3, QV_PIXEL_RGB, 0, 0});
    EXPECT_NE(run.delivered, unscaled);
    QVTerminateImageConversion(ctx.handle());
}

// Mean absolute Laplacian of the luminance over the inner pixels.
double Roughness(const PixelPicture& picture, int width) {
    const auto luma = [&](int x, int y) {
        const uint8_t* p = &picture[static_cast<std::size_t>(y)][static_cast<std::size_t>(3 * x)];
        return Luma(p[0], p[1], p[2]);
    };
    double sum = 0;
    int count = 0;
    for (int y = 1; y + 1 < static_cast<int>(picture.size()); ++y) {
        for (int x = 1; x + 1 < width; ++x) {
            sum += std::abs(4 * luma(x, y) - luma(x - 1, y) - luma(x + 1, y) - luma(x, y - 1) -
                            luma(x, y + 1));
            ++count;
        }
    }
    return sum / count;
}

TEST(SharpenStrength, ASoftPictureComesBackSharper) {
    const PixelPicture picture = SmoothPicture(16, 40, 3);
    const double before = Roughness(picture, 40);
    double previous = 1e9;
    const int16_t kLevels[] = {-1, 0, 1, 2, 3};
    for (int16_t level : kLevels) {
        ScopedContext ctx;
        ASSERT_EQ(QVInitImageConversion(ctx.handle(), 40, 16, 0, 0, 0, QV_MODE_SHARPEN), 0);
        const StreamRun run =
            DriveConversion(ctx.handle(), picture, {40, 3, QV_PIXEL_RGB, 0, level});
        ASSERT_TRUE(run.completed);
        const double after = Roughness(run.delivered, 40);
        EXPECT_GT(after, 1.5 * before) << "level " << level;
        EXPECT_LT(after, previous) << "each level is gentler than the one before";
        previous = after;
        QVTerminateImageConversion(ctx.handle());
    }
}

}  // namespace
}  // namespace voved
