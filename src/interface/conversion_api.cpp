// QVInitImageConversion, QVCorrection2 and QVTerminateImageConversion: the
// streaming conversion's entry points.
#include "context/context.h"
#include "context/handles.h"
#include "platform/float_environment.h"
#include "stream/conversion.h"
#include "stream/driver.h"
#include "voved32.h"

extern "C" {

QV_API QVResult QV_CALL QVInitImageConversion(QVHandle* handle, uint16_t imageWidth,
                                              uint16_t imageLines, uint16_t outputWidth,
                                              uint32_t /*reservedArg*/, int16_t resolutionScale,
                                              uint16_t requestedMode) {
    const voved::KnownFloatEnvironment known;
    voved::QVContext* context = voved::ValidContext(handle);
    if (context == nullptr) {
        return QV_RESULT_INVALID;
    }
    return voved::InitImageConversion(context, imageWidth, imageLines, outputWidth, resolutionScale,
                                      requestedMode);
}

QV_API uint16_t QV_CALL QVCorrection2(QVHandle* handle, const uint8_t* source, uint8_t* destination,
                                      uint16_t pixelCount, int16_t step, int16_t layout,
                                      int16_t toneHue, int16_t sharpenLevel) {
    const voved::KnownFloatEnvironment known;
    voved::QVContext* context = voved::ValidContext(handle);
    if (context == nullptr) {
        return QV_STEP_FAILED;
    }
    return voved::Correction2(context, source, destination, pixelCount, step, layout, toneHue,
                              sharpenLevel);
}

QV_API QVResult QV_CALL QVTerminateImageConversion(QVHandle* handle) {
    voved::QVContext* context = voved::ValidContext(handle);
    if (context == nullptr) {
        return QV_RESULT_INVALID;
    }
    return voved::TerminateImageConversion(context);
}

}  // extern "C"
