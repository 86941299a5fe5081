// The caller's tone parameter table, read through one bounded view.
//
// The table states its own length L in its first two bytes. The library
// cannot know the size of the caller's buffer, so L is the contract: no byte
// at or beyond L is ever read. Everything else the table says (its counts,
// hence the offsets of its parts, and the types, hence the sizes, of its
// segment records) is checked against L once, before any of it is used.
//
// Layout (Z zones, A entries in all, little-endian length):
//   0  length L (2 bytes)     2  weight     3  lowBound     4  midBound
//   5  Z                      6  entry count of each zone (Z bytes)
//   then the segment count of each entry (A), the limit of each zone (Z),
//   the (scoreLimit, value) pair of each entry (2A), the segment records of
//   all entries in entry order, and last the checksum byte at L - 1.
// A segment record is shareLimit, type and the type's payload.
#pragma once

#include <cstdint>

#include "analysis/tone_decimal.h"

namespace voved {

constexpr uint32_t kToneWeightAt = 2;
constexpr uint32_t kToneLowBoundAt = 3;
constexpr uint32_t kToneMidBoundAt = 4;
constexpr uint32_t kToneZoneCountAt = 5;
constexpr uint32_t kToneEntryCountsAt = 6;
constexpr uint32_t kToneChecksumSize = 1;
// A table without zones: the header and the checksum.
constexpr uint32_t kToneMinLength = kToneEntryCountsAt + kToneChecksumSize;

constexpr uint8_t kSegmentGamma = 1;       // gamma exponent curve, no payload
constexpr uint8_t kSegmentKnee = 2;        // gamma curve above a knee level
constexpr uint8_t kSegmentPolynomial = 3;  // degree-5 polynomial
constexpr int kPolynomialTerms = 6;
constexpr uint32_t kSegmentHeadSize = 2;   // shareLimit, type
constexpr uint32_t kTableDecimalSize = 4;  // 3-byte big-endian mantissa, exponent byte

// Size of a segment record of `type`, head included; 0 for an unknown type.
constexpr uint32_t SegmentRecordSize(uint8_t type) {
    switch (type) {
    case kSegmentGamma:
        return kSegmentHeadSize;
    case kSegmentKnee:
        return kSegmentHeadSize + 1;
    case kSegmentPolynomial:
        return kSegmentHeadSize + kPolynomialTerms * kTableDecimalSize;
    default:
        return 0;
    }
}

class ToneTableReader {
  public:
    // Reads L from the first two bytes of `table` (none for a null table).
    explicit ToneTableReader(const uint8_t* table);

    // The table is long enough for its header and checksum.
    bool IsOpen() const { return length_ >= kToneMinLength; }
    uint32_t Length() const { return length_; }

    // The byte at `offset`; 0 for a byte at or beyond L, which is never read
    // and marks the reader as overrun.
    uint8_t Byte(uint32_t offset);
    // A decimal as stored in the table, 4 bytes at `offset`.
    QVDecimal Decimal(uint32_t offset);
    bool Overrun() const { return overrun_; }

    // The sum of bytes 0 to L-2 modulo 256 equals byte L-1.
    bool ChecksumMatches();

  private:
    const uint8_t* bytes_;
    uint32_t length_;
    bool overrun_ = false;
};

// Where the parts of a table lie, from its header.
struct ToneTableLayout {
    uint32_t zoneCount;     // Z
    uint32_t entryCount;    // A
    uint32_t segmentCount;  // segment records of all entries
    uint32_t segmentCountsAt;
    uint32_t zoneLimitsAt;
    uint32_t entryPairsAt;  // scoreLimit, value
    uint32_t recordsAt;
    uint32_t recordsEnd;  // the checksum byte
};

struct ToneSegmentRecord {
    uint32_t offset;
    uint32_t size;
    uint8_t shareLimit;
    uint8_t type;
};

// Derives the layout and checks the whole table against L: the counts,
// pairs and segment records all lie before the checksum byte and every
// record has a known type. False when the table does not check out.
bool ReadToneTableLayout(ToneTableReader& table, ToneTableLayout* layout);

// The record at `offset`. False when it reaches past the records or its type
// is unknown.
bool ReadSegmentRecord(ToneTableReader& table, const ToneTableLayout& layout, uint32_t offset,
                       ToneSegmentRecord* record);

}  // namespace voved
