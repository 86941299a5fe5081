// Built like the correction's AVX2 loops: a function-level target, for
// 64-bit x86 outside Windows, chosen at run time.
#include "stats/statistics_lanes.h"

#if defined(VOVED_HAVE_AVX2_PATH)

#include <cstring>

#include "platform/avx2_begin.h"

#include "pixels/pixel_lanes_avx2.h"

namespace voved {

namespace {

using namespace avx2;

// sum / 3 for sums of three channels (0 .. 765): (sum x 43691) >> 17,
// checked against the division for every such sum.
constexpr int32_t kThirdMagic = 43691;
constexpr int kThirdShift = 17;

// One channel of sixteen colour words (two registers of eight, red in the
// low byte) in sixteen 16-bit lanes, in pixel order.
__m256i ChannelOfSixteen(__m256i low, __m256i high, int shift) {
    const __m256i byte = _mm256_set1_epi32(0xFF);
    const __m256i a = _mm256_and_si256(_mm256_srli_epi32(low, shift), byte);
    const __m256i b = _mm256_and_si256(_mm256_srli_epi32(high, shift), byte);
    return _mm256_permute4x64_epi64(_mm256_packus_epi32(a, b), 0xD8);
}

void StoreSixteen(int16_t* to, __m256i lanes) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to), lanes);
}

// Sixteen pixels in 16-bit lanes: every value fits (Y at most 255 after
// the shift, 16 Y at most 4080, sums at most 765); only dR^2 + dB^2 needs
// 32 bits, from one multiply-add of the (dR, dB) pairs.
void PrepareSixteen(__m256i low, __m256i high, uint32_t k, PreparedPixels* out) {
    const __m256i r = ChannelOfSixteen(low, high, 0);
    const __m256i g = ChannelOfSixteen(low, high, 8);
    const __m256i b = ChannelOfSixteen(low, high, 16);
    const __m256i fiveR = _mm256_add_epi16(_mm256_slli_epi16(r, 2), r);
    const __m256i nineG = _mm256_add_epi16(_mm256_slli_epi16(g, 3), g);
    const __m256i y = _mm256_srli_epi16(
        _mm256_add_epi16(_mm256_add_epi16(fiveR, nineG), _mm256_add_epi16(b, b)), 4);
    const __m256i sum = _mm256_add_epi16(_mm256_add_epi16(r, g), b);
    const __m256i dr = _mm256_sub_epi16(r, y);
    const __m256i db = _mm256_sub_epi16(b, y);
    const __m256i pairsLow = _mm256_unpacklo_epi16(dr, db);
    const __m256i pairsHigh = _mm256_unpackhi_epi16(dr, db);
    const __m256i limit = _mm256_set1_epi32(kBrightChromaLimit);
    // Packing the halves back undoes the unpacking, lane by lane.
    const __m256i weak =
        _mm256_packs_epi32(_mm256_cmpgt_epi32(limit, _mm256_madd_epi16(pairsLow, pairsLow)),
                           _mm256_cmpgt_epi32(limit, _mm256_madd_epi16(pairsHigh, pairsHigh)));
    const __m256i dark = _mm256_cmpgt_epi16(_mm256_set1_epi16(kBrightLevel + 1), y);
    const __m256i summed = _mm256_or_si256(dark, weak);
    const __m256i skipped = _mm256_or_si256(_mm256_cmpeq_epi16(sum, _mm256_set1_epi16(kBlackSum)),
                                            _mm256_cmpeq_epi16(sum, _mm256_set1_epi16(kWhiteSum)));
    // (sum x 43691) >> 17 as the high half of the product, shifted once more.
    const __m256i mean = _mm256_srli_epi16(
        _mm256_mulhi_epu16(sum, _mm256_set1_epi16(static_cast<int16_t>(kThirdMagic))),
        kThirdShift - 16);
    const __m256i flags =
        _mm256_or_si256(_mm256_and_si256(summed, _mm256_set1_epi16(1 << kSummedBit)),
                        _mm256_and_si256(skipped, _mm256_set1_epi16(1 << kSkippedBit)));
    StoreSixteen(out->level + k, y);
    StoreSixteen(out->summedRY + k, _mm256_and_si256(dr, summed));
    StoreSixteen(out->summedBY + k, _mm256_and_si256(db, summed));
    StoreSixteen(out->meanAndFlags + k, _mm256_or_si256(mean, flags));
}

