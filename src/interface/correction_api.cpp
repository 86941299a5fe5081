// QVCorrection: the one-shot correction of one picture line.
#include "context/handles.h"
#include "correct/one_shot.h"
#include "platform/float_environment.h"
#include "voved32.h"

extern "C" {

QV_API QVResult QV_CALL QVCorrection(QVHandle* handle, const uint8_t* source, uint8_t* destination,
                                     uint16_t pixelCount, uint16_t lineCount, int16_t step,
                                     int16_t layout) {
    const voved::KnownFloatEnvironment known;
    voved::QVContext* context = voved::ValidContext(handle);
    if (context == nullptr) {
        return QV_RESULT_INVALID;
    }
    return voved::CorrectLine(context, {source, destination, pixelCount, step, layout}, lineCount);
}

}  // extern "C"
