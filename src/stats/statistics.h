// Colour statistics of a picture, gathered run by run into the context.
#pragma once

#include <cstdint>

#include "context/context.h"

namespace voved {

// Adds `count` pixels of a known layout, `step` bytes apart, to the
// context's level, radius and hue statistics, and counts the call. `pixels`
// may be null only when `count` is 0.
void AccumulateStatistics(QVContext* context, const uint8_t* pixels, uint16_t count, int16_t step,
                          int16_t layout);

// Adds every level counter and hue count of `source` to `target`, each
// wrapping at 32 bits. Nothing else of either context changes.
void MergeStatistics(QVContext* target, const QVContext* source);

}  // namespace voved
