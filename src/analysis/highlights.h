// The highlight shoulder: where the top of the run histogram says the white
// point search should start, or which level may stand in for white.
#pragma once

#include <cstdint>

namespace voved {

// Reads 256 counts (the runs booked by the mean of R, G and B) and their
// sum, and sets `kneeLevel` (255 when there is none) and `whiteSearchTop`
// (255 unless the top of the histogram moves it). Returns which case
// decided: 0 none, 1 a knee was found, 2 a heavy top, 3 a rising top.
int AnalyseHighlights(const uint32_t* histogram, uint32_t total, uint8_t* kneeLevel,
                      uint8_t* whiteSearchTop);

}  // namespace voved
