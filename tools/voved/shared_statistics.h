// The statistics pass of a picture held whole, shared between the job's
// thread and the decoder's thread once the decoder has nothing left to do.
//
// The job's thread takes blocks of lines from the top as it reads them, the
// decoder's thread (after the last line) takes blocks from the bottom, each
// into a context of its own; the two meet where they meet, and the bottom
// context is merged into the job's with QVMargeHisto. QVHistogram samples a
// grid that follows each context's count of calls (every stride-th call,
// stride = width / 81 + 1), so a block is one stride of lines starting at a
// multiple of the stride, and the short last block of the picture, when the
// helper takes it first, is followed by empty calls up to the next multiple.
// The merged statistics are then those of one pass over every line: the
// sums and counts wrap at 32 bits, so their order does not matter.
#pragma once

#include <cstdint>
#include <exception>
#include <mutex>

#include "image.h"
#include "jobs.h"

namespace voved::tool {

class SharedStatistics {
  public:
    // `lines`: the picture's buffer of info.height lines of `lineBytes`.
    SharedStatistics(const ImageInfo& info, const uint8_t* lines, size_t lineBytes);

    // Job's thread, for every line in order once it is decoded: adds it to
    // `own` unless its block went to the decoder's thread.
    void JobLine(Context& own, uint32_t y);

    // Decoder's thread, after the last line: takes blocks from the bottom
    // until the two meet or the job gives up. Never throws.
    void HelpFromBottom() noexcept;

    // Job's thread, once the decoder's thread has ended: adds what it did to
    // `own`, or throws what stopped it.
    void MergeInto(Context& own);

    // The job stops early: the helper takes no further block.
    void Abandon();

  private:
    bool ClaimFromTop(uint32_t block);
    bool ClaimFromBottom(uint32_t* block);

    const ImageInfo& info_;
    const uint8_t* lines_;
    size_t lineBytes_;
    uint32_t blockLines_;
    uint32_t blocks_;

    std::mutex mutex_;
    uint32_t top_ = 1;  // the job's thread always keeps the first block
    uint32_t bottom_;
    bool abandoned_ = false;
    bool jobOwnsBlock_ = true;

    Context helper_;
    uint32_t helperCalls_ = 0;
    std::exception_ptr failure_;
};

}  // namespace voved::tool
