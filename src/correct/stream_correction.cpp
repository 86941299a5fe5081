// The colour correction as two stateless line steps of the streaming
// conversion: no history, no colour cache; the arithmetic is that of the
// one-shot correction (correct/correction_core.h).
#include "correct/stream_correction.h"

#include "correct/correction_core.h"
#include "correct/pixel_lanes.h"
#include "correct/rotation_lanes.h"
#include "pixels/layout_dispatch.h"
#include "pixels/pixels.h"
#include "platform/plain_paths.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace voved {

namespace {

int16_t CheckStep(const QVContext* context, int16_t layout) {
    const int16_t status = CheckDerived(context);
    if (status != QV_RESULT_OK) {
        return status;
    }
    return IsKnownLayout(layout) ? QV_RESULT_OK : QV_RESULT_NOT_DERIVED;
}

// Types 5001 and 5002: the matrix terms stored as a working sample, the
// differences already scaled back; L is kept as it is (type 5002: through
// the fixed output curve), so 0 and 300 are not turned into black or white.
Sample RotatedSample(const PixelCorrection& core, const Rgb& c) {
    if (c.r + c.g + c.b > kNearWhiteSum) {
        return {kNearWhiteLuma, 0, 0};
    }
    const Sample in = ForwardTransform(c.r, c.g, c.b);
    const MatrixTerms t = core.Matrix(in.y, in.dr, in.db);
    const int16_t y =
        core.UsesFixedCurve() ? int16_t{kFixedOutputCurve[Limit(t.level, 0, 255)]} : t.level;
    return {y, s16(AsrInt(t.u, kFixedShift)), s16(AsrInt(t.v, kFixedShift))};
}

// Every other type: the whole curve values of the three channels, then the
// forward transform of those.
Sample CurvedSample(const PixelCorrection& core, const Rgb& c) {
    const int32_t r = core.Curve(c.r);
    const int32_t g = core.Curve(c.g);
    const int32_t b = core.Curve(c.b);
    const int16_t y = s16(AsrInt(5 * r + 9 * g + 2 * b, 4));
    return {y, s16(r - y), s16(b - y)};
}

// Stores samples k .. of a prepared batch at `first` + k of the planes: the
// batch's level and differences, or near white where white[k]; the level
// through the fixed output curve when `fixedCurve`.
void StoreRotatedSamples(const RotatedBatch& batch, const bool* white, bool fixedCurve,
                         const WorkLine& planes, uint32_t first, uint32_t k, uint32_t count) {
    for (; k < count; ++k) {
        const int16_t level = batch.level[k];
        const int16_t y = fixedCurve ? int16_t{kFixedOutputCurve[Limit(level, 0, 255)]} : level;
        StoreSample(planes, first + k,
                    white[k] ? Sample{kNearWhiteLuma, 0, 0} : Sample{y, batch.u[k], batch.v[k]});
    }
}

#if defined(__SSE2__)
// The same without the curve, eight samples at a time; returns where it
// stopped.
uint32_t StoreRotatedLanes(const RotatedBatch& batch, const bool* white, const WorkLine& planes,
                           uint32_t first, uint32_t count) {
    constexpr uint32_t kLanes = 8;
    const auto load = [](const int16_t* p) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    };
    const auto store = [](int16_t* p, __m128i v) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
    };
    uint32_t k = 0;
    for (; k + kLanes <= count; k += kLanes) {
        // The flags are bytes of 0 or 1: widened and negated, all ones where white.
        const __m128i flags = _mm_unpacklo_epi8(
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(white + k)), _mm_setzero_si128());
        const __m128i keep = _mm_cmpeq_epi16(flags, _mm_setzero_si128());
        const __m128i whiteLevel = _mm_andnot_si128(keep, _mm_set1_epi16(kNearWhiteLuma));
        const uint32_t i = first + k;
        store(planes.y + i, _mm_or_si128(_mm_and_si128(keep, load(batch.level + k)), whiteLevel));
        store(planes.dr + i, _mm_and_si128(keep, load(batch.u + k)));
        store(planes.db + i, _mm_and_si128(keep, load(batch.v + k)));
    }
    return k;
}
#endif

