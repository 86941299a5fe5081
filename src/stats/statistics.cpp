// Per-pixel accumulation of the colour statistics.
//
// Three views of each pixel are kept: the chroma sums per luminance level,
// the lengths of short runs of equal luminance (a measure of flat areas), and
// a sparse grid of samples (about 81 per line, in every stride-th call) for
// the distribution of chroma radius and hue. Pure black and pure white
// pixels carry no colour information and are left out.
#include "stats/statistics.h"

#include <cstddef>
#include <cstring>

#include "pixels/fixed.h"
#include "pixels/pixels.h"
#include "platform/plain_paths.h"
#include "stats/colour_geometry.h"
#include "stats/statistics_lanes.h"

namespace voved {

namespace {

constexpr uint32_t kSamplesPerLine = 81;
constexpr int32_t kLargestRadius = 255;
constexpr int32_t kHueRadius = 20;  // only samples beyond this radius vote for a hue
constexpr int32_t kStartLevel = 255;

struct Run {
    uint32_t length = 0;
    int32_t level = kStartLevel;
};

bool IsCountedRun(const Run& run) {
    return run.length <= kLongestCountedRun;
}

// A run is booked at its own level and at the mean of the pixel that closed
// it (or, at the end of a call, of the last pixel read).
void BookRunAt(QVContext* context, const Run& run, int32_t closingMean) {
    context->levelStats[run.level].runByLevel += run.length;
    context->levelStats[closingMean].runByMean += run.length;
}
void BookRun(QVContext* context, const Run& run, int32_t closingSum) {
    BookRunAt(context, run, closingSum / 3);
}

void SampleChroma(QVContext* context, int32_t dr, int32_t db, int32_t q) {
    const int32_t radius = Limit(TruncToInt32(ChromaRadius(q, 0)), 0, kLargestRadius);
    ++context->levelStats[radius].radiusCount;
    if (radius > kHueRadius) {
        const int32_t hue = HueAngle(dr, db);
        if (hue >= 0) {
            ++context->hueCounts[hue];
        }
    }
}

void AddChroma(QVLevelBin* bin, int32_t dr, int32_t db) {
    bin->sumRY = AddWrap32(bin->sumRY, dr);
    bin->sumBY = AddWrap32(bin->sumBY, db);
    ++bin->chromaCount;
}

// One pixel that is neither pure black nor pure white.
void AccumulatePixel(QVContext* context, const Rgb& px, int32_t sum, bool sampled, Run* run) {
    const int32_t y = Luma(px.r, px.g, px.b);
    const int32_t dr = px.r - y;
    const int32_t db = px.b - y;
    const int32_t q = dr * dr + db * db;
    if (sampled) {
        SampleChroma(context, dr, db, q);
    }
    if (y <= kBrightLevel || q < kBrightChromaLimit) {
        AddChroma(&context->levelStats[y], dr, db);
    }
    if (y == run->level) {
        ++run->length;
        return;
    }
    if (IsCountedRun(*run)) {
        BookRun(context, *run, sum);
    }
    run->length = 1;
    run->level = y;
}

// The pixel loop, specialised per layout so the reader inlines. Sampling
// takes every stride-th pixel from the first on; `sampleLine` says whether
// this call lies on the sampling grid at all.
template <int16_t kLayout>
void AccumulateRun(QVContext* context, const uint8_t* pixels, uint32_t count, int16_t step,
                   bool sampleLine, uint32_t stride) {
    Run run;
    int32_t lastSum = 0;
    uint32_t untilSample = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* p = pixels + static_cast<std::ptrdiff_t>(i) * step;
        const Rgb px = ReadPixel(p, kLayout);
        const int32_t sum = px.r + px.g + px.b;
        lastSum = sum;
        // Pure black and white neither extend nor end a run.
        if (sum != kBlackSum && sum != kWhiteSum) {
            AccumulatePixel(context, px, sum, sampleLine && untilSample == 0, &run);
        }
        untilSample = untilSample == 0 ? stride - 1 : untilSample - 1;
    }
    // Runs do not continue into the next call.
    if (run.length != 0 && IsCountedRun(run)) {
        BookRun(context, run, lastSum);
    }
}

// The same pass with the chroma sums of the current run's level kept in
// registers and added to the level's bin when the run ends: consecutive
// pixels of one level would otherwise wait on each other's stores. The
// sums wrap at 32 bits, so adding them later gives the same bins.
struct PendingChroma {
    int32_t sumRY = 0;
    int32_t sumBY = 0;
    uint32_t count = 0;

