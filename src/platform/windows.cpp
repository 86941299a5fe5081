// Windows: movable global-memory blocks and LoadLibrary for the plug-in.
#if defined(_WIN32)

#include <windows.h>

#include "platform/fault_hook.h"
#include "platform/platform.h"

namespace voved {

void* AllocBlock(uint32_t bytes) {
    if (ConsumeAllocationFault()) {
        return nullptr;
    }
    HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
    if (handle == nullptr) {
        return nullptr;
    }
    void* block = GlobalLock(handle);
    if (block == nullptr) {
        // A zero-byte movable block exists but cannot be locked.
        GlobalFree(handle);
        return nullptr;
    }
    CountBlock(+1);
    return block;
}

void FreeBlock(void* block) {
    if (block == nullptr) {
        return;
    }
    GlobalUnlock(GlobalHandle(block));
    GlobalFree(GlobalHandle(block));
    CountBlock(-1);
}

PluginLibrary::PluginLibrary(const char* fileName)
    : module_(reinterpret_cast<void*>(LoadLibraryA(fileName))) {}

PluginLibrary::~PluginLibrary() {
    if (module_ != nullptr) {
        FreeLibrary(static_cast<HMODULE>(module_));
    }
}

void* PluginLibrary::FindEntry(const char* name) const {
    if (module_ == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module_), name));
}

}  // namespace voved

#endif
