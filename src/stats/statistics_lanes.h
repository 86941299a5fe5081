// What the statistics pass needs of each pixel, prepared for a chunk of
// pixels at a time, so that the pixel loop itself only books runs and sums.
#pragma once

#include <cstdint>

#include "context/context.h"
#include "platform/plain_paths.h"

namespace voved {

constexpr uint32_t kStatisticsChunk = 256;
constexpr uint32_t kLongestCountedRun = 48;

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

// The running totals of a chunk before each pixel, one 16-byte entry per
// pixel so a run's totals come from one subtraction: the pixel's index (a
// run's length, where no pixel is left out), then the count of summed
// pixels, the R - Y sums and the B - Y sums.
enum RunningLane { kLaneIndex, kLaneChromaCount, kLaneSumRY, kLaneSumBY, kRunningLanes };

struct PreparedPixels {
    int16_t level[kStatisticsChunk + 1];  // Y (one more for the runs' comparison)
    int16_t summedRY[kStatisticsChunk];   // R - Y where the chroma is summed, else 0
    int16_t summedBY[kStatisticsChunk];   // B - Y where the chroma is summed, else 0
    int16_t meanAndFlags[kStatisticsChunk];
    // Filled by the functions below: bit k of the words is set where level[k]
    // differs from level[k - 1] (never for k = 0), and the running totals of
    // the pixels before k.
    uint64_t levelChanges[kStatisticsChunk / 64];
    alignas(16) int32_t before[kStatisticsChunk + 1][kRunningLanes];
};

// A line's runs and chroma sums per level, booked here while its chunks are
// walked and added to the context once at the end of the line: a run then
// costs one 16-byte addition at its level and one at its closing mean,
// where the context's bins would take five. The counters wrap at 32 bits as
// the context's do, so adding them later gives the same bins.
struct LineTotals {
    alignas(16) int32_t byLevel[kLevels][kRunningLanes];  // lanes as in `before`
    uint32_t runByMean[kLevels];
};

#if defined(VOVED_HAVE_AVX2_PATH)
// Prepares pixels 0 .. of `pixels` (`step` 3 or 4; red first, or blue first
// when `bgr`) by groups of sixteen, up to `count` (at most kStatisticsChunk)
// and while loading a group reads no further than `lineLeft` pixels;
// returns how many it prepared. Only for processors with AVX2.
uint32_t PreparePixelsAvx2(const uint8_t* pixels, uint32_t count, uint32_t lineLeft, int16_t step,
                           bool bgr, PreparedPixels* out);

// For `count` prepared pixels (a multiple of sixteen): where runs of one
// level start (levelChanges). Returns false, leaving them unset, when a
// pixel is pure black or white: those neither extend nor end a run.
bool FindLevelChangesAvx2(uint32_t count, PreparedPixels* prepared);
// The running totals of `count` prepared pixels (a multiple of eight).
void SumRunningAvx2(uint32_t count, PreparedPixels* prepared);
// Books the runs of `count` prepared pixels with no pure black or white one
// (levelChanges and the running totals filled) into `totals`: each run
// closed in the chunk at its level and, when at most kLongestCountedRun
// long, its length there and at the mean of the pixel that closed it; the
// open run's sums so far at its level. `*level` and `*start` carry the open
// run from chunk to chunk: its level and where it started, counted from the
// chunk's first pixel (so zero or less on the way in).
void WalkRunsAvx2(const PreparedPixels& prepared, uint32_t count, int32_t* level, int32_t* start,
                  LineTotals* totals);
#endif

}  // namespace voved
