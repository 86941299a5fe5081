// Chroma noise filters over one to five working lines.
//
// A pixel's colour is smoothed only where it is not near white, the
// luminance around it is flat and the colour around it varies little; edges
// and highlights keep their colour. Smoothed values are written back into
// line 0, so the scan is recursive: pixels to the right, and later lines
// that take this one as a neighbour, see the filtered colour.
#include "filters/chroma_denoise.h"

#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "filters/chroma_kernels.h"
#include "filters/chroma_lanes.h"
#include "pixels/lanes.h"
#include "platform/plain_paths.h"

namespace voved {

void* CopySampleBytes(void* destination, const void* source, uint32_t byteCount) {
    if (destination != source) {
        std::memmove(destination, source, u16(byteCount));
    }
    return destination;
}

namespace chroma {
namespace {

constexpr uint32_t kEdgeSamples = 5;  // copied around an edge, per plane

FilterLines MakeLines(uint16_t count, int16_t* out, int16_t* l0,
                      std::initializer_list<const int16_t*> neighbours) {
    FilterLines s{};
    s.count = count;
    s.lines = 1 + static_cast<int>(neighbours.size());
    for (int p = 0; p < kPlanes; ++p) {
        s.own[p] = l0 + p * uint32_t{count};
        s.out[p] = out + p * uint32_t{count};
        s.plane[0][p] = s.own[p];
    }
    int line = 1;
    for (const int16_t* n : neighbours) {
        for (int p = 0; p < kPlanes; ++p) {
            s.plane[line][p] = n + p * uint32_t{count};
        }
        ++line;
    }
    return s;
}

bool IsBright(const FilterLines& s, uint32_t i, int16_t limit) {
    return s.Luma(0, i) > limit;
}

void CopyPixel(const FilterLines& s, uint32_t i) {
    for (int p = 0; p < kPlanes; ++p) {
        s.out[p][i] = s.own[p][i];
    }
}

// Sets pixel i of out from `kernel(plane)` for both colour planes, the
// luminance copied; with `writeBack` the colour also goes back into line 0.
template <class Kernel>
void SetPixel(const FilterLines& s, uint32_t i, bool writeBack, Kernel kernel) {
    s.out[kLumaPlane][i] = s.own[kLumaPlane][i];
    for (int p = kFirstColourPlane; p <= kLastColourPlane; ++p) {
        const int16_t value = kernel(p);
        s.out[p][i] = value;
        if (writeBack) {
            s.own[p][i] = value;
        }
    }
}

// A bright pixel is copied; any other gets the kernel.
template <class Kernel>
void FilterPixel(const FilterLines& s, uint32_t i, int16_t limit, bool writeBack, Kernel kernel) {
    if (IsBright(s, i, limit)) {
        CopyPixel(s, i);
    } else {
        SetPixel(s, i, writeBack, kernel);
    }
}

// At an edge, samples i - 2 .. i + 2 of every plane go to out as line 0
// holds them, filtered values included.
void CopyAroundEdge(const FilterLines& s, uint32_t i) {
    for (int p = 0; p < kPlanes; ++p) {
        CopySampleBytes(s.out[p] + (i - 2), s.own[p] + (i - 2), kEdgeSamples * sizeof(int16_t));
    }
}

// Lines of 2 to 4 pixels: every pixel alone, nothing written back.
void FilterShortLine(const FilterLines& s, int16_t limit, const PairKernel& edge,
                     const Box3Kernel& middle) {
    const uint32_t last = s.count - 1;
    for (uint32_t i = 0; i <= last; ++i) {
        FilterPixel(s, i, limit, false, [&](int p) {
            if (i == 0) {
                return Apply(edge, s, p, 0, 1);
            }
            if (i == last) {
                return Apply(edge, s, p, last, last - 1);
            }
            return Apply(middle, s, p, i);
        });
    }
}

// ---- Member 1 ------------------------------------------------------------------

// Pixels i .. end - 1 of the interior of a line filtered alone, one by one
// (the plain form); returns where the next pixel starts.
uint32_t FilterAloneSpanPlain(const FilterLines& s, int16_t limit, uint32_t i, uint32_t end) {
    while (i < end) {
        if (IsBright(s, i, limit)) {
            CopyPixel(s, i);
            ++i;
            continue;
        }
        const int16_t curvature = AbsShort(2 * s.Luma(0, i) - s.Luma(0, i - 2) - s.Luma(0, i + 2));
        int32_t variation = 0;
        for (int p = kFirstColourPlane; p <= kLastColourPlane; ++p) {
            variation += AbsShort(s.At(0, p, i) - s.At(0, p, i - 1)) +
                         AbsShort(s.At(0, p, i + 1) - s.At(0, p, i));
        }
        if (curvature <= kLumaLimit && s16(variation) <= kColourLimit) {
            SetPixel(s, i, true, [&](int p) { return Apply(kInterior1, s, p, i); });
            ++i;
        } else {
            CopyAroundEdge(s, i);
            i += 3;
        }
    }
    return i;
}

// Member 1 as the restructured interior sees it: its colour test compares
// line 0 with itself shifted, so line 0 is its own reference.
struct Member1 : InteriorShape<1> {};

bool InteriorFitsFastPath(const FilterLines& s);
template <class M>
void FilterInteriorFast(const FilterLines& s, int16_t limit);

int16_t FilterAlone(const FilterLines& s, int16_t limit) {
    const uint32_t n = s.count;
    if (n == 1) {
        CopyPixel(s, 0);
        return kFilterDone;
    }
    if (n < 5) {
        FilterShortLine(s, limit, kEdge1, kMiddle1);
        return kFilterDone;
    }
    // Head: out only.
    FilterPixel(s, 0, limit, false, [&](int p) { return Apply(kEdge1, s, p, 0, 1); });
    FilterPixel(s, 1, limit, false, [&](int p) { return Apply(kEdge1, s, p, 1, 0); });

    if (UsePlainPaths() || !InteriorFitsFastPath(s)) {
        FilterAloneSpanPlain(s, limit, 2, n - 2);
    } else {
        FilterInteriorFast<Member1>(s, limit);
    }

    // Tail: out only; pixel n - 3 as line 0 holds it now.
    FilterPixel(s, n - 2, limit, false, [&](int p) { return Apply(kEdge1, s, p, n - 2, n - 3); });
    FilterPixel(s, n - 1, limit, false, [&](int p) { return Apply(kEdge1, s, p, n - 1, n - 2); });
    return kFilterDone;
}

// ---- Members 2 to 5 ------------------------------------------------------------
//
// Each member names its lines, its reference line for the colour tests, its
// luminance tests and its kernels. `kBoxBeside` tells whether the pixel next
// to an end gets the three-wide box (members 4, 5) or the end kernel again
// (members 2, 3); `kOuterTailFirst` whether the tail filters pixel n - 1
// before n - 2.

struct Member2 : InteriorShape<2> {
    static constexpr const PointKernel& kSingle = kSingle2;
    static constexpr const PairKernel& kEdge = kEdge2;
    static constexpr const Box3Kernel& kMiddle = kMiddle2;
    static constexpr bool kBoxBeside = false;
    static constexpr bool kOuterTailFirst = true;

