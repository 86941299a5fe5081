// QVCorrection through the public interface: validation, the copy path, the
// line history with its filters, the three correction variants, the colour
// cache and the final tone-table pass. Parameters are written into the
// context directly, as the analysis would leave them.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "correct/fixed_output_curve.h"
#include "correct/shared_steps.h"
#include "filters/chroma_denoise.h"
#include "pixels/pixels.h"
#include "platform/platform.h"
#include "support/context_access.h"
#include "support/correction_params.h"

namespace voved {
namespace {

using test::ScopedContext;
using test::SetIdentityCorrection;
using Bytes = std::vector<uint8_t>;

// A line of `count` copies of one pixel (three or four bytes).
Bytes Repeat(std::initializer_list<uint8_t> pixel, std::size_t count) {
    // Sized once and filled in place: growing the vector by repeated inserts
    // makes GCC 12 at -O3 warn about a write past the end that cannot happen.
    Bytes line(count * pixel.size());
    for (std::size_t i = 0; i < count; ++i) {
        std::copy(pixel.begin(), pixel.end(),
                  line.begin() + static_cast<std::ptrdiff_t>(i * pixel.size()));
    }
    return line;
}

Bytes PixelAt(const Bytes& line, std::size_t i, std::size_t step = 3) {
    return {line.begin() + i * step, line.begin() + i * step + 3};
}

Bytes Words(std::initializer_list<uint16_t> words) {
    Bytes bytes;
    for (uint16_t w : words) {
        bytes.push_back(static_cast<uint8_t>(w & 0xFF));
        bytes.push_back(static_cast<uint8_t>(w >> 8));
    }
    return bytes;
}

class Correction : public ::testing::Test {
  protected:
    void Prepare(int16_t type, uint16_t mode = QV_MODE_CORRECT) {
        SetIdentityCorrection(ctx.context(), type);
        ctx->mode = mode;
    }
    QVResult Correct(const Bytes& source, Bytes& destination, uint16_t count, uint16_t lines,
                     int16_t step, int16_t layout) {
        return QVCorrection(ctx.handle(), source.data(), destination.data(), count, lines, step,
                            layout);
    }
    // One line by default: every line is filtered alone, and a uniform line
    // passes the filter unchanged.
    QVResult CorrectInPlace(Bytes& line, uint16_t lines = 1, int16_t layout = QV_PIXEL_RGB) {
        const int16_t step = layout == QV_PIXEL_RGB555 ? 2 : 3;
        const auto count = static_cast<uint16_t>(line.size() / static_cast<std::size_t>(step));
        return QVCorrection(ctx.handle(), line.data(), line.data(), count, lines, step, layout);
    }
    ScopedContext ctx;
};

// ---- Validation ------------------------------------------------------------------

TEST_F(Correction, RefusesInvalidHandlesParametersAndLayoutsChangingNothing) {
    Bytes source = Repeat({100, 150, 200}, 4);
    Bytes destination(12, 0xAB);
    const Bytes untouched = destination;

    EXPECT_EQ(QVCorrection(nullptr, source.data(), destination.data(), 4, 4, 3, 3), -2);
    QVHandle empty{};
    EXPECT_EQ(QVCorrection(&empty, source.data(), destination.data(), 4, 4, 3, 3), -2);

    ctx->mode = QV_MODE_CORRECT;
    EXPECT_EQ(Correct(source, destination, 4, 4, 3, QV_PIXEL_RGB), -3) << "not derived";
    ctx->mode = 0;
    EXPECT_EQ(Correct(source, destination, 4, 4, 3, QV_PIXEL_RGB), -3) << "also on the copy path";

    Prepare(kTypeRotation);
    for (int16_t layout : {int16_t{1}, int16_t{2}, int16_t{5}, int16_t{-1}}) {
        EXPECT_EQ(Correct(source, destination, 4, 4, 3, layout), -3) << layout;
    }
    EXPECT_EQ(QVCorrection(ctx.handle(), nullptr, destination.data(), 4, 4, 3, 3), -1);
    EXPECT_EQ(QVCorrection(ctx.handle(), source.data(), nullptr, 4, 4, 3, 3), -1);

    EXPECT_EQ(destination, untouched);
    EXPECT_EQ(ctx->lineCounter, 0);
    EXPECT_EQ(ctx->historyWidth, 0);
    EXPECT_EQ(ctx->historyHandle0.block, nullptr);

    ctx->flags = static_cast<uint16_t>(ctx->flags & ~kFlagValid);
    EXPECT_EQ(Correct(source, destination, 4, 4, 3, QV_PIXEL_RGB), -2);
    ctx->flags = static_cast<uint16_t>(ctx->flags | kFlagValid);
}

// ---- The arithmetic --------------------------------------------------------------

TEST_F(Correction, IdentityParametersOnUniformLines) {
    Prepare(kTypeRotation);
    // A uniform line is its own filtered form: only the arithmetic shows.
    Bytes a = Repeat({100, 150, 200}, 8);
    ASSERT_EQ(CorrectInPlace(a), 0);
    EXPECT_EQ(a, Repeat({100, 149, 200}, 8));

    Bytes b = Repeat({200, 100, 50}, 8);
    ASSERT_EQ(CorrectInPlace(b), 0);
    EXPECT_EQ(b, Repeat({200, 100, 50}, 8));

    Bytes dark = Repeat({1, 0, 5}, 8);  // Y = 15 >> 4 = 0: the curve gives 0
    ASSERT_EQ(CorrectInPlace(dark), 0);
    EXPECT_EQ(dark, Repeat({0, 0, 0}, 8));
}

TEST_F(Correction, BothMatrixTypesWriteNearWhiteAsWhite) {
    for (int16_t type : {kTypeRotation, kTypeBrightRotation}) {
        Prepare(type);
        ctx->toneCurve[254] = 200;  // anything computed would come out darker
        Bytes nearWhite = Repeat({255, 255, 254}, 6);
        ASSERT_EQ(CorrectInPlace(nearWhite), 0);
        EXPECT_EQ(nearWhite, Repeat({255, 255, 255}, 6)) << type;

        // 0xFFFF stays; 0x7FFE (blue 30 expands to 247, sum 757) goes through
        // the matrix: Y = 254, then L = 200 gives (201, 201, 193).
        Bytes words = Words({0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF});
        ASSERT_EQ(CorrectInPlace(words, 1, QV_PIXEL_RGB555), 0);
        EXPECT_EQ(words, Words({0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}));
        Bytes below = Words({0x7FFE, 0x7FFE, 0x7FFE, 0x7FFE, 0x7FFE});
        ASSERT_EQ(CorrectInPlace(below, 1, QV_PIXEL_RGB555), 0);
        const uint16_t expected = type == kTypeRotation
                                      ? static_cast<uint16_t>((24 << 10) | (24 << 5) | 23)
                                      : Pack555(kFixedOutputCurve[201], kFixedOutputCurve[201],
                                                kFixedOutputCurve[193], 0);
        EXPECT_EQ(ReadWord(below.data()), expected) << type;
    }
}

TEST_F(Correction, BlackKeepsBit15InEveryVariant) {
    for (int16_t type : {kTypeRotation, kTypeBrightRotation, kTypeStretch}) {
        Prepare(type);
        for (int i = 0; i < kToneCurveSize; ++i) {
            ctx->toneCurve[i] = 0;
        }
        // Codes (10, 20, 5) with bit 15 set and clear, alternating.
        const uint16_t colour = (10 << 10) | (20 << 5) | 5;
        Bytes words = Words({static_cast<uint16_t>(colour | 0x8000), colour,
                             static_cast<uint16_t>(colour | 0x8000), colour});
        ASSERT_EQ(CorrectInPlace(words, 1, QV_PIXEL_RGB555), 0);
        EXPECT_EQ(words, Words({0x8000, 0, 0x8000, 0})) << type;
    }
}

TEST_F(Correction, BrightTypePassesTheOutputThroughTheFixedCurve) {
    Prepare(kTypeBrightRotation);
    Bytes line = Repeat({100, 150, 200}, 6);
    ASSERT_EQ(CorrectInPlace(line), 0);
    EXPECT_EQ(PixelAt(line, 3),
              (Bytes{kFixedOutputCurve[100], kFixedOutputCurve[149], kFixedOutputCurve[200]}));
}

TEST_F(Correction, ShadowCastAndBlackLevelAreSubtractedBeforeTheMatrix) {
    Prepare(kTypeBrightRotation);
    ctx->shadowCastRY = -10;
    ctx->shadowCastBY = 20;
    ctx->blackLevel = 40;
    // (100, 150, 200): c = (-40 + 10, 60 - 20, 140 - 40) = (-30, 40, 100).
    Bytes line = Repeat({100, 150, 200}, 6);
    ASSERT_EQ(CorrectInPlace(line), 0);
    // L = 100, u = -30 x 1024, v = 40 x 1024: (5u + 2v) / 9 = -7964 >> 10 = -8.
    EXPECT_EQ(PixelAt(line, 2),
              (Bytes{kFixedOutputCurve[70], kFixedOutputCurve[108], kFixedOutputCurve[140]}));
}

// ---- The colour cache -------------------------------------------------------------

TEST_F(Correction, FreshCacheAnswersBlackBeforeComputing) {
    Prepare(kTypeRotation);
    ctx->toneCurve[0] = 50;  // computed black would come out grey 50
    Bytes line = Repeat({0, 0, 0}, 6);
    ASSERT_EQ(CorrectInPlace(line), 0);
    EXPECT_EQ(line, Repeat({0, 0, 0}, 6)) << "the zero-filled cache holds black for black";

    Bytes other = Repeat({60, 60, 60}, 6);
    ASSERT_EQ(CorrectInPlace(other), 0);
    EXPECT_EQ((Bytes{ctx->cacheKey[0], ctx->cacheKey[1], ctx->cacheKey[2], ctx->cacheKey[3]}),
              (Bytes{60, 60, 60, 0}));
    Bytes black = Repeat({0, 0, 0}, 6);
    ASSERT_EQ(CorrectInPlace(black), 0);
    EXPECT_EQ(black, Repeat({50, 50, 50}, 6)) << "now computed";
}

TEST_F(Correction, CacheKeepsTheWrittenColourAndTheKeyAsRead) {
    Prepare(kTypeRotation);
    ctx->toneCurve[139] = 150;
    // 5-5-5 codes (12, 18, 25) read as (99, 148, 206); the written colour is
    // kept at 8 bits, before its reduction to 5 bits.
    const uint16_t word = (12 << 10) | (18 << 5) | 25;
    Bytes words = Words({word, word, word, word, word});
    ASSERT_EQ(CorrectInPlace(words, 1, QV_PIXEL_RGB555), 0);
    EXPECT_EQ((Bytes{ctx->cacheKey[0], ctx->cacheKey[1], ctx->cacheKey[2]}), (Bytes{99, 148, 206}));
    // Y = 139, dR = -40, dB = 67 and L = 150.
    EXPECT_EQ((Bytes{ctx->cacheRed, ctx->cacheGreen, ctx->cacheBlue}), (Bytes{110, 158, 217}));
    EXPECT_EQ(ReadWord(words.data()), Pack555(110, 158, 217, 0));
}

TEST_F(Correction, EqualAdjacentSourceColoursGetTheSameOutput) {
    Prepare(kTypeRotation);
    // Pixels 1 and 2 share a colour but the filter mixes different
    // neighbours into them.
    Bytes line = {60, 100, 140, 120, 100, 80, 120, 100, 80, 100, 100, 100, 100, 100, 100};
    const Bytes source = line;
    ASSERT_EQ(CorrectInPlace(line), 0);
    const WorkLine f = Planes(ctx->filteredLine, 5);
    ASSERT_NE(f.dr[1], f.dr[2]) << "the filtered inputs differ";
    EXPECT_EQ(PixelAt(line, 1), PixelAt(line, 2));
    EXPECT_NE(PixelAt(line, 1), PixelAt(source, 1)) << "and the colour was corrected";
}

TEST_F(Correction, CachePersistsAcrossCallsAndPictures) {
    Prepare(kTypeRotation);
    Bytes first = Repeat({90, 90, 90}, 5);
    ASSERT_EQ(CorrectInPlace(first, 1), 0);
    ctx->toneCurve[90] = 10;  // a new analysis would not clear the cache
    Bytes second = Repeat({90, 90, 90}, 5);
    ASSERT_EQ(CorrectInPlace(second, 1), 0);
    EXPECT_EQ(second, Repeat({90, 90, 90}, 5));
}

// ---- Per-channel variant ----------------------------------------------------------

TEST_F(Correction, PerChannelIdentityWithoutHistoryKeepsEveryPixel) {
    Prepare(kTypeNone);
    FailNthAllocation(1);  // no history: the source pixels are used as they are
    Bytes line = {255, 0, 0, 10, 200, 30, 0, 0, 255, 7, 7, 7};
    const Bytes source = line;
    ASSERT_EQ(CorrectInPlace(line), 0);
    EXPECT_EQ(line, source);

    Bytes words = Words({0x7C00, 0x03E0, 0x001F, 0x8421, 0x1234});
    const Bytes sourceWords = words;
    FailNthAllocation(1);  // a new width allocates again
    ASSERT_EQ(CorrectInPlace(words, 1, QV_PIXEL_RGB555), 0);
    EXPECT_EQ(words, sourceWords);
}

TEST_F(Correction, PerChannelCurveUsesTheLowEightBits) {
    Prepare(kTypeStretch);
    for (int i = 0; i < 256; ++i) {
        ctx->toneCurve[i] = static_cast<int16_t>(256 + i);
    }
    Bytes line = Repeat({40, 80, 120}, 5);
    ASSERT_EQ(CorrectInPlace(line), 0);
    // The uniform line passes the filter unchanged, but the inverse transform
    // of its working form gives green 79.
    EXPECT_EQ(line, Repeat({40, 79, 120}, 5));
}

// ---- History and filtering --------------------------------------------------------

// A picture with colour noise on a smooth ramp.
std::vector<Bytes> NoisyPicture(std::size_t width, std::size_t lines) {
    std::vector<Bytes> picture;
    uint32_t seed = 12345;
    for (std::size_t y = 0; y < lines; ++y) {
        Bytes line;
        for (std::size_t x = 0; x < width; ++x) {
            seed = seed * 1103515245u + 12345u;
            const int noise = static_cast<int>((seed >> 16) % 9) - 4;
            const int base = 60 + static_cast<int>(x + 2 * y);
            line.push_back(static_cast<uint8_t>(base + noise));
            line.push_back(static_cast<uint8_t>(base + 10));
            line.push_back(static_cast<uint8_t>(base + 20 - noise));
        }
        picture.push_back(line);
    }
    return picture;
}

// What the per-channel variant with an identity curve gives from the filters
// run over working lines: line 0 alone, line 1 with line 0, then each line
// with the two before it (`alone`: every line by itself).
std::vector<Bytes> ExpectedFromFilters(const std::vector<Bytes>& picture, uint16_t width,
                                       bool alone) {
    std::vector<std::vector<int16_t>> work;
    std::vector<Bytes> expected;
    std::vector<int16_t> out(3u * width);
    for (std::size_t k = 0; k < picture.size(); ++k) {
        work.emplace_back(3u * width);
        PixelsToWorkLine(picture[k].data(), work[k].data(), width, 3, QV_PIXEL_RGB);
        int16_t r;
        if (alone || k == 0) {
            r = ChromaDenoise1(width, 255, out.data(), work[k].data());
        } else if (k == 1) {
            r = ChromaDenoise2(width, 255, out.data(), work[1].data(), work[0].data());
        } else {
            r = ChromaDenoise3(width, 255, out.data(), work[k].data(), work[k - 1].data(),
                               work[k - 2].data());
        }
        EXPECT_EQ(r, 0) << "the picture is meant to pass every gate, line " << k;
        const WorkLine f = Planes(out.data(), width);
        Bytes line;
        for (uint16_t i = 0; i < width; ++i) {
            const Rgb c = InverseTransform(f.y[i], f.dr[i], f.db[i]);
            line.insert(line.end(), {static_cast<uint8_t>(c.r), static_cast<uint8_t>(c.g),
                                     static_cast<uint8_t>(c.b)});
        }
        expected.push_back(line);
    }
    return expected;
}

TEST_F(Correction, FiltersRunInSequenceAndRotateOverThePicture) {
    Prepare(kTypeNone);
    const uint16_t width = 24;
    const auto picture = NoisyPicture(width, 7);
    const auto expected = ExpectedFromFilters(picture, width, false);
    const uint16_t counts[7] = {1, 2, 2, 2, 2, 2, 0};
    const uint16_t phases[7] = {0, 0, 1, 2, 0, 1, 0};
    for (std::size_t k = 0; k < picture.size(); ++k) {
        Bytes out(picture[k].size());
        ASSERT_EQ(Correct(picture[k], out, width, 7, 3, QV_PIXEL_RGB), 0);
        EXPECT_EQ(out, expected[k]) << "line " << k;
        EXPECT_EQ(ctx->historyCount, counts[k]) << "line " << k;
        EXPECT_EQ(ctx->historyPhase, phases[k]) << "line " << k;
        EXPECT_EQ(ctx->lineCounter, (k + 1) % 7) << "line " << k;
    }
}

TEST_F(Correction, NewLinesGoIntoTheOldestSlot) {
    Prepare(kTypeNone);
    // Grey lines 50, 60, 70, ...: each slot's luminance tells which line it
    // holds.
    const int16_t* const* slots[3] = {&ctx->historyLine0, &ctx->historyLine1, &ctx->historyLine2};
    const int expectedSlot[6] = {0, 1, 2, 0, 1, 2};
    for (int k = 0; k < 6; ++k) {
        const auto grey = static_cast<uint8_t>(50 + 10 * k);
        Bytes line = Repeat({grey, grey, grey}, 6);
        ASSERT_EQ(CorrectInPlace(line, 100), 0);
        EXPECT_EQ((*slots[expectedSlot[k]])[0], grey) << "line " << k;
    }
}

TEST_F(Correction, OneLinePicturesFilterEveryLineAlone) {
    Prepare(kTypeNone);
    const uint16_t width = 16;
    const auto picture = NoisyPicture(width, 4);
    const auto expected = ExpectedFromFilters(picture, width, true);
    for (std::size_t k = 0; k < picture.size(); ++k) {
        Bytes out(picture[k].size());
        ASSERT_EQ(Correct(picture[k], out, width, 1, 3, QV_PIXEL_RGB), 0);
        EXPECT_EQ(out, expected[k]) << "line " << k;
        EXPECT_EQ(ctx->historyCount, 0);
        EXPECT_EQ(ctx->lineCounter, 0);
    }
}

TEST_F(Correction, DissimilarLineRestartsTheHistory) {
    Prepare(kTypeNone);
    Bytes grey = Repeat({100, 100, 100}, 24);
    ASSERT_EQ(CorrectInPlace(grey, 100), 0);
    // About 60 levels brighter than the grey line, with colour noise.
    const auto noisy = NoisyPicture(24, 1);
    Bytes bright = noisy[0];
    for (uint8_t& channel : bright) {
        channel = static_cast<uint8_t>(channel + 60);
    }
    const auto expected = ExpectedFromFilters({bright}, 24, true);
    ASSERT_EQ(CorrectInPlace(bright, 100), 0);
    EXPECT_EQ(ctx->historyCount, 0) << "member 2 answered -3";
    EXPECT_EQ(bright, expected[0]) << "the line as member 1 filtered it alone";
    Bytes again = Repeat({180, 180, 180}, 24);
    ASSERT_EQ(CorrectInPlace(again, 100), 0);
    EXPECT_EQ(ctx->historyCount, 1) << "the history started again with member 1";
}

TEST_F(Correction, WidthChangeRestartsTheHistoryButKeepsCounting) {
    Prepare(kTypeNone);
    const auto picture = NoisyPicture(12, 3);
    for (const Bytes& line : picture) {
        Bytes out(line.size());
        ASSERT_EQ(Correct(line, out, 12, 10, 3, QV_PIXEL_RGB), 0);
    }
    ASSERT_EQ(ctx->historyPhase, 1);
    const long blocks = LiveBlockCount();
    Bytes narrow = Repeat({80, 90, 100}, 8);
    ASSERT_EQ(CorrectInPlace(narrow, 10), 0);
    EXPECT_EQ(ctx->historyWidth, 8);
    EXPECT_EQ(ctx->historyCount, 1) << "filtered alone, history restarted";
    EXPECT_EQ(ctx->historyPhase, 1) << "a width change keeps the phase";
    EXPECT_EQ(ctx->lineCounter, 4);
    EXPECT_EQ(LiveBlockCount(), blocks) << "four blocks released, four allocated";
}

TEST_F(Correction, FailedHistoryAllocationStillCorrectsTheLine) {
    Prepare(kTypeRotation);
    for (int failing = 1; failing <= 4; ++failing) {
        ctx->historyWidth = 0;
        const long before = LiveBlockCount();
        FailNthAllocation(failing);
        // Unlike a uniform line, this one would change under the filter.
        Bytes line = {100, 150, 200, 100, 150, 200, 200, 100, 50, 100, 150, 200, 200, 100, 50};
        ASSERT_EQ(CorrectInPlace(line), 0) << failing;
        EXPECT_EQ(line,
                  (Bytes{100, 149, 200, 100, 149, 200, 200, 100, 50, 100, 149, 200, 200, 100, 50}))
            << failing;
        EXPECT_EQ(LiveBlockCount(), before) << "the blocks of the attempt are released";
        EXPECT_EQ(ctx->historyHandle0.block, nullptr);
        EXPECT_EQ(ctx->filteredHandle.block, nullptr);
        EXPECT_EQ(ctx->historyWidth, 5);
        EXPECT_EQ(ctx->historyCount, 0);
    }
    Bytes same = Repeat({100, 150, 200}, 5);
    ASSERT_EQ(CorrectInPlace(same), 0);
    EXPECT_EQ(ctx->historyHandle0.block, nullptr) << "the same width does not try again";
    Bytes wider = Repeat({100, 150, 200}, 6);
    ASSERT_EQ(CorrectInPlace(wider), 0);
    EXPECT_NE(ctx->filteredHandle.block, nullptr) << "a new width tries again";
}

// ---- Copy path and tone table ------------------------------------------------------

TEST_F(Correction, CopyPathCopiesEveryByteAndTouchesNoState) {
    Prepare(kTypeRotation, 0);
    Bytes source(4 * 5);
    for (std::size_t i = 0; i < source.size(); ++i) {
        source[i] = static_cast<uint8_t>(i * 7);
    }
    Bytes destination(source.size() + 4, 0xEE);
    ASSERT_EQ(QVCorrection(ctx.handle(), source.data(), destination.data(), 5, 5, 4, QV_PIXEL_BGR),
              0);
    EXPECT_EQ(Bytes(destination.begin(), destination.begin() + 20), source);
    EXPECT_EQ(destination[20], 0xEE);
    EXPECT_EQ(ctx->lineCounter, 0);
    EXPECT_EQ(ctx->historyWidth, 0);
    EXPECT_EQ(ctx->cacheKey[0], 0);

    EXPECT_EQ(QVCorrection(ctx.handle(), source.data(), nullptr, 5, 5, 4, QV_PIXEL_BGR), -1);
    Bytes same = source;
    EXPECT_EQ(QVCorrection(ctx.handle(), same.data(), same.data(), 5, 5, 4, QV_PIXEL_BGR), 0);
    EXPECT_EQ(same, source);
}

TEST_F(Correction, CopyPathHandlesLongLinesAndNegativeSteps) {
    Prepare(kTypeRotation, 0);
    // 20000 four-byte pixels: 80000 bytes, beyond a 16-bit count.
    Bytes source(80000);
    for (std::size_t i = 0; i < source.size(); ++i) {
        source[i] = static_cast<uint8_t>(i % 251);
    }
    Bytes destination(80000, 0);
    ASSERT_EQ(Correct(source, destination, 20000, 1, 4, QV_PIXEL_RGB), 0);
    EXPECT_EQ(destination, source);

    // Three pixels walked backwards from the last: bytes 3..11 and no other.
    Bytes small(15);
    for (std::size_t i = 0; i < small.size(); ++i) {
        small[i] = static_cast<uint8_t>(i + 1);
    }
    Bytes out(15, 0);
    ASSERT_EQ(QVCorrection(ctx.handle(), small.data() + 9, out.data() + 9, 3, 1, -3, QV_PIXEL_RGB),
              0);
    EXPECT_EQ(out, (Bytes{0, 0, 0, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0, 0, 0}));
}

TEST_F(Correction, ToneTableOnTheCopyPath) {
    Prepare(kTypeRotation, QV_MODE_BYTE_TABLE);
    for (int i = 0; i < 256; ++i) {
        ctx->toneTable[i] = static_cast<uint8_t>(i / 2);
    }
    const Bytes source = {10, 20, 30, 40, 50, 60, 70, 80};
    Bytes destination(8, 0);
    ASSERT_EQ(Correct(source, destination, 2, 1, 4, QV_PIXEL_BGR), 0);
    EXPECT_EQ(destination, (Bytes{5, 10, 15, 20, 25, 30, 35, 40})) << "the fourth byte too";
    Bytes words(8, 0);
    ASSERT_EQ(Correct(source, words, 4, 1, 2, QV_PIXEL_RGB555), 0);
    EXPECT_EQ(words, source) << "5-5-5 lines are copied unchanged";
}

TEST_F(Correction, ToneTablePassAfterTheCorrection) {
    Prepare(kTypeRotation, QV_MODE_CORRECT | QV_MODE_BYTE_TABLE);
    for (int i = 0; i < 256; ++i) {
        ctx->toneTable[i] = static_cast<uint8_t>(255 - i);
    }
    // Four-byte pixels: the table maps the corrected destination, including
    // the fourth bytes the pixel loop never writes.
    const Bytes line = Repeat({200, 150, 100, 9}, 6);
    Bytes out(line.size(), 1);
    ASSERT_EQ(Correct(line, out, 6, 1, 4, QV_PIXEL_BGR), 0);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 4), (Bytes{55, 106, 155, 254}))
        << "the destination's fourth byte is mapped where it stands";

    Bytes words = Words({0x8421, 0x8421, 0x8421, 0x8421, 0x8421});
    ASSERT_EQ(CorrectInPlace(words, 1, QV_PIXEL_RGB555), 0);
    EXPECT_EQ(ReadWord(words.data()), 0x8421) << "no table pass on 5-5-5 lines";
}

}  // namespace
}  // namespace voved
