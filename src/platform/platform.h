// The platform layer: memory blocks and the plug-in library.
//
// Nothing platform-specific lives anywhere else. Every block the library owns
// is zero-filled and released from the pointer it was handed out as.
#pragma once

#include <cstdint>

namespace voved {

// Allocates a zero-filled block and returns it locked, or null on failure
// (a block of 0 bytes fails on every platform).
void* AllocBlock(uint32_t bytes);

// Releases a block from its locked pointer; nothing for null.
void FreeBlock(void* block);

// A dynamic library loaded by name through the system's library search,
// released when the object goes out of scope.
class PluginLibrary {
  public:
    explicit PluginLibrary(const char* fileName);
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    bool IsLoaded() const { return module_ != nullptr; }
    // Address of an exported entry, or null when absent or not loaded.
    void* FindEntry(const char* name) const;

  private:
    void* module_;
};

// Test support, never exported from the shared library: the n-th next block
// allocation on this thread fails (n = 1: the very next; 0 switches it off).
void FailNthAllocation(int n);
// Blocks allocated and not yet released on this thread.
long LiveBlockCount();

}  // namespace voved
