// Resampling, packing and gain steps of the streaming conversion.
#include "stream/line_steps.h"

#include "pixels/fixed.h"
#include "pixels/pixels.h"

namespace voved {

namespace {

// The first sample (or pixel) past the span that element `index` covers
// when `from` elements are spread over `to`: floor((index + 1) * to / from).
// The product is formed exactly: it needs up to 32 unsigned bits.
uint32_t SpanEnd(uint32_t index, uint32_t to, uint32_t from) {
    return (index + 1u) * to / from;
}

void WriteSample(uint8_t* pixel, int16_t layout, const Sample& s) {
    const Rgb c = InverseTransform(s.y, s.dr, s.db);
    WritePixel(pixel, layout, c.r, c.g, c.b, 0);
}

Sample SampleAt(const ConstWorkLine& line, uint32_t i) {
    return {line.y[i], line.dr[i], line.db[i]};
}

// floor(numerator / denominator) for a positive denominator.
int32_t FloorDiv(int32_t numerator, int32_t denominator) {
    const int32_t q = numerator / denominator;
    return (numerator % denominator != 0 && numerator < 0) ? q - 1 : q;
}

}  // namespace

int16_t UnpackScaledLine(const uint8_t* pixels, int16_t* line, uint16_t pixelCount, uint16_t width,
                         int16_t step, int16_t layout) {
    const WorkLine out = Planes(line, width);
    uint32_t u = 0;
    for (uint32_t j = 0; j < pixelCount; ++j) {
        const uint32_t v = SpanEnd(j, width, pixelCount);
        if (v > u) {
            const Rgb c = ReadPixel(pixels, layout);
            const Sample s = ForwardTransform(c.r, c.g, c.b);
            for (uint32_t i = u; i < v; ++i) {
                StoreSample(out, i, s);
            }
            u = v;
        }
        pixels = Advance(pixels, step);
    }
    return 0;
}

int16_t PackScaledLine(const int16_t* line, uint8_t* pixels, uint16_t width, uint16_t pixelCount,
                       int16_t step, int16_t layout) {
    const ConstWorkLine in = Planes(line, width);
    uint32_t u = 0;
    for (uint32_t i = 0; i < width; ++i) {
        const uint32_t v = SpanEnd(i, pixelCount, width);
        for (; u < v; ++u) {
            WriteSample(pixels, layout, SampleAt(in, i));
            pixels = Advance(pixels, step);
        }
    }
    return 0;
}

int16_t PackLine(const int16_t* line, uint8_t* pixels, uint16_t pixelCount, int16_t step,
                 int16_t layout) {
    const ConstWorkLine in = Planes(line, pixelCount);
    for (uint32_t i = 0; i < pixelCount; ++i) {
        WriteSample(pixels, layout, SampleAt(in, i));
        pixels = Advance(pixels, step);
    }
    return 0;
}

int16_t CopyScaledChroma(const int16_t* source, int16_t* target, uint16_t width,
                         int16_t chromaGain) {
    const ConstWorkLine in = Planes(source, width);
    const WorkLine out = Planes(target, width);
    for (uint32_t i = 0; i < width; ++i) {
        out.dr[i] = s16(in.dr[i] * chromaGain);
        out.db[i] = s16(in.db[i] * chromaGain);
    }
    return 0;
}

int16_t RemoveSharpenGain(int16_t* line, uint16_t width, int16_t chromaGain) {
    if (chromaGain == 1) {
        return 0;
    }
    const uint32_t samples = 3u * width;
    const int32_t twiceGain = 2 * chromaGain;
    for (uint32_t i = 0; i < samples; ++i) {
        line[i] = s16(FloorDiv(2 * line[i] + chromaGain, twiceGain));
    }
    return 0;
}

}  // namespace voved
