// QVInitImageConversion and QVTerminateImageConversion.
#include "stream/conversion.h"

#include "context/handles.h"
#include "pixels/fixed.h"
#include "pixels/pixels.h"

namespace voved {

namespace {

// The effective resolutions that need no resampling.
constexpr int32_t kLowestResolution = 300;
constexpr int32_t kHighestResolution = 700;
// Below kLowestResolution the factor is 300 / resolution rounded to nearest
// with halves up: (resolution + 600) / (2 x resolution).
constexpr int32_t kEnlargeBias = 2 * kLowestResolution;
// A reduced image keeps at least this many lines where it has them.
constexpr uint16_t kFewestReducedLines = 3;

bool Resamples(uint16_t mode, uint16_t outputWidth) {
    return (mode & kModeCorrect) == 0 && (mode & kModeSharpen) != 0 && outputWidth != 0;
}

int16_t EffectiveResolution(uint16_t imageWidth, uint16_t outputWidth, int16_t resolutionScale) {
    // |scale x width| < 2^31, so the product needs no wrap.
    const int32_t product = static_cast<int32_t>(resolutionScale) * imageWidth;
    return s16(product / static_cast<int32_t>(outputWidth));
}

WorkingSize Enlarged(uint16_t imageWidth, uint16_t imageLines, int32_t resolution) {
    const int32_t factor = (resolution + kEnlargeBias) / (2 * resolution);
    return {u16(imageWidth * factor), u16(imageLines * factor)};
}

WorkingSize Reduced(uint16_t imageWidth, uint16_t imageLines, int32_t resolution) {
    const int32_t divisor = resolution / kLowestResolution;
    WorkingSize size{static_cast<uint16_t>(imageWidth / divisor),
                     static_cast<uint16_t>(imageLines / divisor)};
    if (size.lines < kFewestReducedLines) {
        size.lines = imageLines >= 2 ? 2 : 1;
    }
    return size;
}

// Attaches every buffer the mode needs, in order; on the first failure
// releases what it attached and answers -1.
int16_t AllocateBuffers(QVContext* context) {
    struct Buffer {
        QVHandle* handle;
        uint32_t bytes;
    };
    Buffer buffers[kRingLines + 3];
    int count = 0;
    if (UsesRing(context->mode)) {
        for (QVHandle& ring : context->ringHandle) {
            buffers[count++] = {&ring, WorkLineBytes(context->workWidth)};
        }
        buffers[count++] = {&context->heldInputHandle, HeldLineBytes(context->imageWidth)};
        buffers[count++] = {&context->heldOutputHandle, HeldLineBytes(context->imageWidth)};
    }
    // Without the ring the working width is the image width.
    buffers[count++] = {&context->resultLineHandle, WorkLineBytes(context->workWidth)};
    for (int i = 0; i < count; ++i) {
        if (AttachBlock(buffers[i].bytes, buffers[i].handle) != QV_RESULT_OK) {
            ReleaseConversionBuffers(context);
            return QV_RESULT_NO_MEMORY;
        }
    }
    return QV_RESULT_OK;
}

void ResetCounters(QVContext* context) {
    context->lineStep = 0;
    context->ringPhase = 1;
    context->inputLineNo = 1;
    context->inputMapped = 0;
    context->inputRepeats = 0;
    context->outputRowNo = 1;
    context->outputMapped = 0;
    context->outputRepeats = 0;
    context->conversionDone = 0;
}

}  // namespace

WorkingSize ChooseWorkingSize(uint16_t imageWidth, uint16_t imageLines, uint16_t outputWidth,
                              int16_t resolutionScale, uint16_t mode) {
    const WorkingSize unchanged{imageWidth, imageLines};
    if (!Resamples(mode, outputWidth)) {
        return unchanged;
    }
    const int16_t resolution = EffectiveResolution(imageWidth, outputWidth, resolutionScale);
    if (resolution <= 0) {
        // No factor is defined for it: the picture keeps its size.
        return unchanged;
    }
    WorkingSize size = unchanged;
    if (resolution < kLowestResolution) {
        size = Enlarged(imageWidth, imageLines, resolution);
    } else if (resolution > kHighestResolution) {
        size = Reduced(imageWidth, imageLines, resolution);
    }
    return size.width == 0 ? unchanged : size;
}

int16_t InitImageConversion(QVContext* context, uint16_t imageWidth, uint16_t imageLines,
                            uint16_t outputWidth, int16_t resolutionScale, uint16_t requestedMode) {
    const bool narrowed = (context->flags & kFlagExtension) != 0;
    context->mode =
        narrowed ? static_cast<uint16_t>(requestedMode & context->correctionMask) : requestedMode;
    if (context->mode == 0) {
        return QV_RESULT_INVALID;
    }
    const WorkingSize size =
        ChooseWorkingSize(imageWidth, imageLines, outputWidth, resolutionScale, context->mode);
    context->imageWidth = imageWidth;
    context->imageLines = imageLines;
    context->workWidth = size.width;
    context->workLines = size.lines;
    context->resolutionScale = resolutionScale;
    ResetCounters(context);
    // A conversion still open on this context is replaced, not leaked.
    ReleaseConversionBuffers(context);
    return AllocateBuffers(context);
}

int16_t TerminateImageConversion(QVContext* context) {
    ReleaseConversionBuffers(context);
    return QV_RESULT_OK;
}

}  // namespace voved
