// PrepareRotatedBatch in sixteen AVX2 lanes, for processors that have them
// (chosen at run time; the library itself assumes no more than SSE2). Only
// built for 64-bit x86 outside Windows: 32-bit Windows code cannot rely on
// the 32-byte stack alignment AVX spills need.
#include "correct/rotation_lanes.h"

#if defined(VOVED_HAVE_AVX2_PATH)

#include "platform/avx2_begin.h"

namespace voved {

namespace {

constexpr uint32_t kLanes = 16;

__m256i Load(const int16_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

__m256i Wrap16(__m256i x) {
    return _mm256_srai_epi32(_mm256_slli_epi32(x, 16), 16);
}

// Sixteen 32-bit values in unpack order (two registers) back to sixteen
// 16-bit lanes in sample order, each the low 16 bits as signed.
__m256i Narrow(__m256i low, __m256i high) {
    return _mm256_packs_epi32(Wrap16(low), Wrap16(high));
}

__m256i Row(__m256i c01, __m256i c2z, __m256i m01, __m256i m2z) {
    return _mm256_add_epi32(_mm256_madd_epi16(c01, m01), _mm256_madd_epi16(c2z, m2z));
}

// Truncating division by 9 (see the SSE2 form).
__m256i DivideBy9(__m256i x) {
    const __m256i magic = _mm256_set1_epi32(static_cast<int32_t>(0x38E38E39u));
    const __m256i even = _mm256_srli_epi64(_mm256_mul_epu32(x, magic), 32);
    const __m256i odd = _mm256_mul_epu32(_mm256_srli_epi64(x, 32), magic);
    const __m256i high = _mm256_or_si256(
        even, _mm256_and_si256(odd, _mm256_set1_epi64x(static_cast<int64_t>(0xFFFFFFFF00000000u))));
    const __m256i negative = _mm256_srai_epi32(x, 31);
    const __m256i signedHigh = _mm256_sub_epi32(high, _mm256_and_si256(negative, magic));
    return _mm256_sub_epi32(_mm256_srai_epi32(signedHigh, 1), negative);
}

struct Extremes {
    __m256i either;
    __m256i white;
};

// Sixteen channel bytes of level + delta (both in unpack order), wrapped to
// 16 bits, black and white applied, clamped to 0..255.
void StoreChannel(uint8_t* to, __m256i levelLow, __m256i levelHigh, __m256i deltaLow,
                  __m256i deltaHigh, const Extremes& extremes) {
    const __m256i sum =
        Narrow(_mm256_add_epi32(levelLow, deltaLow), _mm256_add_epi32(levelHigh, deltaHigh));
    const __m256i chosen =
        _mm256_or_si256(_mm256_andnot_si256(extremes.either, sum),
                        _mm256_and_si256(extremes.white, _mm256_set1_epi16(255)));
    const __m256i bytes = _mm256_packus_epi16(chosen, chosen);
    // Each 128-bit half holds its eight bytes in its low quarter.
    const __m256i ordered = _mm256_permute4x64_epi64(bytes, 0x08);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm256_castsi256_si128(ordered));
}

__m256i Green(__m256i u, __m256i v) {
    const __m256i sum =
        _mm256_add_epi32(_mm256_add_epi32(_mm256_slli_epi32(u, 2), u), _mm256_add_epi32(v, v));
    return _mm256_sub_epi32(_mm256_setzero_si256(), _mm256_srai_epi32(DivideBy9(sum), kFixedShift));
}

// The curve index of 32-bit lanes: w / 1024 in a 16-bit register, limited
// to the curve.
__m256i CurveIndex(__m256i w) {
    const __m256i index = Wrap16(_mm256_srai_epi32(w, kFixedShift));
    return _mm256_min_epi32(_mm256_max_epi32(index, _mm256_setzero_si256()),
                            _mm256_set1_epi32(kLastCurveIndex));
}

void PrepareLanes(const QVContext& c, const int32_t* curve, const ConstWorkLine& in, uint32_t i,
                  uint32_t k, RotatedBatch* batch) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i c0 = _mm256_sub_epi16(Load(in.dr + i), _mm256_set1_epi16(c.shadowCastRY));
    const __m256i c1 = _mm256_sub_epi16(Load(in.db + i), _mm256_set1_epi16(c.shadowCastBY));
    const __m256i c2 = _mm256_sub_epi16(Load(in.y + i), _mm256_set1_epi16(c.blackLevel));
    const __m256i c01Low = _mm256_unpacklo_epi16(c0, c1);
    const __m256i c01High = _mm256_unpackhi_epi16(c0, c1);
    const __m256i c2Low = _mm256_unpacklo_epi16(c2, zero);
    const __m256i c2High = _mm256_unpackhi_epi16(c2, zero);
    const int16_t* m = c.colourMatrix;
    __m256i row[3][2];
    for (int r = 0; r < 3; ++r) {
        const __m256i m01 = _mm256_set1_epi32(static_cast<int32_t>(
            static_cast<uint32_t>(static_cast<uint16_t>(m[3 * r])) |
            (static_cast<uint32_t>(static_cast<uint16_t>(m[3 * r + 1])) << 16)));
        const __m256i m2z = _mm256_set1_epi32(static_cast<uint16_t>(m[3 * r + 2]));
        row[r][0] = Row(c01Low, c2Low, m01, m2z);
        row[r][1] = Row(c01High, c2High, m01, m2z);
    }
    const __m256i levelLow = _mm256_i32gather_epi32(curve, CurveIndex(row[2][0]), 4);
    const __m256i levelHigh = _mm256_i32gather_epi32(curve, CurveIndex(row[2][1]), 4);
    const __m256i level = Narrow(levelLow, levelHigh);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(batch->level + k), level);
    const __m256i uLow = _mm256_srai_epi32(row[0][0], kFixedShift);
    const __m256i uHigh = _mm256_srai_epi32(row[0][1], kFixedShift);
    const __m256i vLow = _mm256_srai_epi32(row[1][0], kFixedShift);
    const __m256i vHigh = _mm256_srai_epi32(row[1][1], kFixedShift);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(batch->u + k), Narrow(uLow, uHigh));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(batch->v + k), Narrow(vLow, vHigh));
    const __m256i white = _mm256_cmpgt_epi16(level, _mm256_set1_epi16(kCurveWhite - 1));
    const Extremes extremes = {_mm256_or_si256(_mm256_cmpeq_epi16(level, zero), white), white};
    StoreChannel(batch->r + k, levelLow, levelHigh, uLow, uHigh, extremes);
    StoreChannel(batch->g + k, levelLow, levelHigh, Green(row[0][0], row[1][0]),
                 Green(row[0][1], row[1][1]), extremes);
    StoreChannel(batch->b + k, levelLow, levelHigh, vLow, vHigh, extremes);
}

}  // namespace

uint32_t PrepareRotatedLanesAvx2(const QVContext& context, const ConstWorkLine& in, uint32_t first,
                                 uint32_t count, RotatedBatch* batch) {
    // The curve widened to 32-bit entries, for the gather.
    alignas(32) int32_t curve[kToneCurveSize];
    for (int i = 0; i < kToneCurveSize; ++i) {
        curve[i] = context.toneCurve[i];
    }
    uint32_t k = 0;
    for (; k + kLanes <= count; k += kLanes) {
        PrepareLanes(context, curve, in, first + k, k, batch);
    }
    return k;
}

}  // namespace voved

#include "platform/avx2_end.h"

#endif
