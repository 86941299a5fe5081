// The chroma filters' preparation in sixteen lanes: filters/chroma_lanes.h
// compiled for AVX2. Built like correct/rotation_lanes_avx2.cpp: a
// function-level target, for 64-bit x86 outside Windows, chosen at run time.
#include "platform/plain_paths.h"

#if defined(VOVED_HAVE_AVX2_PATH)

// Headers other files share come before the AVX2 region, so that their
// inline functions are never compiled for AVX2 here.
#include <cstring>

#include "filters/chroma_kernels.h"
#include "pixels/lanes.h"

#include "platform/avx2_begin.h"

namespace voved::chroma {
namespace {

using S16x16 = int16_t __attribute__((vector_size(32)));
using U16x16 = uint16_t __attribute__((vector_size(32)));

// Sixteen lanes that compute as the eight of pixels/lanes.h do. They are
// written again here, inside the AVX2 region, because those take
// eight-lane vectors and are compiled for the baseline.
struct Lanes16 {
    using Vector = S16x16;
    static constexpr int kWidth = 16;
    static Vector Load(const int16_t* p) {
        Vector v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    static void Store(int16_t* p, Vector v) { std::memcpy(p, &v, sizeof v); }
    static Vector Splat(int16_t x) {
        return Vector{x, x, x, x, x, x, x, x, x, x, x, x, x, x, x, x};
    }
    static Vector Add(Vector a, Vector b) {
        return reinterpret_cast<Vector>(reinterpret_cast<U16x16>(a) + reinterpret_cast<U16x16>(b));
    }
    static Vector Sub(Vector a, Vector b) {
        return reinterpret_cast<Vector>(reinterpret_cast<U16x16>(a) - reinterpret_cast<U16x16>(b));
    }
    static Vector Mul(Vector a, int16_t k) {
        return reinterpret_cast<Vector>(reinterpret_cast<U16x16>(a) * static_cast<uint16_t>(k));
    }
    static Vector Abs(Vector a) {
        const Vector sign = a >> 15;
        return Sub(a ^ sign, sign);
    }
};

}  // namespace
}  // namespace voved::chroma

#include "filters/chroma_lanes.h"

namespace voved::chroma {
namespace {

template <int kLines>
uint32_t PrepareGroups(const FilterLines& s, int16_t limit, uint32_t first, uint32_t end,
                       InteriorChunk* chunk) {
    uint32_t k = first;
    for (; k + Lanes16::kWidth <= end; k += Lanes16::kWidth) {
        PrepareLanes<Lanes16, InteriorShape<kLines>>(s, limit, k, k - first, chunk);
    }
    return k;
}

}  // namespace

uint32_t PrepareChunkAvx2(int lines, const FilterLines& s, int16_t limit, uint32_t first,
                          uint32_t end, InteriorChunk* chunk) {
    switch (lines) {
    case 1:
        return PrepareGroups<1>(s, limit, first, end, chunk);
    case 2:
        return PrepareGroups<2>(s, limit, first, end, chunk);
    case 3:
        return PrepareGroups<3>(s, limit, first, end, chunk);
    case 4:
        return PrepareGroups<4>(s, limit, first, end, chunk);
    case 5:
        return PrepareGroups<5>(s, limit, first, end, chunk);
    default:
        return first;
    }
}

}  // namespace voved::chroma

#include "platform/avx2_end.h"

#endif
