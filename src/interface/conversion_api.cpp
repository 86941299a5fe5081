// QVInitImageConversion and QVTerminateImageConversion: the streaming
// conversion's entry points.
#include "interface/context.h"
#include "interface/handles.h"
#include "stream/conversion.h"
#include "voved32.h"

extern "C" {

QV_API QVResult QV_CALL QVInitImageConversion(QVHandle* handle, uint16_t imageWidth,
                                              uint16_t imageLines, uint16_t outputWidth,
                                              uint32_t /*reservedArg*/, int16_t resolutionScale,
                                              uint16_t requestedMode) {
    voved::QVContext* context = voved::ValidContext(handle);
    if (context == nullptr) {
        return QV_RESULT_INVALID;
    }
    return voved::InitImageConversion(context, imageWidth, imageLines, outputWidth, resolutionScale,
                                      requestedMode);
}

QV_API QVResult QV_CALL QVTerminateImageConversion(QVHandle* handle) {
    voved::QVContext* context = voved::ValidContext(handle);
    if (context == nullptr) {
        return QV_RESULT_INVALID;
    }
    return voved::TerminateImageConversion(context);
}

}  // extern "C"