    static int16_t EdgeLuma(const FilterLines& s, uint32_t k) {
        return s16(2 * AbsShort(s.Luma(1, k) - s.Luma(0, k)));
    }
    static int16_t InteriorLuma(const FilterLines& s, uint32_t i) {
        return AbsShort(4 * s.Luma(0, i) + 2 * AbsShort(s.Luma(1, i) - s.Luma(0, i)) -
                        LumaAround(s, i));
    }
};

struct Member3 : InteriorShape<3> {
    static constexpr const PointKernel& kSingle = kSingle3;
    static constexpr const PairKernel& kEdge = kEdge3;
    static constexpr const Box3Kernel& kMiddle = kMiddle3;
    static constexpr bool kBoxBeside = false;
    static constexpr bool kOuterTailFirst = true;

    static int16_t EdgeLuma(const FilterLines& s, uint32_t k) {
        return AbsShort(3 * s.Luma(0, k) - 2 * s.Luma(2, k) - s.Luma(1, k));
    }
    static int16_t InteriorLuma(const FilterLines& s, uint32_t i) {
        return AbsShort(7 * s.Luma(0, i) - 2 * s.Luma(2, i) - s.Luma(1, i) - LumaAround(s, i));
    }
};

struct Member4 : InteriorShape<4> {
    static constexpr const PointKernel& kSingle = kSingle4;
    static constexpr const PairKernel& kEdge = kEdge4;
    static constexpr const Box3Kernel& kMiddle = kBox4;
    static constexpr bool kBoxBeside = true;
    static constexpr bool kOuterTailFirst = false;

