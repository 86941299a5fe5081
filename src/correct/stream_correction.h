// The colour correction as two stateless line steps of the streaming
// conversion. Both take the context itself and return a QVResult: -2 for a
// missing or invalid context, -3 when the parameters were not derived.
#pragma once

#include <cstdint>

#include "context/context.h"

namespace voved {

// Source pixels to a corrected working line (planes of `count` samples).
int16_t CorrectToWorkLine(const QVContext* context, const uint8_t* source, int16_t* line,
                          uint16_t count, int16_t step, int16_t layout);

// A filtered working line to corrected destination pixels; `source`
// supplies bit 15 of 5-5-5 words (and the pixels of the per-channel variant
// for that layout).
int16_t CorrectFromWorkLine(const QVContext* context, const uint8_t* source, uint8_t* destination,
                            const int16_t* line, uint16_t count, int16_t step, int16_t layout);

}  // namespace voved
