#include "support/pictures.h"

#include <algorithm>

namespace voved::test {

namespace {

uint8_t Channel(int v) {
    return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

int Lerp(int from, int to, int i, int last) {
    return last == 0 ? from : from + (to - from) * i / last;
}

// A small deterministic generator (xorshift), so pictures never depend on
// the standard library's random engines.
uint32_t NextRandom(uint32_t* state) {
    uint32_t x = *state;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    *state = x;
    return x;
}

int BytesPerPixel(int16_t layout) {
    return layout == QV_PIXEL_RGB555 ? 2 : 3;
}

uint8_t Reduce5(uint8_t v) {
    // The 5-bit code whose expansion (i << 3 | i >> 2) is nearest, ties up.
    int best = 0;
    int bestDistance = 256;
    for (int code = 0; code < 32; ++code) {
        const int expanded = (code << 3) | (code >> 2);
        const int distance = expanded > v ? expanded - v : v - expanded;
        if (distance <= bestDistance) {
            best = code;
            bestDistance = distance;
        }
    }
    return static_cast<uint8_t>(best);
}

}  // namespace

int LumaOf(const Colour& c) {
    return (5 * c.r + 9 * c.g + 2 * c.b) >> 4;
}

Colour ColourFromDifferences(int level, int dr, int db) {
    const int g = level - (5 * dr + 2 * db) / 9;
    return {Channel(level + dr), Channel(g), Channel(level + db)};
}

Line SolidLine(int width, Colour colour) {
    return Line(static_cast<std::size_t>(width), colour);
}

Line GreyRamp(int width, int from, int to) {
    Line line;
    for (int i = 0; i < width; ++i) {
        const uint8_t v = Channel(Lerp(from, to, i, width - 1));
        line.push_back({v, v, v});
    }
    return line;
}

Line CastRamp(int width, int from, int to, Cast shadow, Cast highlight) {
    Line line;
    for (int i = 0; i < width; ++i) {
        const int level = Lerp(from, to, i, width - 1);
        const int dr = Lerp(shadow.dr, highlight.dr, i, width - 1);
        const int db = Lerp(shadow.db, highlight.db, i, width - 1);
        line.push_back(ColourFromDifferences(level, dr, db));
    }
    return line;
}

Picture Repeat(const Line& line, int lines) {
    return Picture(static_cast<std::size_t>(lines), line);
}

Line PhotoLine(int width, uint32_t seed) {
    uint32_t state = seed * 2654435761u + 0x9E3779B9u;
    if (state == 0) {
        state = 1;
    }
    Line line;
    line.reserve(static_cast<std::size_t>(width));
    int base = 40 + static_cast<int>(NextRandom(&state) % 60);
    int dr = 0;
    int db = 0;
    for (int i = 0; i < width; ++i) {
        const uint32_t r = NextRandom(&state);
        // Occasional edges: a new region with its own level and colour.
        if (r % 97 == 0) {
            base = 20 + static_cast<int>(NextRandom(&state) % 215);
            dr = static_cast<int>(NextRandom(&state) % 81) - 40;
            db = static_cast<int>(NextRandom(&state) % 81) - 40;
        }
        // Slow shading across the line and a little grain.
        const int shade = (i % 512) / 16;
        const int grain = static_cast<int>(r % 7) - 3;
        line.push_back(ColourFromDifferences(std::clamp(base + shade + grain, 0, 255), dr, db));
    }
    return line;
}

std::vector<uint8_t> PackLine(const Line& line, int16_t layout, int16_t step, uint8_t padding) {
    const int size = BytesPerPixel(layout);
    const int stride = step > 0 ? step : size;
    std::vector<uint8_t> bytes(line.size() * static_cast<std::size_t>(stride), padding);
    for (std::size_t i = 0; i < line.size(); ++i) {
        uint8_t* p = bytes.data() + i * static_cast<std::size_t>(stride);
        const Colour& c = line[i];
        if (layout == QV_PIXEL_BGR) {
            p[0] = c.b;
            p[1] = c.g;
            p[2] = c.r;
        } else if (layout == QV_PIXEL_RGB) {
            p[0] = c.r;
            p[1] = c.g;
            p[2] = c.b;
        } else {
            const int word = (Reduce5(c.r) << 10) | (Reduce5(c.g) << 5) | Reduce5(c.b);
            p[0] = static_cast<uint8_t>(word & 0xFF);
            p[1] = static_cast<uint8_t>(word >> 8);
        }
    }
    return bytes;
}

QVResult FeedLine(QVHandle* handle, const Line& line, int16_t layout) {
    const std::vector<uint8_t> bytes = PackLine(line, layout);
    return QVHistogram(handle, bytes.data(), static_cast<uint16_t>(line.size()),
                       static_cast<int16_t>(BytesPerPixel(layout)), layout, 0);
}

QVResult FeedPicture(QVHandle* handle, const Picture& picture, int16_t layout) {
    for (const Line& line : picture) {
        const QVResult result = FeedLine(handle, line, layout);
        if (result != QV_RESULT_OK) {
            return result;
        }
    }
    return QV_RESULT_OK;
}

}  // namespace voved::test
