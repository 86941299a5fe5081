// Building blocks of the chroma noise filters: the set of lines a filter
// works on, the four kernel shapes, the tests, and the weights of every
// member as data.
//
// A kernel's weights add up to a power of two and the weighted sum is
// divided by an arithmetic right shift, so results round toward minus
// infinity, negative colour differences included. The weights are
// non-negative, so a result always lies between the smallest and the largest
// sample it was made from and needs no clamping.
//
// The tests (luminance flatness, colour variation, similarity of two lines)
// compute as a 16-bit machine: sums, differences and absolute values are
// signed 16-bit quantities that wrap.
#pragma once

#include <cstdint>

#include "filters/chroma_denoise.h"
#include "pixels/fixed.h"

namespace voved::chroma {

constexpr int kMaxLines = 5;
constexpr int kLumaPlane = 0;
constexpr int kFirstColourPlane = 1;  // R - Y
constexpr int kLastColourPlane = 2;   // B - Y
constexpr int kPlanes = 3;

// Limits of the tests: flat luminance and little colour variation.
constexpr int16_t kLumaLimit = 75;
constexpr int16_t kColourLimit = 200;

// The lines of one filter call. Line 0 is the line being filtered; its
// colour planes receive the write-back. Lines 1.. are neighbours.
struct FilterLines {
    uint32_t count;
    int lines;
    const int16_t* plane[kMaxLines][kPlanes];
    int16_t* own[kPlanes];  // line 0, writable
    int16_t* out[kPlanes];