    static int16_t EdgeLuma(const FilterLines& s, uint32_t k) {
        return AbsShort(4 * s.Luma(0, k) - 2 * s.Luma(3, k) - s.Luma(1, k) - s.Luma(2, k));
    }
    static int16_t InteriorLuma(const FilterLines& s, uint32_t i) {
        return AbsShort(8 * s.Luma(0, i) - 2 * s.Luma(3, i) - s.Luma(1, i) - s.Luma(2, i) -
                        LumaAround(s, i));
    }
};

struct Member5 : InteriorShape<5> {
    static constexpr const PointKernel& kSingle = kSingle5;
    static constexpr const PairKernel& kEdge = kEdge5;
    static constexpr const Box3Kernel& kMiddle = kBox5;
    static constexpr bool kBoxBeside = true;
    static constexpr bool kOuterTailFirst = false;

    static int32_t Neighbours(const FilterLines& s, uint32_t k) {
        return s.Luma(1, k) + s.Luma(2, k) + s.Luma(3, k) + s.Luma(4, k);
    }
    static int16_t EdgeLuma(const FilterLines& s, uint32_t k) {
        return AbsShort(4 * s.Luma(0, k) - Neighbours(s, k));
    }
    static int16_t InteriorLuma(const FilterLines& s, uint32_t i) {
        return AbsShort(8 * s.Luma(0, i) - Neighbours(s, i) - LumaAround(s, i));
    }
};

// Pixels i .. end - 1 of the interior of a line filtered with neighbours,
// one by one (the plain form); returns where the next pixel starts.
template <class M>
uint32_t FilterInteriorSpanPlain(const FilterLines& s, int16_t limit, uint32_t i, uint32_t end) {
    while (i < end) {
        if (IsBright(s, i, limit)) {
            CopyPixel(s, i);
            ++i;
        } else if (M::InteriorLuma(s, i) <= kLumaLimit &&
                   CrossVariation(s, M::kReference, i) <= kColourLimit) {
            SetPixel(s, i, true, [&](int p) { return Apply(M::kInterior, s, p, i); });
            ++i;
        } else {
            CopyAroundEdge(s, i);
            i += 3;
        }
    }
    return i;
}

// ---- The interior, restructured ------------------------------------------------
//
// The scan is serial only through line 0's colour at i - 1 and i - 2, which
// the write-back may have changed by the time pixel i is reached. Everything
// else a pixel needs (the luminance tests, the terms of the colour test and
// of the kernel that read the neighbour lines, or line 0 from i on) is fixed
// before the scan, so it is computed for a chunk of pixels at a time, eight
// lanes wide, or sixteen with AVX2 (filters/chroma_lanes.h). The scan then
// adds the terms that read i - 1 and i - 2 and decides as the plain loop
// does.
//
// The colour test wraps at 16 bits anyway, so lanes give it exactly. The
// kernel sums are exact in 16-bit lanes only while every sample they read
// lies within kLaneSample (a weighted mean of 2^6 at most): a chunk with a
// sample outside runs the plain loop instead. Samples made from pixels are
// always inside.

// The fast path reads neighbour lines ahead of the scan, so they must lie
// apart from line 0 and from out. Every caller keeps them apart.
bool Overlap(const int16_t* a, const int16_t* b, uint32_t count) {
    const auto x = reinterpret_cast<std::uintptr_t>(a);
    const auto y = reinterpret_cast<std::uintptr_t>(b);
    const std::uintptr_t bytes = std::uintptr_t{kPlanes} * count * sizeof(int16_t);
    return x < y + bytes && y < x + bytes;
}
bool InteriorFitsFastPath(const FilterLines& s) {
    // Out is line 0 itself or lies apart from it, so an edge's copy is a
    // plain copy.
    if (s.out[kLumaPlane] != s.own[kLumaPlane] &&
        Overlap(s.out[kLumaPlane], s.own[kLumaPlane], s.count)) {
        return false;
    }
    for (int line = 1; line < s.lines; ++line) {
        const int16_t* base = s.plane[line][kLumaPlane];
        if (Overlap(base, s.own[kLumaPlane], s.count) ||
            Overlap(base, s.out[kLumaPlane], s.count)) {
            return false;
        }
    }
    return true;
}

template <class M>
uint32_t FilterSpanPlain(const FilterLines& s, int16_t limit, uint32_t i, uint32_t end) {
    if constexpr (M::kReference == 0) {
        return FilterAloneSpanPlain(s, limit, i, end);
    } else {
        return FilterInteriorSpanPlain<M>(s, limit, i, end);
    }
}

// Whether every colour sample the chunk's kernels read lies within
// kLaneSample.
template <class M>
bool ChunkInLaneRange(const FilterLines& s, uint32_t first, uint32_t end) {
    using namespace lanes;
    // A sample lies within -512 .. 511 when sample + 512, as an unsigned
    // 16-bit value, has no bit above the lowest ten.
    constexpr int16_t kOffset = kLaneSample + 1;
    constexpr uint16_t kOutside = 0xFC00u;
    S16 any = Splat(0);
    uint16_t anyOne = 0;
    const uint32_t from = first - 2;
    const uint32_t to = end + 2;
    for (int l = 0; l < M::kLines; ++l) {
        for (int p = kFirstColourPlane; p <= kLastColourPlane; ++p) {
            const int16_t* x = s.plane[l][p];
            uint32_t k = from;
            for (; k + kWidth <= to; k += kWidth) {
                any |= Add(Load(x + k), Splat(kOffset));
            }
            for (; k < to; ++k) {
                anyOne = static_cast<uint16_t>(anyOne | u16(x[k] + kOffset));
            }
        }
    }
    for (int k = 0; k < kWidth; ++k) {
        anyOne = static_cast<uint16_t>(anyOne | static_cast<uint16_t>(any[k]));
    }
    return (anyOne & kOutside) == 0;
}

// The same for one pixel, as the lanes compute it.
template <class M>
void PrepareOne(const FilterLines& s, int16_t limit, uint32_t i, uint32_t j, InteriorChunk* chunk) {
    using namespace lanes;
    // Past the last full group of lanes: a group ending at i, read again.
    const uint32_t base = i - (kWidth - 1);
    InteriorChunk one;
    PrepareLanes<Lanes8, M>(s, limit, base, 0, &one);
    chunk->state[j] = one.state[kWidth - 1];
    chunk->variation[j] = one.variation[kWidth - 1];
    chunk->sum[0][j] = one.sum[0][kWidth - 1];
    chunk->sum[1][j] = one.sum[1][kWidth - 1];
    chunk->reference[0][j] = one.reference[0][kWidth - 1];
    chunk->reference[1][j] = one.reference[1][kWidth - 1];
}

// In a chunk every sample lies within -512 .. 511 (smoothed ones too, as
// weighted means), so the difference of two needs no wrap-around to 16 bits
// and its plain absolute value is AbsShort's, in fewer instructions.
int32_t AbsWithinLanes(int32_t difference) {
    return difference < 0 ? -difference : difference;
}

// The serial scan over one chunk; returns the position after it (up to two
// beyond `end` when an edge is skipped). It writes only line 0, and the
// output around an edge (which may reach back before the chunk): the output
// of every other position it passes is line 0's final sample there, which
// FilterInteriorFast copies once the scan is done. Few values stay live, so
// the recursion keeps its registers.
template <class M>
uint32_t ScanChunk(const FilterLines& s, uint32_t i, uint32_t first, uint32_t end,
                   const InteriorChunk& chunk) {
    // Line 0's two smoothed neighbours before i weigh the same in every
    // member, so they are added before the one multiplication.
    constexpr int32_t weight = M::kInterior.weight[0][1];
    static_assert(M::kInterior.weight[0][0] == weight, "i - 2 and i - 1 weigh the same");
    constexpr unsigned shift = M::kInterior.shift;
    // Line 0's colour planes from the chunk's first pixel, so one index
    // serves the chunk's entries and the line (the scan starts at 2 or
    // later, so the two samples before it are in the line).
    int16_t* const c1 = s.own[kFirstColourPlane] + first;
    int16_t* const c2 = s.own[kLastColourPlane] + first;
    // A pointer-wide index, so the loop never widens it.
    std::size_t j = i - first;
    const std::size_t stop = end - first;
    // Line 0's colour at i - 1 and i - 2, carried in registers: reading back
    // what the previous pixel just stored would put a store-to-load delay
    // on the recursion.
    int32_t before1 = c1[static_cast<std::ptrdiff_t>(j) - 1];
    int32_t before2 = c2[static_cast<std::ptrdiff_t>(j) - 1];
    int32_t further1 = c1[static_cast<std::ptrdiff_t>(j) - 2];
    int32_t further2 = c2[static_cast<std::ptrdiff_t>(j) - 2];
    while (j < stop) {
        // A pixel the luminance already decided carries kNoColourTest, which
        // no pair of terms brings down to the limit.
        const int32_t variation = chunk.variation[j] +
                                  AbsWithinLanes(chunk.reference[0][j] - before1) +
                                  AbsWithinLanes(chunk.reference[1][j] - before2);
        if (s16(variation) <= kColourLimit) {
            const int16_t v1 = s16(AsrInt(chunk.sum[0][j] + weight * (further1 + before1), shift));
            const int16_t v2 = s16(AsrInt(chunk.sum[1][j] + weight * (further2 + before2), shift));
            c1[j] = v1;
            c2[j] = v2;
            further1 = before1;
            further2 = before2;
            before1 = v1;
            before2 = v2;
            ++j;
            continue;
        }
        if (chunk.state[j] == kCopyOne) {
            further1 = before1;
            further2 = before2;
            before1 = c1[j];
            before2 = c2[j];
            ++j;
            continue;
        }
        // CopyAroundEdge, inline: samples i - 2 .. i + 2 as line 0 holds them.
        const auto at = static_cast<uint32_t>(first + j);
        for (int p = kLumaPlane; p <= kLastColourPlane; ++p) {
            if (s.out[p] != s.own[p]) {
                for (uint32_t k = at - 2; k <= at + 2; ++k) {
                    s.out[p][k] = s.own[p][k];
                }
            }
        }
        j += 3;
        before1 = c1[j - 1];
        before2 = c2[j - 1];
        further1 = c1[j - 2];
        further2 = c2[j - 2];
    }
    return static_cast<uint32_t>(first + j);
}

// The output of positions from .. to - 1 passed by the scan: line 0 as it
// ends (a bright pixel's or an edge's samples as they were, the smoothed
// colours as written back); the luminance is always line 0's.
void CopyScanned(const FilterLines& s, uint32_t from, uint32_t to) {
    if (from >= to) {
        return;
    }
    for (int p = kLumaPlane; p <= kLastColourPlane; ++p) {
        if (s.out[p] != s.own[p]) {
            std::memmove(s.out[p] + from, s.own[p] + from, (to - from) * sizeof(int16_t));
        }
    }
}

template <class M>
void FilterInteriorFast(const FilterLines& s, int16_t limit) {
    const uint32_t stop = s.count - 2;
    InteriorChunk chunk;
    uint32_t i = 2;
    uint32_t scannedFrom = stop;  // no chunk scanned yet
    while (i < stop) {
        const uint32_t end = stop - i > kChunk ? i + kChunk : stop;
        // Lines too short for one group of lanes, and chunks whose samples
        // would not fit, go pixel by pixel.
        if (s.count < lanes::kWidth + 4 || !ChunkInLaneRange<M>(s, i, end)) {
            i = FilterSpanPlain<M>(s, limit, i, end);
            continue;
        }
        uint32_t k = i;
#if defined(VOVED_HAVE_AVX2_PATH)
        if (HasAvx2()) {
            k = PrepareChunkAvx2(M::kLines, s, limit, i, end, &chunk);
        }
#endif
        for (; k + Lanes8::kWidth <= end; k += Lanes8::kWidth) {
            PrepareLanes<Lanes8, M>(s, limit, k, k - i, &chunk);
        }
        for (; k < end; ++k) {
            PrepareOne<M>(s, limit, k, k - i, &chunk);
        }
        scannedFrom = scannedFrom < i ? scannedFrom : i;
        i = ScanChunk<M>(s, i, i, end, chunk);
    }
    CopyScanned(s, scannedFrom, i);
}

// The end pixel `end` and the pixel `beside` it (its only neighbour inside
// the line) may be filtered when the luminance is flat at both and the
// colour of line 0 resembles the reference line crosswise.
template <class M>
bool EndsMayBeFiltered(const FilterLines& s, uint32_t end, uint32_t beside) {
    return M::EdgeLuma(s, beside) <= kLumaLimit &&
           CrossVariation(s, M::kReference, beside) <= kColourLimit &&
           M::EdgeLuma(s, end) <= kLumaLimit &&
           EndVariation(s, M::kReference, end, beside) <= kColourLimit;
}

template <class M>
void FilterEndPixel(const FilterLines& s, uint32_t end, uint32_t beside, int16_t limit) {
    FilterPixel(s, end, limit, true, [&](int p) { return Apply(M::kEdge, s, p, end, beside); });
}

template <class M>
void FilterBesideEnd(const FilterLines& s, uint32_t end, uint32_t beside, int16_t limit) {
    FilterPixel(s, beside, limit, true, [&](int p) {
        if constexpr (M::kBoxBeside) {
            return Apply(M::kMiddle, s, p, beside);
        } else {
            // The end kernel over the same two pixels again, now with the
            // end pixel's new colour.
            return Apply(M::kEdge, s, p, end, beside);
        }
    });
}

template <class M>
void FilterShortWithNeighbours(const FilterLines& s, int16_t limit) {
    if (s.count == 1) {
        FilterPixel(s, 0, limit, false, [&](int p) { return Apply(M::kSingle, s, p, 0); });
        return;
    }
    FilterShortLine(s, limit, M::kEdge, M::kMiddle);
}

template <class M>
int16_t FilterWithNeighbours(const FilterLines& s, int16_t limit) {
    const uint32_t n = s.count;
    if (n < 5) {
        FilterShortWithNeighbours<M>(s, limit);
        return kFilterDone;
    }

    if (EndsMayBeFiltered<M>(s, 0, 1)) {
        FilterEndPixel<M>(s, 0, 1, limit);
        FilterBesideEnd<M>(s, 0, 1, limit);
    } else {
        CopyPixel(s, 0);
        CopyPixel(s, 1);
    }

    if (UsePlainPaths() || !InteriorFitsFastPath(s)) {
        FilterInteriorSpanPlain<M>(s, limit, 2, n - 2);
    } else {
        FilterInteriorFast<M>(s, limit);
    }

    if (EndsMayBeFiltered<M>(s, n - 1, n - 2)) {
        if (M::kOuterTailFirst) {
            FilterEndPixel<M>(s, n - 1, n - 2, limit);
            FilterBesideEnd<M>(s, n - 1, n - 2, limit);
        } else {
            FilterBesideEnd<M>(s, n - 1, n - 2, limit);
            FilterEndPixel<M>(s, n - 1, n - 2, limit);
        }
    } else {
        CopyPixel(s, n - 2);
        CopyPixel(s, n - 1);
    }
    return kFilterDone;
}

// ---- Similarity gate of members 2 and 3 --------------------------------------

struct Gate {
    int16_t lumaWeight;   // weight of |Y0 - Y1| in a position's difference
    int16_t perPosition;  // allowed mean difference per position
};
constexpr Gate kGate2 = {4, 90};
constexpr Gate kGate3 = {1, 180};

constexpr uint32_t kShortGateLine = 64;
constexpr uint32_t kShortGateStep = 4;
constexpr unsigned kLongGateShift = 5;

int16_t Difference(const FilterLines& s, const Gate& gate, uint32_t i) {
    return s16(gate.lumaWeight * AbsShort(s.Luma(0, i) - s.Luma(1, i)) +
               AbsShort(s.At(0, 1, i) - s.At(1, 1, i)) + AbsShort(s.At(0, 2, i) - s.At(1, 2, i)));
}

// Whether line 0 resembles line 1: sampled positions first, and on lines of
// 2 to 4 pixels every pixel on top. The running sum is a 16-bit register.
bool ResemblesNeighbour(const FilterLines& s, const Gate& gate) {
    const uint32_t n = s.count;
    const uint32_t step = n <= kShortGateLine ? kShortGateStep : n >> kLongGateShift;
    int16_t sum = 0;
    int32_t positions = 0;
    for (uint32_t i = 0; i + 1 < n; i += step) {
        sum = s16(sum + Difference(s, gate, i));
        ++positions;
    }
    sum = s16(sum + Difference(s, gate, n - 1));
    ++positions;
    if (sum > gate.perPosition * positions) {
        return false;
    }
    if (n >= 2 && n <= 4) {
        for (uint32_t i = 0; i < n; ++i) {
            sum = s16(sum + Difference(s, gate, i));
        }
        if (sum > gate.perPosition * static_cast<int32_t>(n)) {
            return false;
        }
    }
    return true;
}

template <class M>
int16_t GatedFilter(const FilterLines& s, const Gate& gate, int16_t level, int16_t* out,
                    int16_t* l0) {
    if (!ResemblesNeighbour(s, gate)) {
        const int16_t alone = ChromaDenoise1(static_cast<uint16_t>(s.count), level, out, l0);
        return alone == kFilterDone ? kFilterAlone : alone;
    }
    return FilterWithNeighbours<M>(s, BrightLimit(level));
}

}  // namespace
}  // namespace chroma

// ---- Entry points of the family -----------------------------------------------

int16_t ChromaDenoise1(uint16_t count, int16_t level, int16_t* out, int16_t* l0) {
    if (count == 0) {
        return kFilterNoPixels;
    }
    return chroma::FilterAlone(chroma::MakeLines(count, out, l0, {}), chroma::BrightLimit(level));
}

int16_t ChromaDenoise2(uint16_t count, int16_t level, int16_t* out, int16_t* l0,
                       const int16_t* l1) {
    if (count == 0) {
        return kFilterNoPixels;
    }
    return chroma::GatedFilter<chroma::Member2>(chroma::MakeLines(count, out, l0, {l1}),
                                                chroma::kGate2, level, out, l0);
}

int16_t ChromaDenoise3(uint16_t count, int16_t level, int16_t* out, int16_t* l0, const int16_t* l1,
                       const int16_t* l2) {
    if (count == 0) {
        return kFilterNoPixels;
    }
    return chroma::GatedFilter<chroma::Member3>(chroma::MakeLines(count, out, l0, {l1, l2}),
                                                chroma::kGate3, level, out, l0);
}

int16_t ChromaDenoise4(uint16_t count, int16_t level, int16_t* out, int16_t* l0, const int16_t* l1,
                       const int16_t* l2, const int16_t* l3) {
    if (count == 0) {
        return kFilterNoPixels;
    }
    return chroma::FilterWithNeighbours<chroma::Member4>(
        chroma::MakeLines(count, out, l0, {l1, l2, l3}), chroma::BrightLimit(level));
}

int16_t ChromaDenoise5(uint16_t count, int16_t level, int16_t* out, int16_t* l0, const int16_t* l1,
                       const int16_t* l2, const int16_t* l3, const int16_t* l4) {
    if (count == 0) {
        return kFilterNoPixels;
    }
    return chroma::FilterWithNeighbours<chroma::Member5>(
        chroma::MakeLines(count, out, l0, {l1, l2, l3, l4}), chroma::BrightLimit(level));
}

}  // namespace voved
