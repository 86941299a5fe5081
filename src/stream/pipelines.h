// The two pipelines of QVCorrection2 that work over the ring of five
// working lines, and the line mapping around the sharpening.
#pragma once

#include <cstdint>

#include "stream/step_call.h"

namespace voved {

// The input side of the sharpening's line mapping: replays a held output
// line, skips a caller line that maps to no working row, or holds a copy of
// the caller line that the next working rows are made from.
struct InputMapping {
    bool endsCall;  // the call answers `result` without a pipeline step
    uint16_t result;
};
InputMapping MapInputLine(const StepCall& call);

// One step of the sharpening pipeline at the working size.
uint16_t SharpenStep(const StepCall& call);

// The output side of the mapping on the step's result: drops a row that
// maps to no caller line, holds one that maps to several, and keeps the
// caller's line while it still makes working rows.
uint16_t MapOutputRow(const StepCall& call, uint16_t result);

// One step of the noise-filter pipeline at the image size.
uint16_t DenoiseStep(const StepCall& call);

}  // namespace voved
