// The streaming driver: per-call preparation, the choice among the four
// paths, and the toning and pass-through paths.
#include "stream/driver.h"

#include <cstring>

#include "correct/shared_steps.h"
#include "correct/stream_correction.h"
#include "pixels/fixed.h"
#include "pixels/pixels.h"
#include "stream/conversion.h"
#include "stream/line_steps.h"
#include "stream/pipelines.h"
#include "stream/step_call.h"

namespace voved {

namespace {

// Whether the path that `mode` selects stores `pixelCount` samples in the
// conversion's working lines (rather than `workWidth` resampled ones).
bool StoresCallerWidth(uint16_t mode) {
    if ((mode & (kModeSharpen | kModeTone)) != 0) {
        return (mode & kModeCorrect) != 0;
    }
    return (mode & (kModeDenoise | kModeCorrect)) != 0;
}

// A call must fit the buffers the conversion was opened with: no step may
// read or write outside them. The held lines take byte copies of caller
// lines; the byte copies and the byte table need a positive step.
bool CallFits(const QVContext* c, uint16_t pixelCount, int16_t step, int16_t layout) {
    if (!IsKnownLayout(layout) || step <= 0 || pixelCount > c->imageWidth) {
        return false;
    }
    if ((c->mode & kModeSharpen) != 0 &&
        static_cast<uint32_t>(pixelCount) * static_cast<uint32_t>(step) >
            HeldLineBytes(c->imageWidth)) {
        return false;
    }
    return !StoresCallerWidth(c->mode) || pixelCount <= c->workWidth;
}

// Copies the handles' blocks into the working pointers, in order; false at
// the first buffer that is missing.
bool RefreshLinePointers(QVContext* c) {
    if (UsesRing(c->mode)) {
        for (int i = 0; i < kRingLines; ++i) {
            c->ringLine[i] = static_cast<int16_t*>(c->ringHandle[i].block);
            if (c->ringLine[i] == nullptr) {
                return false;
            }
        }
        c->heldInputLine = static_cast<uint8_t*>(c->heldInputHandle.block);
        if (c->heldInputLine == nullptr) {
            return false;
        }
        c->heldOutputLine = static_cast<uint8_t*>(c->heldOutputHandle.block);
        if (c->heldOutputLine == nullptr) {
            return false;
        }
    }
    c->resultLine = static_cast<int16_t*>(c->resultLineHandle.block);
    return c->resultLine != nullptr;
}

// The line-per-call paths answer 3 until the last line and 6 from then on;
// a picture of 0 lines makes every call the last.
uint16_t FinishLine(QVContext* c) {
    if (static_cast<int32_t>(c->lineStep) < static_cast<int32_t>(c->imageLines) - 1) {
        c->lineStep = u16(c->lineStep + 1);
        return kStepTaken | kStepOutput;
    }
    return kStepOutput | kStepLast;
}

uint16_t TonePath(const StepCall& call) {
    QVContext* c = call.context;
    if ((c->mode & kModeCorrect) != 0) {
        int16_t result = CorrectToWorkLine(c, call.source, c->resultLine, call.pixelCount,
                                           call.step, call.layout);
        if (result == 0) {
            result = ToneWorkLine(c->resultLine, call.pixelCount, call.toneHue);
        }
        if (result == 0) {
            result = PackScaledLine(c->resultLine, call.destination, c->workWidth, call.pixelCount,
                                    call.step, call.layout);
        }
        if (result != 0) {
            return kStepFailed;
        }
    } else if (ToneConvertPixels(call.source, call.destination, call.pixelCount, call.step,
                                 call.layout, call.toneHue) != 0) {
        return kStepFailed;
    }
    return FinishLine(c);
}

uint16_t PassThroughPath(const StepCall& call) {
    QVContext* c = call.context;
    const bool byteTable = (c->mode & kModeByteTable) != 0;
    if ((c->mode & kModeCorrect) != 0) {
        if (c->correctionType == kTypeNone) {
            if (byteTable) {
                ApplyToneTable(c, call.source, call.destination, call.pixelCount, call.step);
            } else if (call.source != call.destination) {
                std::memmove(call.destination, call.source, LineBytes(call));
            }
        } else {
            int16_t result = CorrectToWorkLine(c, call.source, c->resultLine, call.pixelCount,
                                               call.step, call.layout);
            if (result == 0) {
                result = PackScaledLine(c->resultLine, call.destination, c->workWidth,
                                        call.pixelCount, call.step, call.layout);
            }
            if (result != 0) {
                return kStepFailed;
            }
            if (byteTable) {
                ApplyToneTable(c, call.destination, call.destination, call.pixelCount, call.step);
            }
        }
    } else if (byteTable) {
        ApplyToneTable(c, call.source, call.destination, call.pixelCount, call.step);
    } else {
        return kStepFailed;  // the mode asks for nothing
    }
    return FinishLine(c);
}

uint16_t SharpenPath(const StepCall& call) {
    const InputMapping input = MapInputLine(call);
    if (input.endsCall) {
        return input.result;
    }
    const uint16_t result = SharpenStep(call);
    return result == kStepFailed ? result : MapOutputRow(call, result);
}

// Whether a pipeline that has answered its last step defines later calls:
// only the noise filter of a single line, which repeats its step.
bool EndsConversion(const QVContext* c, uint16_t result) {
    if ((result & kStepLast) == 0) {
        return false;
    }
    if ((c->mode & kModeSharpen) != 0) {
        return true;
    }
    const bool denoising = (c->mode & (kModeTone | kModeDenoise)) == kModeDenoise;
    return denoising && c->imageLines >= 2;
}

}  // namespace

uint16_t Correction2(QVContext* c, const uint8_t* source, uint8_t* destination, uint16_t pixelCount,
                     int16_t step, int16_t layout, int16_t toneHue, int16_t sharpenLevel) {
    if (c->mode == 0 || !CallFits(c, pixelCount, step, layout) || c->conversionDone != 0) {
        return kStepFailed;
    }
    const StepCall call{c,      source,  destination,  pixelCount,       step,
                        layout, toneHue, sharpenLevel, c->highlightLevel};
    if (layout == kLayoutRgb555) {
        // Neither the byte table nor the noise filter works on 5-5-5 words;
        // they stay off for the rest of the conversion.
        c->mode = static_cast<uint16_t>(c->mode & ~(kModeByteTable | kModeDenoise));
    }
    if (!RefreshLinePointers(c)) {
        return kStepFailed;
    }
    uint16_t result = kStepFailed;
    if ((c->mode & kModeSharpen) != 0) {
        result = SharpenPath(call);
    } else if ((c->mode & kModeTone) != 0) {
        result = TonePath(call);
    } else if ((c->mode & kModeDenoise) != 0) {
        result = DenoiseStep(call);
    } else {
        result = PassThroughPath(call);
    }
    if (EndsConversion(c, result)) {
        c->conversionDone = 1;
    }
    return (result & kStepBits) == 0 ? kStepAgain : result;
}

}  // namespace voved
