#include "page_warmer.h"

#include <algorithm>
#include <system_error>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace voved::tool {

namespace {

// Large enough that the calls cost nothing beside the faults, small enough
// that the warmer stays just ahead of the decoder from the start.
constexpr size_t kBlockBytes = size_t{1} << 20;

#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
constexpr bool kCanWarm = true;

void Warm(uint8_t* bytes, size_t size) {
    const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<uintptr_t>(bytes);
    // Whole pages only: the partial ones at the ends are left to the decoder.
    uintptr_t at = (start + page - 1) / page * page;
    const uintptr_t end = (start + size) / page * page;
    while (at < end) {
        const size_t length = std::min<uintptr_t>(kBlockBytes, end - at);
        if (madvise(reinterpret_cast<void*>(at), length, MADV_POPULATE_WRITE) != 0) {
            return;  // not supported here, or out of memory: the decoder faults them in
        }
        at += length;
    }
}
#else
constexpr bool kCanWarm = false;

void Warm(uint8_t*, size_t) {}
#endif

}  // namespace

PageWarmer::PageWarmer(uint8_t* bytes, size_t size, bool enabled) {
    if (!enabled || !kCanWarm || bytes == nullptr) {
        return;
    }
    try {
        thread_ = std::thread(Warm, bytes, size);
    } catch (const std::system_error&) {
        // No thread to spare: the decoder faults the pages in itself.
    }
}

void PageWarmer::Join() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

PageWarmer::~PageWarmer() {
    Join();
}

}  // namespace voved::tool
