// Monochrome toning of working lines and of pixels.
#include <array>
#include <cstddef>

#include "correct/shared_steps.h"
#include "pixels/fixed.h"
#include "pixels/layout_dispatch.h"
#include "pixels/pixels.h"
#include "platform/plain_paths.h"
#include "stream/line_steps.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace voved {

namespace {

constexpr int16_t kFullTurn = 360;
constexpr double kRadiansPerDegree = 0.0174532925;  // pi / 180 cut to ten places
constexpr long double kFactorScale = 1024.0L;
constexpr int16_t kMaxLuma = 255;

// Radius of the tone circle for a luminance: ((Y x 100) >> 8) + 10 in a
// 16-bit register.
constexpr int16_t kRadiusSlope = 100;
constexpr unsigned kRadiusShift = 8;
constexpr int16_t kRadiusBase = 10;
int16_t ToneRadius(int32_t y) {
    return s16(AsrInt(y * kRadiusSlope, kRadiusShift) + kRadiusBase);
}

// A factor of the tone (scaled by 1024) times the radius, scaled back.
constexpr unsigned kFactorShift = 10;
int16_t ToneDifference(int32_t factor, int16_t radius) {
    return s16(AsrInt(factor * radius, kFactorShift));
}

// Truncation toward zero of a value well inside the 32-bit range.
int32_t TruncExtended(long double x) {
    return static_cast<int32_t>(x);
}

#if defined(__SSE2__)
constexpr uint32_t kLanes = 8;

// The low 16 bits of (a x b) >> kShift per lane, a and b 16-bit: the 32-bit
// product's halves joined around the shift.
template <unsigned kShift>
__m128i ProductShifted(__m128i a, __m128i b) {
    return _mm_or_si128(_mm_slli_epi16(_mm_mulhi_epi16(a, b), 16 - kShift),
                        _mm_srli_epi16(_mm_mullo_epi16(a, b), kShift));
}

// ToneWorkLine's loop, eight samples at a time; returns where it stopped.
// The factors lie within +-1024, so each fits a lane.
uint32_t ToneLanes(const WorkLine& out, uint32_t width, const ToneFactors& k) {
    const __m128i ks = _mm_set1_epi16(static_cast<int16_t>(k.ks));
    const __m128i kc = _mm_set1_epi16(static_cast<int16_t>(k.kc));
    const auto at = [](int16_t* p) { return reinterpret_cast<__m128i*>(p); };
    uint32_t i = 0;
    for (; i + kLanes <= width; i += kLanes) {
        const __m128i y = _mm_min_epi16(_mm_loadu_si128(at(out.y + i)), _mm_set1_epi16(kMaxLuma));
        _mm_storeu_si128(at(out.y + i), y);
        const __m128i radius =
            _mm_add_epi16(ProductShifted<kRadiusShift>(y, _mm_set1_epi16(kRadiusSlope)),
                          _mm_set1_epi16(kRadiusBase));
        _mm_storeu_si128(at(out.dr + i), ProductShifted<kFactorShift>(ks, radius));
        _mm_storeu_si128(at(out.db + i), ProductShifted<kFactorShift>(kc, radius));
    }
    return i;
}
#endif

}  // namespace

int16_t ReduceHue(int16_t toneHue) {
    return toneHue >= kFullTurn ? static_cast<int16_t>(toneHue % kFullTurn) : toneHue;
}

ToneFactors ToneFactorsOf(int16_t toneHue) {
    // The angle is formed in double precision; its sine and cosine, and the
    // scaling, stay in extended precision. Hue 90 gives 1023, not 1024.
    const double angle = toneHue * kRadiansPerDegree;
    return {TruncExtended(SineExtended(angle) * kFactorScale),
            TruncExtended(CosineExtended(angle) * kFactorScale)};
}

int16_t ToneWorkLine(int16_t* line, uint16_t width, int16_t toneHue) {
    const WorkLine out = Planes(line, width);
    const int16_t hue = ReduceHue(toneHue);
    if (hue < 0) {
        for (uint32_t i = 0; i < width; ++i) {
            out.dr[i] = 0;
            out.db[i] = 0;
        }
        return 0;
    }
    const ToneFactors k = ToneFactorsOf(hue);
    uint32_t i = 0;
#if defined(__SSE2__)
    if (!UsePlainPaths()) {
        i = ToneLanes(out, width, k);
    }
#endif
    for (; i < width; ++i) {
        if (out.y[i] > kMaxLuma) {
            out.y[i] = kMaxLuma;
        }
        const int16_t radius = ToneRadius(out.y[i]);
        out.dr[i] = ToneDifference(k.ks, radius);
        out.db[i] = ToneDifference(k.kc, radius);
    }
    return 0;
}

namespace {

// The toned colour of a pixel depends on its luminance alone: the colour
// for every level, computed once per line as the plain loop computes it.
using ToneColours = std::array<Rgb, kMaxLuma + 1>;

ToneColours ToneColoursOf(int16_t hue, const ToneFactors& k) {
    ToneColours colours{};
    for (int32_t y = 0; y <= kMaxLuma; ++y) {
        int32_t dr = 0;
        int32_t db = 0;
        if (hue >= 0) {
            const int16_t radius = ToneRadius(y);
            dr = ToneDifference(k.ks, radius);
            db = ToneDifference(k.kc, radius);
        }
        colours[static_cast<std::size_t>(y)] = InverseTransform(y, dr, db);
    }
    return colours;
}

template <class Layout>
void TonePixelsByLevel(const uint8_t* source, uint8_t* destination, uint32_t count, int16_t step,
                       Layout code, const ToneColours& colours) {
    for (uint32_t i = 0; i < count; ++i) {
        const Rgb c = ReadPixel(source, code);
        const uint16_t bit15 = ReadBit15(source, code);
        const Rgb& out = colours[static_cast<std::size_t>(Luma(c.r, c.g, c.b))];
        WritePixel(destination, code, out.r, out.g, out.b, bit15);
        source = Advance(source, step);
        destination = Advance(destination, step);
    }
}

}  // namespace

int16_t ToneConvertPixels(const uint8_t* source, uint8_t* destination, uint16_t pixelCount,
                          int16_t step, int16_t layout, int16_t toneHue) {
    const int16_t hue = ReduceHue(toneHue);
    const ToneFactors k = hue >= 0 ? ToneFactorsOf(hue) : ToneFactors{0, 0};
    if (!UsePlainPaths()) {
        const ToneColours colours = ToneColoursOf(hue, k);
        WithLayout(layout, [&](auto code) {
            TonePixelsByLevel(source, destination, pixelCount, step, code, colours);
        });
        return 0;
    }
    WithLayout(layout, [&](auto code) {
        for (uint32_t i = 0; i < pixelCount; ++i) {
            const Rgb c = ReadPixel(source, code);
            const uint16_t bit15 = ReadBit15(source, code);
            const int32_t y = Luma(c.r, c.g, c.b);
            int32_t dr = 0;
            int32_t db = 0;
            if (hue >= 0) {
                const int16_t radius = ToneRadius(y);
                dr = ToneDifference(k.ks, radius);
                db = ToneDifference(k.kc, radius);
            }
            const Rgb out = InverseTransform(y, dr, db);
            WritePixel(destination, code, out.r, out.g, out.b, bit15);
            source = Advance(source, step);
            destination = Advance(destination, step);
        }
    });
    return 0;
}

}  // namespace voved
