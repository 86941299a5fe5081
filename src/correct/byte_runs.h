// Byte-wise passes over a whole pixel run: the copy of the one-shot
// correction and the tone-table map.
//
// With a positive step a run is one block of count x step bytes from its
// first pixel (a 32-bit count: a line of 65535 four-byte pixels is longer
// than 64 KiB). With a negative step the run walks backwards, and each pixel
// covers |step| bytes from its own address; that touches exactly the bytes
// the block would for the mirrored positive step, and none outside the run.
#pragma once

#include <cstddef>
#include <cstdint>

namespace voved {

// Calls visit(offset, bytes) for each span of the run, offsets relative to
// the first pixel, in increasing address order within a span. An empty run
// (no pixel, or a step of 0) has no span, so its pointers are never used: a
// caller may pass a null source for a line of no pixels.
template <class Visit>
void ForEachRunSpan(uint16_t count, int16_t step, Visit visit) {
    if (step >= 0) {
        const uint32_t bytes = uint32_t{count} * static_cast<uint32_t>(step);
        if (bytes != 0) {
            visit(std::ptrdiff_t{0}, bytes);
        }
        return;
    }
    const uint32_t width = static_cast<uint32_t>(-static_cast<int32_t>(step));
    for (uint32_t j = 0; j < count; ++j) {
        visit(-static_cast<std::ptrdiff_t>(j) * static_cast<std::ptrdiff_t>(width), width);
    }
}

}  // namespace voved
