#include "analysis/tone_measure.h"

#include "pixels/fixed.h"

namespace voved {

namespace {

constexpr int32_t kTopLevel = kLevels - 1;
constexpr int32_t kStretchScale = 1000;  // the stretch step is kept x 1000

// Highlight spikes: the band searched, how many spikes are kept, the share of
// all counts (x 10000) above which they are taken as real highlights, and
// the divisor of the band's sum that gives the clipping limit.
constexpr int32_t kSpikeBandFirst = 230;
constexpr int kSpikesKept = 7;
constexpr double kSpikeRealShare = 3000.0;
constexpr double kSpikeLimitDivisor = 19.0;

constexpr double kShareScale = 10000.0;
constexpr double kHighlightShare = 100.0;  // 1 percent, x 10000
constexpr double kWeightScale = 0.1;

// Sum of counts[first..last] in double precision.
double SumCounts(const uint32_t* counts, int32_t first, int32_t last) {
    double sum = 0.0;
    for (int32_t level = first; level <= last; ++level) {
        sum += counts[level];
    }
    return sum;
}

// Interpolates the zero gaps between the non-zero counts left by the
// stretch; counts past the last non-zero one repeat it.
void FillStretchGaps(uint32_t* counts) {
    int32_t at = 0;
    while (at < kLevels && counts[at] == 0) {
        ++at;
    }
    while (at < kTopLevel) {
        int32_t next = at + 1;
        while (next < kLevels && counts[next] == 0) {
            ++next;
        }
        if (next == kLevels) {
            for (int32_t level = at + 1; level < kLevels; ++level) {
                counts[level] = counts[level - 1];
            }
            return;
        }
        const uint32_t span = static_cast<uint32_t>(next - at);
        if (counts[at] < counts[next]) {
            const uint32_t rise = (counts[next] - counts[at]) / span;
            for (int32_t level = at + 1; level < next; ++level) {
                counts[level] = counts[level - 1] + rise;
            }
        } else {
            const uint32_t fall = (counts[at] - counts[next]) / span;
            for (int32_t level = at + 1; level < next; ++level) {
                counts[level] = counts[level - 1] - fall;
            }
        }
        at = next;
    }
}

struct Spike {
    uint32_t count;
    int32_t level;
};

// Keeps `kept` sorted by count, largest first; among equal counts the one
// kept longest stays ahead.
void KeepSpike(Spike (&kept)[kSpikesKept], Spike spike) {
    for (int slot = 0; slot < kSpikesKept; ++slot) {
        if (kept[slot].count < spike.count) {
            for (int later = kSpikesKept - 1; later > slot; --later) {
                kept[later] = kept[later - 1];
            }
            kept[slot] = spike;
            return;
        }
    }
}

uint16_t TruncToField(double value) {
    return u16(TruncToInt32(value));
}

}  // namespace

void CopyRunCounts(const QVContext& context, uint32_t* counts) {
    for (int32_t level = 0; level < kLevels; ++level) {
        counts[level] = context.levelStats[level].runByLevel;
    }
}

void StretchHistogram(const QVContext& context, uint32_t* counts) {
    const int32_t black = context.blackLevel;
    const int32_t range = int32_t{context.whiteLevel} - black;
    if (range <= 0) {
        CopyRunCounts(context, counts);  // nothing to stretch
        return;
    }
    for (int32_t level = 0; level < kLevels; ++level) {
        counts[level] = 0;
    }
    // Each count is kept one above its value so that a zero marks a gap.
    const int32_t step = kTopLevel * kStretchScale / range;
    for (int32_t j = 0; j <= range; ++j) {
        counts[j * step / kStretchScale] = context.levelStats[black + j].runByLevel + 1u;
    }
    FillStretchGaps(counts);
    for (int32_t level = 0; level < kLevels; ++level) {
        counts[level] -= 1u;
    }
}

void ClipHighlightSpikes(uint32_t* counts) {
    const double total = SumCounts(counts, 0, kTopLevel);
    if (total == 0.0) {
        return;  // nothing counted, nothing to clip
    }
    Spike kept[kSpikesKept] = {};
    double keptSum = 0.0;
    for (int32_t level = kSpikeBandFirst; level <= kTopLevel; ++level) {
        KeepSpike(kept, {counts[level], level});
    }
    for (const Spike& spike : kept) {
        keptSum += spike.count;
    }
    if (keptSum * kShareScale / total >= kSpikeRealShare) {
        return;
    }
    const double limit = SumCounts(counts, kSpikeBandFirst, kTopLevel) / kSpikeLimitDivisor;
    for (const Spike& spike : kept) {
        if (10.0 * spike.count > 15.0 * limit) {
            counts[spike.level] = static_cast<uint32_t>(limit);
        }
    }
}

void MeasureTones(const uint32_t* counts, ToneTableReader& table, QVToneStats* stats) {
    stats->weight = table.Byte(kToneWeightAt);
    stats->lowBound = table.Byte(kToneLowBoundAt);
    stats->midBound = table.Byte(kToneMidBoundAt);

    const double total = SumCounts(counts, 0, kTopLevel);
    if (total == 0.0) {
        return;  // no level qualifies and every share is 0
    }
    double above = 0.0;
    for (int32_t level = kTopLevel; level >= 0; --level) {
        above += counts[level];
        if (above * kShareScale / total > kHighlightShare) {
            stats->highlight = u16(level);
            break;
        }
    }
    const double shadow = SumCounts(counts, 0, stats->lowBound);
    const double mid = SumCounts(counts, stats->lowBound + 1, stats->midBound);
    stats->lowShare = TruncToField(shadow * kShareScale / total);
    stats->midShare = TruncToField(mid * kShareScale / total);
    stats->score = TruncToField(
        (stats->weight * shadow * kShareScale * kWeightScale + mid * kShareScale) / total);
}

}  // namespace voved