    int16_t At(int line, int p, uint32_t i) const { return plane[line][p][i]; }
    int16_t Luma(int line, uint32_t i) const { return plane[line][kLumaPlane][i]; }
};

// Colour test limit for bright pixels: a level in 121..254 gives level - 5,
// anything else 218.
constexpr int16_t BrightLimit(int16_t level) {
    return (level >= 121 && level <= 254) ? static_cast<int16_t>(level - 5) : int16_t{218};
}

// ---- Kernel shapes -----------------------------------------------------------

// One sample per line, at the pixel itself.
struct PointKernel {
    int8_t weight[kMaxLines];
    uint8_t shift;
};

// Two samples per line: the pixel (`near`) and one neighbour (`far`). The
// same weights serve the head and, mirrored, the tail of a line.
struct PairKernel {
    int8_t weight[kMaxLines][2];  // [line][near, far]
    uint8_t shift;
};

// Three samples per line around the pixel: k - 1, k, k + 1.
struct Box3Kernel {
    int8_t weight[kMaxLines][3];
    uint8_t shift;
};

// Five samples per line around the pixel: i - 2 .. i + 2.
struct Box5Kernel {
    int8_t weight[kMaxLines][5];
    uint8_t shift;
};

inline int16_t Apply(const PointKernel& k, const FilterLines& s, int p, uint32_t i) {
    int32_t sum = 0;
    for (int line = 0; line < s.lines; ++line) {
        sum += k.weight[line] * s.At(line, p, i);
    }
    return s16(AsrInt(sum, k.shift));
}

inline int16_t Apply(const PairKernel& k, const FilterLines& s, int p, uint32_t near,
                     uint32_t far) {
    int32_t sum = 0;
    for (int line = 0; line < s.lines; ++line) {
        sum += k.weight[line][0] * s.At(line, p, near) + k.weight[line][1] * s.At(line, p, far);
    }
    return s16(AsrInt(sum, k.shift));
}

inline int16_t Apply(const Box3Kernel& k, const FilterLines& s, int p, uint32_t centre) {
    int32_t sum = 0;
    for (int line = 0; line < s.lines; ++line) {
        for (uint32_t t = 0; t < 3; ++t) {
            sum += k.weight[line][t] * s.At(line, p, centre - 1 + t);
        }
    }
    return s16(AsrInt(sum, k.shift));
}

inline int16_t Apply(const Box5Kernel& k, const FilterLines& s, int p, uint32_t centre) {
    int32_t sum = 0;
    for (int line = 0; line < s.lines; ++line) {
        for (uint32_t t = 0; t < 5; ++t) {
            sum += k.weight[line][t] * s.At(line, p, centre - 2 + t);
        }
    }
    return s16(AsrInt(sum, k.shift));
}

// ---- Weights -------------------------------------------------------------------
// clang-format off

// Member 1: the line alone.
constexpr PairKernel kEdge1     = {{{3, 1}}, 2};
constexpr Box3Kernel kMiddle1   = {{{1, 2, 1}}, 2};
inline constexpr Box5Kernel kInterior1 = {{{3, 3, 4, 3, 3}}, 4};

// Member 2: the line and one neighbour.
constexpr PointKernel kSingle2   = {{1, 1}, 1};
constexpr PairKernel  kEdge2     = {{{1, 1}, {1, 1}}, 2};
constexpr Box3Kernel  kMiddle2   = {{{1, 3, 1},
                                     {1, 1, 1}}, 3};
inline constexpr Box5Kernel  kInterior2 = {{{3, 3, 7, 2, 2},
                                            {3, 3, 3, 3, 3}}, 5};

// Member 3: two neighbours.
constexpr PointKernel kSingle3   = {{3, 3, 2}, 3};
constexpr PairKernel  kEdge3     = {{{3, 3}, {3, 3}, {2, 2}}, 4};
constexpr Box3Kernel  kMiddle3   = {{{3, 3, 3},
                                     {3, 8, 3},
                                     {3, 3, 3}}, 5};
inline constexpr Box5Kernel  kInterior3 = {{{2, 2, 6, 1, 1},
                                            {2, 2, 2, 2, 2},
                                            {2, 2, 2, 2, 2}}, 5};

// Member 4: three neighbours.
constexpr PointKernel kSingle4   = {{5, 1, 1, 1}, 3};
constexpr PairKernel  kEdge4     = {{{5, 1}, {3, 3}, {1, 1}, {1, 1}}, 4};
constexpr Box3Kernel  kBox4      = {{{1, 2, 1},
                                     {2, 2, 2},
                                     {1, 1, 1},
                                     {1, 1, 1}}, 4};
inline constexpr Box5Kernel  kInterior4 = {{{1, 1, 3, 1, 1},
                                            {3, 3, 3, 3, 3},
                                            {1, 1, 1, 1, 1},
                                            {1, 1, 1, 1, 1}}, 5};

// Member 5: four neighbours.
constexpr PointKernel kSingle5   = {{4, 1, 1, 1, 1}, 3};
constexpr PairKernel  kEdge5     = {{{3, 1}, {2, 2}, {2, 2}, {1, 1}, {1, 1}}, 4};
constexpr Box3Kernel  kBox5      = {{{1, 2, 1},
                                     {1, 1, 1},
                                     {1, 1, 1},
                                     {1, 1, 1},
                                     {1, 1, 1}}, 4};
inline constexpr Box5Kernel  kInterior5 = {{{3, 3, 4, 2, 2},
                                            {3, 3, 3, 3, 3},
                                            {3, 3, 3, 3, 3},
                                            {2, 2, 2, 2, 2},
                                            {2, 2, 2, 2, 2}}, 6};

// clang-format on

// Every kernel is a weighted mean: its weights add up to 2^shift.
constexpr int WeightSum(const PointKernel& k) {
    int sum = 0;
    for (int8_t w : k.weight) {
        sum += w;
    }
    return sum;
}
template <class Kernel>
constexpr int WeightSum(const Kernel& k) {
    int sum = 0;
    for (const auto& row : k.weight) {
        for (int8_t w : row) {
            sum += w;
        }
    }
    return sum;
}
template <class Kernel>
constexpr bool IsMean(const Kernel& k) {
    return WeightSum(k) == (1 << k.shift);
}
static_assert(IsMean(kEdge1) && IsMean(kMiddle1) && IsMean(kInterior1));
static_assert(IsMean(kSingle2) && IsMean(kEdge2) && IsMean(kMiddle2) && IsMean(kInterior2));
static_assert(IsMean(kSingle3) && IsMean(kEdge3) && IsMean(kMiddle3) && IsMean(kInterior3));
static_assert(IsMean(kSingle4) && IsMean(kEdge4) && IsMean(kBox4) && IsMean(kInterior4));
static_assert(IsMean(kSingle5) && IsMean(kEdge5) && IsMean(kBox5) && IsMean(kInterior5));

// Members 2 and 3 give both pixels of a two-pixel line the same value: their
// edge kernels weigh the two positions of each line alike.
constexpr bool IsSymmetric(const PairKernel& k) {
    for (const auto& row : k.weight) {
        if (row[0] != row[1]) {
            return false;
        }
    }
    return true;
}
static_assert(IsSymmetric(kEdge2) && IsSymmetric(kEdge3));

// ---- Tests ---------------------------------------------------------------------

// 16-bit sum of the cross differences between the colour planes of line 0
// and the reference line r around position k (both planes):
// |r[k] - c[k-1]| + |r[k] - c[k+1]| + |r[k-1] - c[k]| + |r[k+1] - c[k]|.
inline int16_t CrossVariation(const FilterLines& s, int ref, uint32_t k) {
    int32_t sum = 0;
    for (int p = kFirstColourPlane; p <= kLastColourPlane; ++p) {
        sum += AbsShort(s.At(ref, p, k) - s.At(0, p, k - 1)) +
               AbsShort(s.At(ref, p, k) - s.At(0, p, k + 1)) +
               AbsShort(s.At(ref, p, k - 1) - s.At(0, p, k)) +
               AbsShort(s.At(ref, p, k + 1) - s.At(0, p, k));
    }
    return s16(sum);
}

// The same at the first or last pixel k, whose only neighbour is j:
// |r[k] - c[j]| + |r[j] - c[k]|.
inline int16_t EndVariation(const FilterLines& s, int ref, uint32_t k, uint32_t j) {
    int32_t sum = 0;
    for (int p = kFirstColourPlane; p <= kLastColourPlane; ++p) {
        sum +=
            AbsShort(s.At(ref, p, k) - s.At(0, p, j)) + AbsShort(s.At(ref, p, j) - s.At(0, p, k));
    }
    return s16(sum);
}

// Sum of the four luminance samples of line 0 around i (i - 2 .. i + 2
// without i itself).
inline int32_t LumaAround(const FilterLines& s, uint32_t i) {
    return s.Luma(0, i - 2) + s.Luma(0, i - 1) + s.Luma(0, i + 1) + s.Luma(0, i + 2);
}

}  // namespace voved::chroma
