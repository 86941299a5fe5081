// QVCorrection2: one step of an open streaming conversion.
#pragma once

#include <cstdint>

#include "context/context.h"

namespace voved {

// One call on a valid context: checks that the call fits the open
// conversion, prepares the line pointers, runs the path the mode selects
// and answers a step code.
uint16_t Correction2(QVContext* context, const uint8_t* source, uint8_t* destination,
                     uint16_t pixelCount, int16_t step, int16_t layout, int16_t toneHue,
                     int16_t sharpenLevel);

}  // namespace voved
