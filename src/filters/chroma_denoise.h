// Chroma noise filters over one to five working lines.
//
// Every line argument is the base of a working line of `count` samples per
// plane (luminance, R - Y, B - Y). `out` receives the filtered line; the
// colour values a filter smooths are also written back into `l0`, so later
// pixels and later lines see them. Neighbour lines l1..l4 are only read.
#pragma once

#include <cstdint>

#include "pixels/fixed.h"

namespace voved {

constexpr int16_t kFilterDone = 0;
constexpr int16_t kFilterNoPixels = -2;
constexpr int16_t kFilterAlone = -3;  // l0 differed from l1: filtered alone

// Absolute value of the low 16 bits as signed (AbsShort(-32768) is -32768:
// like the 16-bit machine, the value that does not fit stays as it is).
constexpr int16_t AbsShort(int32_t value) {
    const int16_t v = s16(value);
    return v < 0 ? s16(-static_cast<int32_t>(v)) : v;
}

// Copies the low 16 bits of `byteCount` bytes unless both addresses are the
// same; returns the destination.
void* CopySampleBytes(void* destination, const void* source, uint32_t byteCount);

int16_t ChromaDenoise1(uint16_t count, int16_t level, int16_t* out, int16_t* l0);
int16_t ChromaDenoise2(uint16_t count, int16_t level, int16_t* out, int16_t* l0, const int16_t* l1);
int16_t ChromaDenoise3(uint16_t count, int16_t level, int16_t* out, int16_t* l0, const int16_t* l1,
                       const int16_t* l2);
int16_t ChromaDenoise4(uint16_t count, int16_t level, int16_t* out, int16_t* l0, const int16_t* l1,
                       const int16_t* l2, const int16_t* l3);
int16_t ChromaDenoise5(uint16_t count, int16_t level, int16_t* out, int16_t* l0, const int16_t* l1,
                       const int16_t* l2, const int16_t* l3, const int16_t* l4);

}  // namespace voved