// Running totals of eight 32-bit lanes, each lane the sum of itself and the
// lanes before it.
__m256i RunningEight(__m256i x) {
    x = _mm256_add_epi32(x, _mm256_slli_si256(x, 4));
    x = _mm256_add_epi32(x, _mm256_slli_si256(x, 8));
    const __m256i lowTotal = _mm256_shuffle_epi32(x, 0xFF);
    return _mm256_add_epi32(x, _mm256_permute2x128_si256(lowTotal, lowTotal, 0x08));
}

__m256i LoadWidened(const int16_t* from) {
    return _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from)));
}

// Sixteen bits, bit j set where level[k + j + 1] differs from level[k + j].
uint16_t ChangesAfter(const int16_t* level) {
    const __m256i equal =
        _mm256_cmpeq_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(level + 1)),
                           _mm256_loadu_si256(reinterpret_cast<const __m256i*>(level)));
    const __m256i bytes =
        _mm256_permute4x64_epi64(_mm256_packs_epi16(equal, _mm256_setzero_si256()), 0xD8);
    const auto mask = static_cast<uint32_t>(_mm256_movemask_epi8(bytes));
    return static_cast<uint16_t>(~mask);
}

}  // namespace

uint32_t PreparePixelsAvx2(const uint8_t* pixels, uint32_t count, uint32_t lineLeft, int16_t step,
                           bool bgr, PreparedPixels* out) {
    if (step != 3 && step != 4) {
        return 0;
    }
    constexpr uint32_t kPair = 2 * kGroup;
    const __m256i spread = SpreadMask(bgr);
    const __m256i order = OrderMask(bgr);
    const size_t groupBytes = size_t{kGroup} * static_cast<size_t>(step);
    uint32_t k = 0;
    for (; k + kPair <= count &&
           size_t{lineLeft - k} * static_cast<size_t>(step) >= groupBytes + LoadBytes(step);
         k += kPair) {
        const uint8_t* at = pixels + size_t{k} * static_cast<size_t>(step);
        PrefetchAhead(at);
        PrepareSixteen(LoadColours(at, step, spread, order),
                       LoadColours(at + groupBytes, step, spread, order), k, out);
    }
    return k;
}

bool FindLevelChangesAvx2(uint32_t count, PreparedPixels* prepared) {
    __m256i flags = _mm256_setzero_si256();
    for (uint32_t k = 0; k < count; k += 2 * kGroup) {
        flags = _mm256_or_si256(flags, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(
                                           prepared->meanAndFlags + k)));
    }
    if (!_mm256_testz_si256(flags, _mm256_set1_epi16(1 << kSkippedBit))) {
        return false;
    }
    // Changes after each position, then moved up by one to where they start.
    prepared->level[count] = prepared->level[count - 1];
    uint16_t after[kStatisticsChunk / 16] = {};
    for (uint32_t k = 0; k < count; k += 2 * kGroup) {
        after[k / 16] = ChangesAfter(prepared->level + k);
    }
    uint64_t words[kStatisticsChunk / 64];
    std::memcpy(words, after, sizeof words);
    uint64_t carried = 0;
    for (uint64_t& word : words) {
        const uint64_t next = word >> 63;
        word = word << 1 | carried;
        carried = next;
    }
    std::memcpy(prepared->levelChanges, words, sizeof words);
    return true;
}

