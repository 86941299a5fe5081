#include "analysis/tone_step.h"

#include "analysis/tone_apply.h"
#include "analysis/tone_measure.h"
#include "analysis/tone_table_reader.h"
#include "context/handles.h"

namespace voved {

namespace {

constexpr uint32_t kCountTableBytes = kLevels * sizeof(uint32_t);

int16_t MeasureAndApply(const uint32_t* counts, QVContext* context) {
    ToneTableReader table(context->toneParameters);
    if (!table.IsOpen()) {
        return kToneBadTable;
    }
    QVToneStats stats{};
    MeasureTones(counts, table, &stats);
    return ApplyToneParameters(table, &stats, context->toneTable);
}

}  // namespace

int16_t ToneStep(QVContext* context, int16_t status) {
    QVHandle copyHandle{};
    if (AttachBlock(kCountTableBytes, &copyHandle) != 0) {
        return kToneNoMemory;
    }
    QVHandle stretchHandle{};
    uint32_t* counts = static_cast<uint32_t*>(copyHandle.block);
    // When the colour and level correction will run, the tones are measured
    // as they will be after its level stretch.
    if ((context->mode & kModeCorrect) != 0 && status == 0) {
        if (AttachBlock(kCountTableBytes, &stretchHandle) != 0) {
            ReleaseBlock(&copyHandle);
            return kToneNoMemory;
        }
        counts = static_cast<uint32_t*>(stretchHandle.block);
        StretchHistogram(*context, counts);
    } else {
        CopyRunCounts(*context, counts);
    }
    ClipHighlightSpikes(counts);
    const int16_t result = MeasureAndApply(counts, context);
    ReleaseBlock(&stretchHandle);
    ReleaseBlock(&copyHandle);
    return result;
}

}  // namespace voved