    void Add(int32_t dr, int32_t db) {
        sumRY = AddWrap32(sumRY, dr);
        sumBY = AddWrap32(sumBY, db);
        ++count;
    }
    void FlushInto(QVLevelBin* bin) {
        bin->sumRY = AddWrap32(bin->sumRY, sumRY);
        bin->sumBY = AddWrap32(bin->sumBY, sumBY);
        bin->chromaCount += count;
        *this = PendingChroma{};
    }
};

// A pixel of level y closes the run: the run's sums go to its level, its
// length is booked (short runs only), and a new run starts at y.
void CloseRun(QVContext* context, int32_t y, int32_t closingMean, Run* run,
              PendingChroma* pending) {
    pending->FlushInto(&context->levelStats[run->level]);
    if (IsCountedRun(*run)) {
        BookRunAt(context, *run, closingMean);
    }
    run->length = 0;
    run->level = y;
}

template <int16_t kLayout>
void AccumulateRunFast(QVContext* context, const uint8_t* pixels, uint32_t count, int16_t step,
                       bool sampleLine, uint32_t stride) {
    Run run;
    PendingChroma pending;
    int32_t lastSum = 0;
    uint32_t untilSample = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* p = pixels + static_cast<std::ptrdiff_t>(i) * step;
        const Rgb px = ReadPixel(p, kLayout);
        const int32_t sum = px.r + px.g + px.b;
        lastSum = sum;
        const bool sampled = sampleLine && untilSample == 0;
        untilSample = untilSample == 0 ? stride - 1 : untilSample - 1;
        if (sum == kBlackSum || sum == kWhiteSum) {
            continue;
        }
        const int32_t y = Luma(px.r, px.g, px.b);
        const int32_t dr = px.r - y;
        const int32_t db = px.b - y;
        const int32_t q = dr * dr + db * db;
        if (sampled) {
            SampleChroma(context, dr, db, q);
        }
        if (y != run.level) {
            CloseRun(context, y, sum / 3, &run, &pending);
        }
        ++run.length;
        if (y <= kBrightLevel || q < kBrightChromaLimit) {
            pending.Add(dr, db);
        }
    }
    pending.FlushInto(&context->levelStats[run.level]);
    if (run.length != 0 && IsCountedRun(run)) {
        BookRun(context, run, lastSum);
    }
}

#if defined(VOVED_HAVE_AVX2_PATH)
// What the lanes do for one pixel, for the pixels they leave.
void PreparePixel(const Rgb& px, uint32_t k, PreparedPixels* out) {
    const int32_t sum = px.r + px.g + px.b;
    const int32_t y = Luma(px.r, px.g, px.b);
    const int32_t dr = px.r - y;
    const int32_t db = px.b - y;
    const bool summed = y <= kBrightLevel || dr * dr + db * db < kBrightChromaLimit;
    const bool skipped = sum == kBlackSum || sum == kWhiteSum;
    out->level[k] = static_cast<int16_t>(y);
    out->summedRY[k] = static_cast<int16_t>(summed ? dr : 0);
    out->summedBY[k] = static_cast<int16_t>(summed ? db : 0);
    out->meanAndFlags[k] = static_cast<int16_t>(sum / 3 | (summed ? 1 << kSummedBit : 0) |
                                                (skipped ? 1 << kSkippedBit : 0));
}

