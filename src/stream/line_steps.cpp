// Resampling, packing and gain steps of the streaming conversion.
#include "stream/line_steps.h"

#include "correct/pixel_lanes.h"
#include "correct/shared_steps.h"
#include "pixels/fixed.h"
#include "pixels/layout_dispatch.h"
#include "pixels/pixels.h"
#include "pixels/work_line_lanes.h"
#include "platform/plain_paths.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace voved {

namespace {

// Walks the ends of the spans that elements 0, 1, 2, ... cover when `from`
// elements are spread over `to`: floor((i + 1) x to / from), exactly, with
// no division per element.
class SpanEnds {
  public:
    SpanEnds(uint32_t to, uint32_t from) : whole_(to / from), part_(to % from), from_(from) {}
    uint32_t Next() {
        end_ += whole_;
        rest_ += part_;
        if (rest_ >= from_) {
            rest_ -= from_;
            ++end_;
        }
        return end_;
    }

  private:
    uint32_t whole_;
    uint32_t part_;
    uint32_t from_;
    uint32_t end_ = 0;
    uint32_t rest_ = 0;
};

inline void WriteSample(uint8_t* pixel, int16_t layout, const Sample& s) {
    const Rgb c = InverseTransform(s.y, s.dr, s.db);
    WritePixel(pixel, layout, c.r, c.g, c.b, 0);
}

Sample SampleAt(const ConstWorkLine& line, uint32_t i) {
    return {line.y[i], line.dr[i], line.db[i]};
}

// floor(numerator / denominator) for a positive denominator.
constexpr int32_t FloorDiv(int32_t numerator, int32_t denominator) {
    return numerator >= 0 ? numerator / denominator
                          : -((denominator - 1 - numerator) / denominator);
}

// Each sample to floor((2x + g) / 2g): x / g rounded, halves up. The gain is
// a template argument so that the division becomes a multiplication.
template <int32_t Gain>
void DivideSamples(int16_t* samples, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        samples[i] = s16(FloorDiv(2 * samples[i] + Gain, 2 * Gain));
    }
}

#if defined(__SSE2__)
// The same division, eight samples at a time. floor((2x + g) / 2g) equals
// floor((x + h) / g) with h = floor(g / 2), for every x and g.
constexpr int kLanes = 8;

__m128i LoadLanes(const int16_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// g = 2^k: (x >> k) + ((x mod 2^k) + h) >> k, where no sum leaves 16 bits.
template <int kShift>
__m128i DividePowerOfTwo(__m128i x) {
    constexpr int16_t kMask = (1 << kShift) - 1;
    constexpr int16_t kHalf = 1 << (kShift - 1);
    const __m128i rest =
        _mm_add_epi16(_mm_and_si128(x, _mm_set1_epi16(kMask)), _mm_set1_epi16(kHalf));
    return _mm_add_epi16(_mm_srai_epi16(x, kShift), _mm_srli_epi16(rest, kShift));
}

// g = 3 or 5, where 32768 = Qg + R with h - R = -1: for u = x + 32768,
// floor((x + h) / g) = floor((u - 1) / g) - Q, and -1 - Q at u = 0. The
// unsigned division of a 16-bit w is the high half of w x kMagic shifted by
// kShift (for 3: 43691 and 1; for 5: 52429 and 2), exact for every w.
template <int32_t Gain, uint16_t kMagic, int kShift>
__m128i DivideOdd(__m128i x) {
    constexpr int16_t kWhole = 32768 / Gain;
    static_assert(Gain / 2 - 32768 % Gain == -1, "the offset above");
    const __m128i u = _mm_xor_si128(x, _mm_set1_epi16(INT16_MIN));
    const __m128i w = _mm_subs_epu16(u, _mm_set1_epi16(1));  // 0 at u = 0, as at u = 1
    const __m128i quotient =
        _mm_srli_epi16(_mm_mulhi_epu16(w, _mm_set1_epi16(static_cast<int16_t>(kMagic))), kShift);
    // -1 more where u = 0.
    const __m128i atZero = _mm_cmpeq_epi16(u, _mm_setzero_si128());
    return _mm_add_epi16(_mm_sub_epi16(quotient, _mm_set1_epi16(kWhole)), atZero);
}

template <int32_t Gain>
__m128i DivideLanes(__m128i x) {
    if constexpr (Gain == 2) {
        return DividePowerOfTwo<1>(x);
    } else if constexpr (Gain == 4) {
        return DividePowerOfTwo<2>(x);
    } else if constexpr (Gain == 3) {
        return DivideOdd<3, 43691, 1>(x);
    } else {
        static_assert(Gain == 5, "gains 2 to 5");
        return DivideOdd<5, 52429, 2>(x);
    }
}
#endif

// Each sample to floor((2x + g) / 2g), in lanes where they serve.
template <int32_t Gain>
void DivideLine(int16_t* samples, uint32_t count) {
    uint32_t i = 0;
#if defined(__SSE2__)
    if (!UsePlainPaths()) {
        for (; i + kLanes <= count; i += kLanes) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(samples + i),
                             DivideLanes<Gain>(LoadLanes(samples + i)));
        }
    }
