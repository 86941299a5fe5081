// Per-line steps of the streaming conversion: pixels to working lines and
// back with nearest-neighbour resampling, colour differences copied with a
// gain, and the monochrome toning.
//
// A working line of width w is the base of three planes of w samples
// (luminance, R - Y, B - Y). The steps keep no state, allocate nothing and
// return 0; a count or width of 0 does nothing.
#pragma once

#include <cstdint>

namespace voved {

// `pixelCount` pixels to a working line of `width` samples: pixel j fills
// samples floor(j * width / pixelCount) .. floor((j + 1) * width /
// pixelCount) - 1, so some pixels are skipped when width < pixelCount.
int16_t UnpackScaledLine(const uint8_t* pixels, int16_t* line, uint16_t pixelCount, uint16_t width,
                         int16_t step, int16_t layout);

// A working line of `width` samples to `pixelCount` pixels, the same mapping
// the other way round. 5-5-5 words get bit 15 clear.
int16_t PackScaledLine(const int16_t* line, uint8_t* pixels, uint16_t width, uint16_t pixelCount,
                       int16_t step, int16_t layout);

// A working line of `pixelCount` samples to as many pixels; bit 15 clear.
int16_t PackLine(const int16_t* line, uint8_t* pixels, uint16_t pixelCount, int16_t step,
                 int16_t layout);

// The colour-difference planes of `source` into those of `target`, times
// `chromaGain`, each product kept to its low 16 bits. The luminance plane of
// the target is not touched.
int16_t CopyScaledChroma(const int16_t* source, int16_t* target, uint16_t width,
                         int16_t chromaGain);

// Divides all three planes by `chromaGain` (at least 1), rounding to nearest
// with halves up: the sharpened line comes back to the picture's own scale.
int16_t RemoveSharpenGain(int16_t* line, uint16_t width, int16_t chromaGain);

// Toning: the colour differences become A x (sin h, cos h) with a radius A
// that grows with the luminance (10 at black, 109 at white); hue 0 is a blue
// tone, 90 a red one, and a negative hue gives grey.

// Sine and cosine of the hue, times 1024, truncated toward zero.
struct ToneFactors {
    int32_t ks;
    int32_t kc;
};
ToneFactors ToneFactorsOf(int16_t toneHue);

// A hue of 360 or more taken modulo 360; negative hues stay negative.
int16_t ReduceHue(int16_t toneHue);

// Replaces the colour differences of the first `width` samples by the tone;
// a luminance above 255 is stored back as 255.
int16_t ToneWorkLine(int16_t* line, uint16_t width, int16_t toneHue);

// Tones pixels directly; source and destination may be the same run. 5-5-5
// words keep the bit 15 of their source word.
int16_t ToneConvertPixels(const uint8_t* source, uint8_t* destination, uint16_t pixelCount,
                          int16_t step, int16_t layout, int16_t toneHue);

}  // namespace voved