void SumRunningAvx2(uint32_t count, PreparedPixels* prepared) {
    const __m256i summedBit = _mm256_set1_epi32(1 << kSummedBit);
    const __m256i last = _mm256_set1_epi32(kGroup - 1);
    const __m256i groupStep = _mm256_set1_epi32(kGroup);
    __m256i index = _mm256_setr_epi32(1, 2, 3, 4, 5, 6, 7, 8);
    __m256i totalCount = _mm256_setzero_si256();
    __m256i totalRY = _mm256_setzero_si256();
    __m256i totalBY = _mm256_setzero_si256();
    _mm_store_si128(reinterpret_cast<__m128i*>(prepared->before[0]), _mm_setzero_si128());
    for (uint32_t k = 0; k < count; k += kGroup) {
        const __m256i counted = _mm256_srli_epi32(
            _mm256_and_si256(LoadWidened(prepared->meanAndFlags + k), summedBit), kSummedBit);
        const __m256i runningCount = _mm256_add_epi32(RunningEight(counted), totalCount);
        const __m256i runningRY =
            _mm256_add_epi32(RunningEight(LoadWidened(prepared->summedRY + k)), totalRY);
        const __m256i runningBY =
            _mm256_add_epi32(RunningEight(LoadWidened(prepared->summedBY + k)), totalBY);
        // Lanes to entries: within each half, pixel j's four lanes together.
        const __m256i indexCountLow = _mm256_unpacklo_epi32(index, runningCount);
        const __m256i indexCountHigh = _mm256_unpackhi_epi32(index, runningCount);
        const __m256i sumsLow = _mm256_unpacklo_epi32(runningRY, runningBY);
        const __m256i sumsHigh = _mm256_unpackhi_epi32(runningRY, runningBY);
        const __m256i first = _mm256_unpacklo_epi64(indexCountLow, sumsLow);     // 0 and 4
        const __m256i second = _mm256_unpackhi_epi64(indexCountLow, sumsLow);    // 1 and 5
        const __m256i third = _mm256_unpacklo_epi64(indexCountHigh, sumsHigh);   // 2 and 6
        const __m256i fourth = _mm256_unpackhi_epi64(indexCountHigh, sumsHigh);  // 3 and 7
        auto* to = reinterpret_cast<__m256i*>(prepared->before[k + 1]);
        _mm256_storeu_si256(to, _mm256_permute2x128_si256(first, second, 0x20));
        _mm256_storeu_si256(to + 1, _mm256_permute2x128_si256(third, fourth, 0x20));
        _mm256_storeu_si256(to + 2, _mm256_permute2x128_si256(first, second, 0x31));
        _mm256_storeu_si256(to + 3, _mm256_permute2x128_si256(third, fourth, 0x31));
        totalCount = _mm256_permutevar8x32_epi32(runningCount, last);
        totalRY = _mm256_permutevar8x32_epi32(runningRY, last);
        totalBY = _mm256_permutevar8x32_epi32(runningBY, last);
        index = _mm256_add_epi32(index, groupStep);
    }
}

// Only the pixels where the level changes are visited, so the loop does not
// stop at every pixel to ask whether its level changed (in a detailed
// photo, up to five pixels in six, in no pattern the processor can
// foresee); a run's length and sums are then one subtraction of running
// totals.
void WalkRunsAvx2(const PreparedPixels& prepared, uint32_t count, int32_t* level, int32_t* start,
                  LineTotals* totals) {
    // Only a run's length can pass its limit; the other lanes never reach it.
    const __m128i counted = _mm_setr_epi32(kLongestCountedRun, INT32_MAX, INT32_MAX, INT32_MAX);
    const auto entry = [&](uint32_t at) {
        return _mm_load_si128(reinterpret_cast<const __m128i*>(prepared.before[at]));
    };
    const auto addAt = [&](int32_t bin, __m128i add) {
        auto* to = reinterpret_cast<__m128i*>(totals->byLevel[bin]);
        _mm_store_si128(to, _mm_add_epi32(_mm_load_si128(to), add));
    };
    // The booked length is read off the lowest lane.
    static_assert(kLaneIndex == 0, "a run's length is the first lane");
    int32_t runLevel = *level;
    // The totals where the current run started, its index lane counted
    // back into the chunk before where it goes on from one.
    __m128i startTotals = _mm_insert_epi32(entry(0), *start, kLaneIndex);
    const auto closeAt = [&](uint32_t at) {
        const __m128i here = entry(at);
        const __m128i run = _mm_sub_epi32(here, startTotals);
        const __m128i booked = _mm_andnot_si128(_mm_cmpgt_epi32(run, counted), run);
        addAt(runLevel, booked);
        totals->runByMean[prepared.meanAndFlags[at] & kMeanMask] +=
            static_cast<uint32_t>(_mm_cvtsi128_si32(booked));
        runLevel = prepared.level[at];
        startTotals = here;
    };
    if (prepared.level[0] != runLevel) {
        closeAt(0);
    }
    for (uint32_t w = 0; w < kStatisticsChunk / 64; ++w) {
        for (uint64_t bits = prepared.levelChanges[w]; bits != 0; bits &= bits - 1) {
            closeAt(w * 64 + static_cast<uint32_t>(__builtin_ctzll(bits)));
        }
    }
    // The open run's sums so far; its length is booked when it closes.
    const __m128i open = _mm_sub_epi32(entry(count), startTotals);
    addAt(runLevel, _mm_blend_epi32(open, _mm_setzero_si128(), 1 << kLaneIndex));
    *level = runLevel;
    *start = _mm_cvtsi128_si32(startTotals) - static_cast<int32_t>(count);
}

}  // namespace voved

#include "platform/avx2_end.h"

#endif
