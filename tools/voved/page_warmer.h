// Faulting in a fresh picture buffer on a thread of its own, ahead of the
// decoder that fills it.
//
// A picture held whole lives in memory the kernel hands out page by page on
// first touch, so a decoder writing 72 MiB into it stops about 18,000
// times to have a page cleared and mapped; that is about a third of its
// time on the development machine, and the decoder is the longer of the
// two threads before the correction. The warmer asks the kernel to map the
// pages in order from the top (madvise with MADV_POPULATE_WRITE), which
// never changes what a page holds: a page the decoder has already written
// stays as it is. Where the kernel cannot (before Linux 5.14, or on other
// systems), or no thread can be started, it does nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <thread>

namespace voved::tool {

class PageWarmer {
  public:
    // Starts warming bytes .. bytes + size - 1, unless `enabled` is false.
    PageWarmer(uint8_t* bytes, size_t size, bool enabled);
    // Waits for the thread; call it before the buffer goes.
    void Join();
    ~PageWarmer();

    PageWarmer(const PageWarmer&) = delete;
    PageWarmer& operator=(const PageWarmer&) = delete;

  private:
    std::thread thread_;
};

}  // namespace voved::tool
