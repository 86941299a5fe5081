// Built like rotation_lanes_avx2.cpp: a function-level AVX2 target, for
// 64-bit x86 outside Windows, chosen at run time.
#include "correct/pixel_lanes.h"

#if defined(VOVED_HAVE_AVX2_PATH)

// Headers other files share come before the AVX2 region, so that their
// inline functions are never compiled for AVX2 here.
#include "correct/correction_core.h"
#include "pixels/pixels.h"

#include "platform/avx2_begin.h"

#include "pixels/pixel_lanes_avx2.h"

namespace voved {

namespace {

using namespace avx2;

// Per 128-bit half: four words with red in the low byte back to four
// 3-byte pixels (12 bytes).
__m256i GatherMask(bool bgr) {
    return bgr ? _mm256_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1, 2, 1, 0,
                                  6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1)
               : _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0, 1, 2,
                                  4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
}
void StoreColours(uint8_t* d, int16_t step, __m256i words, __m256i gather, __m256i order) {
    if (step == 3) {
        // 12 bytes in each half; the second half's three words moved up to
        // follow the first's, so exactly 24 bytes are written.
        const __m256i packed = _mm256_shuffle_epi8(words, gather);
        const __m256i joined =
            _mm256_permutevar8x32_epi32(packed, _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm256_castsi256_si128(joined));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(d + 16), _mm256_extracti128_si256(joined, 1));
        return;
    }
    // The fourth byte of each pixel stays as the destination holds it.
    const __m256i kept = _mm256_and_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(d)),
                                          _mm256_set1_epi32(static_cast<int32_t>(0xFF000000u)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d),
                        _mm256_or_si256(_mm256_shuffle_epi8(words, order), kept));
}

// All ones in the lanes whose channel sum is above the near-white limit.
__m256i NearWhite(__m256i words) {
    const __m256i byte = _mm256_set1_epi32(0xFF);
    const __m256i sum =
        _mm256_add_epi32(_mm256_add_epi32(_mm256_and_si256(words, byte),
                                          _mm256_and_si256(_mm256_srli_epi32(words, 8), byte)),
                         _mm256_srli_epi32(words, 16));
    return _mm256_cmpgt_epi32(sum, _mm256_set1_epi32(kNearWhiteSum));
}
// Eight bytes into eight 32-bit lanes.
__m256i WidenBytes(const uint8_t* bytes) {
    return _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(bytes)));
}

bool AnyNearWhite(__m256i words) {
    return _mm256_movemask_epi8(NearWhite(words)) != 0;
}

// The lanes moved up by `kBy`, the first kBy lanes taken from `fill`.
template <int kBy>
__m256i ShiftUp(__m256i x, __m256i fill) {
    static_assert(kBy == 1 || kBy == 2 || kBy == 4, "lane shift");
    const __m256i index = kBy == 1   ? _mm256_setr_epi32(0, 0, 1, 2, 3, 4, 5, 6)
                          : kBy == 2 ? _mm256_setr_epi32(0, 0, 0, 1, 2, 3, 4, 5)
                                     : _mm256_setr_epi32(0, 0, 0, 0, 0, 1, 2, 3);
    constexpr int kFirst = (1 << kBy) - 1;
    return _mm256_blend_epi32(_mm256_permutevar8x32_epi32(x, index), fill, kFirst);
}

// One fill step: a lane still open takes the value kBy lanes before it, and
// stays open only if that lane was open too. The lanes before the group
// count as open: the cached colour comes in only after the last step, so
// that the fill does not wait for the group before.
template <int kBy>
void FillStep(__m256i* values, __m256i* open) {
    const __m256i from = ShiftUp<kBy>(*values, _mm256_setzero_si256());
    *values = _mm256_blendv_epi8(*values, from, *open);
    *open = _mm256_and_si256(*open, ShiftUp<kBy>(*open, _mm256_set1_epi32(-1)));
}

}  // namespace

uint32_t PixelsToWorkLineAvx2(const uint8_t* source, const WorkLine& planes, uint32_t count,
                              int16_t step, bool bgr, bool* nearWhite) {
    if (step != 3 && step != 4) {
        return 0;
    }
    const __m256i spread = SpreadMask(bgr);
    const __m256i order = OrderMask(bgr);
    uint32_t k = 0;
    for (; size_t{count - k} * static_cast<size_t>(step) >= LoadBytes(step); k += kGroup) {
        const uint8_t* const at = source + size_t{k} * static_cast<size_t>(step);
        PrefetchAhead(at);
        const __m256i colours = LoadColours(at, step, spread, order);
        const Channels c = SplitColours(colours);
        StoreSamples(planes.y + k, c.y);
        StoreSamples(planes.dr + k, _mm256_sub_epi32(c.r, c.y));
        StoreSamples(planes.db + k, _mm256_sub_epi32(c.b, c.y));
        if (nearWhite != nullptr) {
            StoreFlags(nearWhite + k, NearWhite(colours));
        }
    }
    return k;
}

