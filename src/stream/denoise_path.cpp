// The noise-filter pipeline: lines enter the ring without correction, each
// is filtered against up to four neighbours and leaves corrected (when the
// mode asks for it) two steps later.
#include "correct/shared_steps.h"
#include "correct/stream_correction.h"
#include "filters/chroma_denoise.h"
#include "pixels/fixed.h"
#include "stream/line_steps.h"
#include "stream/pipelines.h"
#include "stream/schedules.h"

namespace voved {

namespace {

// Only a count of 0 fails a filter; -3 (filtered alone) still delivers.
int16_t RunFilter(const StepCall& call, const PipelineStep& s, uint16_t k) {
    int16_t* const* ring = call.context->ringLine;
    int16_t* l0 = ring[RingIndex(k, s.rows[0])];
    const int16_t* r[kMaxWindowRows] = {};
    for (int i = 1; i < s.lines; ++i) {
        r[i] = ring[RingIndex(k, s.rows[i])];
    }
    const uint16_t n = call.pixelCount;
    const int16_t level = call.highlightLevel;
    int16_t* out = call.context->resultLine;
    switch (s.lines) {
    case 1:
        return ChromaDenoise1(n, level, out, l0);
    case 2:
        return ChromaDenoise2(n, level, out, l0, r[1]);
    case 3:
        return ChromaDenoise3(n, level, out, l0, r[1], r[2]);
    case 4:
        return ChromaDenoise4(n, level, out, l0, r[1], r[2], r[3]);
    default:
        return ChromaDenoise5(n, level, out, l0, r[1], r[2], r[3], r[4]);
    }
}

// Writes the filtered line. The correction reads bit 15 and, for the
// per-channel variant of 5-5-5 words, whole pixels from the caller's current
// line, not from the line the filtered row came from.
int16_t DeliverRow(const StepCall& call) {
    QVContext* c = call.context;
    const int16_t result =
        (c->mode & kModeCorrect) != 0
            ? CorrectFromWorkLine(c, call.source, call.destination, c->resultLine, call.pixelCount,
                                  call.step, call.layout)
            : PackLine(c->resultLine, call.destination, call.pixelCount, call.step, call.layout);
    if (result == 0 && (c->mode & kModeByteTable) != 0) {
        ApplyToneTable(c, call.destination, call.destination, call.pixelCount, call.step);
    }
    return result;
}

}  // namespace

uint16_t DenoiseStep(const StepCall& call) {
    QVContext* c = call.context;
    const uint16_t k = c->lineStep;
    const PipelineStep* s = DenoiseStepAt(k, c->imageLines);
    if (s == nullptr) {
        return kStepFailed;
    }
    if (s->reads && PixelsToWorkLine(call.source, c->ringLine[RingIndex(k, 0)], call.pixelCount,
                                     call.step, call.layout) != 0) {
        return kStepFailed;
    }
    if (s->lines > 0) {
        if (RunFilter(call, *s, k) == kFilterNoPixels || DeliverRow(call) != 0) {
            return kStepFailed;
        }
    }
    if (s->advances) {
        c->lineStep = u16(k + 1);
    }
    return s->result;
}

}  // namespace voved
