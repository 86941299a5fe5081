// QVCorrection over a photo-like picture of 4000-pixel lines, one whole
// picture per iteration (so the line history fills, rotates and restarts),
// for the three correction variants, beside the JPEG decoding rate measured
// in the same run.
//
// The picture is smooth shading with texture and sensor-like noise, so that
// neighbouring pixels rarely share a colour: a flat picture would measure
// mostly the colour cache of type 5001.
#include <cmath>
#include <cstdint>
#include <vector>

#include <benchmark/benchmark.h>

#include "context/context.h"
#include "jpeg_yardstick.h"
#include "voved32.h"

namespace {

constexpr uint16_t kWidth = 4000;
constexpr uint16_t kLines = 48;
constexpr int16_t kStep = 3;
constexpr std::size_t kLineBytes = std::size_t{kWidth} * kStep;
constexpr double kPixels = double{kWidth} * kLines;

uint8_t Channel(double v) {
    return static_cast<uint8_t>(v < 0.0 ? 0.0 : (v > 255.0 ? 255.0 : v));
}

// B, G, R bytes of a picture: a warm, lit scene with a gradient sky, a few
// soft objects, fine texture and noise of a few levels.
std::vector<uint8_t> PhotoLikePicture() {
    std::vector<uint8_t> picture(kLineBytes * kLines);
    uint32_t seed = 2463534242u;
    const auto noise = [&seed]() {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        return static_cast<double>(seed % 9) - 4.0;
    };
    for (int y = 0; y < kLines; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const double u = x / static_cast<double>(kWidth);
            const double v = y / static_cast<double>(kLines);
            const double shade = 120.0 + 70.0 * std::sin(6.0 * u + 2.0 * v) * std::cos(3.0 * v);
            const double texture = 12.0 * std::sin(0.9 * x) * std::sin(0.7 * y + 0.3 * x);
            const double object = 50.0 * std::exp(-40.0 * ((u - 0.3) * (u - 0.3) + 0.1 * v * v));
            uint8_t* p = picture.data() + y * kLineBytes + x * kStep;
            p[2] = Channel(shade + texture + object + 18.0 + noise());  // red, a warm cast
            p[1] = Channel(shade + texture + 0.6 * object + noise());
            p[0] = Channel(shade + texture - 0.4 * object - 14.0 + noise());
        }
    }
    return picture;
}

// Parameters as an analysis of such a picture might leave them: a small
// rotation of the colour plane with some saturation, a gamma-like tone curve
// that reaches white at 280, a shadow cast and a black point.
void SetParameters(voved::QVContext& c, int16_t type) {
    const int16_t matrix[9] = {1100, -60, 14, 40, 1080, -20, 0, 0, 1090};
    for (int k = 0; k < 9; ++k) {
        c.colourMatrix[k] = matrix[k];
    }
    for (int i = 0; i < voved::kToneCurveSize; ++i) {
        const double level = 255.0 * std::pow(i / 280.0, 0.85);
        c.toneCurve[i] = static_cast<int16_t>(level > 300.0 ? 300.0 : level);
    }
    c.toneCurve[0] = 0;
    c.shadowCastRY = 6;
    c.shadowCastBY = -9;
    c.blackLevel = 8;
    c.correctionType = type;
    c.highlightLevel = 250;
    c.mode = QV_MODE_CORRECT;
    c.flags = static_cast<uint16_t>(c.flags | voved::kFlagDerived);
}

void CorrectPicture(benchmark::State& state, int16_t type) {
    const std::vector<uint8_t> source = PhotoLikePicture();
    std::vector<uint8_t> destination(source.size());
    QVHandle handle{};
    if (QVAlloc(&handle) != QV_RESULT_OK) {
        state.SkipWithError("QVAlloc failed");
        return;
    }
    SetParameters(*static_cast<voved::QVContext*>(handle.block), type);
    const voved::bench::RateMeter meter;
    for (auto _ : state) {
        for (uint16_t line = 0; line < kLines; ++line) {
            const std::size_t offset = line * kLineBytes;
            QVCorrection(&handle, source.data() + offset, destination.data() + offset, kWidth,
                         kLines, kStep, QV_PIXEL_BGR);
        }
        benchmark::DoNotOptimize(destination.data());
        benchmark::ClobberMemory();
    }
    QVFree(&handle);
    meter.Report(state, kPixels);
}

void BM_Correction5001(benchmark::State& state) {
    CorrectPicture(state, voved::kTypeRotation);
}
void BM_Correction5002(benchmark::State& state) {
    CorrectPicture(state, voved::kTypeBrightRotation);
}
void BM_Correction5003(benchmark::State& state) {
    CorrectPicture(state, voved::kTypeStretch);
}

// Type 5001 over the whole decoded yardstick photo, 72 MiB that come from
// memory rather than cache, as in a tool correcting a large picture.
void BM_Correction5001Photo(benchmark::State& state) {
    const voved::bench::DecodedPhoto photo = voved::bench::YardstickPhoto();
    const std::size_t stride = std::size_t{photo.width} * kStep;
    std::vector<uint8_t> destination(stride * photo.height);
    QVHandle handle{};
    if (QVAlloc(&handle) != QV_RESULT_OK) {
        state.SkipWithError("QVAlloc failed");
        return;
    }
    SetParameters(*static_cast<voved::QVContext*>(handle.block), voved::kTypeRotation);
    const voved::bench::RateMeter meter;
    for (auto _ : state) {
        for (uint32_t line = 0; line < photo.height; ++line) {
            QVCorrection(&handle, photo.pixels + stride * line, destination.data() + stride * line,
                         static_cast<uint16_t>(photo.width), static_cast<uint16_t>(photo.height),
                         kStep, QV_PIXEL_RGB);
        }
        benchmark::DoNotOptimize(destination.data());
        benchmark::ClobberMemory();
    }
    QVFree(&handle);
    meter.Report(state, static_cast<double>(photo.width) * photo.height);
}

}  // namespace

BENCHMARK(BM_Correction5001)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Correction5001Photo)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Correction5002)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Correction5003)->Unit(benchmark::kMicrosecond);
