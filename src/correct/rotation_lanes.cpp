#include "correct/rotation_lanes.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace voved {

namespace {

void StoreTerms(const MatrixTerms& t, uint32_t k, RotatedBatch* batch) {
    const Rgb c = t.level == kCurveBlack   ? kBlack
                  : t.level >= kCurveWhite ? kWhite
                                           : PixelCorrection::Inverse(t);
    batch->level[k] = t.level;
    batch->u[k] = s16(AsrInt(t.u, kFixedShift));
    batch->v[k] = s16(AsrInt(t.v, kFixedShift));
    batch->r[k] = static_cast<uint8_t>(c.r);
    batch->g[k] = static_cast<uint8_t>(c.g);
    batch->b[k] = static_cast<uint8_t>(c.b);
}

void PrepareOneByOne(const PixelCorrection& core, const ConstWorkLine& in, uint32_t first,
                     uint32_t from, uint32_t count, RotatedBatch* batch) {
    for (uint32_t k = from; k < count; ++k) {
        const uint32_t i = first + k;
        StoreTerms(core.Matrix(in.y[i], in.dr[i], in.db[i]), k, batch);
    }
}

#if defined(__SSE2__)

constexpr int kLanes = 8;

// The low 16 bits of each 32-bit lane, read as signed.
__m128i Wrap16(__m128i x) {
    return _mm_srai_epi32(_mm_slli_epi32(x, 16), 16);
}

// Eight 32-bit values (two registers) to eight 16-bit lanes, each the low
// 16 bits as signed.
__m128i Narrow(__m128i low, __m128i high) {
    return _mm_packs_epi32(Wrap16(low), Wrap16(high));
}

// One matrix row for four samples: m0 c0 + m1 c1 + m2 c2, wrapping at 32
// bits (the paired products of madd wrap the same way).
__m128i Row(__m128i c01, __m128i c2z, __m128i m01, __m128i m2z) {
    return _mm_add_epi32(_mm_madd_epi16(c01, m01), _mm_madd_epi16(c2z, m2z));
}

// Truncating division by 9 of four 32-bit lanes: the signed high half of
// x x 0x38E38E39 (from the unsigned one, less the multiplier where x < 0),
// halved, plus 1 for negative x. Checked against the division for every
// sign and the ends of the range.
constexpr uint32_t kNinthMagic = 0x38E38E39u;

__m128i HighUnsigned(__m128i x, __m128i magic) {
    const __m128i even = _mm_srli_epi64(_mm_mul_epu32(x, magic), 32);
    const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(x, 32), magic);
    // even holds lanes 0 and 2 in its low halves, odd lanes 1 and 3 in its high halves.
    const __m128i oddHigh = _mm_and_si128(odd, _mm_set_epi32(-1, 0, -1, 0));
    return _mm_or_si128(even, oddHigh);
}

__m128i DivideBy9(__m128i x) {
    const __m128i magic = _mm_set1_epi32(static_cast<int32_t>(kNinthMagic));
    const __m128i negative = _mm_srai_epi32(x, 31);
    const __m128i high = _mm_sub_epi32(HighUnsigned(x, magic), _mm_and_si128(negative, magic));
    return _mm_sub_epi32(_mm_srai_epi32(high, 1), negative);
}

// Signed 16-bit lanes 0..3 (or 4..7) widened to 32 bits.
__m128i WidenLow(__m128i x) {
    return _mm_srai_epi32(_mm_unpacklo_epi16(x, x), 16);
}
__m128i WidenHigh(__m128i x) {
    return _mm_srai_epi32(_mm_unpackhi_epi16(x, x), 16);
}

// The eight channel bytes of level + delta, each wrapped to 16 bits and
// clamped to 0..255, in the low half of the result.
// Lanes where L is 0 take 0 and lanes where L is 300 or more take 255.
struct Extremes {
    __m128i either;
    __m128i white;
};

__m128i ChannelBytes(__m128i levelLow, __m128i levelHigh, __m128i deltaLow, __m128i deltaHigh,
                     const Extremes& extremes) {
    const __m128i sum =
        Narrow(_mm_add_epi32(levelLow, deltaLow), _mm_add_epi32(levelHigh, deltaHigh));
    const __m128i chosen = _mm_or_si128(_mm_andnot_si128(extremes.either, sum),
                                        _mm_and_si128(extremes.white, _mm_set1_epi16(255)));
    return _mm_packus_epi16(chosen, chosen);
}

