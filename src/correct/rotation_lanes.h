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
#include "platform/plain_paths.h"

namespace voved {

constexpr uint32_t kRotationBatch = 256;

// What the matrix and output steps make of each sample: the tone-curve
// level, the differences u / 1024 and v / 1024 (16-bit, as the streaming
// steps store them) and the colour: black for L = 0, white from L = 300,
// otherwise the three clamped channels of the inverse transform (before
// the fixed output curve of type 5002).
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

#if defined(VOVED_HAVE_AVX2_PATH)
// The AVX2 form: prepares the leading multiple of 16 samples and returns
// how many. Only for processors with AVX2.
uint32_t PrepareRotatedLanesAvx2(const QVContext& context, const ConstWorkLine& in, uint32_t first,
                                 uint32_t count, RotatedBatch* batch);
#endif

// The output of one prepared sample, as PixelCorrection::Output gives it.
inline Rgb RotatedOutput(const RotatedBatch& batch, uint32_t k, bool fixedCurve) {
    const Rgb c = {batch.r[k], batch.g[k], batch.b[k]};
    if (!fixedCurve) {
        return c;
    }
    const int16_t level = batch.level[k];
    if (level == kCurveBlack || level >= kCurveWhite) {
        return c;
    }
    return {kFixedOutputCurve[c.r], kFixedOutputCurve[c.g], kFixedOutputCurve[c.b]};
}

}  // namespace voved
