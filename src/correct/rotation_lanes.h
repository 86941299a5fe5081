// The matrix and output steps of types 5001 and 5002 for many working
// samples at once.
//
// Every sample is computed, whatever the colour cache or the near-white
// test will decide for its pixel: those decisions stay in the pixel loop,
// which only picks the prepared colour. On x86 the arithmetic runs in SSE2
// lanes (the baseline of both the 64-bit library and the 32-bit DLL); other
// targets compute one sample at a time with PixelCorrection.
#pragma once

#include <cstdint>

#include "correct/correction_core.h"
#include "pixels/pixels.h"

namespace voved {

constexpr uint32_t kRotationBatch = 256;

// The colour of each sample before the black/white decision: the tone-curve
// level, the differences u / 1024 and v / 1024 (16-bit, as the streaming
// steps store them) and the three clamped channels of the inverse
// transform.
struct RotatedBatch {
    int16_t level[kRotationBatch];
    int16_t u[kRotationBatch];
    int16_t v[kRotationBatch];
    uint8_t r[kRotationBatch];
    uint8_t g[kRotationBatch];
    uint8_t b[kRotationBatch];
};

// Fills `batch` for samples first .. first + count - 1 of `in`
// (count <= kRotationBatch).
void PrepareRotatedBatch(const QVContext& context, const ConstWorkLine& in, uint32_t first,
                         uint32_t count, RotatedBatch* batch);

// The output of one prepared sample, as PixelCorrection::Output gives it.
inline Rgb RotatedOutput(const RotatedBatch& batch, uint32_t k, bool fixedCurve) {
    const int16_t level = batch.level[k];
    if (level == kCurveBlack) {
        return kBlack;
    }
    if (level >= kCurveWhite) {
        return kWhite;
    }
    if (fixedCurve) {
        return {kFixedOutputCurve[batch.r[k]], kFixedOutputCurve[batch.g[k]],
                kFixedOutputCurve[batch.b[k]]};
    }
    return {batch.r[k], batch.g[k], batch.b[k]};
}

}  // namespace voved