uint32_t CorrectCachedLanesAvx2(const uint8_t* source, uint8_t* destination, uint32_t count,
                                uint32_t lineLeft, int16_t step, bool bgr, const uint32_t* prepared,
                                uint32_t* key, uint32_t* value) {
    if (step != 3 && step != 4) {
        return 0;
    }
    const __m256i spread = SpreadMask(bgr);
    const __m256i gather = GatherMask(bgr);
    const __m256i order = OrderMask(bgr);
    const uint32_t loadBytes = LoadBytes(step);
    __m256i keyAll = _mm256_set1_epi32(static_cast<int32_t>(*key));
    __m256i valueAll = _mm256_set1_epi32(static_cast<int32_t>(*value));
    uint32_t k = 0;
    for (; k + kGroup <= count && size_t{lineLeft - k} * static_cast<size_t>(step) >= loadBytes;
         k += kGroup) {
        const uint8_t* s = source + size_t{k} * static_cast<size_t>(step);
        const __m256i colours = LoadColours(s, step, spread, order);
        if (AnyNearWhite(colours)) {
            break;
        }
        // Each pixel's key is the colour before it; a hit repeats the
        // output before it.
        __m256i open = _mm256_cmpeq_epi32(colours, ShiftUp<1>(colours, keyAll));
        __m256i out = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(prepared + k));
        FillStep<1>(&out, &open);
        FillStep<2>(&out, &open);
        FillStep<4>(&out, &open);
        // Still open: every lane before it was a hit, back to the cache.
        out = _mm256_blendv_epi8(out, valueAll, open);
        StoreColours(destination + size_t{k} * static_cast<size_t>(step), step, out, gather, order);
        keyAll = _mm256_permutevar8x32_epi32(colours, _mm256_set1_epi32(7));
        valueAll = _mm256_permutevar8x32_epi32(out, _mm256_set1_epi32(7));
    }
    *key = static_cast<uint32_t>(_mm256_extract_epi32(keyAll, 0));
    *value = static_cast<uint32_t>(_mm256_extract_epi32(valueAll, 0));
    return k;
}

uint32_t StoreBatchColoursAvx2(const uint8_t* red, const uint8_t* green, const uint8_t* blue,
                               const int16_t* luma, uint32_t count, uint8_t* destination,
                               int16_t step, bool bgr) {
    if (step != 3 && step != 4) {
        return 0;
    }
    const __m256i gather = GatherMask(bgr);
    const __m256i order = OrderMask(bgr);
    uint32_t k = 0;
    for (; k + kGroup <= count; k += kGroup) {
        const __m256i words = _mm256_or_si256(
            _mm256_or_si256(WidenBytes(red + k), _mm256_slli_epi32(WidenBytes(green + k), 8)),
            _mm256_slli_epi32(WidenBytes(blue + k), 16));
        __m256i out = words;
        if (luma != nullptr) {
            const __m256i white = _mm256_cmpgt_epi32(
                _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(luma + k))),
                _mm256_set1_epi32(kNearWhiteLuma - 1));
            out = _mm256_blendv_epi8(out, _mm256_set1_epi32(static_cast<int32_t>(kPackedWhite)),
                                     white);
        }
        StoreColours(destination + size_t{k} * static_cast<size_t>(step), step, out, gather, order);
    }
    return k;
}

uint32_t MapBytesAvx2(const uint8_t* table, const uint8_t* from, uint8_t* to, uint32_t count) {
    // The table as sixteen rows of sixteen bytes, each row in both halves:
    // a byte's low four bits pick its column in every row at once, and its
    // high four bits the row whose pick it keeps.
    constexpr int kRows = 16;
    constexpr int kRowBytes = 16;
    constexpr uint32_t kBytes = 32;
    __m256i rows[kRows];
    for (int r = 0; r < kRows; ++r) {
        rows[r] = _mm256_broadcastsi128_si256(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(table + kRowBytes * r)));
    }
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    uint32_t i = 0;
    for (; i + kBytes <= count; i += kBytes) {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + i));
        const __m256i column = _mm256_and_si256(x, nibble);
        const __m256i row = _mm256_and_si256(_mm256_srli_epi16(x, 4), nibble);
        __m256i mapped = _mm256_setzero_si256();
        for (int r = 0; r < kRows; ++r) {
            mapped =
                _mm256_blendv_epi8(mapped, _mm256_shuffle_epi8(rows[r], column),
                                   _mm256_cmpeq_epi8(row, _mm256_set1_epi8(static_cast<char>(r))));
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + i), mapped);
    }
    return i;
}

}  // namespace voved

#include "platform/avx2_end.h"

#endif
