// Luminance sharpening kernels.
//
// Every output sample follows one rule: out[i] = g * Yc[i] + sum of
// w * (Yc[i] - Y of the tap) over the taps of the window at i, where g is the
// gain (strength - 24) and Yc the centre line. It is computed as
// (g + sum w) * Yc[i] - sum w * Y of the tap, so a flat line gives g * Y.
// Windows are five positions wide (i - 2 .. i + 2) and span the line
// arguments; a tap outside the line is dropped and its weight with it.
// With strength at most 29 and samples 0..255 nothing leaves 16 bits.
#include "filters/sharpen_luma.h"

#include <array>

#include "pixels/fixed.h"

namespace voved {

namespace {

constexpr int kTaps = 5;  // positions i - 2 .. i + 2
constexpr int kCentreTap = 2;
constexpr int kMaxLines = 5;
constexpr int32_t kGainBase = 24;  // the full window's weights add up to this

// Weights of one window: [line argument][position - i + 2]. The centre
// line's own sample has no weight: its coefficient follows from the rule.
using Window = std::array<std::array<int8_t, kTaps>, kMaxLines>;

struct Kernel {
    int lines;      // line arguments
    int centre;     // which of them is sharpened
    Window full;    // interior pixels of lines of five or more
    Window edge;    // pixels 0, 1, n - 2 and n - 1, and short lines (cut)
    bool foldEnds;  // pixels 0 and n - 1 of long lines mirror the window
    bool hasOne;    // a one-pixel line uses `one` instead of a cut window
    Window one;
    bool hasTwo;  // a two-pixel line uses `two` at pixel 0 (mirrored at 1)
    Window two;
};

// clang-format off
constexpr Window kNone{};

constexpr Kernel kLuma1{
    1, 0,
    {{{8, 4, 0, 4, 8}}},
    {{{8, 4, 0, 4, 8}}},
    false,
    false, kNone,
    false, kNone};

constexpr Kernel kLuma2{
    2, 0,
    {{{4, 1, 0, 1, 4},
      {4, 1, 1, 1, 4}}},
    {{{4, 1, 0, 1, 4},
      {4, 1, 1, 1, 4}}},
    false,
    true, {{{0, 0, 0, 0, 0},
            {0, 0, 4, 0, 0}}},
    true, {{{0, 0, 0, 4, 0},
            {0, 0, 4, 4, 0}}}};

// Near the ends every tap weighs 1; inside, the neighbour lines weigh 2.
constexpr Kernel kLuma3{
    3, 0,
    {{{1, 1, 0, 1, 1},
      {2, 2, 2, 2, 2},
      {2, 2, 2, 2, 2}}},
    {{{1, 1, 0, 1, 1},
      {1, 1, 1, 1, 1},
      {1, 1, 1, 1, 1}}},
    false,
    true, {{{0, 0, 0, 0, 0},
            {0, 0, 4, 0, 0},
            {0, 0, 0, 0, 0}}},
    true, {{{0, 0, 0, 1, 0},
            {0, 0, 1, 1, 0},
            {0, 0, 1, 4, 0}}}};

constexpr Kernel kLuma4{
    4, 0,
    {{{1, 1, 0, 1, 1},
      {1, 1, 1, 1, 1},
      {1, 1, 1, 1, 1},
      {1, 1, 1, 1, 1}}},
    {{{1, 1, 0, 1, 1},
      {1, 1, 1, 1, 1},
      {1, 1, 1, 1, 1},
      {1, 1, 1, 1, 1}}},
    false,
    true, {{{0, 0, 0, 0, 0},
            {0, 0, 4, 0, 0},
            {0, 0, 4, 0, 0},
            {0, 0, 4, 0, 0}}},
    false, kNone};

// The centre line is the third argument.
constexpr Kernel kLuma5{
    5, 2,
    {{{1, 1, 1, 1, 1},
      {1, 1, 1, 1, 1},
      {1, 1, 0, 1, 1},
      {1, 1, 1, 1, 1},
      {1, 1, 1, 1, 1}}},
    {{{1, 1, 1, 1, 1},
      {1, 1, 1, 1, 1},
      {1, 1, 0, 1, 1},
      {1, 1, 1, 1, 1},
      {1, 1, 1, 1, 1}}},
    true,
    true, {{{0, 0, 8, 0, 0},
            {0, 0, 4, 0, 0},
            {0, 0, 0, 0, 0},
            {0, 0, 4, 0, 0},
            {0, 0, 8, 0, 0}}},
    true, {{{0, 0, 4, 4, 0},
            {0, 0, 1, 1, 0},
            {0, 0, 0, 1, 0},
            {0, 0, 1, 1, 0},
            {0, 0, 4, 4, 0}}}};
// clang-format on

// The window seen from the other end of the line.
constexpr Window Mirror(const Window& w) {
    Window m{};
    for (int l = 0; l < kMaxLines; ++l) {
        for (int t = 0; t < kTaps; ++t) {
            m[l][t] = w[l][kTaps - 1 - t];
        }
    }
    return m;
}

// Pixel 0 with the window reflected at the line's start: the taps at
// distance one and two count twice, the pixel's own column once.
constexpr Window FoldToRight(const Window& w) {
    Window f{};
    for (int l = 0; l < kMaxLines; ++l) {
        f[l][kCentreTap] = w[l][kCentreTap];
        f[l][kCentreTap + 1] = static_cast<int8_t>(w[l][kCentreTap + 1] + w[l][kCentreTap - 1]);
        f[l][kCentreTap + 2] = static_cast<int8_t>(w[l][kCentreTap + 2] + w[l][kCentreTap - 2]);
    }
    return f;
}

// Luminance planes of the line arguments.
struct Lines {
    const int16_t* y[kMaxLines];
};

// One output sample from a window, dropping the taps outside 0 .. n - 1.
int16_t Evaluate(const Kernel& k, const Lines& in, const Window& w, int32_t gain, int i, int n) {
    int32_t coefficient = gain;
    int32_t taps = 0;
    for (int l = 0; l < k.lines; ++l) {
        for (int t = 0; t < kTaps; ++t) {
            const int p = i + t - kCentreTap;
            if (w[l][t] == 0 || p < 0 || p >= n) {
                continue;
            }
            coefficient += w[l][t];
            taps += w[l][t] * in.y[l][p];
        }
    }
    return s16(coefficient * in.y[k.centre][i] - taps);
}

constexpr int32_t WindowSum(const Window& w) {
    int32_t sum = 0;
    for (const auto& line : w) {
        for (int8_t weight : line) {
            sum += weight;
        }
    }
    return sum;
}

// Pixels 2 .. n - 3 of a line of five or more, where the whole window lies
// inside the line.
template <const Kernel& K>
void SharpenInterior(const Lines& in, int32_t gain, int n, int16_t* out) {
    constexpr int32_t kWeights = WindowSum(K.full);
    const int32_t coefficient = gain + kWeights;
    const int16_t* centre = in.y[K.centre];
    for (int i = kCentreTap; i < n - kCentreTap; ++i) {
        int32_t taps = 0;
        for (int l = 0; l < K.lines; ++l) {
            const int16_t* y = in.y[l] + i - kCentreTap;
            for (int t = 0; t < kTaps; ++t) {
                taps += K.full[l][t] * y[t];
            }
        }
        out[i] = s16(coefficient * centre[i] - taps);
    }
}

template <const Kernel& K>
int16_t Sharpen(uint16_t count, int16_t strength, const Lines& in, int16_t* out) {
    const int n = count;
    const int32_t gain = strength - kGainBase;
    if (n == 0) {
        return 0;
    }
    if (n == 1) {
        out[0] = Evaluate(K, in, K.hasOne ? K.one : K.edge, gain, 0, n);
        return 0;
    }
    if (n == 2 && K.hasTwo) {
        out[0] = Evaluate(K, in, K.two, gain, 0, n);
        static constexpr Window kSecond = Mirror(K.two);
        out[1] = Evaluate(K, in, kSecond, gain, 1, n);
        return 0;
    }
    if (n < kTaps) {
        for (int i = 0; i < n; ++i) {
            out[i] = Evaluate(K, in, K.edge, gain, i, n);
        }
        return 0;
    }
    static constexpr Window kFirst = K.foldEnds ? FoldToRight(K.full) : K.edge;
    static constexpr Window kLast = K.foldEnds ? Mirror(FoldToRight(K.full)) : K.edge;
    out[0] = Evaluate(K, in, kFirst, gain, 0, n);
    out[1] = Evaluate(K, in, K.edge, gain, 1, n);
    SharpenInterior<K>(in, gain, n, out);
    out[n - 2] = Evaluate(K, in, K.edge, gain, n - 2, n);
    out[n - 1] = Evaluate(K, in, kLast, gain, n - 1, n);
    return 0;
}

}  // namespace

int16_t SharpenLuma1(uint16_t count, int16_t strength, const int16_t* l0, int16_t* out) {
    return Sharpen<kLuma1>(count, strength, Lines{{l0}}, out);
}

int16_t SharpenLuma2(uint16_t count, int16_t strength, const int16_t* l0, const int16_t* l1,
                     int16_t* out) {
    return Sharpen<kLuma2>(count, strength, Lines{{l0, l1}}, out);
}

int16_t SharpenLuma3(uint16_t count, int16_t strength, const int16_t* l0, const int16_t* l1,
                     const int16_t* l2, int16_t* out) {
    return Sharpen<kLuma3>(count, strength, Lines{{l0, l1, l2}}, out);
}

int16_t SharpenLuma4(uint16_t count, int16_t strength, const int16_t* l0, const int16_t* l1,
                     const int16_t* l2, const int16_t* l3, int16_t* out) {
    return Sharpen<kLuma4>(count, strength, Lines{{l0, l1, l2, l3}}, out);
}

int16_t SharpenLuma5(uint16_t count, int16_t strength, const int16_t* l0, const int16_t* l1,
                     const int16_t* l2, const int16_t* l3, const int16_t* l4, int16_t* out) {
    return Sharpen<kLuma5>(count, strength, Lines{{l0, l1, l2, l3, l4}}, out);
}

}  // namespace voved
