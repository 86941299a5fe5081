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

struct PreparedPixels {
    int16_t level[kStatisticsChunk];     // Y
    int16_t dr[kStatisticsChunk];        // R - Y
    int16_t db[kStatisticsChunk];        // B - Y
    int16_t summedRY[kStatisticsChunk];  // R - Y where the chroma is summed, else 0
    int16_t summedBY[kStatisticsChunk];  // B - Y where the chroma is summed, else 0
    uint8_t summed[kStatisticsChunk];    // 1 where the chroma is summed
    uint8_t skipped[kStatisticsChunk];   // 1 for pure black and pure white
    uint8_t mean[kStatisticsChunk];      // (R + G + B) / 3
};

#if defined(VOVED_HAVE_AVX2_PATH)
// Prepares pixels 0 .. of `pixels` (`step` 3 or 4; red first, or blue first
// when `bgr`) by groups of eight, up to `count` (at most kStatisticsChunk)
// and while loading a group reads no further than `lineLeft` pixels;
// returns how many it prepared. Only for processors with AVX2.
uint32_t PreparePixelsAvx2(const uint8_t* pixels, uint32_t count, uint32_t lineLeft, int16_t step,
                           bool bgr, PreparedPixels* out);
#endif

}  // namespace voved
