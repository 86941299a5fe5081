// Line steps shared by the one-shot correction and the streaming conversion.
#pragma once

#include <cstdint>

#include "context/context.h"

namespace voved {

// Plain forward transform of a pixel run into the working line at `line`
// (planes of `count` samples). Returns 0.
int16_t PixelsToWorkLine(const uint8_t* source, int16_t* line, uint16_t count, int16_t step,
                         int16_t layout);

// Fills a 256-byte buffer with the fixed output curve of correction type
// 5002. Returns 0.
int16_t BuildFixedOutputCurve(uint8_t* curve);

// Maps every byte of the run (pixelCount pixels of |step| bytes) through the
// context's tone table; source and destination may be the same.
void ApplyToneTable(const QVContext* context, const uint8_t* source, uint8_t* destination,
                    uint16_t pixelCount, int16_t step);

// Sine and cosine in extended precision, for the toning constants.
long double SineExtended(double radians);
long double CosineExtended(double radians);

}  // namespace voved
