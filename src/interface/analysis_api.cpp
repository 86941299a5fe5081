// QVCalculate: deriving the correction parameters.
#include "analysis/calculate.h"
#include "context/context.h"
#include "context/handles.h"
#include "platform/float_environment.h"
#include "voved32.h"

extern "C" {

QV_API QVResult QV_CALL QVCalculate(QVHandle* handle, uint32_t /*reserved*/) {
    const voved::KnownFloatEnvironment known;
    voved::QVContext* context = voved::ValidContext(handle);
    if (context == nullptr) {
        return QV_RESULT_INVALID;
    }
    return voved::CalculateCorrection(context);
}

}  // extern "C"
