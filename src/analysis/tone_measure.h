// The measures of the parameter-table tone step, taken on a 256-entry copy of
// the luminance run counts.
#pragma once

#include <cstdint>

#include "analysis/tone_decimal.h"
#include "analysis/tone_table_reader.h"
#include "context/context.h"

namespace voved {

// What the step measured and chose; zero-initialised for each step.
struct QVToneStats {
    uint16_t gamma;      // value of the chosen entry pair (gamma x 100); 0 when none
    uint16_t knee;       // knee level of a type 2 segment
    uint16_t highlight;  // highest level at which the count from 255 down exceeds 1 percent
    uint16_t lowBound;   // from the table header
    uint16_t midBound;
    uint16_t weight;
    uint16_t lowShare;  // shadow count x 10000 / total
    uint16_t midShare;  // mid-tone count x 10000 / total
    uint16_t score;     // (mid + 0.1 x weight x shadow) x 10000 / total, low 16 bits
    QVDecimal coefficients[kPolynomialTerms];
};

// The run counts of the levels blackLevel..whiteLevel spread over 0..255,
// with the gaps between them interpolated. Without such a range (white not
// above black) the counts are copied as they stand.
void StretchHistogram(const QVContext& context, uint32_t* counts);

// The run counts of the levels as they stand.
void CopyRunCounts(const QVContext& context, uint32_t* counts);

// Lowers isolated spikes among the levels 230..255, unless the seven largest
// of them hold 30 percent of all counts.
void ClipHighlightSpikes(uint32_t* counts);

// Fills the header copies, highlight, shares and score of `stats`. The table
// must be open (its header is read).
void MeasureTones(const uint32_t* counts, ToneTableReader& table, QVToneStats* stats);

}  // namespace voved
