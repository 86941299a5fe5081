// The correction analysis: from the statistics of a context to its
// correction parameters.
#pragma once

#include <cstdint>

#include "context/context.h"

namespace voved {

// Derives the black and white points, the shadow cast, the saturation gain,
// the scene class with its colour matrix and tone curve, and (on request)
// the tone table, for a context that passed validation. Returns 0, -1, -3,
// -4 or -5 as QVCalculate reports them.
int16_t CalculateCorrection(QVContext* context);

// The result of the analysis from the classification status (0 or -5) and
// the tone step's result (-7 when it did not run), with the mode as it now
// stands. A colour correction that was asked for and not found takes the
// colour and tone bits out of `mode` and `correctionMask`.
int16_t FinishAnalysis(QVContext* context, int16_t status, int16_t toneResult);

}  // namespace voved
