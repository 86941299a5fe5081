// The tone curves of the colour correction: the 300-entry `toneCurve` that
// maps a (possibly rotated) input level to an output level.
#pragma once

#include <cstdint>

#include "analysis/analysis_record.h"
#include "analysis/rotation.h"
#include "context/context.h"

namespace voved {

// Output level aimed at for a white level: 224 at 92 rising by 35/255 per
// level to 245, and 255 from 245 on.
double TargetWhite(int32_t whiteLevel);

// Rounds half up into 0..255 (254.5 and above give 255, negatives 0).
int16_t RoundToByte(double x);

// The curve for the rotation types: one line, or two joined segments,
// through the black point, the rotated nearest-grey point and the target
// white. The record must hold `neutralLevel` and `rotatedNeutralLevel`.
// When the rotated white point does not lie above the black point the curve
// is left as it was. Returns 0.
int16_t BuildRotationCurve(QVContext* context, const QVAnalysisRecord& record,
                           const Matrix3& rotation, uint8_t whiteSearchTop);

// The plain stretch of [black, white] onto [10, 245], or onto [10, 255] with
// the white level raised to the context's raw white level when that lies
// higher. Writes entries 0..255. Returns 0, or -4 (curve unchanged) when the
// white level does not lie above the black level.
int16_t BuildStretchCurve(QVContext* context, QVAnalysisRecord* record);

}  // namespace voved
