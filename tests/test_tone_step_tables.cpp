// The tone parameter table as bytes: the test builder, the bounded reader,
// and tables that do not check out. Every table is handed to the library in
// a heap buffer of exactly its length, so that the address sanitizer
// catches any read past it.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <numeric>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "analysis/tone_step.h"
#include "analysis/tone_table_reader.h"
#include "support/context_access.h"
#include "support/tone_table_builder.h"

namespace voved {
namespace {

using test::BuildToneTable;
using test::ExactBuffer;
using test::ScopedContext;
using test::SealToneTable;
using test::StoredDecimal;
using test::ToneChecksum;
using test::ToneSegment;
using test::ToneTableDesc;

const std::array<StoredDecimal, 6> kShiftedLine = {
    {{-2, -3}, {1, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}}};

// ---- The builder -----------------------------------------------------------

TEST(ToneTableBuilder, LaysOutZonesEntriesAndRecordsInOrder) {
    ToneTableDesc desc{7, 40, 160, {}};
    desc.zones = {
        {100, {{30, 80, {ToneSegment::Gamma(10), ToneSegment::Knee(50, 120)}}}},
        {220, {{90, 150, {ToneSegment::Polynomial(255, kShiftedLine)}}, {101, 60, {}}}},
    };
    std::vector<uint8_t> expected = {
        51,   0,    7,    40,   160, 2,   // length, weight, bounds, zones
        1,    2,                          // entries per zone
        2,    1,    0,                    // segments per entry
        100,  220,                        // zone limits
        30,   80,   90,   150,  101, 60,  // entry pairs
        10,   1,                          // gamma segment
        50,   2,    120,                  // knee segment
        255,  3,                          // polynomial segment
        0xFF, 0xFF, 0xFE, 0xFD,           // -2 e-3
        0,    0,    1,    0,              // 1 e0
        0,    0,    0,    0,    0,   0,  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    expected.back() =
        static_cast<uint8_t>(std::accumulate(expected.begin(), expected.end() - 1, 0u) % 256u);
    EXPECT_EQ(BuildToneTable(desc), expected);
}

TEST(ToneTableBuilder, SealingRestoresLengthAndChecksum) {
    std::vector<uint8_t> table = BuildToneTable({1, 2, 3, {}});
    ASSERT_EQ(table.size(), 7u);
    EXPECT_EQ(table.back(), (7 + 1 + 2 + 3) % 256);
    table.push_back(0);
    table[4] = 200;
    SealToneTable(table);
    EXPECT_EQ(table[0], 8);
    EXPECT_EQ(table[1], 0);
    EXPECT_EQ(table.back(), ToneChecksum(table));
    // The old checksum (13) is now a byte of the table.
    EXPECT_EQ(table.back(), (8 + 1 + 2 + 200 + 0 + 13) % 256);
}

// ---- The reader and the layout ---------------------------------------------

TEST(ToneTableReader, NeverReadsAtOrBeyondTheLength) {
    const ExactBuffer bytes(BuildToneTable({1, 2, 3, {}}));
    ToneTableReader table(bytes.data());
    ASSERT_TRUE(table.IsOpen());
    EXPECT_EQ(table.Length(), 7u);
    EXPECT_EQ(table.Byte(4), 3);
    EXPECT_FALSE(table.Overrun());
    EXPECT_EQ(table.Byte(6), bytes.data()[6]);
    EXPECT_FALSE(table.Overrun());
    EXPECT_EQ(table.Byte(7), 0);
    EXPECT_TRUE(table.Overrun());
    ToneTableReader decimals(bytes.data());
    decimals.Decimal(4);  // its last byte would lie at 7
    EXPECT_TRUE(decimals.Overrun());
}

TEST(ToneTableReader, DecimalsAreSignedBigEndian) {
    std::vector<uint8_t> raw = {13,   0,    0x80, 0x00, 0x00, 0x81, 0x7F,
                                0xFF, 0xFF, 0x7F, 0x01, 0x02, 0};
    SealToneTable(raw);
    const ExactBuffer bytes(raw);
    ToneTableReader table(bytes.data());
    const QVDecimal lowest = table.Decimal(2);
    EXPECT_EQ(lowest.mantissa, -8388608);
    EXPECT_EQ(lowest.exponent, -127);
    const QVDecimal highest = table.Decimal(6);
    EXPECT_EQ(highest.mantissa, 8388607);
    EXPECT_EQ(highest.exponent, 127);
    EXPECT_FALSE(table.Overrun());
}

TEST(ToneTableReader, LayoutComesFromTheHeader) {
    ToneTableDesc desc{7, 40, 160, {}};
    desc.zones = {
        {100, {{30, 80, {ToneSegment::Gamma(10), ToneSegment::Knee(50, 120)}}}},
        {220, {{90, 150, {ToneSegment::Polynomial(255, kShiftedLine)}}, {101, 60, {}}}},
    };
    const ExactBuffer bytes(BuildToneTable(desc));
    ToneTableReader table(bytes.data());
    ToneTableLayout layout{};
    ASSERT_TRUE(ReadToneTableLayout(table, &layout));
    EXPECT_EQ(layout.zoneCount, 2u);
    EXPECT_EQ(layout.entryCount, 3u);
    EXPECT_EQ(layout.segmentCount, 3u);
    EXPECT_EQ(layout.segmentCountsAt, 8u);
    EXPECT_EQ(layout.zoneLimitsAt, 11u);
    EXPECT_EQ(layout.entryPairsAt, 13u);
    EXPECT_EQ(layout.recordsAt, 19u);
    EXPECT_EQ(layout.recordsEnd, 50u);
    EXPECT_EQ(SegmentRecordSize(1), 2u);
    EXPECT_EQ(SegmentRecordSize(2), 3u);
    EXPECT_EQ(SegmentRecordSize(3), 26u);
    EXPECT_EQ(SegmentRecordSize(0), 0u);
    EXPECT_EQ(SegmentRecordSize(4), 0u);
}

// ---- Tables that do not check out ------------------------------------------

constexpr uint8_t kMarker = 0x5A;

// A picture that walks most of the rich table below: highlight 180 picks
// zone 1, whose knee segment is the last record.
class MalformedTables : public ::testing::Test {
  protected:
    MalformedTables() {
        ctx->levelStats[20].runByLevel = 200;
        ctx->levelStats[100].runByLevel = 300;
        ctx->levelStats[180].runByLevel = 500;
        ctx->mode = QV_MODE_BYTE_TABLE;
    }
    static ToneTableDesc Rich() {
        ToneTableDesc desc{10, 50, 150, {}};
        desc.zones = {
            {120,
             {{40, 90, {ToneSegment::Gamma(10), ToneSegment::Knee(20, 60)}},
              {101, 110, {ToneSegment::Polynomial(30, kShiftedLine), ToneSegment::Gamma(255)}}}},
            {230, {{101, 130, {ToneSegment::Knee(255, 100)}}}},
        };
        return desc;
    }
    // Runs the step on exactly these bytes.
    int16_t Run(const std::vector<uint8_t>& bytes) {
        const ExactBuffer table(bytes.size() < 2 ? std::vector<uint8_t>(2, 0) : bytes);
        ctx->toneParameters = table.data();
        std::fill(std::begin(ctx->toneTable), std::end(ctx->toneTable), kMarker);
        const int16_t result = ToneStep(&ctx.context(), -5);
        ctx->toneParameters = nullptr;
        return result;
    }
    bool ToneTableUnchanged() {
        return std::all_of(std::begin(ctx->toneTable), std::end(ctx->toneTable),
                           [](uint8_t v) { return v == kMarker; });
    }
    ScopedContext ctx;
};

TEST_F(MalformedTables, TheRichTableItselfChecksOut) {
    EXPECT_EQ(Run(BuildToneTable(Rich())), 4);
    EXPECT_FALSE(ToneTableUnchanged());
}

TEST_F(MalformedTables, TruncatedAtEveryLength) {
    const std::vector<uint8_t> whole = BuildToneTable(Rich());
    for (size_t length = 2; length < whole.size(); ++length) {
        std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<long>(length));
        SealToneTable(cut);  // the length and checksum tell the truth
        EXPECT_EQ(Run(cut), kToneBadTable) << "length " << length;
        ASSERT_TRUE(ToneTableUnchanged()) << "length " << length;
        cut[0] = static_cast<uint8_t>(length);  // only the length is cut
        cut[1] = 0;
        std::copy(whole.begin() + static_cast<long>(length) - 1,
                  whole.begin() + static_cast<long>(length), cut.end() - 1);
        EXPECT_EQ(Run(cut), kToneBadTable) << "length " << length;
        ASSERT_TRUE(ToneTableUnchanged()) << "length " << length;
    }
}

TEST_F(MalformedTables, LengthsBelowTheSmallestHeader) {
    for (uint8_t length = 0; length < 7; ++length) {
        std::vector<uint8_t> bytes(std::max<size_t>(length, 2), 0);
        bytes[0] = length;
        EXPECT_EQ(Run(bytes), kToneBadTable) << "length " << int{length};
    }
    EXPECT_TRUE(ToneTableUnchanged());
}

TEST_F(MalformedTables, CountsThatClaimMoreThanTheTableHolds) {
    const std::vector<uint8_t> whole = BuildToneTable(Rich());
    const size_t zoneCountAt = 5;
    const size_t firstEntryCountAt = 6;
    const size_t lastSegmentCountAt = 6 + 2 + 2;
    for (size_t at : {zoneCountAt, firstEntryCountAt, lastSegmentCountAt}) {
        for (uint8_t lie : {uint8_t{3}, uint8_t{9}, uint8_t{100}}) {
            std::vector<uint8_t> bytes = whole;
            bytes[at] = static_cast<uint8_t>(bytes[at] + lie);
            SealToneTable(bytes);
            EXPECT_EQ(Run(bytes), kToneBadTable) << "byte " << at << " raised by " << int{lie};
            ASSERT_TRUE(ToneTableUnchanged());
        }
    }
}

TEST_F(MalformedTables, OffsetsFarBeyondTheLength) {
    // 255 zones of 255 entries each: the entries alone would need 195 kB.
    std::vector<uint8_t> bytes(600, 255);
    SealToneTable(bytes);
    EXPECT_EQ(Run(bytes), kToneBadTable);
    // The largest length there is, over the same lie.
    std::vector<uint8_t> largest(65535, 255);
    SealToneTable(largest);
    EXPECT_EQ(Run(largest), kToneBadTable);
    EXPECT_TRUE(ToneTableUnchanged());
}

TEST_F(MalformedTables, RecordsThatReachIntoTheChecksum) {
    ToneTableDesc desc = Rich();
    // A knee record without its knee, and a polynomial one short of a byte.
    desc.zones[1].entries[0].segments = {ToneSegment::Raw(255, 2, {})};
    EXPECT_EQ(Run(BuildToneTable(desc)), kToneBadTable);
    desc.zones[1].entries[0].segments = {ToneSegment::Raw(255, 3, std::vector<uint8_t>(23))};
    EXPECT_EQ(Run(BuildToneTable(desc)), kToneBadTable);
    EXPECT_TRUE(ToneTableUnchanged());
}

TEST_F(MalformedTables, UnknownRecordTypesAnywhere) {
    for (uint8_t type : {uint8_t{0}, uint8_t{4}, uint8_t{255}}) {
        // The record chosen, one walked past, and one the picture never reaches.
        ToneTableDesc chosen = Rich();
        chosen.zones[1].entries[0].segments = {ToneSegment::Raw(255, type, {100})};
        EXPECT_EQ(Run(BuildToneTable(chosen)), kToneBadTable) << int{type};
        ToneTableDesc walked = Rich();
        walked.zones[0].entries[1].segments[1] = ToneSegment::Raw(255, type, {});
        EXPECT_EQ(Run(BuildToneTable(walked)), kToneBadTable) << int{type};
        ToneTableDesc unreached = Rich();
        unreached.zones.push_back({250, {{101, 90, {ToneSegment::Raw(255, type, {})}}}});
        EXPECT_EQ(Run(BuildToneTable(unreached)), kToneBadTable) << int{type};
    }
    EXPECT_TRUE(ToneTableUnchanged());
}

TEST_F(MalformedTables, RandomlyDamagedTablesNeverFailOtherwise) {
    // Damaged tables, resealed or not: each either checks out and builds
    // (or declines to build) a curve, or fails as a bad table or a table
    // without a fit. Under the address sanitizer this is also the proof
    // that no damage makes the step read outside the table.
    const std::vector<uint8_t> whole = BuildToneTable(Rich());
    std::mt19937 random(20240611u);
    std::uniform_int_distribution<size_t> place(2, whole.size() - 1);
    std::uniform_int_distribution<int> value(0, 255);
    int built = 0;
    int rejected = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        std::vector<uint8_t> bytes = whole;
        const int damage = 1 + trial % 3;
        for (int d = 0; d < damage; ++d) {
            bytes[place(random)] = static_cast<uint8_t>(value(random));
        }
        if (trial % 4 != 0) {
            SealToneTable(bytes);
        }
        const int16_t result = Run(bytes);
        ASSERT_TRUE(result >= 0 || result == kToneBadTable || result == kToneNoFit)
            << "trial " << trial << " gave " << result;
        if (result == kToneBadTable || result == kToneNoFit) {
            ASSERT_TRUE(ToneTableUnchanged()) << "trial " << trial;
            ++rejected;
        } else {
            ++built;
        }
    }
    EXPECT_GT(built, 0);
    EXPECT_GT(rejected, 0);
}

}  // namespace
}  // namespace voved
