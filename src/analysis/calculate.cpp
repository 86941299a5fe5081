// The analysis reads only the statistics and the settings of QVExtension.
// Counters are 32-bit unsigned with wrapping sums and truncating divisions;
// the casts are computed in double precision and truncated when stored.
#include "analysis/calculate.h"

#include <cmath>

#include "analysis/analysis_record.h"
#include "analysis/classify.h"
#include "analysis/highlights.h"
#include "analysis/tone_step.h"
#include "context/handles.h"
#include "pixels/fixed.h"
#include "stats/colour_geometry.h"

namespace voved {

namespace {

constexpr int16_t kNoMemory = QV_RESULT_NO_MEMORY;
constexpr int16_t kNoExtension = QV_RESULT_NOT_DERIVED;
constexpr int16_t kNoCorrection = QV_RESULT_NO_CORRECTION;
constexpr int16_t kToneOnly = QV_RESULT_TONE_ONLY;
constexpr int16_t kToneStepNotAsked = -7;

// What a failure leaves allowed: no level correction at all, or no colour
// correction.
constexpr uint16_t kMaskWithoutLevels = 0x1FFF;
constexpr uint16_t kMaskWithoutColour = 0x3FFF;

constexpr uint32_t kNothingSampled = 1000;
constexpr uint16_t kUnitGain = 1024;
constexpr GainByBand kSaturationGain = {{1229, 1178, 1024}};

constexpr uint32_t kNoSpread = 1000;
constexpr int32_t kNoLevelSpread = 1000;
constexpr int32_t kLevelWithoutHue = -1000;
constexpr int32_t kNoHue = -100;

// A level needs this many chroma-counted pixels for its mean hue, and for a
// black point; a white point needs fewer.
constexpr uint32_t kMinLevelChroma = 10;
constexpr uint32_t kMinWhiteChroma = 5;

// 0.5 percent of all counted runs decide the black and white points.
constexpr uint32_t kThresholdPerMille = 5;
constexpr int kHighestBlackSearched = 95;
constexpr int32_t kLowestWhite = 92;

// A knee below the white point stands in for it in colourful pictures whose
// levels disagree on their hue.
constexpr uint32_t kKneeMeanRadius = 15;
constexpr int32_t kKneeReach = 50;
constexpr int32_t kKneeLevelSpread = 2500;

// Dark pictures get a white point of at least 150, more for a strong cast.
constexpr int32_t kDarkWhite = 70;
constexpr double kDarkCastCap = 50.0;
constexpr double kDarkWhiteBase = 150.0;

constexpr int32_t kMinLevelSpan = 60;
constexpr int16_t kHighestOutput = 255;

struct Spreads {
    uint32_t meanRadius;
    uint32_t hueSpread;
    int32_t levelHueSpread;
};

// Mean radius of the samples; sets the saturation gain from it.
uint32_t MeasureMeanRadius(QVContext* context) {
    uint32_t n = 0;
    uint32_t weighted = 0;
    for (uint32_t k = 0; k < kLevels; ++k) {
        n += context->levelStats[k].radiusCount;
        weighted += k * context->levelStats[k].radiusCount;
    }
    if (n == 0) {
        context->saturationGain = kUnitGain;
        return kNothingSampled;
    }
    const uint32_t meanRadius = weighted / n;
    context->saturationGain = kSaturationGain.For(static_cast<int32_t>(meanRadius));
    return meanRadius;
}

// Copies the runs booked by mean into a work table and finds the shoulder.
int16_t FindHighlightShoulder(const QVContext& context, uint8_t* kneeLevel,
                              uint8_t* whiteSearchTop) {
    QVHandle table{};
    if (AttachBlock(kLevels * sizeof(uint32_t), &table) != 0) {
        return kNoMemory;
    }
    uint32_t* counts = static_cast<uint32_t*>(table.block);
    uint32_t total = 0;
    for (int k = 0; k < kLevels; ++k) {
        counts[k] = context.levelStats[k].runByMean;
        total += counts[k];
    }
    AnalyseHighlights(counts, total, kneeLevel, whiteSearchTop);
    ReleaseBlock(&table);
    return 0;
}

// Count-weighted variance of the sampled hue degrees.
uint32_t MeasureHueSpread(const uint32_t* hueCounts) {
    uint32_t total = 0;
    uint32_t weighted = 0;
    for (uint32_t d = 0; d < kHueDegrees; ++d) {
        total += hueCounts[d];
        weighted += d * hueCounts[d];
    }
    if (total == 0) {
        return kNoSpread;
    }
    const uint32_t mean = weighted / total;
    uint32_t squares = 0;
    for (uint32_t d = 0; d < kHueDegrees; ++d) {
        const uint32_t offset = d - mean;  // its square is the same as the signed one's
        squares += hueCounts[d] * (offset * offset);
    }
    return squares / total;
}

// Variance of the mean hues of the levels with enough chroma. Levels whose
// chroma sums cancel out count in the number of levels but add no hue.
int32_t MeasureLevelHueSpread(const QVLevelBin* levels) {
    int32_t angles[kLevels];
    int32_t n = 0;
    int32_t sum = 0;
    for (int k = 0; k < kLevels; ++k) {
        angles[k] = levels[k].chromaCount < kMinLevelChroma
                        ? kLevelWithoutHue
                        : HueAngle(levels[k].sumRY, levels[k].sumBY);
        if (angles[k] != kLevelWithoutHue) {
            ++n;
            if (angles[k] != kNoHue) {
                sum += angles[k];
            }
        }
    }
    if (n == 0) {
        return kNoLevelSpread;
    }
    const int32_t mean = sum / n;
    int32_t squares = 0;
    for (int32_t angle : angles) {
        if (angle != kLevelWithoutHue && angle != kNoHue) {
            squares += (angle - mean) * (angle - mean);
        }
    }
    return squares / n;
}

uint32_t RunThreshold(const QVLevelBin* levels) {
    uint32_t runs = 0;
    for (int k = 0; k < kLevels; ++k) {
        runs += levels[k].runByLevel;
    }
    return (kThresholdPerMille * runs) / 1000u;
}

// The level just above the darkest levels that hold the threshold's share of
// runs: 1..97.
int32_t FindBlackLevel(const QVLevelBin* levels, uint32_t threshold) {
    uint32_t sum = 0;
    for (int32_t k = 0; k <= kHighestBlackSearched; ++k) {
        sum += levels[k].runByLevel;
        if (sum >= threshold) {
            return k + 1;
        }
    }
    return kHighestBlackSearched + 2;
}

// Counts bins down from 255 while a counter runs down from the search top;
// the raw white level is where the counter stands when the threshold is
// reached, less one (0 when it never is).
int32_t FindRawWhiteLevel(const QVLevelBin* levels, uint32_t threshold, uint8_t whiteSearchTop) {
    uint32_t sum = 0;
    int32_t counter = whiteSearchTop;
    int32_t bin = kLevels - 1;
    while (counter > 1) {
        sum += levels[bin].runByLevel;
        if (sum >= threshold) {
            break;
        }
        --counter;
        --bin;
    }
    return counter - 1;
}

void MeanCast(const QVLevelBin& bin, double* ry, double* by) {
    *ry = static_cast<double>(bin.sumRY) / bin.chromaCount;
    *by = static_cast<double>(bin.sumBY) / bin.chromaCount;
}

// Steps of the black and white points. Returns 0 with the record filled and
// the raw white level, or -4.
int16_t FindLevels(const QVContext& context, const Spreads& spreads, uint8_t kneeLevel,
                   uint8_t whiteSearchTop, QVAnalysisRecord* record, int32_t* rawWhite) {
    const QVLevelBin* levels = context.levelStats;
    const uint32_t threshold = RunThreshold(levels);

    const int32_t black = FindBlackLevel(levels, threshold);
    if (levels[black].chromaCount < kMinLevelChroma) {
        return kNoCorrection;
    }
    MeanCast(levels[black], &record->shadowRY, &record->shadowBY);

    const int32_t wRaw = FindRawWhiteLevel(levels, threshold, whiteSearchTop);
    int32_t white = wRaw < kLowestWhite ? kLowestWhite : wRaw;
    if (spreads.meanRadius > kKneeMeanRadius && kneeLevel < white &&
        white - kneeLevel < kKneeReach && spreads.levelHueSpread > kKneeLevelSpread) {
        white = kneeLevel;
    }
    if (levels[white].chromaCount < kMinWhiteChroma) {
        return kNoCorrection;
    }
    MeanCast(levels[white], &record->whiteRY, &record->whiteBY);

    if (wRaw < kDarkWhite) {
        const double dRY = record->whiteRY - record->shadowRY;
        const double dBY = record->whiteBY - record->shadowBY;
        const double dist = std::sqrt(dRY * dRY + dBY * dBY);
        const double cap = dist < kDarkCastCap ? dist : kDarkCastCap;
        const double raised = 2.0 * cap + kDarkWhiteBase;
        if (!(white > raised)) {
            white = u8(TruncToInt32(raised));
        }
        if (levels[white].chromaCount < kMinWhiteChroma) {
            record->whiteRY = 0.0;
            record->whiteBY = 0.0;
        } else {
            MeanCast(levels[white], &record->whiteRY, &record->whiteBY);
        }
    }

    if (white - black < kMinLevelSpan) {
        return kNoCorrection;
    }
    record->blackLevel = static_cast<uint8_t>(black);
    record->whiteLevel = static_cast<uint8_t>(white);
    *rawWhite = wRaw;
    return 0;
}

void SetIdentityCurve(QVContext* context) {
    for (int i = 0; i < kToneCurveSize; ++i) {
        context->toneCurve[i] = static_cast<int16_t>(i);
    }
}

// The first input level whose output reaches white; 0 when none does.
int16_t FindHighlightLevel(const QVContext& context) {
    for (int i = 0; i < kToneCurveSize; ++i) {
        if (context.toneCurve[i] >= kHighestOutput) {
            return static_cast<int16_t>(i);
        }
    }
    return 0;
}

void ClearModeBits(QVContext* context, uint16_t keep) {
    context->correctionMask = static_cast<uint16_t>(context->correctionMask & keep);
    context->mode = static_cast<uint16_t>(context->mode & keep);
}

// Applies the classification's outcome; returns the status the tone step
// and the result are decided by (0 or -5).
int16_t TakeClassification(QVContext* context, const QVAnalysisRecord& record, int16_t classified) {
    if (classified != 0) {
        context->correctionMask = kMaskWithoutColour;
        return kToneOnly;
    }
    context->flags = static_cast<uint16_t>(context->flags | kFlagDerived);
    context->shadowCastRY = TruncToShort(record.shadowRY);
    context->shadowCastBY = TruncToShort(record.shadowBY);
    context->blackLevel = record.blackLevel;
    context->whiteLevel = record.whiteLevel;
    return 0;
}

// Runs the tone step when the mode asks for it; -7 when it does not.
int16_t RunToneStep(QVContext* context, int16_t status) {
    if ((context->mode & kModeByteTable) == 0) {
        return kToneStepNotAsked;
    }
    const int16_t t = ToneStep(context, status);
    if (t >= 0) {
        context->flags = static_cast<uint16_t>(context->flags | kFlagDerived);
    } else {
        ClearModeBits(context, static_cast<uint16_t>(~kModeByteTable));
    }
    return t;
}

}  // namespace

int16_t FinishAnalysis(QVContext* context, int16_t status, int16_t toneResult) {
    if ((context->mode & kModeCorrect) != 0) {
        if (status == 0) {
            return 0;
        }
        ClearModeBits(context, kMaskWithoutColour);
        return toneResult < 0 ? kNoCorrection : kToneOnly;
    }
    return toneResult < 0 ? kNoCorrection : status;
}

int16_t CalculateCorrection(QVContext* context) {
    if ((context->flags & kFlagExtension) == 0) {
        return kNoExtension;
    }
    context->sceneCode = kSceneNone;
    context->correctionType = kTypeNone;

    Spreads spreads{};
    spreads.meanRadius = MeasureMeanRadius(context);
    uint8_t kneeLevel = 0;
    uint8_t whiteSearchTop = 0;
    if (FindHighlightShoulder(*context, &kneeLevel, &whiteSearchTop) != 0) {
        return kNoMemory;
    }
    spreads.hueSpread = MeasureHueSpread(context->hueCounts);
    spreads.levelHueSpread = MeasureLevelHueSpread(context->levelStats);

    QVAnalysisRecord record{};
    int32_t rawWhite = 0;
    if (FindLevels(*context, spreads, kneeLevel, whiteSearchTop, &record, &rawWhite) != 0) {
        context->correctionMask = kMaskWithoutLevels;
        return kNoCorrection;
    }
    context->whiteLevel = static_cast<uint8_t>(rawWhite);
    context->blackLevel = record.blackLevel;
    SetIdentityCurve(context);

    const int16_t classified =
        ClassifyScene(context, &record, spreads.hueSpread, spreads.levelHueSpread,
                      spreads.meanRadius, whiteSearchTop);
    const int16_t status = TakeClassification(context, record, classified);
    context->highlightLevel = FindHighlightLevel(*context);
    const int16_t t = RunToneStep(context, status);
    return FinishAnalysis(context, status, t);
}

}  // namespace voved
