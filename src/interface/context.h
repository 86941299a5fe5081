// The correction context: the whole state of one job.
//
// The library keeps no per-job state anywhere else. The context lives in one
// zero-filled block owned through the caller's QVHandle; the line buffers of
// the one-shot correction and of the streaming conversion are blocks owned
// through the handles inside it. Fields are listed in their fixed order.
#pragma once

#include <cstdint>

#include "voved32.h"

namespace voved {

// "QV" read as a little-endian 16-bit word.
constexpr uint16_t kContextMagic = 0x5651u;

constexpr uint16_t kFlagValid = QV_FLAG_VALID;
constexpr uint16_t kFlagExtension = QV_FLAG_EXTENSION;
constexpr uint16_t kFlagDerived = QV_FLAG_DERIVED;

constexpr uint16_t kModeSharpen = QV_MODE_SHARPEN;
constexpr uint16_t kModeTone = QV_MODE_TONE;
constexpr uint16_t kModeByteTable = QV_MODE_BYTE_TABLE;
constexpr uint16_t kModeDenoise = QV_MODE_DENOISE;
constexpr uint16_t kModeCorrect = QV_MODE_CORRECT;

constexpr uint16_t kAllCorrections = 0xFFFFu;

// Correction types chosen by the analysis.
constexpr int16_t kTypeNone = 5000;
constexpr int16_t kTypeRotation = 5001;
constexpr int16_t kTypeBrightRotation = 5002;
constexpr int16_t kTypeStretch = 5003;

constexpr int16_t kSceneNone = 5000;

constexpr int kLevels = 256;
constexpr int kHueDegrees = 360;
constexpr int kToneCurveSize = 300;
constexpr int kToneTableSize = 256;
constexpr int kCameraModelSize = 260;  // 259 characters and the terminator
constexpr int kRingLines = 5;

// Statistics kept for one luminance level.
struct QVLevelBin {
    uint32_t runByLevel;   // short equal-luminance runs, at the run's level
    uint32_t chromaCount;  // pixels summed into sumRY / sumBY
    uint32_t runByMean;    // short runs, at the mean of R, G, B of the closing pixel
    uint32_t radiusCount;  // sampled pixels of this chroma radius (indexed by radius)
    int32_t sumRY;         // sum of R - Y
    int32_t sumBY;         // sum of B - Y
};

struct QVContext {
    uint16_t magic;
    uint16_t flags;
    QVLevelBin levelStats[kLevels];
    int16_t colourMatrix[9];  // row-major, 1024 = 1.0, on (R-Y, B-Y, Y)
    int16_t toneCurve[kToneCurveSize];
    int16_t shadowCastRY;
    int16_t shadowCastBY;
    uint8_t blackLevel;
    uint8_t whiteLevel;
    int16_t sceneCode;
    int16_t correctionType;
    uint32_t hueCounts[kHueDegrees];
    uint16_t saturationGain;  // 1024 = 1.0
    uint16_t histogramCalls;
    uint8_t toneTable[kToneTableSize];

    // One-shot correction: line history and filtered line.
    QVHandle historyHandle0;
    QVHandle historyHandle1;
    QVHandle historyHandle2;
    QVHandle filteredHandle;
    int16_t* historyLine0;
    int16_t* historyLine1;
    int16_t* historyLine2;
    int16_t* filteredLine;
    uint16_t historyWidth;
    uint16_t historyCount;
    uint16_t historyPhase;
    uint16_t lineCounter;

    // Streaming conversion buffers.
    QVHandle ringHandle[kRingLines];
    QVHandle resultLineHandle;
    QVHandle heldInputHandle;
    QVHandle heldOutputHandle;
    int16_t* ringLine[kRingLines];
    uint8_t* heldInputLine;
    uint8_t* heldOutputLine;
    int16_t* resultLine;

    // Streaming conversion sizes and counters.
    uint16_t imageWidth;
    uint16_t imageLines;
    uint16_t workWidth;
    uint16_t workLines;
    int16_t resolutionScale;
    uint16_t mode;
    uint16_t lineStep;
    int16_t ringPhase;
    uint16_t inputLineNo;
    int16_t inputMapped;
    uint16_t outputRowNo;
    int16_t outputMapped;
    int16_t outputRepeats;
    uint16_t heldResult;
    int16_t inputRepeats;
    // Set once QVCorrection2 has answered QV_STEP_LAST in a pipeline that
    // gives later calls no result of their own; cleared when a conversion
    // opens.
    uint16_t conversionDone;

    // Colour cache of the one-shot correction (type 5001).
    uint8_t cacheKey[4];
    uint8_t cacheRed;
    uint8_t cacheGreen;
    uint8_t cacheBlue;

    int16_t highlightLevel;
    const uint8_t* toneParameters;
    uint16_t correctionMask;
    QVHandle auxBlock;
    uint32_t cameraModelSet;
    char cameraModel[kCameraModelSize];
};

}  // namespace voved
