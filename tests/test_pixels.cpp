// Width helpers, the 5-bit tables, the pixel readers and writers and the
// working-line transforms.
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "pixels/fixed.h"
#include "pixels/pixels.h"

namespace voved {
namespace {

TEST(WidthHelpers, LowSixteenBitsOverAWideDomain) {
    for (int64_t v = -200000; v <= 200000; v += 7) {
        const int64_t low = ((v % 65536) + 65536) % 65536;
        ASSERT_EQ(u16(v), low);
        ASSERT_EQ(s16(v), low >= 32768 ? low - 65536 : low);
    }
    EXPECT_EQ(s16(40000), -25536);
    EXPECT_EQ(s16(-32768), -32768);
    EXPECT_EQ(s16(32768), -32768);
    EXPECT_EQ(s32(0x80000000LL), INT32_MIN);
    EXPECT_EQ(AddWrap32(INT32_MAX, 1), INT32_MIN);
    EXPECT_EQ(MulWrap32(65536, 65536), 0);
}

TEST(WidthHelpers, ArithmeticShiftFloorsOverTheSixteenBitDomain) {
    for (int32_t v = -32768; v <= 32767; ++v) {
        for (unsigned n : {1u, 2u, 3u, 4u, 5u, 6u, 10u}) {
            const int32_t divisor = 1 << n;
            int32_t floorDiv = v / divisor;
            if (v % divisor != 0 && v < 0) {
                --floorDiv;
            }
            ASSERT_EQ(AsrInt(v, n), floorDiv) << v << " >> " << n;
        }
    }
    EXPECT_EQ(AsrInt(-1, 3), -1);
    EXPECT_EQ(AsrInt(INT32_MIN, 31), -1);
    EXPECT_EQ(AsrShort(-32768, 15), -1);
    EXPECT_EQ(ShlInt(-3, 10), -3072);
}

TEST(WidthHelpers, ClampTakesTheLowSixteenBitsFirst) {
    EXPECT_EQ(ClampByte(-1), 0);
    EXPECT_EQ(ClampByte(256), 255);
    EXPECT_EQ(ClampByte(65536 + 100), 100) << "wraps to 100 before limiting";
    EXPECT_EQ(ClampByte(32768), 0) << "wraps to -32768";
    EXPECT_EQ(ClampShort(70000, 0, 299), 299);
}

TEST(WidthHelpers, TruncationOfDoublesIsTowardZeroAndGuarded) {
    EXPECT_EQ(TruncToInt32(2.9), 2);
    EXPECT_EQ(TruncToInt32(-2.9), -2);
    EXPECT_EQ(TruncToInt32(std::nan("")), 0);
    EXPECT_EQ(TruncToInt32(1e300), INT32_MAX);
    EXPECT_EQ(TruncToInt32(-1e300), INT32_MIN);
    EXPECT_EQ(TruncToShort(-7.5), -7);
}

TEST(FiveBitTables, ExpansionIsBitReplication) {
    const uint8_t expected[32] = {0,   8,   16,  24,  33,  41,  49,  57,  66,  74,  82,
                                  90,  99,  107, 115, 123, 132, 140, 148, 156, 165, 173,
                                  181, 189, 198, 206, 214, 222, 231, 239, 247, 255};
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(kExpand5[i], expected[i]);
        EXPECT_EQ(kReduce5[kExpand5[i]], i) << "expand then reduce gives the code back";
    }
}

TEST(FiveBitTables, ReductionPicksTheNearestCodeTiesUp) {
    for (int v = 0; v <= 3; ++v)
        EXPECT_EQ(kReduce5[v], 0);
    for (int v = 4; v <= 11; ++v)
        EXPECT_EQ(kReduce5[v], 1);
    for (int v = 12; v <= 19; ++v)
        EXPECT_EQ(kReduce5[v], 2);
    for (int v = 20; v <= 28; ++v)
        EXPECT_EQ(kReduce5[v], 3);
    for (int v = 251; v <= 255; ++v)
        EXPECT_EQ(kReduce5[v], 31);
    for (int v = 1; v < 256; ++v) {
        ASSERT_GE(kReduce5[v], kReduce5[v - 1]) << "monotonic";
    }
}

TEST(PixelIo, ReadsEveryLayout) {
    const uint8_t bgr[3] = {10, 20, 30};
    Rgb p = ReadPixel(bgr, kLayoutBgr);
    EXPECT_EQ(p.r, 30);
    EXPECT_EQ(p.g, 20);
    EXPECT_EQ(p.b, 10);
    p = ReadPixel(bgr, kLayoutRgb);
    EXPECT_EQ(p.r, 10);
    EXPECT_EQ(p.b, 30);

    const uint8_t white[2] = {0xFF, 0x7F};
    p = ReadPixel(white, kLayoutRgb555);
    EXPECT_EQ(p.r + p.g + p.b, 765);
    const uint8_t black[2] = {0x00, 0x80};  // bit 15 alone is ignored
    p = ReadPixel(black, kLayoutRgb555);
    EXPECT_EQ(p.r + p.g + p.b, 0);
    EXPECT_EQ(ReadBit15(black, kLayoutRgb555), 0x8000);
    const uint8_t red[2] = {0x00, 0x7C};  // red 31
    p = ReadPixel(red, kLayoutRgb555);
    EXPECT_EQ(p.r, 255);
    EXPECT_EQ(p.g, 0);
}

TEST(PixelIo, WritesEveryLayoutAndNothingForUnknownOnes) {
    uint8_t out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    WritePixel(out, kLayoutBgr, 1, 2, 3, 0);
    EXPECT_EQ(out[0], 3);
    EXPECT_EQ(out[2], 1);
    EXPECT_EQ(out[3], 0xEE) << "the fourth byte is never touched";
    WritePixel(out, kLayoutRgb, 1, 2, 3, 0);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[2], 3);
    WritePixel(out, kLayoutRgb555, 255, 4, 3, 0x8000);
    EXPECT_EQ(ReadWord(out), 0x8000 | (31 << 10) | (1 << 5) | 0);
    EXPECT_EQ(out[2], 3);
    const uint8_t snapshot[4] = {out[0], out[1], out[2], out[3]};
    WritePixel(out, 1, 9, 9, 9, 0);
    WritePixel(out, 5, 9, 9, 9, 0);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), std::vector<uint8_t>(snapshot, snapshot + 4));
}

