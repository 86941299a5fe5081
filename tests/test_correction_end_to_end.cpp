// The whole one-shot job through the public interface, as an application
// runs it: allocate, statistics over every line, extension, calculate,
// correct every line, free. The picture is a photo-like scene squeezed into
// levels 25..200 under a colour cast that runs from bluish shadows to warm
// highlights; the corrected picture must have less cast and wider levels,
// by measured means, and the job must leave nothing allocated.
//
// The cast is measured on the neutral areas of the scene, in its shadows and
// in its highlights. Note that the recursive chroma filter, whose kernels
// round toward minus infinity, leaves flat areas a unit or two lower in both
// colour differences; the bounds below allow for that.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/context_access.h"
#include "support/pictures.h"

namespace voved {
namespace {

using test::Colour;
using test::ColourFromDifferences;
using test::Line;
using test::LumaOf;
using test::PackLine;
using test::Picture;

constexpr int kWidth = 480;
constexpr int kLines = 96;
constexpr int kLowLevel = 25;
constexpr int kHighLevel = 200;

// The cast at a level of the squeezed picture: (-4, 10) in the shadows to
// (10, -4) in the highlights, as R - Y and B - Y.
test::Cast CastAt(int level) {
    const int t = level - kLowLevel;
    const int span = kHighLevel - kLowLevel;
    return {-4 + 14 * t / span, 10 - 14 * t / span};
}

int Squeeze(int trueLevel) {
    return kLowLevel + trueLevel * (kHighLevel - kLowLevel) / 255;
}

// One line: a neutral ramp over the whole range (the grey reference), then
// coloured regions with shading and grain in the middle tones. Lines come in
// pairs with the same regions in opposite colours, so that the scene is grey
// on average at every level, as the analysis assumes of a picture.
// Where a pixel of the scene lies: in the coloured regions, or in the
// shadows, middle tones or highlights of the neutral ramp.
enum Band : int8_t { kColoured = -1, kShadows = 0, kMiddle = 1, kHighlights = 2 };

Line SceneLine(int y, std::vector<Band>* bands) {
    uint32_t state = 0x9E3779B9u ^ static_cast<uint32_t>((y / 2) * 7919);
    const auto next = [&state]() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    const int sign = y % 2 == 0 ? 1 : -1;
    Line line;
    // Wider than the range of levels, so that every level is present.
    constexpr int kRamp = 200;
    for (int x = 0; x < kRamp; ++x) {
        const int level = kLowLevel + x * (kHighLevel - kLowLevel) / (kRamp - 1);
        const test::Cast cast = CastAt(level);
        line.push_back(ColourFromDifferences(level, cast.dr, cast.db));
        bands->push_back(static_cast<Band>(x * 3 / kRamp));
    }
    int trueLevel = 120;
    int dr = 0;
    int db = 0;
    for (int x = kRamp; x < kWidth; ++x) {
        const uint32_t r = next();
        if (r % 41 == 0 || x == kRamp) {
            trueLevel = 20 + static_cast<int>(next() % 220);
            dr = sign * (static_cast<int>(next() % 61) - 30);
            db = sign * (static_cast<int>(next() % 61) - 30);
        }
        const int shade = (x + y / 2) % 64 / 8;
        const int grain = static_cast<int>(r % 5) - 2;
        const int level = Squeeze(std::clamp(trueLevel + shade + grain, 0, 255));
        const test::Cast cast = CastAt(level);
        line.push_back(ColourFromDifferences(level, dr + cast.dr, db + cast.db));
        bands->push_back(kColoured);
    }
    return line;
}

// Mean R - Y and B - Y of the neutral pixels of one band.
struct MeanCast {
    double dr;
    double db;
    double Length() const { return std::sqrt(dr * dr + db * db); }
};

MeanCast CastOf(const Picture& picture, const std::vector<Band>& bands, Band band) {
    double dr = 0.0;
    double db = 0.0;
    int count = 0;
    std::size_t k = 0;
    for (const Line& line : picture) {
        for (const Colour& c : line) {
            if (bands[k++] == band) {
                const int y = LumaOf(c);
                dr += c.r - y;
                db += c.b - y;
                ++count;
            }
        }
    }
    return {dr / count, db / count};
}

// The luminance at a percentile of the whole picture.
int LevelAt(const Picture& picture, std::size_t percent) {
    std::vector<int> levels;
    for (const Line& line : picture) {
        for (const Colour& c : line) {
            levels.push_back(LumaOf(c));
        }
    }
    std::sort(levels.begin(), levels.end());
    return levels[levels.size() * percent / 100];
}

// Frees the context at the end of the test if an assertion stopped it early.
struct FreeOnExit {
    QVHandle* handle;
    ~FreeOnExit() {
        if (handle->block != nullptr) {
            QVFree(handle);
        }
    }
};

Line Unpack(const std::vector<uint8_t>& bytes) {
    Line line;
    for (std::size_t i = 0; i + 2 < bytes.size(); i += 3) {
        line.push_back({bytes[i], bytes[i + 1], bytes[i + 2]});
    }
    return line;
}

TEST(OneShotJob, CorrectsTheCastAndStretchesTheLevels) {
    Picture picture;
    std::vector<Band> bands;
    for (int y = 0; y < kLines; ++y) {
        picture.push_back(SceneLine(y, &bands));
    }
    const long blocksBefore = LiveBlockCount();

    QVHandle handle{};
    const FreeOnExit guard{&handle};
    ASSERT_EQ(QVAlloc(&handle), 0);
    for (const Line& line : picture) {
        const std::vector<uint8_t> bytes = PackLine(line, QV_PIXEL_RGB);
        ASSERT_EQ(QVHistogram(&handle, bytes.data(), kWidth, 3, QV_PIXEL_RGB, 0), 0);
    }
    ASSERT_EQ(QVExtension(&handle, QV_MODE_CORRECT, nullptr, nullptr, 0), 0);
    ASSERT_EQ(QVCalculate(&handle, 0), 0);
    EXPECT_EQ(test::ContextOf(handle)->correctionType, 5001) << "a colour rotation";

    Picture corrected;
    for (const Line& line : picture) {
        std::vector<uint8_t> bytes = PackLine(line, QV_PIXEL_RGB);
        ASSERT_EQ(
            QVCorrection(&handle, bytes.data(), bytes.data(), kWidth, kLines, 3, QV_PIXEL_RGB), 0);
        corrected.push_back(Unpack(bytes));
    }
    EXPECT_EQ(test::ContextOf(handle)->lineCounter, 0) << "the last line closed the picture";
    ASSERT_EQ(QVFree(&handle), 0);
    EXPECT_EQ(handle.block, nullptr);
    EXPECT_EQ(LiveBlockCount(), blocksBefore) << "the job leaves no block behind";

    // The neutral shadows and highlights lose most of their cast.
    for (Band band : {kShadows, kHighlights}) {
        const MeanCast before = CastOf(picture, bands, band);
        const MeanCast after = CastOf(corrected, bands, band);
        EXPECT_GT(before.Length(), 6.0) << "band " << band;
        EXPECT_LT(after.Length(), before.Length() / 2) << "band " << band;
        EXPECT_LT(after.Length(), 3.0) << "band " << band;
    }
    // And the cast no longer turns from one colour to another across the
    // levels: shadows and highlights now have nearly the same colour.
    const MeanCast shadows = CastOf(corrected, bands, kShadows);
    const MeanCast highlights = CastOf(corrected, bands, kHighlights);
    const MeanCast turn = {highlights.dr - shadows.dr, highlights.db - shadows.db};
    EXPECT_LT(turn.Length(), 2.0);

    // The levels reach further down and up.
    EXPECT_LE(LevelAt(corrected, 1), LevelAt(picture, 1) - 10);
    EXPECT_GE(LevelAt(corrected, 99), LevelAt(picture, 99) + 20);
}

}  // namespace
}  // namespace voved