// The tone curve at eight indices, gathered lane by lane in registers (a
// store of single words followed by a vector load would stall).
template <int kLane>
__m128i GatherFrom(const int16_t* curve, __m128i index, __m128i level) {
    if constexpr (kLane == kLanes) {
        return level;
    } else {
        const int at = _mm_extract_epi16(index, kLane);
        return GatherFrom<kLane + 1>(curve, index, _mm_insert_epi16(level, curve[at], kLane));
    }
}
__m128i CurveAt(const int16_t* curve, __m128i index) {
    return GatherFrom<0>(curve, index, _mm_setzero_si128());
}

void StoreBytes(uint8_t* to, __m128i bytes) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(to), bytes);
}

void PrepareLanes(const QVContext& c, const ConstWorkLine& in, uint32_t i, uint32_t k,
                  RotatedBatch* batch) {
    const __m128i load = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in.dr + i));
    const __m128i c0 = _mm_sub_epi16(load, _mm_set1_epi16(c.shadowCastRY));
    const __m128i c1 = _mm_sub_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in.db + i)),
                                     _mm_set1_epi16(c.shadowCastBY));
    const __m128i c2 = _mm_sub_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in.y + i)),
                                     _mm_set1_epi16(c.blackLevel));
    const __m128i zero = _mm_setzero_si128();
    const __m128i c01Low = _mm_unpacklo_epi16(c0, c1);
    const __m128i c01High = _mm_unpackhi_epi16(c0, c1);
    const __m128i c2Low = _mm_unpacklo_epi16(c2, zero);
    const __m128i c2High = _mm_unpackhi_epi16(c2, zero);
    const int16_t* m = c.colourMatrix;
    __m128i row[3][2];
    for (int r = 0; r < 3; ++r) {
        const __m128i m01 = _mm_set1_epi32(static_cast<int32_t>(
            static_cast<uint32_t>(static_cast<uint16_t>(m[3 * r])) |
            (static_cast<uint32_t>(static_cast<uint16_t>(m[3 * r + 1])) << 16)));
        const __m128i m2z = _mm_set1_epi32(static_cast<uint16_t>(m[3 * r + 2]));
        row[r][0] = Row(c01Low, c2Low, m01, m2z);
        row[r][1] = Row(c01High, c2High, m01, m2z);
    }
    // The tone-curve index: w / 1024 in a 16-bit register, limited to the curve.
    __m128i index =
        Narrow(_mm_srai_epi32(row[2][0], kFixedShift), _mm_srai_epi32(row[2][1], kFixedShift));
    index = _mm_min_epi16(_mm_max_epi16(index, zero), _mm_set1_epi16(kLastCurveIndex));
    const __m128i level = CurveAt(c.toneCurve, index);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(batch->level + k), level);
    const __m128i levelLow = WidenLow(level);
    const __m128i levelHigh = WidenHigh(level);
    const auto green = [&](int half) {
        const __m128i u = row[0][half];
        const __m128i v = row[1][half];
        const __m128i sum =
            _mm_add_epi32(_mm_add_epi32(_mm_slli_epi32(u, 2), u), _mm_add_epi32(v, v));
        return _mm_sub_epi32(zero, _mm_srai_epi32(DivideBy9(sum), kFixedShift));
    };
    const __m128i uLow = _mm_srai_epi32(row[0][0], kFixedShift);
    const __m128i uHigh = _mm_srai_epi32(row[0][1], kFixedShift);
    const __m128i vLow = _mm_srai_epi32(row[1][0], kFixedShift);
    const __m128i vHigh = _mm_srai_epi32(row[1][1], kFixedShift);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(batch->u + k), Narrow(uLow, uHigh));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(batch->v + k), Narrow(vLow, vHigh));
    const __m128i white = _mm_cmpgt_epi16(level, _mm_set1_epi16(kCurveWhite - 1));
    const Extremes extremes = {_mm_or_si128(_mm_cmpeq_epi16(level, zero), white), white};
    StoreBytes(batch->r + k, ChannelBytes(levelLow, levelHigh, uLow, uHigh, extremes));
    StoreBytes(batch->g + k, ChannelBytes(levelLow, levelHigh, green(0), green(1), extremes));
    StoreBytes(batch->b + k, ChannelBytes(levelLow, levelHigh, vLow, vHigh, extremes));
}

#endif

}  // namespace

void PrepareRotatedBatch(const QVContext& context, const ConstWorkLine& in, uint32_t first,
                         uint32_t count, RotatedBatch* batch) {
    uint32_t k = 0;
#if defined(VOVED_HAVE_AVX2_PATH)
    if (HasAvx2()) {
        k = PrepareRotatedLanesAvx2(context, in, first, count, batch);
    }
#endif
#if defined(__SSE2__)
    for (; k + kLanes <= count; k += kLanes) {
        PrepareLanes(context, in, first + k, k, batch);
    }
#endif
    PrepareOneByOne(PixelCorrection(context), in, first, k, count, batch);
}

}  // namespace voved
