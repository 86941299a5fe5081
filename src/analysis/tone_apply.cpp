#include "analysis/tone_apply.h"

#include <cstring>

#include "analysis/tone_step.h"
#include "analysis/tone_step_curves.h"

namespace voved {

namespace {

constexpr uint32_t kEntryPairSize = 2;  // scoreLimit, value
constexpr uint16_t kLimitScale = 100;   // score and share limits are stored / 100

struct ZoneEntries {
    uint32_t first;  // entries are numbered across the zones in order
    uint32_t count;
};

// The first zone whose limit lies above the highlight level.
bool ChooseZone(ToneTableReader& table, const ToneTableLayout& layout, uint16_t highlight,
                ZoneEntries* zone) {
    uint32_t first = 0;
    for (uint32_t z = 0; z < layout.zoneCount; ++z) {
        const uint32_t count = table.Byte(kToneEntryCountsAt + z);
        if (highlight < table.Byte(layout.zoneLimitsAt + z)) {
            *zone = {first, count};
            return true;
        }
        first += count;
    }
    return false;
}

// The first entry of the zone whose score limit lies above the score, which
// sets the gamma; without one, the entry just past the zone and no gamma.
uint32_t ChooseEntry(ToneTableReader& table, const ToneTableLayout& layout, ZoneEntries zone,
                     QVToneStats* stats) {
    const uint32_t scoreLevel = stats->score / kLimitScale;
    for (uint32_t entry = zone.first; entry < zone.first + zone.count; ++entry) {
        const uint32_t pairAt = layout.entryPairsAt + kEntryPairSize * entry;
        if (table.Byte(pairAt) > scoreLevel) {
            stats->gamma = table.Byte(pairAt + 1);
            return entry;
        }
    }
    return zone.first + zone.count;
}

// Segment records of an entry; an entry past the last has none.
uint32_t SegmentsOf(ToneTableReader& table, const ToneTableLayout& layout, uint32_t entry) {
    return entry < layout.entryCount ? table.Byte(layout.segmentCountsAt + entry) : 0u;
}

// Walks the records of the entries before `entry`: `offset` ends at the
// entry's first record and `index` counts the records passed.
bool SkipToEntry(ToneTableReader& table, const ToneTableLayout& layout, uint32_t entry,
                 uint32_t* offset, uint32_t* index) {
    *offset = layout.recordsAt;
    *index = 0;
    for (uint32_t earlier = 0; earlier < entry; ++earlier) {
        const uint32_t segments = SegmentsOf(table, layout, earlier);
        for (uint32_t s = 0; s < segments; ++s) {
            ToneSegmentRecord record{};
            if (!ReadSegmentRecord(table, layout, *offset, &record)) {
                return false;
            }
            *offset += record.size;
            ++*index;
        }
    }
    return true;
}

int16_t BuildSegmentCurve(ToneTableReader& table, const ToneSegmentRecord& record,
                          QVToneStats* stats, uint8_t* curve) {
    const uint32_t payloadAt = record.offset + kSegmentHeadSize;
    switch (record.type) {
    case kSegmentGamma:
        return GammaExponentCurve(stats->gamma, curve);
    case kSegmentKnee:
        stats->knee = table.Byte(payloadAt);
        return KneeCurve(stats->gamma, stats->knee, curve);
    case kSegmentPolynomial:
        for (int term = 0; term < kPolynomialTerms; ++term) {
            stats->coefficients[term] =
                table.Decimal(payloadAt + kTableDecimalSize * static_cast<uint32_t>(term));
        }
        PolynomialCurve(stats->coefficients, curve);
        return 0;
    default:
        return kToneBadTable;
    }
}

}  // namespace

int16_t ApplyToneParameters(ToneTableReader& table, QVToneStats* stats, uint8_t* toneTable) {
    if (!table.ChecksumMatches()) {
        return kToneBadTable;
    }
    ToneTableLayout layout{};
    if (!ReadToneTableLayout(table, &layout)) {
        return kToneBadTable;
    }
    ZoneEntries zone{};
    if (!ChooseZone(table, layout, stats->highlight, &zone)) {
        return kToneNoFit;
    }
    const uint32_t entry = ChooseEntry(table, layout, zone, stats);
    uint32_t offset = 0;
    uint32_t index = 0;
    if (!SkipToEntry(table, layout, entry, &offset, &index)) {
        return kToneBadTable;
    }
    // The layout holds every record within L, so an index fits 15 bits.
    const uint32_t segments = SegmentsOf(table, layout, entry);
    const uint32_t shareLevel = stats->lowShare / kLimitScale;
    for (uint32_t s = 0; s < segments; ++s, ++index) {
        ToneSegmentRecord record{};
        if (!ReadSegmentRecord(table, layout, offset, &record)) {
            return kToneBadTable;
        }
        if (record.shareLimit > shareLevel) {
            uint8_t curve[kToneTableSize];
            const int16_t built = BuildSegmentCurve(table, record, stats, curve);
            if (built < 0) {
                return built;
            }
            if (table.Overrun()) {
                return kToneBadTable;
            }
            std::memcpy(toneTable, curve, sizeof curve);
            return static_cast<int16_t>(index);
        }
        offset += record.size;
    }
    return static_cast<int16_t>(index);
}

}  // namespace voved
