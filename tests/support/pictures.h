// Synthetic pictures for tests and benchmarks: picture lines as plain
// colours, packed into pixel runs of any layout and fed to the library one
// line per call, as an application would.
//
// Everything is deterministic: the same arguments always give the same
// pixels, so expectations can be worked out by hand from the arguments.
#pragma once

#include <cstdint>
#include <vector>

#include "voved32.h"

namespace voved::test {

struct Colour {
    uint8_t r;
    uint8_t g;
    uint8_t b;
};

inline bool operator==(const Colour& a, const Colour& b) {
    return a.r == b.r && a.g == b.g && a.b == b.b;
}

using Line = std::vector<Colour>;
using Picture = std::vector<Line>;

// Luminance with the library's weights: (5 R + 9 G + 2 B) / 16, floored.
int LumaOf(const Colour& c);

// The colour whose luminance is `level` and whose differences R - Y and
// B - Y are `dr` and `db`, as nearly as 8-bit channels allow (channels are
// clamped; the luminance of the result may then differ by one or two).
Colour ColourFromDifferences(int level, int dr, int db);

// `width` pixels of one colour.
Line SolidLine(int width, Colour colour);

// Grey levels rising linearly from `from` to `to` across `width` pixels
// (both ends included; width >= 2).
Line GreyRamp(int width, int from, int to);

// Colour differences of a cast: R - Y and B - Y.
struct Cast {
    int dr;
    int db;
};

// A ramp of luminance levels from `from` to `to` whose colour differences
// move linearly from `shadow` (at `from`) to `highlight` (at `to`).
Line CastRamp(int width, int from, int to, Cast shadow, Cast highlight);

// `lines` copies of one line.
Picture Repeat(const Line& line, int lines);

// A photo-like line: smooth shading with soft edges, a little texture and
// some saturated patches; `seed` varies it from line to line.
Line PhotoLine(int width, uint32_t seed);

// Packs a line into a pixel run: `step` bytes per pixel (0: the layout's
// own size, 3 or 2). Bytes of a pixel beyond its colour are filled with
// `padding`. For QV_PIXEL_RGB555 the channels are reduced to 5 bits.
std::vector<uint8_t> PackLine(const Line& line, int16_t layout, int16_t step = 0,
                              uint8_t padding = 0xA5);

// Feeds one line (one QVHistogram call) and returns its result.
QVResult FeedLine(QVHandle* handle, const Line& line, int16_t layout = QV_PIXEL_RGB);

// Feeds every line of a picture in order; returns the first non-zero result,
// or 0.
QVResult FeedPicture(QVHandle* handle, const Picture& picture, int16_t layout = QV_PIXEL_RGB);

}  // namespace voved::test
