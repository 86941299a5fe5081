// What the statistics pass needs of each pixel, prepared for a chunk of
// pixels at a time, so that the pixel loop itself only books runs and sums.
#pragma once

#include <cstdint>

#include "platform/plain_paths.h"

namespace voved {

constexpr uint32_t kStatisticsChunk = 256;

// Bright pixels (Y > 160) of strong chroma (specular colour, clipped
// channels) would drag the highlight casts; they stay out of the chroma sums.
constexpr int32_t kBrightLevel = 160;
constexpr int32_t kBrightChromaLimit = 20000;
constexpr int32_t kBlackSum = 0;
constexpr int32_t kWhiteSum = 3 * 255;

// The mean and two flags of a pixel in one word: the mean (R + G + B) / 3 in
// the low byte, then whether its chroma is summed, then whether it is pure
// black or pure white (and takes no part).
constexpr int kSummedBit = 8;
constexpr int kSkippedBit = 9;
constexpr int16_t kMeanMask = 0xFF;

// The summed count rides with the R - Y sums in one running total: a chunk's
// R - Y sum stays within +-2^19, so each summed pixel adds 2^20.
constexpr int kCountShift = 20;
constexpr int32_t kCountUnit = int32_t{1} << kCountShift;

struct PreparedPixels {
    int16_t level[kStatisticsChunk + 1];  // Y (one more for the runs' comparison)
    int16_t summedRY[kStatisticsChunk];   // R - Y where the chroma is summed, else 0
    int16_t summedBY[kStatisticsChunk];   // B - Y where the chroma is summed, else 0
    int16_t meanAndFlags[kStatisticsChunk];
    // Filled by the two functions below: bit k of the words is set where level[k]
    // differs from level[k - 1] (never for k = 0), and the running totals of
    // the pixels before k: summedRY plus kCountUnit per summed pixel, and
    // summedBY.
    uint64_t levelChanges[kStatisticsChunk / 64];
    int32_t summedRYBefore[kStatisticsChunk + 1];
    int32_t summedBYBefore[kStatisticsChunk + 1];
};

#if defined(VOVED_HAVE_AVX2_PATH)
// Prepares pixels 0 .. of `pixels` (`step` 3 or 4; red first, or blue first
// when `bgr`) by groups of sixteen, up to `count` (at most kStatisticsChunk)
// and while loading a group reads no further than `lineLeft` pixels;
// returns how many it prepared. Only for processors with AVX2.
uint32_t PreparePixelsAvx2(const uint8_t* pixels, uint32_t count, uint32_t lineLeft, int16_t step,
                           bool bgr, PreparedPixels* out);

// For `count` prepared pixels (a multiple of sixteen): where runs of one
// level start (levelChanges), and how many do. Returns -1, leaving them
// unset, when a pixel is pure black or white: those neither extend nor end
// a run.
int32_t FindLevelChangesAvx2(uint32_t count, PreparedPixels* prepared);
// The running totals of `count` prepared pixels (a multiple of eight).
void SumRunningAvx2(uint32_t count, PreparedPixels* prepared);
#endif

}  // namespace voved
