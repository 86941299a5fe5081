// QVHistogram throughput in megapixels per second on a photo-like line of
// 4000 pixels and on the decoded yardstick photo, beside the JPEG decoding
// rate measured in the same run.
//
// Each iteration is one picture line. The call counter advances with every
// iteration, so the chroma sampling grid falls on every 50th line, as it
// does over a real picture.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "jpeg_yardstick.h"
#include "voved32.h"

namespace {

constexpr int kWidth = 4000;

uint32_t NextRandom(uint32_t* state) {
    uint32_t x = *state;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    *state = x;
    return x;
}

uint8_t Channel(int v) {
    return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

// Smooth shading with grain, regions of their own colour separated by
// edges, a few clipped highlights and deep shadows: runs of equal luminance
// stay short, as in a photograph.
std::vector<uint8_t> PhotoLine(int16_t layout) {
    uint32_t state = 0x2545F491u;
    std::vector<uint8_t> bytes;
    int level = 90;
    int dr = 10;
    int db = -12;
    for (int i = 0; i < kWidth; ++i) {
        const uint32_t r = NextRandom(&state);
        if (r % 151 == 0) {
            level = 10 + static_cast<int>(NextRandom(&state) % 240);
            dr = static_cast<int>(NextRandom(&state) % 61) - 30;
            db = static_cast<int>(NextRandom(&state) % 61) - 30;
        }
        const int y = level + (i % 700) / 25 + static_cast<int>(r % 5) - 2;
        const int red = y + dr;
        const int blue = y + db;
        const int green = y - (5 * dr + 2 * db) / 9;
        if (layout == QV_PIXEL_RGB555) {
            const int word =
                (Channel(red) >> 3) << 10 | (Channel(green) >> 3) << 5 | Channel(blue) >> 3;
            bytes.push_back(static_cast<uint8_t>(word & 0xFF));
            bytes.push_back(static_cast<uint8_t>(word >> 8));
        } else if (layout == QV_PIXEL_BGR) {
            bytes.insert(bytes.end(), {Channel(blue), Channel(green), Channel(red)});
        } else {
            bytes.insert(bytes.end(), {Channel(red), Channel(green), Channel(blue)});
        }
    }
    return bytes;
}

void BM_Histogram(benchmark::State& state) {
    const auto layout = static_cast<int16_t>(state.range(0));
    const std::vector<uint8_t> line = PhotoLine(layout);
    const auto step = static_cast<int16_t>(layout == QV_PIXEL_RGB555 ? 2 : 3);
    QVHandle handle{};
    if (QVAlloc(&handle) != 0) {
        state.SkipWithError("QVAlloc failed");
        return;
    }
    const voved::bench::RateMeter meter;
    for (auto _ : state) {
        const QVResult result = QVHistogram(&handle, line.data(), kWidth, step, layout, 0);
        benchmark::DoNotOptimize(result);
    }
    QVFree(&handle);
    meter.Report(state, kWidth);
}
BENCHMARK(BM_Histogram)->Arg(QV_PIXEL_BGR)->Arg(QV_PIXEL_RGB)->Arg(QV_PIXEL_RGB555);

// The whole decoded yardstick photo, line by line into a fresh context: a
// real photo's runs of equal luminance, longer and less regular than the
// line above's.
void BM_HistogramPhoto(benchmark::State& state) {
    const voved::bench::DecodedPhoto photo = voved::bench::YardstickPhoto();
    const size_t stride = size_t{photo.width} * 3;
    const voved::bench::RateMeter meter;
    for (auto _ : state) {
        QVHandle handle{};
        if (QVAlloc(&handle) != 0) {
            state.SkipWithError("QVAlloc failed");
            return;
        }
        for (uint32_t y = 0; y < photo.height; ++y) {
            const QVResult result =
                QVHistogram(&handle, photo.pixels + stride * y, static_cast<uint16_t>(photo.width),
                            3, QV_PIXEL_RGB, 0);
            benchmark::DoNotOptimize(result);
        }
        QVFree(&handle);
    }
    meter.Report(state, static_cast<double>(photo.width) * photo.height);
}
BENCHMARK(BM_HistogramPhoto)->Unit(benchmark::kMillisecond);

}  // namespace