// Types 5001 and 5002 with the matrix prepared a batch at a time: the
// forward transform goes into the working line first, the matrix reads it
// from there, and the terms replace it.
template <class Layout>
void RotatedToWorkLine(const QVContext& context, const uint8_t* source, const WorkLine& planes,
                       uint32_t count, int16_t step, Layout code) {
    const bool fixedCurve = context.correctionType == kTypeBrightRotation;
    const ConstWorkLine in = {planes.y, planes.dr, planes.db};
    RotatedBatch batch;
    bool white[kRotationBatch];
    for (uint32_t first = 0; first < count; first += kRotationBatch) {
        const uint32_t n = count - first < kRotationBatch ? count - first : kRotationBatch;
        uint32_t k = 0;
#if defined(VOVED_HAVE_AVX2_PATH)
        if ((code == kLayoutBgr || code == kLayoutRgb) && HasAvx2()) {
            const WorkLine batchPlanes = {planes.y + first, planes.dr + first, planes.db + first};
            k = PixelsToWorkLineAvx2(source, batchPlanes, n, step, code == kLayoutBgr, white);
            source += static_cast<std::ptrdiff_t>(step) * k;
        }
#endif
        for (; k < n; ++k) {
            const Rgb c = ReadPixel(source, code);
            white[k] = c.r + c.g + c.b > kNearWhiteSum;
            StoreSample(planes, first + k, ForwardTransform(c.r, c.g, c.b));
            source = Advance(source, step);
        }
        PrepareRotatedBatch(context, in, first, n, &batch);
        k = 0;
#if defined(__SSE2__)
        if (!fixedCurve) {
            k = StoreRotatedLanes(batch, white, planes, first, n);
        }
#endif
        StoreRotatedSamples(batch, white, fixedCurve, planes, first, k, n);
    }
}

// The way back for types 5001 and 5002, a batch at a time.
template <class Layout>
void RotatedFromWorkLine(const QVContext& context, const uint8_t* source, uint8_t* destination,
                         const ConstWorkLine& planes, uint32_t count, int16_t step, Layout code) {
    const bool fixedCurve = context.correctionType == kTypeBrightRotation;
    RotatedBatch batch;
    for (uint32_t first = 0; first < count; first += kRotationBatch) {
        const uint32_t n = count - first < kRotationBatch ? count - first : kRotationBatch;
        PrepareRotatedBatch(context, planes, first, n, &batch);
        uint32_t k = 0;
#if defined(VOVED_HAVE_AVX2_PATH)
        if (!fixedCurve && (code == kLayoutBgr || code == kLayoutRgb) && HasAvx2()) {
            k = StoreBatchColoursAvx2(batch.r, batch.g, batch.b, planes.y + first, n, destination,
                                      step, code == kLayoutBgr);
            source += static_cast<std::ptrdiff_t>(step) * k;
            destination += static_cast<std::ptrdiff_t>(step) * k;
        }
#endif
        for (; k < n; ++k) {
            const Rgb c = planes.y[first + k] >= kNearWhiteLuma
                              ? kWhite
                              : RotatedOutput(batch, k, fixedCurve);
            WriteColour(destination, code, c, ReadBit15(source, code));
            source = Advance(source, step);
            destination = Advance(destination, step);
        }
    }
}

}  // namespace

int16_t CorrectToWorkLine(const QVContext* context, const uint8_t* source, int16_t* line,
                          uint16_t count, int16_t step, int16_t layout) {
    const int16_t status = CheckStep(context, layout);
    if (status != QV_RESULT_OK) {
        return status;
    }
    const PixelCorrection core(*context);
    const bool rotation = IsRotationType(context->correctionType);
    const WorkLine planes = Planes(line, count);
    if (rotation && !UsePlainPaths()) {
        WithLayout(layout, [&](auto code) {
            RotatedToWorkLine(*context, source, planes, count, step, code);
        });
        return QV_RESULT_OK;
    }
    for (uint32_t i = 0; i < count; ++i) {
        const Rgb c = ReadPixel(source, layout);
        StoreSample(planes, i, rotation ? RotatedSample(core, c) : CurvedSample(core, c));
        source = Advance(source, step);
    }
    return QV_RESULT_OK;
}

int16_t CorrectFromWorkLine(const QVContext* context, const uint8_t* source, uint8_t* destination,
                            const int16_t* line, uint16_t count, int16_t step, int16_t layout) {
    const int16_t status = CheckStep(context, layout);
    if (status != QV_RESULT_OK) {
        return status;
    }
    const PixelCorrection core(*context);
    const bool rotation = IsRotationType(context->correctionType);
    const ConstWorkLine planes = Planes(line, count);
    if (rotation && !UsePlainPaths()) {
        WithLayout(layout, [&](auto code) {
            RotatedFromWorkLine(*context, source, destination, planes, count, step, code);
        });
        return QV_RESULT_OK;
    }
    for (uint32_t i = 0; i < count; ++i) {
        const int16_t y = planes.y[i];
        const int16_t dr = planes.dr[i];
        const int16_t db = planes.db[i];
        Rgb c;
        if (rotation) {
            c = y >= kNearWhiteLuma ? kWhite : core.Output(core.Matrix(y, dr, db));
        } else if (layout == kLayoutRgb555) {
            // The working line is not used: the source word's own channels
            // go through the curve.
            c = core.Channels(ReadPixel(source, layout));
        } else {
            c = core.Channels(InverseTransform(y, dr, db));
        }
        WriteColour(destination, layout, c, ReadBit15(source, layout));
        source = Advance(source, step);
        destination = Advance(destination, step);
    }
    return QV_RESULT_OK;
}

}  // namespace voved