#endif
    DivideSamples<Gain>(samples + i, count - i);
}

// One pixel per sample, in order (the widths are equal): the channels of a
// batch of samples at a time, then written by the layout's own loop.
template <class Layout>
void PackOneToOne(const ConstWorkLine& in, uint8_t* pixels, uint32_t count, int16_t step,
                  Layout code) {
    ChannelBatch batch;
    for (uint32_t first = 0; first < count; first += kChannelBatch) {
        const uint32_t n = count - first < kChannelBatch ? count - first : kChannelBatch;
        InverseTransformBatch(in, first, n, &batch);
        uint32_t k = 0;
#if defined(VOVED_HAVE_AVX2_PATH)
        if ((code == kLayoutBgr || code == kLayoutRgb) && HasAvx2()) {
            k = StoreBatchColoursAvx2(batch.r, batch.g, batch.b, nullptr, n, pixels, step,
                                      code == kLayoutBgr);
            pixels += static_cast<std::ptrdiff_t>(step) * k;
        }
#endif
        for (; k < n; ++k) {
            WritePixel(pixels, code, batch.r[k], batch.g[k], batch.b[k], 0);
            pixels = Advance(pixels, step);
        }
    }
}

// Resampling a batch of pixels at a time: the pixels are converted in the
// fast forms into a working batch, and each converted sample fills its span.
constexpr uint32_t kScaledBatch = kChannelBatch;

void UnpackScaledBatches(const uint8_t* pixels, const WorkLine& out, uint32_t pixelCount,
                         uint32_t width, int16_t step, int16_t layout) {
    SpanEnds ends(width, pixelCount);
    int16_t converted[3 * kScaledBatch];
    uint32_t u = 0;
    for (uint32_t first = 0; first < pixelCount; first += kScaledBatch) {
        const uint32_t n = pixelCount - first < kScaledBatch ? pixelCount - first : kScaledBatch;
        PixelsToWorkLine(pixels, converted, static_cast<uint16_t>(n), step, layout);
        const ConstWorkLine batch = Planes(static_cast<const int16_t*>(converted), n);
        for (uint32_t k = 0; k < n; ++k) {
            const uint32_t v = ends.Next();
            for (; u < v; ++u) {
                StoreSample(out, u, SampleAt(batch, k));
            }
        }
        pixels += static_cast<std::ptrdiff_t>(step) * n;
    }
}

