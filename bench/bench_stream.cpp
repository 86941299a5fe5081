// Speed of the streaming conversion's paths, in megapixels per second,
// beside the JPEG decoding rate measured in the same run.
#include <cstdint>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "context/context.h"
#include "jpeg_yardstick.h"
#include "voved32.h"

namespace {

constexpr uint16_t kWidth = 1536;
constexpr uint16_t kLines = 96;
constexpr int16_t kStep = 3;
constexpr std::size_t kLineBytes = static_cast<std::size_t>(kWidth) * kStep;
constexpr double kPixels = static_cast<double>(kWidth) * kLines;

// A smooth picture with a little noise, as photographs are.
std::vector<uint8_t> MakePicture() {
    std::vector<uint8_t> bytes(kLineBytes * kLines);
    std::mt19937 random(1);
    std::uniform_int_distribution<int> noise(-4, 4);
    for (std::size_t y = 0; y < kLines; ++y) {
        for (std::size_t x = 0; x < kWidth; ++x) {
            uint8_t* p = &bytes[y * kLineBytes + 3 * x];
            p[0] = static_cast<uint8_t>(80 + (x / 8) % 100 + noise(random));
            p[1] = static_cast<uint8_t>(60 + (x + y) % 120 + noise(random));
            p[2] = static_cast<uint8_t>(100 + y % 90 + noise(random));
        }
    }
    return bytes;
}

const std::vector<uint8_t>& Picture() {
    static const std::vector<uint8_t> picture = MakePicture();
    return picture;
}

// Identity correction parameters, as the analysis would leave them for a
// picture that needs a rotation but no change.
void SetCorrection(QVContext& c) {
    for (int k = 0; k < 9; ++k) {
        c.colourMatrix[k] = static_cast<int16_t>(k % 4 == 0 ? 1024 : 0);
    }
    for (int i = 0; i < voved::kToneCurveSize; ++i) {
        c.toneCurve[i] = static_cast<int16_t>(i);
    }
    for (int i = 0; i < voved::kToneTableSize; ++i) {
        c.toneTable[i] = static_cast<uint8_t>(255 - i);
    }
    c.correctionType = voved::kTypeRotation;
    c.flags = static_cast<uint16_t>(c.flags | QV_FLAG_DERIVED);
}

// One whole conversion by the caller's protocol.
void Convert(QVHandle* handle, uint16_t mode, uint16_t outputWidth, int16_t scale,
             std::vector<uint8_t>& out) {
    const std::vector<uint8_t>& in = Picture();
    if (QVInitImageConversion(handle, kWidth, kLines, outputWidth, 0, scale, mode) != 0) {
        return;
    }
    std::size_t line = 0;
    std::size_t delivered = 0;
    for (;;) {
        const uint16_t r =
            QVCorrection2(handle, &in[line * kLineBytes], &out[delivered * kLineBytes], kWidth,
                          kStep, QV_PIXEL_RGB, 30, 0);
        if (r == QV_STEP_FAILED) {
            break;
        }
        if ((r & QV_STEP_OUTPUT) != 0 && delivered + 1 < kLines) {
            ++delivered;
        }
        if ((r & QV_STEP_TAKEN) != 0 && line + 1 < kLines) {
            ++line;
        }
        if ((r & QV_STEP_LAST) != 0) {
            break;
        }
    }
    QVTerminateImageConversion(handle);
}

void RunConversion(benchmark::State& state, uint16_t mode, uint16_t outputWidth = 0,
                   int16_t scale = 0) {
    QVHandle handle{};
    QVAlloc(&handle);
    SetCorrection(*static_cast<QVContext*>(handle.block));
    std::vector<uint8_t> out(Picture().size());
    const voved::bench::RateMeter meter;
    for (auto _ : state) {
        Convert(&handle, mode, outputWidth, scale, out);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    QVFree(&handle);
    meter.Report(state, kPixels);
}

void BM_TonePixels(benchmark::State& state) {
    RunConversion(state, QV_MODE_TONE);
}
BENCHMARK(BM_TonePixels);

void BM_ToneCorrected(benchmark::State& state) {
    RunConversion(state, QV_MODE_TONE | QV_MODE_CORRECT);
}
BENCHMARK(BM_ToneCorrected);

void BM_PassThroughByteTable(benchmark::State& state) {
    RunConversion(state, QV_MODE_BYTE_TABLE);
}
BENCHMARK(BM_PassThroughByteTable);

void BM_PassThroughCorrected(benchmark::State& state) {
    RunConversion(state, QV_MODE_CORRECT | QV_MODE_BYTE_TABLE);
}
BENCHMARK(BM_PassThroughCorrected);

void BM_Sharpen(benchmark::State& state) {
    RunConversion(state, QV_MODE_SHARPEN);
}
BENCHMARK(BM_Sharpen);

void BM_SharpenEnlargedTwice(benchmark::State& state) {
    RunConversion(state, QV_MODE_SHARPEN, kWidth, 150);
}
BENCHMARK(BM_SharpenEnlargedTwice);

void BM_SharpenReducedByTwo(benchmark::State& state) {
    RunConversion(state, QV_MODE_SHARPEN, kWidth, 800);
}
BENCHMARK(BM_SharpenReducedByTwo);

void BM_Denoise(benchmark::State& state) {
    RunConversion(state, QV_MODE_DENOISE);
}
BENCHMARK(BM_Denoise);

void BM_DenoiseCorrected(benchmark::State& state) {
    RunConversion(state, QV_MODE_DENOISE | QV_MODE_CORRECT | QV_MODE_BYTE_TABLE);
}
BENCHMARK(BM_DenoiseCorrected);

}  // namespace
