#include "context/handles.h"

#include "platform/platform.h"

namespace voved {

int16_t AttachBlock(uint32_t bytes, QVHandle* handle) {
    handle->block = nullptr;
    handle->reserved = 0;
    handle->state = 0;
    handle->block = AllocBlock(bytes);
    if (handle->block == nullptr) {
        return QV_RESULT_NO_MEMORY;
    }
    handle->state = 0;
    return QV_RESULT_OK;
}

void ReleaseBlock(QVHandle* handle) {
    FreeBlock(handle->block);
    handle->block = nullptr;
    handle->reserved = 0;
    handle->state = 0;
}

int IsEmptyHandle(const QVHandle* handle) {
    return handle->block == nullptr && handle->reserved == 0 && handle->state == 0 ? 1 : 0;
}

QVContext* ValidContext(QVHandle* handle) {
    if (handle == nullptr || handle->block == nullptr) {
        return nullptr;
    }
    QVContext* context = static_cast<QVContext*>(handle->block);
    if (context->magic != kContextMagic || (context->flags & kFlagValid) == 0) {
        return nullptr;
    }
    return context;
}

void ReleaseConversionBuffers(QVContext* context) {
    for (QVHandle& ring : context->ringHandle) {
        if (ring.block != nullptr) {
            ReleaseBlock(&ring);
        }
    }
    QVHandle* const held[] = {&context->heldInputHandle, &context->heldOutputHandle,
                              &context->resultLineHandle};
    for (QVHandle* handle : held) {
        if (handle->block != nullptr) {
            ReleaseBlock(handle);
        }
    }
}

void ReleaseContext(QVHandle* handle, QVContext* context) {
    context->flags = 0;
    QVHandle* const history[] = {&context->historyHandle0, &context->historyHandle1,
                                 &context->historyHandle2, &context->filteredHandle};
    for (QVHandle* line : history) {
        if (line->block != nullptr) {
            ReleaseBlock(line);
        }
    }
    // A conversion the caller forgot to close would otherwise leak.
    ReleaseConversionBuffers(context);
    if (!IsEmptyHandle(&context->auxBlock)) {
        ReleaseBlock(&context->auxBlock);
    }
    ReleaseBlock(handle);
}

}  // namespace voved
