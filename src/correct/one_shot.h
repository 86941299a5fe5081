// The one-shot correction of one picture line (the work of QVCorrection).
#pragma once

#include <cstdint>

#include "context/context.h"

namespace voved {

// One run of pixels from `source` to `destination` with a common step.
struct PixelRun {
    const uint8_t* source;
    uint8_t* destination;
    uint16_t count;
    int16_t step;
    int16_t layout;
};

// Corrects (or, without QV_MODE_CORRECT, copies) one line of a picture of
// `lineCount` lines, on a context that passed the validation rule. Returns
// 0; -3 when the parameters were not derived or the layout is unknown; -1
// when a pixel pointer is null (nothing is changed on any failure).
int16_t CorrectLine(QVContext* context, const PixelRun& run, uint16_t lineCount);

}  // namespace voved
