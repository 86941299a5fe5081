// QVAlloc, QVExtension and QVFree: creating, configuring and freeing a context.
#include <cstring>

#include "context/context.h"
#include "context/handles.h"
#include "voved32.h"

namespace voved {

namespace {

constexpr int16_t kInitialHighlightLevel = 255;

void EmptyHandle(QVHandle* handle) {
    handle->block = nullptr;
    handle->reserved = 0;
    handle->state = 0;
}

// Copies at most 259 characters and always terminates: a longer model name
// is cut rather than written past the field.
void StoreCameraModel(QVContext* context, const char* model) {
    std::size_t length = 0;
    while (length < kCameraModelSize - 1 && model[length] != '\0') {
        ++length;
    }
    std::memcpy(context->cameraModel, model, length);
    context->cameraModel[length] = '\0';
}

int16_t AllocContext(QVHandle* handle) {
    // Whatever the handle held is overwritten: the caller's record may be
    // uninitialised storage.
    if (AttachBlock(sizeof(QVContext), handle) != QV_RESULT_OK) {
        return QV_RESULT_NO_MEMORY;
    }
    QVContext* context = static_cast<QVContext*>(handle->block);
    std::memset(context->levelStats, 0, sizeof context->levelStats);
    context->magic = kContextMagic;
    context->flags = kFlagValid;
    context->sceneCode = 0;
    context->mode = 0;
    context->historyWidth = 0;
    context->historyCount = 0;
    context->historyPhase = 0;
    context->lineCounter = 0;
    EmptyHandle(&context->historyHandle0);
    EmptyHandle(&context->historyHandle1);
    EmptyHandle(&context->historyHandle2);
    EmptyHandle(&context->filteredHandle);
    context->highlightLevel = kInitialHighlightLevel;
    context->toneParameters = nullptr;
    // A tone step can succeed without building a curve (the chosen entry of
    // the parameter table has no segment for the picture); the table it
    // leaves in place must then change nothing, not turn every byte black.
    for (int level = 0; level < kToneTableSize; ++level) {
        context->toneTable[level] = static_cast<uint8_t>(level);
    }
    return QV_RESULT_OK;
}

int16_t SetExtension(QVContext* context, uint32_t mode, const void* parameters,
                     const char* cameraModel) {
    context->mode = static_cast<uint16_t>(mode & 0xFFFFu);
    context->correctionMask = kAllCorrections;
    context->toneParameters = static_cast<const uint8_t*>(parameters);
    // A null model keeps the previous field contents; only cameraModelSet
    // decides whether the plug-in sees it.
    if (cameraModel != nullptr) {
        StoreCameraModel(context, cameraModel);
    }
    context->flags = static_cast<uint16_t>(context->flags | kFlagExtension);
    context->cameraModelSet = (cameraModel != nullptr && cameraModel[0] != '\0') ? 1u : 0u;
    return QV_RESULT_OK;
}

int16_t FreeContext(QVHandle* handle, QVContext* context) {
    ReleaseContext(handle, context);
    return QV_RESULT_OK;
}

}  // namespace
}  // namespace voved

// ---- Entry points ----------------------------------------------------------

extern "C" {

QV_API QVResult QV_CALL QVAlloc(QVHandle* handle) {
    if (handle == nullptr) {
        return QV_RESULT_INVALID;
    }
    return voved::AllocContext(handle);
}

QV_API QVResult QV_CALL QVExtension(QVHandle* handle, uint32_t mode, const void* parameters,
                                    const char* cameraModel, uint32_t /*reserved*/) {
    voved::QVContext* context = voved::ValidContext(handle);
    if (context == nullptr) {
        return QV_RESULT_INVALID;
    }
    return voved::SetExtension(context, mode, parameters, cameraModel);
}

QV_API QVResult QV_CALL QVFree(QVHandle* handle) {
    voved::QVContext* context = voved::ValidContext(handle);
    if (context == nullptr) {
        return QV_RESULT_INVALID;
    }
    return voved::FreeContext(handle, context);
}

}  // extern "C"