// Where a line's pass stands between chunks. The loops work on a copy, so
// it stays in registers (through the pointer, every store to the
// statistics might change it).
struct LineState {
    Run run;
    PendingChroma pending;
    uint32_t untilSample = 0;
};

// Adds a line's walked totals to the context's bins.
void AddLineTotals(QVContext* context, const LineTotals& totals) {
    for (int level = 0; level < kLevels; ++level) {
        QVLevelBin& bin = context->levelStats[level];
        const int32_t* lanes = totals.byLevel[level];
        bin.runByLevel += static_cast<uint32_t>(lanes[kLaneIndex]);
        bin.chromaCount += static_cast<uint32_t>(lanes[kLaneChromaCount]);
        bin.sumRY = AddWrap32(bin.sumRY, lanes[kLaneSumRY]);
        bin.sumBY = AddWrap32(bin.sumBY, lanes[kLaneSumBY]);
        bin.runByMean += totals.runByMean[level];
    }
}

// Zeroing a line's totals and adding them to the context cost about as
// much as walking a few hundred pixels.
constexpr uint32_t kShortestWalkedLine = 1024;

// The sampled pixels of a prepared chunk, `untilSample` pixels on from its
// first and every stride-th after, but pure black and white ones; returns
// the count for the next chunk. Kept out of the pixel loops, which then
// hold fewer values.
template <int16_t kLayout>
uint32_t SampleChunk(QVContext* context, const uint8_t* chunk, const PreparedPixels& prepared,
                     uint32_t count, int16_t step, bool sampleLine, uint32_t stride,
                     uint32_t untilSample) {
    if (untilSample >= count) {
        return untilSample - count;
    }
    uint32_t k = untilSample;
    for (;; k += stride) {
        if (sampleLine && (prepared.meanAndFlags[k] >> kSkippedBit & 1) == 0) {
            const Rgb px = ReadPixel(chunk + static_cast<std::ptrdiff_t>(k) * step, kLayout);
            const int32_t dr = px.r - prepared.level[k];
            const int32_t db = px.b - prepared.level[k];
            SampleChroma(context, dr, db, dr * dr + db * db);
        }
        if (count - k <= stride) {
            return k + stride - count;
        }
    }
}

// The pixel loop over prepared pixels, for chunks with pure black or white
// pixels, short lines, and the line's last pixels.
void AccumulatePrepared(QVContext* context, const PreparedPixels& prepared, uint32_t count,
                        LineState* state) {
    LineState line = *state;
    Run* const run = &line.run;
    PendingChroma* const pending = &line.pending;
    for (uint32_t k = 0; k < count; ++k) {
        const int32_t meanAndFlags = prepared.meanAndFlags[k];
        if ((meanAndFlags >> kSkippedBit & 1) != 0) {
            continue;
        }
        const int32_t y = prepared.level[k];
        if (y != run->level) {
            CloseRun(context, y, meanAndFlags & kMeanMask, run, pending);
        }
        ++run->length;
        pending->sumRY = AddWrap32(pending->sumRY, prepared.summedRY[k]);
        pending->sumBY = AddWrap32(pending->sumBY, prepared.summedBY[k]);
        pending->count += static_cast<uint32_t>(meanAndFlags >> kSummedBit & 1);
    }
    *state = line;
}

