// The inverse transform for many working samples at once.
//
// On x86 the samples run in SSE2 lanes of 16 bits: y + dR, y + dB and the
// green term wrap there exactly as their 16-bit clamps read them, and
// (5 dR + 2 dB) / 9 is a multiply-high with a correction for negative
// values, exact whenever 5 dR + 2 dB fits in 16 bits. A group of samples
// whose differences do not fit, and every target without SSE2, computes
// with InverseTransform one sample at a time.
#pragma once

#include <cstdint>

#include "pixels/pixels.h"

namespace voved {

constexpr uint32_t kChannelBatch = 256;

// The clamped channels of samples first .. first + count - 1 of `in`
// (count <= kChannelBatch).
struct ChannelBatch {
    uint8_t r[kChannelBatch];
    uint8_t g[kChannelBatch];
    uint8_t b[kChannelBatch];
};
void InverseTransformBatch(const ConstWorkLine& in, uint32_t first, uint32_t count,
                           ChannelBatch* out);

}  // namespace voved
