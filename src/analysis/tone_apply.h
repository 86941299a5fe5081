// Chooses a curve description from the caller's tone parameter table by the
// measures of the picture, and builds it.
#pragma once

#include <cstdint>

#include "analysis/tone_measure.h"
#include "analysis/tone_table_reader.h"

namespace voved {

// Checks the table, picks a zone by the highlight level, an entry of it by
// the score and a segment of the entry by the shadow share, and builds that
// segment's curve into `toneTable` (256 entries). Returns the index of the
// segment record used; or a non-negative index with `toneTable` unchanged
// when the entry offers no segment for the shadow share; or kToneBadTable,
// kToneNoFit, with `toneTable` unchanged.
int16_t ApplyToneParameters(ToneTableReader& table, QVToneStats* stats, uint8_t* toneTable);

}  // namespace voved