template <class Layout>
void PackScaledBatches(const ConstWorkLine& in, uint8_t* pixels, uint32_t width,
                       uint32_t pixelCount, int16_t step, Layout code) {
    SpanEnds ends(pixelCount, width);
    ChannelBatch batch;
    uint32_t u = 0;
    for (uint32_t first = 0; first < width; first += kChannelBatch) {
        const uint32_t n = width - first < kChannelBatch ? width - first : kChannelBatch;
        InverseTransformBatch(in, first, n, &batch);
        for (uint32_t k = 0; k < n; ++k) {
            const uint32_t v = ends.Next();
            for (; u < v; ++u) {
                WritePixel(pixels, code, batch.r[k], batch.g[k], batch.b[k], 0);
                pixels = Advance(pixels, step);
            }
        }
    }
}

}  // namespace

int16_t UnpackScaledLine(const uint8_t* pixels, int16_t* line, uint16_t pixelCount, uint16_t width,
                         int16_t step, int16_t layout) {
    if (pixelCount == 0) {
        return 0;
    }
    // One sample per pixel, in order: the correction's own conversion.
    if (width == pixelCount && !UsePlainPaths()) {
        return PixelsToWorkLine(pixels, line, pixelCount, step, layout);
    }
    const WorkLine out = Planes(line, width);
    if (!UsePlainPaths()) {
        UnpackScaledBatches(pixels, out, pixelCount, width, step, layout);
        return 0;
    }
    SpanEnds ends(width, pixelCount);
    WithLayout(layout, [&](auto code) {
        uint32_t u = 0;
        for (uint32_t j = 0; j < pixelCount; ++j) {
            const uint32_t v = ends.Next();
            if (v > u) {
                const Rgb c = ReadPixel(pixels, code);
                const Sample s = ForwardTransform(c.r, c.g, c.b);
                for (uint32_t i = u; i < v; ++i) {
                    StoreSample(out, i, s);
                }
                u = v;
            }
            pixels = Advance(pixels, step);
        }
    });
    return 0;
}

int16_t PackScaledLine(const int16_t* line, uint8_t* pixels, uint16_t width, uint16_t pixelCount,
                       int16_t step, int16_t layout) {
    if (width == 0) {
        return 0;
    }
    const ConstWorkLine in = Planes(line, width);
    if (width == pixelCount && !UsePlainPaths()) {
        WithLayout(layout, [&](auto code) { PackOneToOne(in, pixels, width, step, code); });
        return 0;
    }
    if (!UsePlainPaths()) {
        WithLayout(layout, [&](auto code) {
            PackScaledBatches(in, pixels, width, pixelCount, step, code);
        });
        return 0;
    }
    SpanEnds ends(pixelCount, width);
    WithLayout(layout, [&](auto code) {
        uint32_t u = 0;
        for (uint32_t i = 0; i < width; ++i) {
            const uint32_t v = ends.Next();
            for (; u < v; ++u) {
                WriteSample(pixels, code, SampleAt(in, i));
                pixels = Advance(pixels, step);
            }
        }
    });
    return 0;
}

int16_t PackLine(const int16_t* line, uint8_t* pixels, uint16_t pixelCount, int16_t step,
                 int16_t layout) {
    const ConstWorkLine in = Planes(line, pixelCount);
    if (!UsePlainPaths()) {
        WithLayout(layout, [&](auto code) { PackOneToOne(in, pixels, pixelCount, step, code); });
        return 0;
    }
    WithLayout(layout, [&](auto code) {
        for (uint32_t i = 0; i < pixelCount; ++i) {
            WriteSample(pixels, code, SampleAt(in, i));
            pixels = Advance(pixels, step);
        }
    });
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
    const uint32_t samples = 3u * width;
    switch (chromaGain) {
    case 1:
        break;
    case 2:
        DivideLine<2>(line, samples);
        break;
    case 3:
        DivideLine<3>(line, samples);
        break;
    case 4:
        DivideLine<4>(line, samples);
        break;
    case 5:
        DivideLine<5>(line, samples);
        break;
    default:
        for (uint32_t i = 0; i < samples; ++i) {
            line[i] = s16(FloorDiv(2 * line[i] + chromaGain, 2 * chromaGain));
        }
        break;
    }
    return 0;
}

}  // namespace voved
