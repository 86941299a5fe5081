// The line steps of the streaming conversion: resampling to and from working
// lines, packing, the chroma gain and the toning.
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "pixels/pixels.h"
#include "stream/line_steps.h"

namespace voved {
namespace {

// A run of 24-bit RGB pixels (step 3) whose pixel j is (10 j, 20 + j, 5 j).
std::vector<uint8_t> Ramp(int n) {
    std::vector<uint8_t> pixels;
    for (int j = 0; j < n; ++j) {
        pixels.push_back(static_cast<uint8_t>(10 * j));
        pixels.push_back(static_cast<uint8_t>(20 + j));
        pixels.push_back(static_cast<uint8_t>(5 * j));
    }
    return pixels;
}

Sample ForwardOfRamp(int j) {
    return ForwardTransform(10 * j, 20 + j, 5 * j);
}

struct Work {
    explicit Work(int n) : samples(static_cast<std::size_t>(3 * n), -7), width(n) {}
    Sample At(int i) const {
        const auto w = static_cast<std::size_t>(width);
        const auto k = static_cast<std::size_t>(i);
        return {samples[k], samples[w + k], samples[2 * w + k]};
    }
    void Set(int i, Sample s) {
        const auto w = static_cast<std::size_t>(width);
        const auto k = static_cast<std::size_t>(i);
        samples[k] = s.y;
        samples[w + k] = s.dr;
        samples[2 * w + k] = s.db;
    }
    std::vector<int16_t> samples;
    int width;
};

void ExpectSample(const Sample& got, const Sample& want, int i) {
    EXPECT_EQ(got.y, want.y) << "sample " << i;
    EXPECT_EQ(got.dr, want.dr) << "sample " << i;
    EXPECT_EQ(got.db, want.db) << "sample " << i;
}

TEST(UnpackScaledLine, EnlargingRepeatsEachPixel) {
    const std::vector<uint8_t> pixels = Ramp(3);
    Work line(6);
    EXPECT_EQ(UnpackScaledLine(pixels.data(), line.samples.data(), 3, 6, 3, kLayoutRgb), 0);
    for (int i = 0; i < 6; ++i) {
        ExpectSample(line.At(i), ForwardOfRamp(i / 2), i);
    }
}

TEST(UnpackScaledLine, ReducingKeepsTheLastPixelOfEachRun) {
    const std::vector<uint8_t> pixels = Ramp(6);
    Work line(3);
    UnpackScaledLine(pixels.data(), line.samples.data(), 6, 3, 3, kLayoutRgb);
    for (int i = 0; i < 3; ++i) {
        ExpectSample(line.At(i), ForwardOfRamp(2 * i + 1), i);
    }
}

TEST(UnpackScaledLine, UnevenRatiosCoverEverySampleOnce) {
    // 5 pixels over 7 samples: pixel j covers floor(7j/5) .. floor(7(j+1)/5) - 1.
    const std::vector<uint8_t> pixels = Ramp(5);
    Work line(7);
    UnpackScaledLine(pixels.data(), line.samples.data(), 5, 7, 3, kLayoutRgb);
    const int owner[7] = {0, 1, 2, 2, 3, 4, 4};
    for (int i = 0; i < 7; ++i) {
        ExpectSample(line.At(i), ForwardOfRamp(owner[i]), i);
    }
}

TEST(UnpackScaledLine, WideLinesNeedTheFullProductRange) {
    // 50000 x 50000 passes 2^31: the spans must still be exact.
    const int n = 50000;
    std::vector<uint8_t> pixels(static_cast<std::size_t>(3 * n));
    for (int j = 0; j < n; ++j) {
        pixels[static_cast<std::size_t>(3 * j)] = static_cast<uint8_t>(j);
    }
    Work line(n);
    UnpackScaledLine(pixels.data(), line.samples.data(), static_cast<uint16_t>(n),
                     static_cast<uint16_t>(n), 3, kLayoutRgb);
    for (int i = 0; i < n; i += 997) {
        ExpectSample(line.At(i), ForwardTransform(i & 0xFF, 0, 0), i);
    }
    ExpectSample(line.At(n - 1), ForwardTransform((n - 1) & 0xFF, 0, 0), n - 1);
}

TEST(UnpackScaledLine, ReadsEveryLayoutAndNothingForZeroCounts) {
    const uint8_t bgr[4] = {30, 60, 90, 0xEE};
    const uint8_t word[2] = {0xFF, 0xFF};  // 0xFFFF: white, bit 15 ignored
    Work line(1);
    UnpackScaledLine(bgr, line.samples.data(), 1, 1, 4, kLayoutBgr);
    ExpectSample(line.At(0), ForwardTransform(90, 60, 30), 0);
    UnpackScaledLine(word, line.samples.data(), 1, 1, 2, kLayoutRgb555);
    ExpectSample(line.At(0), Sample{255, 0, 0}, 0);
    Work untouched(2);
    UnpackScaledLine(bgr, untouched.samples.data(), 0, 2, 3, kLayoutBgr);
    UnpackScaledLine(bgr, untouched.samples.data(), 1, 0, 3, kLayoutBgr);
    for (int16_t v : untouched.samples) {
        EXPECT_EQ(v, -7);
    }
}

TEST(PackScaledLine, ReducingWritesEverySecondSample) {
    Work line(6);
    for (int i = 0; i < 6; ++i) {
        line.Set(i, Sample{static_cast<int16_t>(40 * i), 0, 0});
    }
    std::vector<uint8_t> pixels(9, 0xAB);
    EXPECT_EQ(PackScaledLine(line.samples.data(), pixels.data(), 6, 3, 3, kLayoutRgb), 0);
    for (int j = 0; j < 3; ++j) {
        EXPECT_EQ(pixels[static_cast<std::size_t>(3 * j)], 40 * (2 * j + 1)) << j;
    }
}

TEST(PackScaledLine, EnlargingWritesEverySampleTwice) {
    Work line(3);
    for (int i = 0; i < 3; ++i) {
        line.Set(i, Sample{static_cast<int16_t>(50 + i), 10, -20});
    }
    std::vector<uint8_t> pixels(6 * 4, 0xAB);
    PackScaledLine(line.samples.data(), pixels.data(), 3, 6, 4, kLayoutBgr);
    for (int j = 0; j < 6; ++j) {
        const Rgb want = InverseTransform(50 + j / 2, 10, -20);
        const uint8_t* p = &pixels[static_cast<std::size_t>(4 * j)];
        EXPECT_EQ(p[0], want.b);
        EXPECT_EQ(p[1], want.g);
        EXPECT_EQ(p[2], want.r);
        EXPECT_EQ(p[3], 0xAB) << "the fourth byte is never written";
    }
}

TEST(PackLine, WritesOneSamplePerPixelWithBit15Clear) {
    Work line(2);
    line.Set(0, ForwardTransform(255, 0, 0));  // comes back as (255, 0, 0)
    line.Set(1, Sample{255, 0, 0});
    std::vector<uint8_t> rgb(6);
    EXPECT_EQ(PackLine(line.samples.data(), rgb.data(), 2, 3, kLayoutRgb), 0);
    EXPECT_EQ(rgb, (std::vector<uint8_t>{255, 0, 0, 255, 255, 255}));
    std::vector<uint8_t> words(4, 0xFF);
    PackLine(line.samples.data(), words.data(), 2, 2, kLayoutRgb555);
    EXPECT_EQ(ReadWord(&words[0]), 0x7C00);
    EXPECT_EQ(ReadWord(&words[2]), 0x7FFF);
}

TEST(CopyScaledChroma, MultipliesBothDifferencesAndWraps) {
    Work source(2);
    source.Set(0, Sample{100, 20000, -3});
    source.Set(1, Sample{100, -7, 16384});
    Work target(2);
    EXPECT_EQ(CopyScaledChroma(source.samples.data(), target.samples.data(), 2, 2), 0);
    EXPECT_EQ(target.At(0).dr, -25536) << "low 16 bits of 40000";
    EXPECT_EQ(target.At(0).db, -6);
    EXPECT_EQ(target.At(1).dr, -14);
    EXPECT_EQ(target.At(1).db, -32768);
    EXPECT_EQ(target.At(0).y, -7) << "luminance untouched";
    EXPECT_EQ(target.At(1).y, -7);
}

TEST(RemoveSharpenGain, RoundsToNearestWithHalvesUp) {
    struct Case {
        int16_t gain;
        int16_t in;
        int16_t out;
    };
    const Case cases[] = {{2, 3, 2},        {2, -3, -1},     {2, -5, -2},       {2, 4, 2},
                          {2, -4, -2},      {5, 12, 2},      {5, 13, 3},        {5, -12, -2},
                          {5, -13, -3},     {5, 7225, 1445}, {3, -6120, -2040}, {1, -9, -9},
                          {1, 32767, 32767}};
    for (const Case& c : cases) {
        Work line(1);
        line.Set(0, Sample{c.in, c.in, c.in});
        EXPECT_EQ(RemoveSharpenGain(line.samples.data(), 1, c.gain), 0);
        ExpectSample(line.At(0), Sample{c.out, c.out, c.out}, c.in);
    }
}

TEST(Toning, FactorsAreTruncatedInExtendedPrecision) {
    // The sine of 90 x 0.0174532925 lies just below 1: 1023, not 1024.
    const ToneFactors f0 = ToneFactorsOf(0);
    EXPECT_EQ(f0.ks, 0);
    EXPECT_EQ(f0.kc, 1024);
    const ToneFactors f90 = ToneFactorsOf(90);
    EXPECT_EQ(f90.ks, 1023);
    EXPECT_EQ(f90.kc, 0);
    const ToneFactors f180 = ToneFactorsOf(180);
    EXPECT_EQ(f180.ks, 0);
    EXPECT_EQ(f180.kc, -1023);
    const ToneFactors f270 = ToneFactorsOf(270);
    EXPECT_EQ(f270.ks, -1023);
    EXPECT_EQ(f270.kc, 0);
    const ToneFactors f45 = ToneFactorsOf(45);
    EXPECT_EQ(f45.ks, 724);
    EXPECT_EQ(f45.kc, 724);
}

TEST(Toning, HuesWrapAtAFullTurnAndNegativeHuesStay) {
    EXPECT_EQ(ReduceHue(359), 359);
    EXPECT_EQ(ReduceHue(360), 0);
    EXPECT_EQ(ReduceHue(450), 90);
    EXPECT_EQ(ReduceHue(32767), 32767 % 360);
    EXPECT_EQ(ReduceHue(-1), -1);
    EXPECT_EQ(ReduceHue(-400), -400);
}

TEST(Toning, WorkLineGetsTheToneCircleScaledByLuminance) {
    Work line(4);
    line.Set(0, Sample{0, 50, 50});
    line.Set(1, Sample{255, 50, 50});
    line.Set(2, Sample{300, 50, 50});   // above white: stored back as 255
    line.Set(3, Sample{-100, 50, 50});  // not raised: a negative radius
    Work same = line;
    EXPECT_EQ(ToneWorkLine(line.samples.data(), 4, 90), 0);
    // A = ((Y x 100) >> 8) + 10; differences (1023 A >> 10, 0).
    ExpectSample(line.At(0), Sample{0, 9, 0}, 0);
    ExpectSample(line.At(1), Sample{255, 108, 0}, 1);
    ExpectSample(line.At(2), Sample{255, 108, 0}, 2);
    ExpectSample(line.At(3), Sample{-100, -30, 0}, 3);  // A = -40 + 10
    EXPECT_EQ(ToneWorkLine(same.samples.data(), 4, 450), 0);
    EXPECT_EQ(same.samples, line.samples) << "450 tones as 90";
}

TEST(Toning, NegativeHueGreysTheWorkLine) {
    Work line(2);
    line.Set(0, Sample{300, 40, -40});
    line.Set(1, Sample{12, -3, 7});
    EXPECT_EQ(ToneWorkLine(line.samples.data(), 2, -1), 0);
    ExpectSample(line.At(0), Sample{300, 0, 0}, 0);
    ExpectSample(line.At(1), Sample{12, 0, 0}, 1);
}

TEST(Toning, PixelsGreyToTheirLuminance) {
    std::vector<uint8_t> rgb{255, 0, 0, 10, 200, 30};
    EXPECT_EQ(ToneConvertPixels(rgb.data(), rgb.data(), 2, 3, kLayoutRgb, -1), 0);
    const int32_t y1 = Luma(10, 200, 30);
    EXPECT_EQ(rgb, (std::vector<uint8_t>{79, 79, 79, static_cast<uint8_t>(y1),
                                         static_cast<uint8_t>(y1), static_cast<uint8_t>(y1)}));
}

TEST(Toning, WhiteTonedBlue) {
    const uint8_t white[4] = {255, 255, 255, 0x11};
    uint8_t out[4] = {0, 0, 0, 0x22};
    EXPECT_EQ(ToneConvertPixels(white, out, 1, 4, kLayoutBgr, 0), 0);
    // Y 255, A 109, (dR, dB) = (0, 109): G = 255 - 218 / 9, B clamped.
    EXPECT_EQ(out[2], 255);
    EXPECT_EQ(out[1], 231);
    EXPECT_EQ(out[0], 255);
    EXPECT_EQ(out[3], 0x22) << "the fourth byte is not written";
}

TEST(Toning, PixelsTonedAsTheWorkLineIsAndBit15Kept) {
    for (int hue : {0, 45, 90, 200, 450, 719}) {
        std::vector<uint8_t> rgb{0, 0, 0, 120, 60, 200, 255, 255, 255};
        std::vector<uint8_t> toned(rgb.size());
        ToneConvertPixels(rgb.data(), toned.data(), 3, 3, kLayoutRgb, static_cast<int16_t>(hue));
        Work line(3);
        UnpackScaledLine(rgb.data(), line.samples.data(), 3, 3, 3, kLayoutRgb);
        ToneWorkLine(line.samples.data(), 3, static_cast<int16_t>(hue));
        std::vector<uint8_t> packed(rgb.size());
        PackLine(line.samples.data(), packed.data(), 3, 3, kLayoutRgb);
        EXPECT_EQ(toned, packed) << hue;
    }
    const uint8_t words[4] = {0xFF, 0xFF, 0x00, 0x00};  // white with bit 15, black without
    uint8_t out[4] = {};
    ToneConvertPixels(words, out, 2, 2, kLayoutRgb555, 90);
    EXPECT_EQ(ReadWord(&out[0]) & kBit15, kBit15);
    EXPECT_EQ(ReadWord(&out[2]) & kBit15, 0);
    EXPECT_EQ(ReadWord(&out[0]) & 0x7FFF, Pack555(255, 195, 255, 0))
        << "(255 + 108, 255 - 540 / 9, 255)";
}

}  // namespace
}  // namespace voved
