// Pixel layouts, the 5-bit channel tables and the working line.
//
// A pixel run is (pointer, count, step): the step is the signed byte distance
// from one pixel to the next, so 3-byte, 4-byte (fourth byte never touched)
// and 2-byte pixels can be walked in either direction. Only the first three
// bytes, or the first 16-bit word, of a pixel are ever read or written.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "pixels/fixed.h"

namespace voved {

// Layout codes (the public QV_PIXEL_* values).
constexpr int16_t kLayoutBgr = 0;     // byte 0 blue, 1 green, 2 red
constexpr int16_t kLayoutRgb = 3;     // byte 0 red, 1 green, 2 blue
constexpr int16_t kLayoutRgb555 = 4;  // little-endian word: red 10-14, green 5-9, blue 0-4

constexpr bool IsKnownLayout(int16_t layout) {
    return layout == kLayoutBgr || layout == kLayoutRgb || layout == kLayoutRgb555;
}

// Bit 15 of a 5-5-5 word: ignored by the readers, carried by some writers.
constexpr uint16_t kBit15 = 0x8000u;
constexpr uint16_t kWhite555 = 0x7FFFu;

// 5-to-8-bit expansion: bit replication, (i << 3) | (i >> 2).
constexpr std::array<uint8_t, 32> MakeExpand5() {
    std::array<uint8_t, 32> table{};
    for (unsigned i = 0; i < 32; ++i) {
        table[i] = static_cast<uint8_t>((i << 3) | (i >> 2));
    }
    return table;
}
inline constexpr std::array<uint8_t, 32> kExpand5 = MakeExpand5();

// 8-to-5-bit reduction: the code whose expansion is nearest, ties to the
// higher code.
constexpr std::array<uint8_t, 256> MakeReduce5() {
    std::array<uint8_t, 256> table{};
    for (int v = 0; v < 256; ++v) {
        int best = 0;
        for (int code = 1; code < 32; ++code) {
            const int dBest = v - kExpand5[best] < 0 ? kExpand5[best] - v : v - kExpand5[best];
            const int dCode = v - kExpand5[code] < 0 ? kExpand5[code] - v : v - kExpand5[code];
            if (dCode <= dBest) {
                best = code;
            }
        }
        table[v] = static_cast<uint8_t>(best);
    }
    return table;
}
inline constexpr std::array<uint8_t, 256> kReduce5 = MakeReduce5();

// Channels of one pixel, each 0..255.
struct Rgb {
    int32_t r;
    int32_t g;
    int32_t b;
};

// Moves a pixel pointer by a signed byte step.
inline const uint8_t* Advance(const uint8_t* p, int16_t step) {
    return p + static_cast<std::ptrdiff_t>(step);
}
inline uint8_t* Advance(uint8_t* p, int16_t step) {
    return p + static_cast<std::ptrdiff_t>(step);
}

inline uint16_t ReadWord(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline void WriteWord(uint8_t* p, uint16_t w) {
    p[0] = static_cast<uint8_t>(w & 0xFFu);
    p[1] = static_cast<uint8_t>(w >> 8);
}

// Reads one pixel of a known layout; 5-bit channels are expanded.
inline Rgb ReadPixel(const uint8_t* p, int16_t layout) {
    switch (layout) {
    case kLayoutBgr:
        return {p[2], p[1], p[0]};
    case kLayoutRgb:
        return {p[0], p[1], p[2]};
    default: {
        const uint16_t w = ReadWord(p);
        return {kExpand5[(w >> 10) & 31u], kExpand5[(w >> 5) & 31u], kExpand5[w & 31u]};
    }
    }
}

// Bit 15 of the source word for layout 4, 0 for the other layouts.
inline uint16_t ReadBit15(const uint8_t* p, int16_t layout) {
    return layout == kLayoutRgb555 ? static_cast<uint16_t>(ReadWord(p) & kBit15) : 0u;
}

// Packs three channels (each 0..255) into a 5-5-5 word with the given bit 15.
inline uint16_t Pack555(int32_t r, int32_t g, int32_t b, uint16_t bit15) {
    return static_cast<uint16_t>(bit15 | (kReduce5[r] << 10) | (kReduce5[g] << 5) | kReduce5[b]);
}

// Writes channels already limited to 0..255. Unknown layouts write nothing.
inline void WritePixel(uint8_t* p, int16_t layout, int32_t r, int32_t g, int32_t b,
                       uint16_t bit15) {
    switch (layout) {
    case kLayoutBgr:
        p[0] = static_cast<uint8_t>(b);
        p[1] = static_cast<uint8_t>(g);
        p[2] = static_cast<uint8_t>(r);
        break;
    case kLayoutRgb:
        p[0] = static_cast<uint8_t>(r);
        p[1] = static_cast<uint8_t>(g);
        p[2] = static_cast<uint8_t>(b);
        break;
    case kLayoutRgb555:
        WriteWord(p, Pack555(r, g, b, bit15));
        break;
    default:
        break;
    }
}

// Luminance with the weights 5, 9, 2 over 16 (operands 0..255, so the shift
// floors a non-negative sum).
constexpr int32_t Luma(int32_t r, int32_t g, int32_t b) {
    return (5 * r + 9 * g + 2 * b) >> 4;
}

// One sample of a working line: luminance and the two colour differences.
struct Sample {
    int16_t y;
    int16_t dr;
    int16_t db;
};

// Forward transform of one pixel.
constexpr Sample ForwardTransform(int32_t r, int32_t g, int32_t b) {
    const int32_t y = Luma(r, g, b);
    return {s16(y), s16(r - y), s16(b - y)};
}

// Green from a working sample: Y - (5 dR + 2 dB) / 9, the division truncating.
constexpr int32_t GreenFromDifferences(int32_t y, int32_t dr, int32_t db) {
    return y - (5 * dr + 2 * db) / 9;
}

// Inverse transform of one sample, each channel clamped to 0..255.
constexpr Rgb InverseTransform(int32_t y, int32_t dr, int32_t db) {
    return {ClampByte(y + dr), ClampByte(GreenFromDifferences(y, dr, db)), ClampByte(y + db)};
}

// A working line: three planes of `width` signed 16-bit samples each,
// luminance, R - Y and B - Y, stored one after the other.
struct WorkLine {
    int16_t* y;
    int16_t* dr;
    int16_t* db;
};
struct ConstWorkLine {
    const int16_t* y;
    const int16_t* dr;
    const int16_t* db;
};

constexpr uint32_t WorkLineBytes(uint32_t width) {
    return 6u * width;
}
inline WorkLine Planes(int16_t* base, uint32_t width) {
    return {base, base + width, base + 2 * static_cast<std::size_t>(width)};
}
inline ConstWorkLine Planes(const int16_t* base, uint32_t width) {
    return {base, base + width, base + 2 * static_cast<std::size_t>(width)};
}

inline void StoreSample(const WorkLine& line, uint32_t i, Sample s) {
    line.y[i] = s.y;
    line.dr[i] = s.dr;
    line.db[i] = s.db;
}

}  // namespace voved
