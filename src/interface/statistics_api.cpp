// QVHistogram and QVMargeHisto: gathering and merging colour statistics.
#include "context/context.h"
#include "context/handles.h"
#include "pixels/pixels.h"
#include "platform/float_environment.h"
#include "stats/statistics.h"
#include "voved32.h"

extern "C" {

QV_API QVResult QV_CALL QVHistogram(QVHandle* handle, const uint8_t* pixels, uint16_t count,
                                    int16_t step, int16_t type, uint32_t /*reserved*/) {
    const voved::KnownFloatEnvironment known;
    voved::QVContext* context = voved::ValidContext(handle);
    if (context == nullptr) {
        return QV_RESULT_INVALID;
    }
    // An unknown layout, or pixels promised at a null address, leave the
    // statistics and the call count alone.
    if (!voved::IsKnownLayout(type) || (pixels == nullptr && count != 0)) {
        return QV_RESULT_NOT_DERIVED;
    }
    voved::AccumulateStatistics(context, pixels, count, step, type);
    return QV_RESULT_OK;
}

QV_API QVResult QV_CALL QVMargeHisto(QVHandle* target, QVHandle* source) {
    voved::QVContext* into = voved::ValidContext(target);
    if (into == nullptr) {
        return QV_RESULT_INVALID;
    }
    voved::QVContext* from = voved::ValidContext(source);
    // Merging a context into itself would double its statistics and then
    // free the context the target still holds.
    if (from == nullptr || from == into) {
        return QV_RESULT_INVALID;
    }
    voved::MergeStatistics(into, from);
    // The source is finished with: everything it owns goes, as with QVFree.
    voved::ReleaseContext(source, from);
    return QV_RESULT_OK;
}

}  // extern "C"
