// The luminance sharpening kernels: flat lines, the worked examples, the
// centre coefficients at every kind of pixel and the short-line formulas.
#include <cstdint>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "filters/sharpen_luma.h"

namespace voved {
namespace {

// A working line of n samples per plane whose luminance plane is `y`; the
// colour planes hold a marker the kernels must never touch.
struct Line {
    explicit Line(std::vector<int16_t> y) : samples(3 * y.size(), kMarker) {
        std::copy(y.begin(), y.end(), samples.begin());
    }
    static constexpr int16_t kMarker = 0x5A5A;
    std::vector<int16_t> samples;
};

std::vector<int16_t> Flat(int n, int16_t v) {
    return std::vector<int16_t>(static_cast<std::size_t>(n), v);
}

// Runs member `lines` (1..5) on the given lines; returns the luminance plane
// of the output and checks the output's colour planes stayed untouched.
std::vector<int16_t> Sharpen(int lines, int16_t s, const std::vector<Line>& in) {
    const int n = static_cast<int>(in[0].samples.size() / 3);
    Line out(Flat(n, Line::kMarker));
    const auto count = static_cast<uint16_t>(n);
    const auto l = [&](int k) { return in[static_cast<std::size_t>(k)].samples.data(); };
    int16_t* o = out.samples.data();
    int16_t result = -1;
    switch (lines) {
    case 1:
        result = SharpenLuma1(count, s, l(0), o);
        break;
    case 2:
        result = SharpenLuma2(count, s, l(0), l(1), o);
        break;
    case 3:
        result = SharpenLuma3(count, s, l(0), l(1), l(2), o);
        break;
    case 4:
        result = SharpenLuma4(count, s, l(0), l(1), l(2), l(3), o);
        break;
    default:
        result = SharpenLuma5(count, s, l(0), l(1), l(2), l(3), l(4), o);
        break;
    }
    EXPECT_EQ(result, 0);
    for (int i = n; i < 3 * n; ++i) {
        EXPECT_EQ(out.samples[static_cast<std::size_t>(i)], Line::kMarker)
            << "colour plane written";
    }
    return {out.samples.begin(), out.samples.begin() + n};
}

// The line argument that is sharpened.
int CentreOf(int lines) {
    return lines == 5 ? 2 : 0;
}

TEST(SharpenLuma, FlatLinesComeOutAsGainTimesValue) {
    for (int lines = 1; lines <= 5; ++lines) {
        for (int n = 1; n <= 7; ++n) {
            for (int16_t s = 25; s <= 29; ++s) {
                const int16_t v = 173;
                std::vector<Line> in(static_cast<std::size_t>(lines), Line(Flat(n, v)));
                const std::vector<int16_t> out = Sharpen(lines, s, in);
                for (int i = 0; i < n; ++i) {
                    EXPECT_EQ(out[static_cast<std::size_t>(i)], (s - 24) * v)
                        << "member " << lines << " n " << n << " s " << s << " pixel " << i;
                }
            }
        }
    }
}

TEST(SharpenLuma, OnePixelLineKeepsTheGainInEveryMember) {
    // The caller scales the colour planes by the gain for every member, so
    // the one-line kernel must scale its luminance the same way.
    const std::vector<Line> in{Line({90})};
    EXPECT_EQ(Sharpen(1, 27, in)[0], 3 * 90);
    EXPECT_EQ(Sharpen(1, 25, in)[0], 90);
}

TEST(SharpenLuma, OneLineImpulseMatchesTheWorkedExample) {
    const std::vector<Line> in{Line({0, 0, 100, 0, 0})};
    EXPECT_EQ(Sharpen(1, 25, in), (std::vector<int16_t>{-800, -400, 2500, -400, -800}));
}

// The centre coefficient at every pixel of a line of seven: an impulse c in
// the centre line at pixel i, zeros everywhere else, gives coefficient x c.
TEST(SharpenLuma, CentreCoefficientsAtEdgesAndInterior) {
    const int n = 7;
    const int16_t s = 27;
    const int16_t c = 10;
    // Pixels 0, 1, 2..4, 5, 6, as offsets from s.
    const int expected[5][7] = {
        {-12, -8, 0, 0, 0, -8, -12},       // member 1
        {-13, -11, -3, -3, -3, -11, -13},  // member 2
        {-16, -13, 0, 0, 0, -13, -16},     // member 3: weight 1 near the ends
        {-13, -9, -5, -5, -5, -9, -13},    // member 4
        {0, -5, 0, 0, 0, -5, 0},           // member 5: mirrored at the ends
    };
    for (int lines = 1; lines <= 5; ++lines) {
        for (int i = 0; i < n; ++i) {
            std::vector<Line> in(static_cast<std::size_t>(lines), Line(Flat(n, 0)));
            in[static_cast<std::size_t>(CentreOf(lines))].samples[static_cast<std::size_t>(i)] = c;
            const std::vector<int16_t> out = Sharpen(lines, s, in);
            EXPECT_EQ(out[static_cast<std::size_t>(i)], (s + expected[lines - 1][i]) * c)
                << "member " << lines << " pixel " << i;
        }
    }
}

TEST(SharpenLuma, ThreeLineEdgePixelsWeighNeighbourLinesOnce) {
    // Centre line flat at u, both neighbour lines flat at v.
    const int16_t u = 120;
    const int16_t v = 100;
    const int16_t s = 26;
    const int16_t g = 2;
    const std::vector<Line> in{Line(Flat(7, u)), Line(Flat(7, v)), Line(Flat(7, v))};
    const std::vector<int16_t> out = Sharpen(3, s, in);
    EXPECT_EQ(out[0], g * u + 6 * (u - v)) << "six neighbour taps of weight 1, not 2";
    EXPECT_EQ(out[1], g * u + 8 * (u - v));
    EXPECT_EQ(out[3], g * u + 20 * (u - v)) << "ten neighbour taps of weight 2";
    EXPECT_EQ(out[5], out[1]);
    EXPECT_EQ(out[6], out[0]);
}

TEST(SharpenLuma, FiveLinesSharpenTheThirdArgument) {
    const int16_t u = 140;
    const int16_t v = 100;
    for (int16_t s = 25; s <= 29; ++s) {
        const int32_t g = s - 24;
        std::vector<Line> in(5, Line(Flat(8, v)));
        in[2] = Line(Flat(8, u));
        const std::vector<int16_t> out = Sharpen(5, s, in);
        EXPECT_EQ(out[0], g * u + 20 * (u - v));
        EXPECT_EQ(out[1], g * u + 16 * (u - v));
        for (int i = 2; i <= 5; ++i) {
            EXPECT_EQ(out[static_cast<std::size_t>(i)], g * u + 20 * (u - v)) << i;
        }
        EXPECT_EQ(out[6], g * u + 16 * (u - v));
        EXPECT_EQ(out[7], g * u + 20 * (u - v));
    }
}

// The short-line formulas that are not plain cut windows, on random data.
TEST(SharpenLuma, ShortLineFormulas) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> level(0, 255);
    const auto y = [&](int n) {
        std::vector<int16_t> v(static_cast<std::size_t>(n));
        for (auto& x : v) {
            x = static_cast<int16_t>(level(random));
        }
        return v;
    };
    for (int trial = 0; trial < 50; ++trial) {
        const int16_t s = static_cast<int16_t>(25 + trial % 5);
        {  // member 1, n = 3 and n = 4
            const auto a = y(3);
            const auto out = Sharpen(1, s, {Line(a)});
            EXPECT_EQ(out[0], (s - 12) * a[0] - 4 * a[1] - 8 * a[2]);
            EXPECT_EQ(out[1], (s - 16) * a[1] - 4 * a[0] - 4 * a[2]);
            const auto b = y(4);
            EXPECT_EQ(Sharpen(1, s, {Line(b)})[3], (s - 12) * b[3] - 4 * b[2] - 8 * b[1]);
            const auto c = y(2);
            const auto two = Sharpen(1, s, {Line(c)});
            EXPECT_EQ(two[0], (s - 20) * c[0] - 4 * c[1]);
            EXPECT_EQ(two[1], (s - 20) * c[1] - 4 * c[0]);
        }
        {  // member 2, n = 1 and 2
            const auto a = y(1), b = y(1);
            EXPECT_EQ(Sharpen(2, s, {Line(a), Line(b)})[0], (s - 20) * a[0] - 4 * b[0]);
            const auto c = y(2), d = y(2);
            const auto out = Sharpen(2, s, {Line(c), Line(d)});
            for (int k = 0; k < 2; ++k) {
                EXPECT_EQ(out[k], (s - 12) * c[k] - 4 * (c[1 - k] + d[0] + d[1]));
            }
        }
        {  // member 3, n = 1 and 2
            const auto a = y(1), b = y(1), c = y(1);
            EXPECT_EQ(Sharpen(3, s, {Line(a), Line(b), Line(c)})[0], (s - 20) * a[0] - 4 * b[0]);
            const auto d = y(2), e = y(2), f = y(2);
            const auto out = Sharpen(3, s, {Line(d), Line(e), Line(f)});
            for (int k = 0; k < 2; ++k) {
                EXPECT_EQ(out[k], (s - 16) * d[k] - 4 * f[1 - k] - d[1 - k] - e[0] - e[1] - f[k]);
            }
        }
        {  // member 4, n = 1 and 2
            const auto a = y(1), b = y(1), c = y(1), d = y(1);
            EXPECT_EQ(Sharpen(4, s, {Line(a), Line(b), Line(c), Line(d)})[0],
                      (s - 12) * a[0] - 4 * (b[0] + c[0] + d[0]));
            const auto e = y(2), f = y(2), g = y(2), h = y(2);
            const auto out = Sharpen(4, s, {Line(e), Line(f), Line(g), Line(h)});
            for (int k = 0; k < 2; ++k) {
                EXPECT_EQ(out[k],
                          (s - 17) * e[k] - e[1 - k] - f[0] - f[1] - g[0] - g[1] - h[0] - h[1]);
            }
        }
        {  // member 5, n = 1 and 2
            const auto a = y(1), b = y(1), c = y(1), d = y(1), e = y(1);
            EXPECT_EQ(Sharpen(5, s, {Line(a), Line(b), Line(c), Line(d), Line(e)})[0],
                      s * c[0] - 8 * a[0] - 4 * b[0] - 4 * d[0] - 8 * e[0]);
            const auto f = y(2), g = y(2), h = y(2), i = y(2), j = y(2);
            const auto out = Sharpen(5, s, {Line(f), Line(g), Line(h), Line(i), Line(j)});
            for (int k = 0; k < 2; ++k) {
                EXPECT_EQ(out[k], (s - 3) * h[k] - 4 * (f[0] + f[1] + j[0] + j[1]) - g[0] - g[1] -
                                      i[0] - i[1] - h[1 - k]);
            }
        }
    }
}

TEST(SharpenLuma, ShortLinesOfThreeAndFourUseWeightOneWindows) {
    // Every non-centre sample equal to v, the centre line flat at u: the
    // output is g u + (number of non-centre-line taps) (u - v).
    const int16_t u = 90;
    const int16_t v = 60;
    const int16_t s = 28;
    const int32_t g = 4;
    struct Case {
        int lines;
        int n;
        std::vector<int> taps;  // other-line taps per pixel
    };
    const Case cases[] = {
        {3, 3, {6, 6, 6}},      {3, 4, {6, 8, 8, 6}}, {4, 3, {9, 9, 9}},
        {4, 4, {9, 12, 12, 9}}, {5, 3, {12, 12, 12}}, {5, 4, {12, 16, 16, 12}},
        {2, 3, {6, 3, 6}},      {2, 4, {6, 7, 7, 6}}, {4, 2, {6, 6}},
    };
    for (const Case& c : cases) {
        std::vector<Line> in(static_cast<std::size_t>(c.lines), Line(Flat(c.n, v)));
        in[static_cast<std::size_t>(CentreOf(c.lines))] = Line(Flat(c.n, u));
        const std::vector<int16_t> out = Sharpen(c.lines, s, in);
        for (int i = 0; i < c.n; ++i) {
            EXPECT_EQ(out[static_cast<std::size_t>(i)],
                      g * u + c.taps[static_cast<std::size_t>(i)] * (u - v))
                << "member " << c.lines << " n " << c.n << " pixel " << i;
        }
    }
}

}  // namespace
}  // namespace voved
