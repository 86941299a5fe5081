#include "analysis/tone_table_reader.h"

namespace voved {

namespace {

// A 24-bit two's-complement mantissa, most significant byte first.
int32_t SignedMantissa24(uint8_t high, uint8_t middle, uint8_t low) {
    const int32_t raw = (int32_t{high} << 16) | (int32_t{middle} << 8) | int32_t{low};
    return (raw & 0x800000) != 0 ? raw - 0x1000000 : raw;
}

int16_t SignedByte(uint8_t byte) {
    return static_cast<int16_t>(byte >= 0x80u ? int32_t{byte} - 0x100 : int32_t{byte});
}

// Sum of `count` bytes from `offset`.
uint32_t SumBytes(ToneTableReader& table, uint32_t offset, uint32_t count) {
    uint32_t sum = 0;
    for (uint32_t i = 0; i < count; ++i) {
        sum += table.Byte(offset + i);
    }
    return sum;
}

}  // namespace

ToneTableReader::ToneTableReader(const uint8_t* table)
    : bytes_(table),
      length_(table == nullptr ? 0u : uint32_t{table[0]} | (uint32_t{table[1]} << 8)) {}

uint8_t ToneTableReader::Byte(uint32_t offset) {
    if (offset >= length_) {
        overrun_ = true;
        return 0;
    }
    return bytes_[offset];
}

QVDecimal ToneTableReader::Decimal(uint32_t offset) {
    const uint8_t high = Byte(offset);
    const uint8_t middle = Byte(offset + 1);
    const uint8_t low = Byte(offset + 2);
    const uint8_t exponent = Byte(offset + 3);
    return {SignedMantissa24(high, middle, low), SignedByte(exponent)};
}

bool ToneTableReader::ChecksumMatches() {
    if (!IsOpen()) {
        return false;
    }
    const uint32_t checksumAt = length_ - kToneChecksumSize;
    return (SumBytes(*this, 0, checksumAt) & 0xFFu) == Byte(checksumAt);
}

bool ReadSegmentRecord(ToneTableReader& table, const ToneTableLayout& layout, uint32_t offset,
                       ToneSegmentRecord* record) {
    if (offset < layout.recordsAt || offset > layout.recordsEnd ||
        layout.recordsEnd - offset < kSegmentHeadSize) {
        return false;
    }
    record->offset = offset;
    record->shareLimit = table.Byte(offset);
    record->type = table.Byte(offset + 1);
    record->size = SegmentRecordSize(record->type);
    return record->size != 0 && record->size <= layout.recordsEnd - offset;
}

bool ReadToneTableLayout(ToneTableReader& table, ToneTableLayout* layout) {
    if (!table.IsOpen()) {
        return false;
    }
    ToneTableLayout parts{};
    parts.recordsEnd = table.Length() - kToneChecksumSize;
    parts.zoneCount = table.Byte(kToneZoneCountAt);
    parts.segmentCountsAt = kToneEntryCountsAt + parts.zoneCount;
    if (parts.segmentCountsAt > parts.recordsEnd) {
        return false;
    }
    parts.entryCount = SumBytes(table, kToneEntryCountsAt, parts.zoneCount);
    parts.zoneLimitsAt = parts.segmentCountsAt + parts.entryCount;
    parts.entryPairsAt = parts.zoneLimitsAt + parts.zoneCount;
    parts.recordsAt = parts.entryPairsAt + 2 * parts.entryCount;
    if (parts.recordsAt > parts.recordsEnd) {
        return false;
    }
    parts.segmentCount = SumBytes(table, parts.segmentCountsAt, parts.entryCount);

    // Every record must be known and in place, also those that a given
    // picture would never reach: a table checks out or it does not.
    uint32_t offset = parts.recordsAt;
    for (uint32_t i = 0; i < parts.segmentCount; ++i) {
        ToneSegmentRecord record{};
        if (!ReadSegmentRecord(table, parts, offset, &record)) {
            return false;
        }
        offset += record.size;
    }
    if (table.Overrun()) {
        return false;
    }
    *layout = parts;
    return true;
}

}  // namespace voved
