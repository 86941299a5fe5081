// Line steps shared by the one-shot correction and the streaming conversion.
#include "correct/shared_steps.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "correct/byte_runs.h"
#include "correct/fixed_output_curve.h"
#include "correct/pixel_lanes.h"
#include "pixels/layout_dispatch.h"
#include "pixels/pixels.h"
#include "platform/plain_paths.h"

namespace voved {

namespace {

// Eight bytes read, then eight written: independent lookups the processor
// can overlap. Equal to the byte-by-byte map when source and destination
// are the same bytes or do not overlap at all.
constexpr uint32_t kMapGroup = 8;

void MapGroup(const uint8_t* table, const uint8_t* from, uint8_t* to) {
    uint8_t mapped[kMapGroup];
    for (uint32_t k = 0; k < kMapGroup; ++k) {
        mapped[k] = table[from[k]];
    }
    std::memcpy(to, mapped, kMapGroup);
}

bool SameOrApart(const uint8_t* from, const uint8_t* to, uint32_t bytes) {
    const auto a = reinterpret_cast<std::uintptr_t>(from);
    const auto b = reinterpret_cast<std::uintptr_t>(to);
    return a == b || a + bytes <= b || b + bytes <= a;
}

}  // namespace

int16_t PixelsToWorkLine(const uint8_t* source, int16_t* line, uint16_t count, int16_t step,
                         int16_t layout) {
    const WorkLine planes = Planes(line, count);
    const auto convert = [&](auto code) {
        uint32_t i = 0;
#if defined(VOVED_HAVE_AVX2_PATH)
        if (!UsePlainPaths() && (code == kLayoutBgr || code == kLayoutRgb) && HasAvx2()) {
            i = PixelsToWorkLineAvx2(source, planes, count, step, code == kLayoutBgr);
            source += static_cast<std::ptrdiff_t>(step) * i;
        }
#endif
        for (; i < count; ++i) {
            const Rgb c = ReadPixel(source, code);
            StoreSample(planes, i, ForwardTransform(c.r, c.g, c.b));
            source = Advance(source, step);
        }
    };
    // The plain form reads the layout at every pixel.
    if (UsePlainPaths()) {
        convert(layout);
    } else {
        WithLayout(layout, convert);
    }
    return 0;
}

int16_t BuildFixedOutputCurve(uint8_t* curve) {
    std::memcpy(curve, kFixedOutputCurve.data(), kFixedOutputCurve.size());
    return 0;
}

void ApplyToneTable(const QVContext* context, const uint8_t* source, uint8_t* destination,
                    uint16_t pixelCount, int16_t step) {
    const uint8_t* table = context->toneTable;
    // Each byte is read before it is written, so the map works in place.
    ForEachRunSpan(pixelCount, step, [&](std::ptrdiff_t offset, uint32_t bytes) {
        const uint8_t* from = source + offset;
        uint8_t* to = destination + offset;
        uint32_t i = 0;
        if (!UsePlainPaths() && SameOrApart(from, to, bytes)) {
#if defined(VOVED_HAVE_AVX2_PATH)
            if (HasAvx2()) {
                i = MapBytesAvx2(table, from, to, bytes);
            }
#endif
            for (; i + kMapGroup <= bytes; i += kMapGroup) {
                MapGroup(table, from + i, to + i);
            }
        }
        for (; i < bytes; ++i) {
            to[i] = table[from[i]];
        }
    });
}

long double SineExtended(double radians) {
    return std::sin(static_cast<long double>(radians));
}

long double CosineExtended(double radians) {
    return std::cos(static_cast<long double>(radians));
}

}  // namespace voved
