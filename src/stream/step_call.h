// What one QVCorrection2 call works on, shared by the driver and its paths.
#pragma once

#include <cstdint>

#include "context/context.h"
#include "voved32.h"

namespace voved {

constexpr uint16_t kStepTaken = QV_STEP_TAKEN;
constexpr uint16_t kStepOutput = QV_STEP_OUTPUT;
constexpr uint16_t kStepLast = QV_STEP_LAST;
constexpr uint16_t kStepAgain = QV_STEP_AGAIN;
constexpr uint16_t kStepFailed = QV_STEP_FAILED;
// The bits a call's own result is made of; a result without any of them
// becomes kStepAgain.
constexpr uint16_t kStepBits = kStepTaken | kStepOutput | kStepLast | kStepFailed;

struct StepCall {
    QVContext* context;
    const uint8_t* source;
    uint8_t* destination;
    uint16_t pixelCount;
    int16_t step;
    int16_t layout;
    int16_t toneHue;
    int16_t sharpenLevel;
    int16_t highlightLevel;  // read once at the start of the call
};

// Bytes of one caller line: pixelCount x step, the step being positive.
inline uint32_t LineBytes(const StepCall& call) {
    return static_cast<uint32_t>(call.pixelCount) * static_cast<uint32_t>(call.step);
}

}  // namespace voved
