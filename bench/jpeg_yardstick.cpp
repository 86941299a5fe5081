#include "jpeg_yardstick.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <vector>

#include <jpeglib.h>

namespace voved::bench {

namespace {

constexpr JDIMENSION kWidth = 6000;
constexpr JDIMENSION kHeight = 4000;
constexpr int kQuality = 92;
constexpr int kRateRuns = 5;
constexpr int kChannels = 3;

struct Rgb {
    JDIMENSION width = 0;
    JDIMENSION height = 0;
    std::vector<uint8_t> pixels;
};

// Decodes `bytes` to RGB; `keep` false only walks the lines (the yardstick).
Rgb Decode(const uint8_t* bytes, size_t size, bool keep) {
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    Rgb rgb{info.output_width, info.output_height, {}};
    const size_t stride = size_t{rgb.width} * kChannels;
    std::vector<uint8_t> line(stride);
    if (keep) {
        rgb.pixels.resize(stride * rgb.height);
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW row[1] = {keep ? rgb.pixels.data() + stride * info.output_scanline : line.data()};
        jpeg_read_scanlines(&info, row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    benchmark::DoNotOptimize(line.data());
    return rgb;
}

// Line y of `small` tiled to kWidth pixels, every other tile mirrored.
void TiledLine(const Rgb& small, JDIMENSION y, uint8_t* out) {
    const auto fold = [](JDIMENSION v, JDIMENSION size) {
        return (v / size) % 2 == 0 ? v % size : size - 1 - v % size;
    };
    const uint8_t* row =
        small.pixels.data() + size_t{fold(y, small.height)} * small.width * kChannels;
    for (JDIMENSION x = 0; x < kWidth; ++x) {
        std::copy_n(row + size_t{fold(x, small.width)} * kChannels, kChannels,
                    out + size_t{x} * kChannels);
    }
}

// The yardstick JPEG: the sample photo tiled and encoded in memory.
std::vector<uint8_t> YardstickJpeg() {
    std::ifstream file(VOVED_SAMPLE, std::ios::binary);
    const std::vector<uint8_t> sample((std::istreambuf_iterator<char>(file)),
                                      std::istreambuf_iterator<char>());
    if (sample.empty()) {
        std::fprintf(stderr, "cannot read %s\n", VOVED_SAMPLE);
        std::exit(1);
    }
    const Rgb small = Decode(sample.data(), sample.size(), true);
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* bytes = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &bytes, &size);
    info.image_width = kWidth;
    info.image_height = kHeight;
    info.input_components = kChannels;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, kQuality, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<uint8_t> line(size_t{kWidth} * kChannels);
    for (JDIMENSION y = 0; y < kHeight; ++y) {
        TiledLine(small, y, line.data());
        JSAMPROW row[1] = {line.data()};
        jpeg_write_scanlines(&info, row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<uint8_t> jpeg(bytes, bytes + size);
    std::free(bytes);
    return jpeg;
}

const std::vector<uint8_t>& Yardstick() {
    static const std::vector<uint8_t> jpeg = YardstickJpeg();
    return jpeg;
}

constexpr double kPixels = double{kWidth} * kHeight;

double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double MeasureDecodeRate() {
    const auto& jpeg = Yardstick();
    std::vector<double> rates;
    for (int run = 0; run < kRateRuns; ++run) {
        const double start = ThreadSeconds();
        Decode(jpeg.data(), jpeg.size(), false);
        rates.push_back(kPixels / 1e6 / (ThreadSeconds() - start));
    }
    std::nth_element(rates.begin(), rates.begin() + kRateRuns / 2, rates.end());
    return rates[kRateRuns / 2];
}

void BM_JpegDecode(benchmark::State& state) {
    const auto& jpeg = Yardstick();
    const RateMeter meter;
    for (auto _ : state) {
        Decode(jpeg.data(), jpeg.size(), false);
    }
    meter.Report(state, kPixels);
}
BENCHMARK(BM_JpegDecode)->Unit(benchmark::kMillisecond);

}  // namespace

double JpegDecodeRate() {
    static const double rate = MeasureDecodeRate();
    return rate;
}

DecodedPhoto YardstickPhoto() {
    static const Rgb photo = Decode(Yardstick().data(), Yardstick().size(), true);
    return {photo.width, photo.height, photo.pixels.data()};
}

RateMeter::RateMeter() : start_(ThreadSeconds()) {}

void RateMeter::Report(benchmark::State& state, double pixels) const {
    const double seconds = ThreadSeconds() - start_;
    const double rate = pixels * static_cast<double>(state.iterations()) / 1e6 / seconds;
    state.counters["MP/s"] = rate;
    state.counters["x_decode"] = rate / JpegDecodeRate();
}

}  // namespace voved::bench
