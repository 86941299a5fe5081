// The sharpening pipeline: caller lines are resampled to working rows, each
// row is sharpened over up to five rows of the ring, and the rows are
// resampled back to the caller's lines.
#include <cstring>
#include <iterator>

#include "correct/stream_correction.h"
#include "filters/sharpen_luma.h"
#include "pixels/fixed.h"
#include "stream/line_steps.h"
#include "stream/pipelines.h"
#include "stream/schedules.h"

namespace voved {

namespace {

// Kernel strength and the gain it carries, by sharpenLevel -1 .. 3; every
// other level is level 0.
struct Strength {
    int16_t sharpStrength;
    int16_t chromaGain;
};
constexpr int16_t kLowestLevel = -1;
constexpr Strength kStrengths[] = {{25, 1}, {26, 2}, {27, 3}, {28, 4}, {29, 5}};
constexpr int16_t kDefaultLevel = 0;

Strength StrengthOf(int16_t sharpenLevel) {
    const int32_t index = sharpenLevel - kLowestLevel;
    const bool known = index >= 0 && index < static_cast<int32_t>(std::size(kStrengths));
    return kStrengths[known ? index : kDefaultLevel - kLowestLevel];
}

// floor(numerator x factor / denominator) of the mapping between caller
// lines and working rows; the product needs up to 32 unsigned bits.
uint32_t MapLines(uint32_t factor, uint32_t numerator, uint32_t denominator) {
    return factor * numerator / denominator;
}

void CopyLine(uint8_t* to, const uint8_t* from, uint32_t bytes) {
    if (to != from) {
        std::memmove(to, from, bytes);
    }
}

int16_t ReadRow(const StepCall& call, int16_t* ringLine) {
    const QVContext* c = call.context;
    if ((c->mode & kModeCorrect) != 0) {
        // No resampling is possible with the correction: the line is
        // converted straight from the caller's pixels.
        return CorrectToWorkLine(c, call.source, ringLine, call.pixelCount, call.step, call.layout);
    }
    return UnpackScaledLine(c->heldInputLine, ringLine, call.pixelCount, c->workWidth, call.step,
                            call.layout);
}

int16_t RunKernel(const PipelineStep& s, uint16_t k, uint16_t width, int16_t strength,
                  int16_t* const ring[], int16_t* out) {
    const int16_t* r[kMaxWindowRows] = {};
    for (int i = 0; i < s.lines; ++i) {
        r[i] = ring[RingIndex(k, s.rows[i])];
    }
    switch (s.lines) {
    case 1:
        return SharpenLuma1(width, strength, r[0], out);
    case 2:
        return SharpenLuma2(width, strength, r[0], r[1], out);
    case 3:
        return SharpenLuma3(width, strength, r[0], r[1], r[2], out);
    case 4:
        return SharpenLuma4(width, strength, r[0], r[1], r[2], r[3], out);
    default:
        return SharpenLuma5(width, strength, r[0], r[1], r[2], r[3], r[4], out);
    }
}

// Sharpens the step's target row into the result line and writes it to the
// destination. The kernel and the scaled colour differences carry the gain
// in all three planes; it is taken out again before the line is toned and
// packed, so that every strength keeps the picture's own levels.
int16_t SharpenRow(const StepCall& call, const PipelineStep& s, uint16_t k) {
    QVContext* c = call.context;
    const Strength strength = StrengthOf(call.sharpenLevel);
    const uint16_t width = c->workWidth;
    int16_t* out = c->resultLine;
    int16_t result = RunKernel(s, k, width, strength.sharpStrength, c->ringLine, out);
    if (result == 0) {
        result =
            CopyScaledChroma(c->ringLine[RingIndex(k, s.target)], out, width, strength.chromaGain);
    }
    if (result == 0) {
        result = RemoveSharpenGain(out, width, strength.chromaGain);
    }
    if (result == 0 && (c->mode & kModeTone) != 0) {
        result = ToneWorkLine(out, width, call.toneHue);
    }
    if (result == 0) {
        result =
            PackScaledLine(out, call.destination, width, call.pixelCount, call.step, call.layout);
    }
    return result;
}

// The ring's rotation after step k of a picture of five or more rows.
constexpr int16_t RingPhaseAfter(uint16_t k) {
    return static_cast<int16_t>((k - 1) % 5 + 1);
}
constexpr uint16_t kFirstPhasedStep = 2;
constexpr uint16_t kFewestPhasedRows = 5;

}  // namespace

InputMapping MapInputLine(const StepCall& call) {
    QVContext* c = call.context;
    if (c->outputRepeats > 2) {
        CopyLine(call.destination, c->heldOutputLine, LineBytes(call));
        c->outputRepeats = s16(c->outputRepeats - 1);
        return {true, kStepOutput};
    }
    if (c->outputRepeats == 2) {
        // The last repetition carries the result of the step that made it.
        CopyLine(call.destination, c->heldOutputLine, LineBytes(call));
        c->outputRepeats = s16(c->outputRepeats - 1);
        return {true, c->heldResult};
    }
    if (c->inputRepeats > 0 || c->inputLineNo > c->imageLines) {
        return {false, 0};
    }
    const uint32_t v = MapLines(c->workLines, c->inputLineNo, c->imageLines);
    c->inputRepeats = s16(static_cast<int32_t>(v) - c->inputMapped);
    c->inputLineNo = u16(c->inputLineNo + 1);
    c->inputMapped = s16(v);
    if (c->inputRepeats == 0) {
        return {true, kStepTaken};  // this caller line makes no working row
    }
    CopyLine(c->heldInputLine, call.source, LineBytes(call));
    return {false, 0};
}

uint16_t SharpenStep(const StepCall& call) {
    QVContext* c = call.context;
    const uint16_t k = c->lineStep;
    const PipelineStep* s = SharpenStepAt(k, c->workLines);
    if (s == nullptr) {
        return kStepFailed;
    }
    if (s->reads && ReadRow(call, c->ringLine[RingIndex(k, 0)]) != 0) {
        return kStepFailed;
    }
    if (s->lines > 0 && SharpenRow(call, *s, k) != 0) {
        return kStepFailed;
    }
    if (s->advances) {
        c->lineStep = u16(k + 1);
    }
    if (c->workLines >= kFewestPhasedRows && k >= kFirstPhasedStep && k <= c->workLines) {
        c->ringPhase = RingPhaseAfter(k);
    }
    return s->result;
}

uint16_t MapOutputRow(const StepCall& call, uint16_t result) {
    QVContext* c = call.context;
    if ((result & kStepOutput) != 0) {
        c->heldResult = result;
        if (c->outputRowNo <= c->workLines) {
            const uint32_t v = MapLines(c->imageLines, c->outputRowNo, c->workLines);
            c->outputRepeats = s16(static_cast<int32_t>(v) - c->outputMapped);
            if (c->outputRepeats == 0) {
                // Written to the destination, but no caller line takes it.
                result = static_cast<uint16_t>(result & ~kStepOutput);
            } else if (c->outputRepeats > 1) {
                // Delivered now and replayed; the step's own result comes
                // with the last replay.
                CopyLine(c->heldOutputLine, call.destination, LineBytes(call));
                result = kStepOutput;
            }
            c->outputRowNo = u16(c->outputRowNo + 1);
            c->outputMapped = s16(v);
        }
    }
    c->inputRepeats = s16(c->inputRepeats - 1);
    if (c->inputRepeats >= 1) {
        // The held caller line makes more rows: the caller presents it again.
        result = static_cast<uint16_t>(result & ~kStepTaken);
    }
    return result;
}

}  // namespace voved
