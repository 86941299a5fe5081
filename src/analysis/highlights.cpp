// All counts are 32-bit unsigned and every division truncates, as the
// histogram itself is kept.
#include "analysis/highlights.h"

#include <array>

#include "context/context.h"

namespace voved {

namespace {

constexpr uint8_t kNone = 255;

// The top band (241..255) against the band below it (226..240).
constexpr int kTopBandFirst = 241;
constexpr int kBelowBandFirst = 226;
constexpr int kBandWidth = 15;

// A heavy top: the top band holds more than three levels' share of all
// counts and more than three times the band below.
constexpr uint8_t kHeavyTopKnee = 254;
constexpr uint8_t kHeavyTopSearch = 245;

// A rising top: the search starts at the peak, when the peak lies in the
// top band, and moves down to the first place the histogram rises into.
constexpr int kRisingTopLowest = 241;
constexpr int kRisingTopWindow = 4;
constexpr int kRisingTopMinimum = 2;

// Otherwise a knee: five levels running that rise steeply enough into the
// levels below them.
constexpr int kKneeLowest = 121;
constexpr int kKneeWindow = 5;
constexpr int kKneeMinimum = 4;

constexpr int kStatusNone = 0;
constexpr int kStatusKnee = 1;
constexpr int kStatusHeavyTop = 2;
constexpr int kStatusRisingTop = 3;

using Smoothed = std::array<uint32_t, kLevels>;

// Five-level moving average; the two levels at each end average what they
// have (the second from each end skips its own level).
Smoothed Smooth(const uint32_t* h) {
    Smoothed s{};
    s[0] = h[0];
    s[1] = (h[0] + h[2]) / 2u;
    for (int k = 2; k <= 253; ++k) {
        s[k] = (h[k - 2] + h[k - 1] + h[k] + h[k + 1] + h[k + 2]) / 5u;
    }
    s[254] = (h[253] + h[255]) / 2u;
    s[255] = h[255];
    return s;
}

uint32_t BandSum(const Smoothed& s, int first) {
    uint32_t sum = 0;
    for (int k = first; k < first + kBandWidth; ++k) {
        sum += s[k];
    }
    return sum;
}

// How much the smoothed histogram rises from level k to level k - 1: +3
// (more than doubles) to -3 (falls below half); 0 for a level of hardly any
// counts.
int SlopeCode(const Smoothed& s, int k, uint32_t limit) {
    const uint32_t a = s[k];
    const uint32_t b = s[k - 1];
    if (a <= limit) {
        return 0;
    }
    if (b > 2u * a) {
        return 3;
    }
    if (b > (3u * a) / 2u) {
        return 2;
    }
    if (b > a) {
        return 1;
    }
    if (2u * b < a) {
        return -3;
    }
    if ((3u * b) / 2u < a) {
        return -2;
    }
    return b < a ? -1 : 0;
}

// Sum of the slope codes of `window` levels ending at n.
int SlopeSum(const Smoothed& s, int n, int window, uint32_t limit) {
    int sum = 0;
    for (int k = n - window + 1; k <= n; ++k) {
        sum += SlopeCode(s, k, limit);
    }
    return sum;
}

int PeakLevel(const Smoothed& s) {
    int peak = 0;
    for (int k = 1; k < kLevels; ++k) {
        if (s[k] > s[peak]) {
            peak = k;
        }
    }
    return peak;
}

}  // namespace

int AnalyseHighlights(const uint32_t* histogram, uint32_t total, uint8_t* kneeLevel,
                      uint8_t* whiteSearchTop) {
    *kneeLevel = kNone;
    *whiteSearchTop = kNone;
    const Smoothed s = Smooth(histogram);
    const uint32_t high = BandSum(s, kTopBandFirst);
    const uint32_t mid = BandSum(s, kBelowBandFirst);
    const uint32_t limit = total / 1000u;

    if (high > (3u * total) / 255u && high > 3u * mid) {
        *kneeLevel = kHeavyTopKnee;
        *whiteSearchTop = kHeavyTopSearch;
        return kStatusHeavyTop;
    }
    if (high > 2u * mid) {
        const int peak = PeakLevel(s);
        const int start = peak >= kRisingTopLowest ? peak : kHeavyTopSearch;
        *whiteSearchTop = static_cast<uint8_t>(start);
        for (int n = start; n >= kRisingTopLowest; --n) {
            if (SlopeSum(s, n, kRisingTopWindow, limit) >= kRisingTopMinimum) {
                *whiteSearchTop = static_cast<uint8_t>(n);
                return kStatusRisingTop;
            }
        }
        return kStatusNone;
    }
    for (int n = kLevels - 1; n >= kKneeLowest; --n) {
        if (SlopeSum(s, n, kKneeWindow, limit) >= kKneeMinimum) {
            *kneeLevel = static_cast<uint8_t>(n - kKneeWindow + 1);
            return kStatusKnee;
        }
    }
    return kStatusNone;
}

}  // namespace voved
