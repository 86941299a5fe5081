// The yardstick of every benchmark: libjpeg decoding a 24-megapixel photo
// to RGB lines, measured in the same run as the benchmark. The photo is the
// bundled sample tiled (mirrored, so without seams) to 6000 x 4000 and
// encoded at quality 92 in memory: it has a photo's detail at every scale,
// where an enlargement would be smoother and faster to decode than a real
// 24-megapixel photo. Each benchmark reports "MP/s" and "x_decode", its
// rate as a multiple of the decoding rate: below 1 the library is slower
// than decoding the JPEG the picture came from. Rates are of the thread's
// processor time, as the benchmarks' own "CPU" column, so that other work
// on the machine slows neither side.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>

namespace voved::bench {

// Megapixels a second of decoding the yardstick picture: the median of a
// few whole decodes, measured at the first call.
double JpegDecodeRate();

// The yardstick photo decoded: `width` x `height` RGB pixels, three bytes
// each, line after line. Decoded at the first call.
struct DecodedPhoto {
    uint32_t width;
    uint32_t height;
    const uint8_t* pixels;
};
DecodedPhoto YardstickPhoto();

// The processor time of a benchmark's loop: made just before the loop,
// Report after it sets the "MP/s" and "x_decode" counters for `pixels`
// pixels an iteration.
class RateMeter {
  public:
    RateMeter();
    void Report(benchmark::State& state, double pixels) const;

  private:
    double start_;
};

}  // namespace voved::bench
