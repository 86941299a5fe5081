// The correction context: the whole state of one job, and the constants the
// subsystems share about it.
//
// The library keeps no per-job state anywhere else. The context lives in one
// zero-filled block owned through the caller's QVHandle; the line buffers of
// the one-shot correction and of the streaming conversion are blocks owned
// through the handles inside it.
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

// The context record itself is public (read-only for applications): see
// QVContext in voved32.h.
using ::QVContext;
using ::QVLevelBin;

}  // namespace voved
