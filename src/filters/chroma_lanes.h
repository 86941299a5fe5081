// The chroma filters' preparation of a chunk of pixels, in lanes of any
// width.
//
// The scan along a line is serial only through line 0's colour at i - 1 and
// i - 2. Everything else a pixel needs is fixed before the scan and is
// computed here for a group of pixels at a time: the state its luminance
// decides, the colour-test terms and kernel terms that do not read i - 1 or
// i - 2, and the reference line's colour.
//
// The templates are compiled once per instruction set: with eight lanes in
// chroma_denoise.cpp, and with sixteen in chroma_lanes_avx2.cpp, inside its
// AVX2 region. They sit in an unnamed namespace, so each file keeps its own
// copy for its own instructions and the linker never picks one for the other.
#pragma once

#include <cstdint>

#include "filters/chroma_kernels.h"
#include "pixels/lanes.h"
#include "platform/plain_paths.h"

namespace voved::chroma {

constexpr uint32_t kChunk = 256;
// What a pixel's luminance alone decides: copied (bright), copied around as
// an edge (not flat), or left to the colour test.
constexpr int16_t kCopyOne = 0;
constexpr int16_t kCopyFive = 1;
constexpr int16_t kTestColour = 2;
static_assert(kCopyFive == kCopyOne + 1 && kTestColour == kCopyFive + 1,
              "the lanes count the states up from kCopyOne");
constexpr int32_t kLaneSample = 511;  // samples in -512..511 keep 2^6 x sample in 16 bits
// The colour-test terms of a pixel whose state is not kTestColour: the scan
// adds two terms of at most 2 x 1023 to it, so the sum stays above the
// colour limit and within 16 bits, and the scan asks for the state only
// when the test fails.
constexpr int16_t kNoColourTest = 16384;

struct InteriorChunk {
    int16_t state[kChunk];         // kCopyOne, kCopyFive or kTestColour
    int16_t variation[kChunk];     // colour-test terms known before the scan, or kNoColourTest
    int16_t sum[2][kChunk];        // kernel terms known before the scan, per colour plane
    int16_t reference[2][kChunk];  // the reference line's colour at each pixel
};

// The interior kernel and reference line of the member that filters over
// `kLinesOf` lines (1 to 5); member 1 is its own reference.
inline constexpr const Box5Kernel* kInteriorKernels[] = {&kInterior1, &kInterior2, &kInterior3,
                                                         &kInterior4, &kInterior5};
inline constexpr int kReferenceLines[] = {0, 1, 1, 1, 2};
template <int kLinesOf>
struct InteriorShape {
    static_assert(kLinesOf >= 1 && kLinesOf <= kMaxLines, "members 1 to 5");
    static constexpr int kLines = kLinesOf;
    static constexpr int kReference = kReferenceLines[kLinesOf - 1];
    static constexpr const Box5Kernel& kInterior = *kInteriorKernels[kLinesOf - 1];
};

#if defined(VOVED_HAVE_AVX2_PATH)
// Prepares pixels i .. of a chunk (entries 0 .. of `chunk`, pixel `first`
// at entry 0) for the member over `lines` lines, by groups of sixteen while
// a group ends by `end`; returns where it stopped. Only for processors with
// AVX2.
uint32_t PrepareChunkAvx2(int lines, const FilterLines& s, int16_t limit, uint32_t first,
                          uint32_t end, InteriorChunk* chunk);
#endif

namespace {

// The eight lanes of pixels/lanes.h.
struct Lanes8 {
    using Vector = lanes::S16;
    static constexpr int kWidth = lanes::kWidth;
    static Vector Load(const int16_t* p) { return lanes::Load(p); }
    static void Store(int16_t* p, Vector v) { lanes::Store(p, v); }
    static Vector Splat(int16_t x) { return lanes::Splat(x); }
    static Vector Add(Vector a, Vector b) { return lanes::Add(a, b); }
    static Vector Sub(Vector a, Vector b) { return lanes::Sub(a, b); }
    static Vector Mul(Vector a, int16_t k) { return lanes::Mul(a, k); }
    static Vector Abs(Vector a) { return lanes::Abs(a); }
};

// The luminance test's value at i .. i + L::kWidth - 1, as each member
// defines it.
template <class L, class M>
typename L::Vector InteriorLumaLanes(const FilterLines& s, uint32_t i) {
    using V = typename L::Vector;
    const auto y = [&](int line, uint32_t k) { return L::Load(s.plane[line][kLumaPlane] + k); };
    const V y0 = y(0, i);
    if constexpr (M::kLines == 1) {
        return L::Abs(L::Sub(L::Sub(L::Mul(y0, 2), y(0, i - 2)), y(0, i + 2)));
    } else {
        const V around = L::Add(L::Add(y(0, i - 2), y(0, i - 1)), L::Add(y(0, i + 1), y(0, i + 2)));
        V centre;
        if constexpr (M::kLines == 2) {
            centre = L::Add(L::Mul(y0, 4), L::Mul(L::Abs(L::Sub(y(1, i), y0)), 2));
        } else if constexpr (M::kLines == 3) {
            centre = L::Sub(L::Sub(L::Mul(y0, 7), L::Mul(y(2, i), 2)), y(1, i));
        } else if constexpr (M::kLines == 4) {
            centre = L::Sub(L::Sub(L::Sub(L::Mul(y0, 8), L::Mul(y(3, i), 2)), y(1, i)), y(2, i));
        } else {
            centre =
                L::Sub(L::Mul(y0, 8), L::Add(L::Add(y(1, i), y(2, i)), L::Add(y(3, i), y(4, i))));
        }
        return L::Abs(L::Sub(centre, around));
    }
}

// Colour-test terms of plane p at i .. i + L::kWidth - 1 that the
// write-back cannot change: the three cross terms without c[i - 1] of the
// neighbour members, |c[i + 1] - c[i]| of member 1.
template <class L, class M>
typename L::Vector FixedVariationLanes(const int16_t* c, const int16_t* r, uint32_t i) {
    using V = typename L::Vector;
    if constexpr (M::kReference == 0) {
        return L::Abs(L::Sub(L::Load(c + i + 1), L::Load(c + i)));
    } else {
        const V ci = L::Load(c + i);
        return L::Add(L::Add(L::Abs(L::Sub(L::Load(r + i), L::Load(c + i + 1))),
                             L::Abs(L::Sub(L::Load(r + i - 1), ci))),
                      L::Abs(L::Sub(L::Load(r + i + 1), ci)));
    }
}

constexpr bool IsUniform(const int8_t (&row)[5]) {
    return row[0] == row[1] && row[1] == row[2] && row[2] == row[3] && row[3] == row[4];
}

// The kernel terms of line l from tap t on, unrolled at compile time.
template <class L, class M, int l, int t>
typename L::Vector Taps(const int16_t* x) {
    if constexpr (t == 5) {
        return L::Splat(0);
    } else {
        return L::Add(L::Mul(L::Load(x + t), M::kInterior.weight[l][t]), Taps<L, M, l, t + 1>(x));
    }
}

// The kernel terms known before the scan, for lines l and beyond: line 0
// from i on, the neighbour lines whole (a row of one weight summed first).
template <class L, class M, int l>
typename L::Vector KernelTerms(const FilterLines& s, int p, uint32_t i) {
    using V = typename L::Vector;
    if constexpr (l == M::kLines) {
        return L::Splat(0);
    } else {
        const int16_t* x = s.plane[l][p] + i - 2;
        V here;
        if constexpr (l == 0) {
            here = Taps<L, M, 0, 2>(x);
        } else if constexpr (IsUniform(M::kInterior.weight[l])) {
            const V box = L::Add(
                L::Add(L::Add(L::Load(x), L::Load(x + 1)), L::Add(L::Load(x + 2), L::Load(x + 3))),
                L::Load(x + 4));
            here = L::Mul(box, M::kInterior.weight[l][0]);
        } else {
            here = Taps<L, M, l, 0>(x);
        }
        return L::Add(here, KernelTerms<L, M, l + 1>(s, p, i));
    }
}

// Everything fixed before the scan for the L::kWidth pixels at i, into
// entry j on of the chunk.
template <class L, class M>
void PrepareLanes(const FilterLines& s, int16_t limit, uint32_t i, uint32_t j,
                  InteriorChunk* chunk) {
    using V = typename L::Vector;
    // Masks are -1 where true: 0 - notBright - (notBright & flat) counts 0, 1, 2.
    const V notBright = L::Load(s.plane[0][kLumaPlane] + i) <= L::Splat(limit);
    const V flat = InteriorLumaLanes<L, M>(s, i) <= L::Splat(kLumaLimit);
    const V tested = notBright & flat;
    L::Store(chunk->state + j, L::Sub(L::Sub(L::Splat(kCopyOne), notBright), tested));
    V variation = L::Splat(0);
    for (int p = kFirstColourPlane; p <= kLastColourPlane; ++p) {
        variation = L::Add(variation,
                           FixedVariationLanes<L, M>(s.plane[0][p], s.plane[M::kReference][p], i));
        const V total = KernelTerms<L, M, 0>(s, p, i);
        L::Store(chunk->sum[p - kFirstColourPlane] + j, total);
        L::Store(chunk->reference[p - kFirstColourPlane] + j,
                 L::Load(s.plane[M::kReference][p] + i));
    }
    L::Store(chunk->variation + j, (variation & tested) | (L::Splat(kNoColourTest) & ~tested));
}

}  // namespace

}  // namespace voved::chroma
