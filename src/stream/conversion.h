// Opening and closing a streaming conversion: the effective mode, the
// working size at which the sharpening runs, and the line buffers.
#pragma once

#include <cstdint>

#include "context/context.h"

namespace voved {

struct WorkingSize {
    uint16_t width;
    uint16_t lines;
};

// The size at which a conversion of `mode` works. Only a sharpening
// conversion without colour correction, with an output width, resamples:
// to bring the effective resolution imageWidth x resolutionScale /
// outputWidth between 300 and 700, it enlarges by a whole factor below 300
// and divides by a whole divisor above 700.
WorkingSize ChooseWorkingSize(uint16_t imageWidth, uint16_t imageLines, uint16_t outputWidth,
                              int16_t resolutionScale, uint16_t mode);

// Opens a conversion on a valid context. Returns 0, -1 (a buffer could not
// be allocated: none is left) or -2 (nothing left of the requested mode).
int16_t InitImageConversion(QVContext* context, uint16_t imageWidth, uint16_t imageLines,
                            uint16_t outputWidth, int16_t resolutionScale, uint16_t requestedMode);

// Releases the buffers of the conversion; sizes, mode and counters stay.
int16_t TerminateImageConversion(QVContext* context);

// Bytes of a held caller line: up to imageWidth pixels of up to 4 bytes.
constexpr uint32_t HeldLineBytes(uint32_t imageWidth) {
    return 4u * imageWidth;
}

// Whether a conversion of `mode` keeps the ring and the held lines.
constexpr bool UsesRing(uint16_t mode) {
    return (mode & (kModeSharpen | kModeDenoise)) != 0;
}

}  // namespace voved
