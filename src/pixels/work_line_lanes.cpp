#include "pixels/work_line_lanes.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace voved {

namespace {

void InverseOne(const ConstWorkLine& in, uint32_t i, uint32_t k, ChannelBatch* out) {
    const Rgb c = InverseTransform(in.y[i], in.dr[i], in.db[i]);
    out->r[k] = static_cast<uint8_t>(c.r);
    out->g[k] = static_cast<uint8_t>(c.g);
    out->b[k] = static_cast<uint8_t>(c.b);
}

#if defined(__SSE2__)

constexpr int kLanes = 8;
// |dR|, |dB| <= 4681 keeps 5 dR + 2 dB within 16 bits.
constexpr int16_t kLargestDifference = 4681;
// floor(x x 7282 / 65536), plus 1 for negative x, is x / 9 truncated for
// every 16-bit x.
constexpr int16_t kNinthMagic = 7282;

__m128i LoadLanes(const int16_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

bool FitsLanes(__m128i dr, __m128i db) {
    const __m128i limit = _mm_set1_epi16(kLargestDifference);
    const __m128i low = _mm_set1_epi16(-kLargestDifference);
    const __m128i outside =
        _mm_or_si128(_mm_or_si128(_mm_cmpgt_epi16(dr, limit), _mm_cmplt_epi16(dr, low)),
                     _mm_or_si128(_mm_cmpgt_epi16(db, limit), _mm_cmplt_epi16(db, low)));
    return _mm_movemask_epi8(outside) == 0;
}

void StoreBytes(uint8_t* to, __m128i words) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(to), _mm_packus_epi16(words, words));
}

// Eight samples; false when their differences need the one-by-one form.
bool InverseLanes(const ConstWorkLine& in, uint32_t i, uint32_t k, ChannelBatch* out) {
    const __m128i y = LoadLanes(in.y + i);
    const __m128i dr = LoadLanes(in.dr + i);
    const __m128i db = LoadLanes(in.db + i);
    if (!FitsLanes(dr, db)) {
        return false;
    }
    const __m128i sum =
        _mm_add_epi16(_mm_add_epi16(_mm_slli_epi16(dr, 2), dr), _mm_add_epi16(db, db));
    const __m128i negative = _mm_srai_epi16(sum, 15);  // -1 where sum < 0
    const __m128i ninth =
        _mm_sub_epi16(_mm_mulhi_epi16(sum, _mm_set1_epi16(kNinthMagic)), negative);
    StoreBytes(out->r + k, _mm_add_epi16(y, dr));
    StoreBytes(out->g + k, _mm_sub_epi16(y, ninth));
    StoreBytes(out->b + k, _mm_add_epi16(y, db));
    return true;
}

#endif

}  // namespace

void InverseTransformBatch(const ConstWorkLine& in, uint32_t first, uint32_t count,
                           ChannelBatch* out) {
    uint32_t k = 0;
#if defined(__SSE2__)
    for (; k + kLanes <= count; k += kLanes) {
        if (!InverseLanes(in, first + k, k, out)) {
            for (uint32_t j = k; j < k + kLanes; ++j) {
                InverseOne(in, first + j, j, out);
            }
        }
    }
#endif
    for (; k < count; ++k) {
        InverseOne(in, first + k, k, out);
    }
}

}  // namespace voved
