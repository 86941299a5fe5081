// Each optimised loop against its plain form: the same bytes and result
// codes on random lines of every width class and value range.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "voved32.h"

#include "context/context.h"
#include "filters/chroma_denoise.h"
#include "platform/plain_paths.h"
#include "support/stream_driver.h"

namespace voved {
namespace {

// Widths around every boundary of the loops: lines too short for the
// interior, for one group of lanes, chunk edges, odd tails, the largest.
constexpr uint16_t kWidths[] = {1, 2, 3, 4, 5, 6, 11, 12, 13, 17, 263, 258, 515, 4001, 65535};

uint32_t Next(uint32_t* state) {
    uint32_t x = *state;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    *state = x;
    return x;
}

// How the samples of a line are drawn: a smooth base with noise of a given
// size, so that flat stretches, edges and bright pixels all occur, and full
// 16-bit noise for the wrap-arounds.
struct Range {
    const char* name;
    int32_t lumaNoise;
    int32_t colourNoise;
    int32_t colourSpan;  // absolute bound of the colour base
};
constexpr Range kRanges[] = {
    {"flat", 2, 3, 60},
    {"pixel-like", 12, 40, 255},
    {"beyond pixels", 30, 300, 600},
    {"full 16 bits", 32768, 32768, 0},
};

int16_t Draw(uint32_t* state, int32_t base, int32_t noise) {
    const int32_t spread = static_cast<int32_t>(Next(state) % (2u * noise + 1)) - noise;
    return static_cast<int16_t>(static_cast<uint16_t>(base + spread));
}

std::vector<int16_t> RandomLine(uint32_t* state, uint16_t n, const Range& r,
                                const std::vector<int16_t>* like) {
    std::vector<int16_t> line(3u * n);
    int32_t y = 140;
    int32_t dr = 0;
    int32_t db = 0;
    for (uint32_t i = 0; i < n; ++i) {
        if (Next(state) % 97 == 0) {
            y = static_cast<int32_t>(Next(state) % 280);
            dr = r.colourSpan == 0
                     ? 0
                     : static_cast<int32_t>(Next(state) % (2u * r.colourSpan + 1)) - r.colourSpan;
            db = -dr / 2;
        }
        const bool near = like != nullptr && Next(state) % 8 != 0;
        line[i] = near ? Draw(state, (*like)[i], 1) : Draw(state, y, r.lumaNoise);
        line[n + i] = near ? Draw(state, (*like)[n + i], 2) : Draw(state, dr, r.colourNoise);
        line[2u * n + i] =
            near ? Draw(state, (*like)[2u * n + i], 2) : Draw(state, db, r.colourNoise);
    }
    return line;
}

struct FilterRun {
    int16_t result;
    std::vector<int16_t> out;
    std::vector<int16_t> l0;
};

FilterRun RunFilter(int lines, uint16_t n, int16_t level, std::vector<std::vector<int16_t>> l,
                    bool plain) {
    ForcePlainPaths(plain);
    FilterRun run{0, std::vector<int16_t>(3u * n, -7), {}};
    int16_t* o = run.out.data();
    switch (lines) {
    case 1:
        run.result = ChromaDenoise1(n, level, o, l[0].data());
        break;
    case 2:
        run.result = ChromaDenoise2(n, level, o, l[0].data(), l[1].data());
        break;
    case 3:
        run.result = ChromaDenoise3(n, level, o, l[0].data(), l[1].data(), l[2].data());
        break;
    case 4:
        run.result =
            ChromaDenoise4(n, level, o, l[0].data(), l[1].data(), l[2].data(), l[3].data());
        break;
    default:
        run.result = ChromaDenoise5(n, level, o, l[0].data(), l[1].data(), l[2].data(), l[3].data(),
                                    l[4].data());
        break;
    }
    ForcePlainPaths(false);
    run.l0 = l[0];
    return run;
}

TEST(FastPaths, ChromaFiltersMatchThePlainLoops) {
    uint32_t state = 0x9E3779B9u;
    for (const Range& range : kRanges) {
        for (uint16_t n : kWidths) {
            for (int lines = 1; lines <= 5; ++lines) {
                for (int16_t level : {int16_t{250}, int16_t{140}, int16_t{0}}) {
                    std::vector<std::vector<int16_t>> l;
                    l.push_back(RandomLine(&state, n, range, nullptr));
                    for (int k = 1; k < lines; ++k) {
                        l.push_back(RandomLine(&state, n, range, &l[0]));
                    }
                    const FilterRun plain = RunFilter(lines, n, level, l, true);
                    const FilterRun fast = RunFilter(lines, n, level, l, false);
                    SCOPED_TRACE(::testing::Message() << range.name << ", width " << n << ", "
                                                      << lines << " lines, level " << level);
                    ASSERT_EQ(fast.result, plain.result);
                    ASSERT_EQ(fast.out, plain.out);
                    ASSERT_EQ(fast.l0, plain.l0);
                }
            }
        }
    }
}

// ---- The one-shot correction through its entry point --------------------------

// A picture run: layout, step in bytes (negative walks backwards), width.
struct RunShape {
    int16_t layout;
    int16_t step;
};
constexpr RunShape kShapes[] = {
    {QV_PIXEL_BGR, 3},  {QV_PIXEL_RGB, 4},     {QV_PIXEL_RGB555, 2}, {QV_PIXEL_RGB, 3},
    {QV_PIXEL_BGR, -3}, {QV_PIXEL_RGB555, -4}, {QV_PIXEL_BGR, 4},
};
constexpr uint16_t kPictureLines = 7;  // the history fills, rotates and restarts

std::size_t PixelBytes(const RunShape& shape) {
    return static_cast<std::size_t>(shape.step < 0 ? -shape.step : shape.step);
}

// Parameters of a correction: matrix, tone curve and casts drawn either
// near what an analysis leaves or across the whole 16-bit range.
void DrawParameters(uint32_t* state, bool extreme, int16_t type, QVContext* c) {
    for (int k = 0; k < 9; ++k) {
        const int32_t base = k % 4 == 0 ? 1024 : 0;
        c->colourMatrix[k] = extreme ? Draw(state, 0, 32768) : Draw(state, base, 200);
    }
    for (int i = 0; i < kToneCurveSize; ++i) {
        c->toneCurve[i] = extreme ? Draw(state, 0, 32768) : Draw(state, i, 25);
    }
    c->toneCurve[Next(state) % kToneCurveSize] = 0;
    c->shadowCastRY = extreme ? Draw(state, 0, 32768) : Draw(state, 0, 12);
    c->shadowCastBY = extreme ? Draw(state, 0, 32768) : Draw(state, 0, 12);
    c->blackLevel = static_cast<uint8_t>(extreme ? Next(state) % 256 : Next(state) % 11);
    c->highlightLevel = Draw(state, 200, 60);
    c->correctionType = type;
    c->mode = QV_MODE_CORRECT;
    c->flags = static_cast<uint16_t>(c->flags | kFlagDerived);
}

// Bytes of a picture: noise, runs of a repeated pixel (the cache) of
// random lengths, near-white and pure white pixels.
std::vector<uint8_t> DrawPicture(uint32_t* state, std::size_t bytes, std::size_t pixelBytes) {
    std::vector<uint8_t> picture(bytes);
    for (std::size_t i = 0; i < bytes; i += pixelBytes) {
        const uint32_t r = Next(state) % 16;
        for (std::size_t b = i; b < i + pixelBytes && b < bytes; ++b) {
            picture[b] = r == 0            ? uint8_t{255}
                         : r == 1          ? static_cast<uint8_t>(254 + Next(state) % 2)
                         : r < 9 && i != 0 ? picture[b - pixelBytes]
                                           : static_cast<uint8_t>(Next(state) % 256);
        }
    }
    return picture;
}

struct CorrectionRun {
    std::vector<int16_t> results;
    std::vector<uint8_t> picture;
};

CorrectionRun RunCorrection(const QVContext& parameters, const RunShape& shape, uint16_t n,
                            const std::vector<uint8_t>& source, bool plain) {
    ForcePlainPaths(plain);
    CorrectionRun run{{}, source};
    QVHandle handle{};
    EXPECT_EQ(QVAlloc(&handle), QV_RESULT_OK);
    auto* c = static_cast<QVContext*>(handle.block);
    std::memcpy(c, &parameters, sizeof parameters);
    const std::size_t lineBytes = std::size_t{n} * (shape.step < 0 ? -shape.step : shape.step);
    const std::ptrdiff_t first =
        shape.step < 0 ? static_cast<std::ptrdiff_t>(lineBytes) + shape.step : 0;
    for (uint16_t line = 0; line < kPictureLines; ++line) {
        uint8_t* at = run.picture.data() + line * lineBytes + first;
        run.results.push_back(
            QVCorrection(&handle, at, at, n, kPictureLines, shape.step, shape.layout));
    }
    QVFree(&handle);
    ForcePlainPaths(false);
    return run;
}

TEST(FastPaths, OneShotCorrectionMatchesThePlainLoops) {
    uint32_t state = 0x2545F491u;
    for (int16_t type : {kTypeRotation, kTypeBrightRotation, kTypeStretch}) {
        for (bool extreme : {false, true}) {
            for (const RunShape& shape : kShapes) {
                for (int n : {1, 2, 3, 9, 17, 25, 263, 4001}) {
                    QVHandle handle{};
                    ASSERT_EQ(QVAlloc(&handle), QV_RESULT_OK);
                    QVContext parameters = *static_cast<QVContext*>(handle.block);
                    QVFree(&handle);
                    DrawParameters(&state, extreme, type, &parameters);
                    const std::size_t bytes = static_cast<std::size_t>(n) * 4 * kPictureLines;
                    const std::vector<uint8_t> source = DrawPicture(
                        &state, bytes,
                        static_cast<std::size_t>(shape.step < 0 ? -shape.step : shape.step));
                    SCOPED_TRACE(::testing::Message()
                                 << "type " << type << (extreme ? ", extreme" : "") << ", layout "
                                 << shape.layout << ", step " << shape.step << ", width " << n);
                    const CorrectionRun plain =
                        RunCorrection(parameters, shape, static_cast<uint16_t>(n), source, true);
                    const CorrectionRun fast =
                        RunCorrection(parameters, shape, static_cast<uint16_t>(n), source, false);
                    ASSERT_EQ(fast.results, plain.results);
                    ASSERT_EQ(fast.picture, plain.picture);
                }
            }
        }
    }
}

// ---- The streaming conversion through its entry points -------------------------

struct StreamCase {
    uint16_t mode;
    uint16_t outputWidth;  // 0: the input width
    int16_t scale;
    int16_t sharpenLevel = 1;  // each level divides by its own gain at the end
};
constexpr StreamCase kStreamCases[] = {
    {QV_MODE_TONE, 0, 0},       {QV_MODE_TONE | QV_MODE_CORRECT, 0, 0},
    {QV_MODE_BYTE_TABLE, 0, 0}, {QV_MODE_CORRECT | QV_MODE_BYTE_TABLE, 0, 0},
    {QV_MODE_SHARPEN, 0, 0},    {QV_MODE_SHARPEN, 0, 0, 0},
    {QV_MODE_SHARPEN, 0, 0, 2}, {QV_MODE_SHARPEN, 0, 0, 3},
    {QV_MODE_SHARPEN, 1, 150},  {QV_MODE_SHARPEN, 1, 800},
    {QV_MODE_DENOISE, 0, 0},    {QV_MODE_DENOISE | QV_MODE_CORRECT | QV_MODE_BYTE_TABLE, 0, 0},
};

test::StreamRun RunStream(const QVContext& parameters, const StreamCase& sc, const RunShape& shape,
                          uint16_t n, const std::vector<test::PixelLine>& picture, bool plain) {
    ForcePlainPaths(plain);
    QVHandle handle{};
    EXPECT_EQ(QVAlloc(&handle), QV_RESULT_OK);
    std::memcpy(handle.block, &parameters, sizeof parameters);
    auto* c = static_cast<QVContext*>(handle.block);
    for (int i = 0; i < kToneTableSize; ++i) {
        c->toneTable[i] = static_cast<uint8_t>(255 - i);
    }
    test::StreamRun run;
    const uint16_t outputWidth = sc.outputWidth == 0 ? 0 : n;
    if (QVInitImageConversion(&handle, n, static_cast<uint16_t>(picture.size()), outputWidth, 0,
                              sc.scale, sc.mode) == QV_RESULT_OK) {
        run = test::DriveConversion(&handle, picture,
                                    {n, shape.step, shape.layout, 30, sc.sharpenLevel});
        QVTerminateImageConversion(&handle);
    }
    QVFree(&handle);
    ForcePlainPaths(false);
    return run;
}

TEST(FastPaths, StreamingConversionMatchesThePlainLoops) {
    uint32_t state = 0x1234567u;
    int runs = 0;
    int completed = 0;
    for (const StreamCase& sc : kStreamCases) {
        for (int16_t type : {kTypeRotation, kTypeBrightRotation, kTypeStretch}) {
            for (const RunShape& shape : kShapes) {
                if (shape.step < 0) {
                    continue;  // the streaming steps walk forwards only
                }
                for (int n : {1, 2, 3, 9, 17, 263, 1001}) {
                    QVHandle handle{};
                    ASSERT_EQ(QVAlloc(&handle), QV_RESULT_OK);
                    QVContext parameters = *static_cast<QVContext*>(handle.block);
                    QVFree(&handle);
                    DrawParameters(&state, false, type, &parameters);
                    const auto width = static_cast<uint16_t>(n);
                    std::vector<test::PixelLine> picture;
                    for (uint16_t line = 0; line < kPictureLines; ++line) {
                        picture.push_back(DrawPicture(&state, std::size_t{width} * shape.step,
                                                      PixelBytes(shape)));
                    }
                    SCOPED_TRACE(::testing::Message()
                                 << "mode " << sc.mode << ", output " << sc.outputWidth << ", type "
                                 << type << ", layout " << shape.layout << ", width " << n);
                    const test::StreamRun plain =
                        RunStream(parameters, sc, shape, width, picture, true);
                    const test::StreamRun fast =
                        RunStream(parameters, sc, shape, width, picture, false);
                    ASSERT_EQ(fast.results, plain.results);
                    ASSERT_EQ(fast.delivered, plain.delivered);
                    completed += plain.completed ? 1 : 0;
                    ++runs;
                }
            }
        }
    }
    // Most conversions must run to the end, or the comparison says little.
    EXPECT_GT(completed, runs * 3 / 4);
}

// ---- The statistics pass through its entry point -------------------------------

// Every counter the pass fills, and the call count that drives its sampling.
std::vector<uint8_t> StatisticsOf(const QVContext& c) {
    std::vector<uint8_t> bytes(sizeof c.levelStats + sizeof c.hueCounts + sizeof c.histogramCalls);
    std::memcpy(bytes.data(), c.levelStats, sizeof c.levelStats);
    std::memcpy(bytes.data() + sizeof c.levelStats, c.hueCounts, sizeof c.hueCounts);
    std::memcpy(bytes.data() + sizeof c.levelStats + sizeof c.hueCounts, &c.histogramCalls,
                sizeof c.histogramCalls);
    return bytes;
}

std::vector<uint8_t> RunStatistics(const RunShape& shape, uint16_t n,
                                   const std::vector<uint8_t>& picture, int lines, bool plain) {
    ForcePlainPaths(plain);
    QVHandle handle{};
    EXPECT_EQ(QVAlloc(&handle), QV_RESULT_OK);
    const std::size_t lineBytes = std::size_t{n} * (shape.step < 0 ? -shape.step : shape.step);
    const std::ptrdiff_t first =
        shape.step < 0 ? static_cast<std::ptrdiff_t>(lineBytes) + shape.step : 0;
    for (int line = 0; line < lines; ++line) {
        EXPECT_EQ(QVHistogram(&handle, picture.data() + line * lineBytes + first, n, shape.step,
                              shape.layout, 0),
                  QV_RESULT_OK);
    }
    const std::vector<uint8_t> bytes = StatisticsOf(*static_cast<QVContext*>(handle.block));
    QVFree(&handle);
    ForcePlainPaths(false);
    return bytes;
}

// Runs of one pixel, one to three pixels long or up to 300 (past 48, the
// longest run counted, and across the loops' chunks), each new pixel near
// the last or anywhere, and now and then a lone pure black or white pixel
// (which sends its chunk through another loop than its neighbours).
std::vector<uint8_t> DrawRuns(uint32_t* state, std::size_t bytes, std::size_t pixelBytes) {
    std::vector<uint8_t> picture(bytes, 100);
    uint32_t left = 0;
    for (std::size_t i = pixelBytes; i + pixelBytes <= bytes; i += pixelBytes) {
        std::copy_n(picture.begin() + static_cast<std::ptrdiff_t>(i - pixelBytes), pixelBytes,
                    picture.begin() + static_cast<std::ptrdiff_t>(i));
        if (left > 0) {
            --left;
            continue;
        }
        left = Next(state) % 8 == 0 ? Next(state) % 300 : Next(state) % 3;
        if (Next(state) % 64 == 0) {
            std::fill_n(picture.begin() + static_cast<std::ptrdiff_t>(i), pixelBytes,
                        Next(state) % 2 == 0 ? uint8_t{0} : uint8_t{255});
            left = 0;
            continue;
        }
        if (Next(state) % 2 == 0) {
            uint8_t& nudged = picture[i + Next(state) % pixelBytes];
            nudged =
                static_cast<uint8_t>(std::clamp(nudged + (Next(state) % 2 == 0 ? 1 : -1), 1, 254));
            continue;
        }
        for (std::size_t b = i; b < i + pixelBytes; ++b) {
            picture[b] = static_cast<uint8_t>(1 + Next(state) % 254);
        }
    }
    return picture;
}

TEST(FastPaths, StatisticsMatchThePlainLoop) {
    uint32_t state = 0x51ED2701u;
    for (const RunShape& shape : kShapes) {
        for (int n : {1, 2, 3, 80, 81, 82, 163, 4001, 65535}) {
            const auto width = static_cast<uint16_t>(n);
            // Enough calls for the sampling grid of narrow lines to come round.
            const int lines = n < 200 ? 5 : 2;
            const std::size_t bytes = std::size_t{width} * 4 * lines;
            std::vector<uint8_t> picture = DrawPicture(&state, bytes, PixelBytes(shape));
            // Runs of one level, black and white pixels between them.
            for (std::size_t i = 0; i + 6 < picture.size(); i += 37) {
                std::fill_n(picture.begin() + static_cast<std::ptrdiff_t>(i), 6,
                            static_cast<uint8_t>(i % 3 == 0 ? 0 : 128));
            }
            SCOPED_TRACE(::testing::Message() << "layout " << shape.layout << ", step "
                                              << shape.step << ", width " << n);
            for (const auto& drawn : {picture, DrawRuns(&state, bytes, PixelBytes(shape))}) {
                EXPECT_EQ(RunStatistics(shape, width, drawn, lines, false),
                          RunStatistics(shape, width, drawn, lines, true));
            }
        }
    }
}

}  // namespace
}  // namespace voved
