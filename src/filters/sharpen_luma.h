// Luminance sharpening kernels (high boost) over one to five working lines.
//
// Each reads only the luminance plane of its input lines (working lines of
// `count` samples per plane) and writes only the luminance plane of `out`.
// `strength` is the centre weight s (25..29); the gain is s - 24.
#pragma once

#include <cstdint>

namespace voved {

int16_t SharpenLuma1(uint16_t count, int16_t strength, const int16_t* l0, int16_t* out);
int16_t SharpenLuma2(uint16_t count, int16_t strength, const int16_t* l0, const int16_t* l1,
                     int16_t* out);
int16_t SharpenLuma3(uint16_t count, int16_t strength, const int16_t* l0, const int16_t* l1,
                     const int16_t* l2, int16_t* out);
int16_t SharpenLuma4(uint16_t count, int16_t strength, const int16_t* l0, const int16_t* l1,
                     const int16_t* l2, const int16_t* l3, int16_t* out);
// The centre line is l2.
int16_t SharpenLuma5(uint16_t count, int16_t strength, const int16_t* l0, const int16_t* l1,
                     const int16_t* l2, const int16_t* l3, const int16_t* l4, int16_t* out);

}  // namespace voved
