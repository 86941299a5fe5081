// Pixel runs for the harnesses: heap buffers of exactly the bytes a run
// spans, so that any access by the library outside the run lands in the
// address sanitizer's red zone, and picture content from a few generators.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "fuzz_input.h"
#include "voved32.h"

namespace voved::fuzz {

// The bytes one pixel of a layout covers: a 16-bit word, or three bytes
// (also for a code no reader accepts).
inline uint32_t PixelBytes(int16_t layout) {
    return layout == QV_PIXEL_RGB555 ? 2u : 3u;
}

inline uint32_t StepBytes(int16_t step) {
    return static_cast<uint32_t>(std::abs(static_cast<int32_t>(step)));
}

// Bytes a run of `count` pixels spans: every pixel's own bytes, and the
// whole step after each pixel for the passes that treat a line as a block
// of count x step bytes.
inline size_t SpanBytes(uint16_t count, int16_t step, int16_t layout) {
    if (count == 0) {
        return 0;
    }
    const uint32_t stride = StepBytes(step);
    const uint32_t last = PixelBytes(layout) > stride ? PixelBytes(layout) : stride;
    return size_t{count - 1u} * stride + last;
}

// The largest run a harness builds; longer ones are cut to fit.
constexpr size_t kMaxSpan = size_t{1} << 20;

inline uint16_t FitCount(uint16_t count, int16_t step, int16_t layout) {
    if (SpanBytes(count, step, layout) <= kMaxSpan) {
        return count;
    }
    const uint32_t stride = StepBytes(step);
    const uint32_t last = PixelBytes(layout) > stride ? PixelBytes(layout) : stride;
    return static_cast<uint16_t>((kMaxSpan - last) / stride + 1);
}

struct Rgb8 {
    uint8_t r;
    uint8_t g;
    uint8_t b;
};

// A pixel run in a buffer of its own. For a negative step the first pixel
// lies at the end of the buffer and the run walks down to its start.
class PixelRun {
  public:
    PixelRun(uint16_t count, int16_t step, int16_t layout)
        : count_(count), step_(step), layout_(layout), size_(SpanBytes(count, step, layout)),
          bytes_(new uint8_t[size_]) {
        for (size_t i = 0; i < size_; ++i) {
            bytes_[i] = static_cast<uint8_t>(0x5A ^ i);
        }
    }

    uint8_t* First() const {
        if (step_ >= 0 || count_ == 0) {
            return bytes_.get();
        }
        return bytes_.get() + size_t{count_ - 1u} * StepBytes(step_);
    }
    uint8_t* Pixel(uint32_t i) const { return First() + static_cast<std::ptrdiff_t>(i) * step_; }
    uint8_t* Bytes() const { return bytes_.get(); }
    size_t Size() const { return size_; }
    uint16_t Count() const { return count_; }

    // Writes a colour into pixel i in the run's layout (nothing for a code
    // no reader accepts).
    void Set(uint32_t i, Rgb8 c) const {
        uint8_t* p = Pixel(i);
        switch (layout_) {
        case QV_PIXEL_BGR:
            p[0] = c.b;
            p[1] = c.g;
            p[2] = c.r;
            break;
        case QV_PIXEL_RGB:
            p[0] = c.r;
            p[1] = c.g;
            p[2] = c.b;
            break;
        case QV_PIXEL_RGB555: {
            const unsigned word =
                ((c.r >> 3u) << 10u) | ((c.g >> 3u) << 5u) | (c.b >> 3u) | ((c.r & 1u) << 15u);
            p[0] = static_cast<uint8_t>(word & 0xFFu);
            p[1] = static_cast<uint8_t>(word >> 8u);
            break;
        }
        default:
            break;
        }
    }

  private:
    uint16_t count_;
    int16_t step_;
    int16_t layout_;
    size_t size_;
    std::unique_ptr<uint8_t[]> bytes_;
};

inline uint8_t ClampToByte(int32_t v) {
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// What a picture looks like, from a few bytes of the input.
struct PictureStyle {
    uint8_t kind = 0;    // photo-like, noise, flat, stripes
    uint8_t low = 20;    // darkest luminance of the photo-like picture
    uint8_t high = 230;  // brightest
    int8_t castRed = 0;  // colour cast, R - Y and B - Y
    int8_t castBlue = 0;
    uint8_t grain = 4;  // noise amplitude
    uint32_t seed = 1;

    static PictureStyle Read(FuzzInput& in) {
        PictureStyle s;
        s.kind = static_cast<uint8_t>(in.U8() % 4u);
        s.low = in.U8();
        s.high = in.U8();
        s.castRed = static_cast<int8_t>(in.U8());
        s.castBlue = static_cast<int8_t>(in.U8());
        s.grain = static_cast<uint8_t>(in.U8() % 32u);
        s.seed = in.U8();
        return s;
    }
};

// Colour of pixel (x, y) of a width x lines picture.
inline Rgb8 PictureColour(const PictureStyle& s, Noise& noise, uint32_t x, uint32_t y,
                          uint32_t width, uint32_t lines) {
    switch (s.kind) {
    case 1:
        return {noise.Byte(), noise.Byte(), noise.Byte()};
    case 2:
        return {s.low, s.high, static_cast<uint8_t>(s.castRed)};
    case 3: {
        const bool light = ((x / 7u) + (y / 5u)) % 2u == 0;
        const uint8_t level = light ? s.high : s.low;
        return {level, ClampToByte(level + s.castRed), ClampToByte(level + s.castBlue)};
    }
    default: {
        // Shading across the picture, a cast that grows toward the shadows,
        // and some grain.
        const int32_t span = int32_t{s.high} - int32_t{s.low};
        // A shadow and a highlight area at either end, as most photos have.
        const int32_t across =
            static_cast<int32_t>((3u * (x * 256u / (width + 1u)) + y * 256u / (lines + 1u)) / 4u);
        const int32_t along = across < 32 ? 0 : (across > 224 ? 255 : (across - 32) * 255 / 192);
        const int32_t level = s.low + span * along / 255;
        const int32_t shade = 256 - along;
        const int32_t grain = s.grain == 0 ? 0 : static_cast<int32_t>(noise.Next() % s.grain);
        const int32_t dr = s.castRed * shade / 256 + grain - s.grain / 2;
        const int32_t db = s.castBlue * shade / 256 - grain + s.grain / 2;
        return {ClampToByte(level + dr), ClampToByte(level - (5 * dr + 2 * db) / 9),
                ClampToByte(level + db)};
    }
    }
}

// Fills line y of a picture into a run.
inline void FillLine(const PixelRun& run, const PictureStyle& style, uint32_t y, uint32_t lines) {
    Noise noise(style.seed * 7919u + y);
    for (uint32_t x = 0; x < run.Count(); ++x) {
        run.Set(x, PictureColour(style, noise, x, y, run.Count(), lines));
    }
}

}  // namespace voved::fuzz