TEST(PixelIo, FourByteStepNeverTouchesTheFourthByte) {
    std::vector<uint8_t> line = {1, 2, 3, 0xAA, 4, 5, 6, 0xBB, 7, 8, 9, 0xCC};
    const uint8_t* p = line.data();
    int32_t sum = 0;
    for (int i = 0; i < 3; ++i, p = Advance(p, 4)) {
        const Rgb c = ReadPixel(p, kLayoutBgr);
        sum += c.r + c.g + c.b;
    }
    EXPECT_EQ(sum, 45);
    uint8_t* q = line.data();
    for (int i = 0; i < 3; ++i, q = Advance(q, 4)) {
        WritePixel(q, kLayoutBgr, 0, 0, 0, 0);
    }
    EXPECT_EQ(line[3], 0xAA);
    EXPECT_EQ(line[7], 0xBB);
    EXPECT_EQ(line[11], 0xCC);
}

TEST(PixelIo, NegativeStepWalksBackwards) {
    const uint8_t line[9] = {1, 1, 1, 2, 2, 2, 3, 3, 3};
    const uint8_t* p = line + 6;
    std::vector<int32_t> reds;
    for (int i = 0; i < 3; ++i, p = Advance(p, -3)) {
        reds.push_back(ReadPixel(p, kLayoutRgb).r);
    }
    EXPECT_EQ(reds, (std::vector<int32_t>{3, 2, 1}));
}

TEST(Transforms, WhiteAndPureRedRoundTrip) {
    Sample s = ForwardTransform(255, 255, 255);
    EXPECT_EQ(s.y, 255);
    EXPECT_EQ(s.dr, 0);
    EXPECT_EQ(s.db, 0);
    Rgb back = InverseTransform(s.y, s.dr, s.db);
    EXPECT_EQ(back.r + back.g + back.b, 765);

    s = ForwardTransform(255, 0, 0);
    EXPECT_EQ(s.y, 79);
    EXPECT_EQ(s.dr, 176);
    EXPECT_EQ(s.db, -79);
    EXPECT_EQ(GreenFromDifferences(79, 176, -79), -1) << "79 - (880 - 158) / 9";
    back = InverseTransform(s.y, s.dr, s.db);
    EXPECT_EQ(back.r, 255);
    EXPECT_EQ(back.g, 0);
    EXPECT_EQ(back.b, 0);
}

TEST(Transforms, GreenDivisionTruncatesTowardZero) {
    // 5 * -40 + 2 * 60 = -80; -80 / 9 = -8 (not -9).
    EXPECT_EQ(GreenFromDifferences(140, -40, 60), 148);
    // Every grey comes back exactly, and no pixel drifts by more than the
    // truncation of the green division.
    for (int v = 0; v < 256; v += 5) {
        const Sample s = ForwardTransform(v, v, v);
        const Rgb back = InverseTransform(s.y, s.dr, s.db);
        ASSERT_EQ(back.r, v);
        ASSERT_EQ(back.g, v);
        ASSERT_EQ(back.b, v);
    }
}

TEST(Transforms, WorkLinePlanesFollowEachOther) {
    std::vector<int16_t> buffer(3 * 7);
    const WorkLine line = Planes(buffer.data(), 7);
    EXPECT_EQ(line.dr - line.y, 7);
    EXPECT_EQ(line.db - line.y, 14);
    StoreSample(line, 6, {1, 2, 3});
    EXPECT_EQ(buffer[6], 1);
    EXPECT_EQ(buffer[13], 2);
    EXPECT_EQ(buffer[20], 3);
    EXPECT_EQ(WorkLineBytes(7), 42u);
}

}  // namespace
}  // namespace voved
