// POSIX: calloc'd blocks and dlopen for the plug-in.
#if !defined(_WIN32)

#include <dlfcn.h>

#include <cstdlib>

#include "platform/fault_hook.h"
#include "platform/platform.h"

namespace voved {

void* AllocBlock(uint32_t bytes) {
    // A zero-byte block fails, as a zero-byte movable block does on Windows.
    if (bytes == 0 || ConsumeAllocationFault()) {
        return nullptr;
    }
    void* block = std::calloc(1, bytes);
    if (block != nullptr) {
        CountBlock(+1);
    }
    return block;
}

void FreeBlock(void* block) {
    if (block == nullptr) {
        return;
    }
    std::free(block);
    CountBlock(-1);
}

PluginLibrary::PluginLibrary(const char* fileName)
    : module_(dlopen(fileName, RTLD_NOW | RTLD_LOCAL)) {}

PluginLibrary::~PluginLibrary() {
    if (module_ != nullptr) {
        dlclose(module_);
    }
}

void* PluginLibrary::FindEntry(const char* name) const {
    return module_ != nullptr ? dlsym(module_, name) : nullptr;
}

}  // namespace voved

#endif
