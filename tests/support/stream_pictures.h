// Pictures for the streaming tests: lines of pixel bytes.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "support/stream_driver.h"

namespace voved::test {

using PixelPicture = std::vector<PixelLine>;

// Every byte random (the fourth byte of 4-byte pixels too).
inline PixelPicture RandomPicture(int lines, int width, int step, uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    PixelPicture picture(
        static_cast<std::size_t>(lines),
        PixelLine(static_cast<std::size_t>(width) * static_cast<std::size_t>(step)));
    for (PixelLine& line : picture) {
        for (uint8_t& b : line) {
            b = static_cast<uint8_t>(byte(random));
        }
    }
    return picture;
}

// Every pixel the same three bytes, and a fourth byte where the step has one.
inline PixelPicture FlatPicture(int lines, int width, int step, uint8_t b0, uint8_t b1,
                                uint8_t b2) {
    PixelLine line;
    for (int i = 0; i < width; ++i) {
        const uint8_t pixel[4] = {b0, b1, b2, 0x77};
        line.insert(line.end(), pixel, pixel + step);
    }
    return PixelPicture(static_cast<std::size_t>(lines), line);
}

// A smooth picture: pixel (x, y) of 24-bit layouts varies slowly, so that
// neighbouring lines resemble each other.
inline PixelPicture SmoothPicture(int lines, int width, int step) {
    PixelPicture picture;
    for (int y = 0; y < lines; ++y) {
        PixelLine line;
        for (int x = 0; x < width; ++x) {
            const uint8_t pixel[4] = {static_cast<uint8_t>(60 + x % 40 + y % 7),
                                      static_cast<uint8_t>(90 + (x + y) % 30),
                                      static_cast<uint8_t>(120 + y % 50), 0x55};
            line.insert(line.end(), pixel, pixel + step);
        }
        picture.push_back(line);
    }
    return picture;
}

}  // namespace voved::test
