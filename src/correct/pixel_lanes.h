// Loops over 3- and 4-byte pixels eight at a time, on processors with AVX2:
// the forward transform into a working line, and the pixel loop of type
// 5001 (the one-entry colour cache).
//
// Within a run of pixels none of which is near white, the cache's key at a
// pixel is the colour of the pixel before it, so a hit repeats the output of
// the pixel before: each output is the prepared colour of the last pixel
// that was not a hit, or the cached output when none was. That is a
// segmented fill across lanes, with no dependency from pixel to pixel.
#pragma once

#include <cstdint>

#include "correct/correction_core.h"
#include "correct/rotation_lanes.h"

namespace voved {

// A colour packed into one word, red in the low byte: the form the lanes
// below read and write.
constexpr uint32_t Pack(const Rgb& c) {
    return static_cast<uint32_t>(c.r) | static_cast<uint32_t>(c.g) << 8 |
           static_cast<uint32_t>(c.b) << 16;
}
constexpr Rgb Unpack(uint32_t w) {
    return {static_cast<int32_t>(w & 0xFFu), static_cast<int32_t>((w >> 8) & 0xFFu),
            static_cast<int32_t>(w >> 16)};
}
constexpr uint32_t kPackedWhite = Pack(kWhite);

#if defined(VOVED_HAVE_AVX2_PATH)
// The forward transform of pixels 0 .. of `source` (`step` 3 or 4; red
// first, or blue first when `bgr`) into samples 0 .. of the three planes,
// by groups of eight while loading a group reads no further than `count`
// pixels; returns how many pixels it converted. With `nearWhite`, also
// tells for each pixel whether R + G + B is above the near-white limit.
// Only for processors with AVX2.
uint32_t PixelsToWorkLineAvx2(const uint8_t* source, const WorkLine& planes, uint32_t count,
                              int16_t step, bool bgr, bool* nearWhite = nullptr);

// Corrects whole groups of eight 3- or 4-byte pixels (`step` 3 or 4; red
// first, or blue first when `bgr`) from pixel 0 of `source` into
// `destination`, reading prepared[k] (the packed colour of the batch, red in
// the low byte) for pixel k, and updating the packed cache key and value.
// Stops before a group with a near-white pixel, where fewer than eight of
// `count` pixels are left, or where loading a group would read past
// `lineLeft` pixels, and returns how many pixels it corrected. Only for processors with AVX2.
uint32_t CorrectCachedLanesAvx2(const uint8_t* source, uint8_t* destination, uint32_t count,
                                uint32_t lineLeft, int16_t step, bool bgr, const uint32_t* prepared,
                                uint32_t* key, uint32_t* value);

// Writes whole groups of eight colours of a batch (pixel k: red[k],
// green[k], blue[k], or white where luma[k] is near white; no pixel is
// made white when `luma` is null) as 3- or 4-byte
// pixels (`step` 3 or 4; red first, or blue first when `bgr`) from pixel 0
// of `destination`, up to `count` pixels; the fourth byte of a 4-byte pixel
// stays as it is. Returns how many pixels it wrote. Only for processors
// with AVX2.
uint32_t StoreBatchColoursAvx2(const uint8_t* red, const uint8_t* green, const uint8_t* blue,
                               const int16_t* luma, uint32_t count, uint8_t* destination,
                               int16_t step, bool bgr);
// Maps bytes 0 .. of `from` through the 256-entry `table` into `to`, by
// groups of 32 up to `count`; returns how many it mapped. Each group is read
// before it is written, so `from` and `to` may be the same bytes or apart,
// but must not overlap otherwise. Only for processors with AVX2.
uint32_t MapBytesAvx2(const uint8_t* table, const uint8_t* from, uint8_t* to, uint32_t count);
#endif

}  // namespace voved
