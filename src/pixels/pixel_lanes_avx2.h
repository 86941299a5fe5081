// Loading 3- and 4-byte pixels eight at a time into AVX2 lanes, for the
// loops of several subsystems. Include it only in a file compiled for the
// AVX2 target (see VOVED_HAVE_AVX2_PATH in platform/plain_paths.h): the
// functions below take the target of the file that includes them.
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

namespace voved::avx2 {

inline constexpr uint32_t kGroup = 8;
inline constexpr uint32_t kThreeByteLoad = 28;  // two 16-byte loads, 12 bytes apart

// Per 128-bit half: four 3-byte pixels (12 bytes) to four words with red in
// the low byte.
inline __m256i SpreadMask(bool bgr) {
    return bgr ? _mm256_setr_epi8(2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1, 2, 1, 0, -1,
                                  5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1)
               : _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1, 0, 1, 2, -1,
                                  3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
}
// For 4-byte pixels: the word's three colour bytes in the pixel's order,
// the fourth byte left out.
inline __m256i OrderMask(bool bgr) {
    return bgr ? _mm256_setr_epi8(2, 1, 0, -1, 6, 5, 4, -1, 10, 9, 8, -1, 14, 13, 12, -1, 2, 1, 0,
                                  -1, 6, 5, 4, -1, 10, 9, 8, -1, 14, 13, 12, -1)
               : _mm256_setr_epi8(0, 1, 2, -1, 4, 5, 6, -1, 8, 9, 10, -1, 12, 13, 14, -1, 0, 1, 2,
                                  -1, 4, 5, 6, -1, 8, 9, 10, -1, 12, 13, 14, -1);
}

inline __m256i LoadColours(const uint8_t* s, int16_t step, __m256i spread, __m256i order) {
    if (step == 3) {
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 12));
        return _mm256_shuffle_epi8(_mm256_setr_m128i(low, high), spread);
    }
    return _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(s)), order);
}

// Asks for the pixels some way ahead of `at`: lines read for the first time
// often come from memory, and the processor's own prefetch starts over at
// each page. A prefetch never faults, past the line's end too.
inline constexpr size_t kPrefetchAhead = 512;
inline void PrefetchAhead(const uint8_t* at) {
    _mm_prefetch(reinterpret_cast<const char*>(at) + kPrefetchAhead, _MM_HINT_T0);
}

// Bytes a group of eight pixels is loaded from.
inline uint32_t LoadBytes(int16_t step) {
    return step == 3 ? kThreeByteLoad : kGroup * 4;
}

inline __m256i Channel(__m256i words, int shift) {
    return _mm256_and_si256(_mm256_srli_epi32(words, shift), _mm256_set1_epi32(0xFF));
}

// The channels of eight colour words and their luminance
// Y = (5 R + 9 G + 2 B) >> 4 (non-negative terms), each in a 32-bit lane.
struct Channels {
    __m256i r;
    __m256i g;
    __m256i b;
    __m256i y;
};
inline Channels SplitColours(__m256i words) {
    Channels c;
    c.r = Channel(words, 0);
    c.g = Channel(words, 8);
    c.b = Channel(words, 16);
    const __m256i fiveR = _mm256_add_epi32(_mm256_slli_epi32(c.r, 2), c.r);
    const __m256i nineG = _mm256_add_epi32(_mm256_slli_epi32(c.g, 3), c.g);
    c.y = _mm256_srli_epi32(
        _mm256_add_epi32(_mm256_add_epi32(fiveR, nineG), _mm256_add_epi32(c.b, c.b)), 4);
    return c;
}

// Eight 32-bit lanes (each within -32768..32767) stored as eight samples.
inline void StoreSamples(int16_t* to, __m256i x) {
    const __m256i packed = _mm256_permute4x64_epi64(_mm256_packs_epi32(x, x), 0x08);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm256_castsi256_si128(packed));
}

// Eight lanes of all ones or zero stored as eight bytes of 1 or 0 (bool or
// uint8_t).
template <class Flag>
inline void StoreFlags(Flag* to, __m256i mask) {
    static_assert(sizeof(Flag) == 1, "one byte a flag");
    const __m256i wide =
        _mm256_permute4x64_epi64(_mm256_packs_epi32(mask, _mm256_setzero_si256()), 0x08);
    const __m128i bytes = _mm_packs_epi16(_mm256_castsi256_si128(wide), _mm_setzero_si128());
    _mm_storel_epi64(reinterpret_cast<__m128i*>(to), _mm_and_si128(bytes, _mm_set1_epi8(1)));
}

}  // namespace voved::avx2