// The same pass over pixels prepared a chunk at a time in AVX2 lanes (for
// 3- and 4-byte pixels): the loops themselves only book runs and add the
// sums the lanes prepared.
template <int16_t kLayout>
void AccumulateRunLanes(QVContext* context, const uint8_t* pixels, uint32_t count, int16_t step,
                        bool sampleLine, uint32_t stride) {
    LineState line;
    PreparedPixels prepared;
    const bool walkable = count >= kShortestWalkedLine;
    LineTotals totals;
    bool walked = false;
    for (uint32_t first = 0; first < count; first += kStatisticsChunk) {
        const uint32_t n = count - first < kStatisticsChunk ? count - first : kStatisticsChunk;
        const uint8_t* chunk = pixels + static_cast<std::ptrdiff_t>(first) * step;
        uint32_t k =
            PreparePixelsAvx2(chunk, n, count - first, step, kLayout == kLayoutBgr, &prepared);
        if (walkable && k == n && FindLevelChangesAvx2(n, &prepared)) {
            if (!walked) {
                std::memset(&totals, 0, sizeof totals);
                walked = true;
            }
            line.pending.FlushInto(&context->levelStats[line.run.level]);
            SumRunningAvx2(n, &prepared);
            int32_t start = -static_cast<int32_t>(line.run.length);
            WalkRunsAvx2(prepared, n, &line.run.level, &start, &totals);
            line.run.length = static_cast<uint32_t>(-start);
        } else {
            for (; k < n; ++k) {
                PreparePixel(ReadPixel(chunk + static_cast<std::ptrdiff_t>(k) * step, kLayout), k,
                             &prepared);
            }
            AccumulatePrepared(context, prepared, n, &line);
        }
        line.untilSample = SampleChunk<kLayout>(context, chunk, prepared, n, step, sampleLine,
                                                stride, line.untilSample);
    }
    line.pending.FlushInto(&context->levelStats[line.run.level]);
    if (walked) {
        AddLineTotals(context, totals);
    }
    if (line.run.length != 0 && IsCountedRun(line.run)) {
        const Rgb last = ReadPixel(pixels + static_cast<std::ptrdiff_t>(count - 1) * step, kLayout);
        BookRun(context, line.run, last.r + last.g + last.b);
    }
}
#endif

template <int16_t kLayout>
void AccumulateLine(QVContext* context, const uint8_t* pixels, uint32_t count, int16_t step,
                    bool sampleLine, uint32_t stride) {
    if (UsePlainPaths()) {
        AccumulateRun<kLayout>(context, pixels, count, step, sampleLine, stride);
        return;
    }
#if defined(VOVED_HAVE_AVX2_PATH)
    if (kLayout != kLayoutRgb555 && (step == 3 || step == 4) && HasAvx2()) {
        AccumulateRunLanes<kLayout>(context, pixels, count, step, sampleLine, stride);
        return;
    }
#endif
    AccumulateRunFast<kLayout>(context, pixels, count, step, sampleLine, stride);
}

}  // namespace

void AccumulateStatistics(QVContext* context, const uint8_t* pixels, uint16_t count, int16_t step,
                          int16_t layout) {
    const uint32_t stride = count / kSamplesPerLine + 1u;
    if (count > 0) {
        const bool sampleLine = context->histogramCalls % stride == 0;
        switch (layout) {
        case kLayoutBgr:
            AccumulateLine<kLayoutBgr>(context, pixels, count, step, sampleLine, stride);
            break;
        case kLayoutRgb:
            AccumulateLine<kLayoutRgb>(context, pixels, count, step, sampleLine, stride);
            break;
        default:
            AccumulateLine<kLayoutRgb555>(context, pixels, count, step, sampleLine, stride);
            break;
        }
    }
    context->histogramCalls = u16(context->histogramCalls + 1);
}

void MergeStatistics(QVContext* target, const QVContext* source) {
    for (int k = 0; k < kLevels; ++k) {
        QVLevelBin& to = target->levelStats[k];
        const QVLevelBin& from = source->levelStats[k];
        to.runByLevel += from.runByLevel;
        to.chromaCount += from.chromaCount;
        to.runByMean += from.runByMean;
        to.radiusCount += from.radiusCount;
        to.sumRY = AddWrap32(to.sumRY, from.sumRY);
        to.sumBY = AddWrap32(to.sumBY, from.sumBY);
    }
    for (int d = 0; d < kHueDegrees; ++d) {
        target->hueCounts[d] += source->hueCounts[d];
    }
}

}  // namespace voved
