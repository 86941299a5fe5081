#include "shared_statistics.h"

#include <algorithm>

#include "words.h"

namespace voved::tool {

namespace {

// The library's sampling stride for lines of `width` pixels.
constexpr uint32_t kSamplesPerLine = 81;
uint32_t SamplingStride(uint32_t width) {
    return width / kSamplesPerLine + 1;
}

// A call that reads no pixel: it only moves the context's count of calls.
void EmptyCall(Context& context) {
    const QVResult result = QVHistogram(context.Handle(), nullptr, 0, 0, QV_PIXEL_RGB, 0);
    if (result != QV_RESULT_OK) {
        throw LibraryError("the statistics failed: " + ResultInWords(result));
    }
}

}  // namespace

SharedStatistics::SharedStatistics(const ImageInfo& info, const uint8_t* lines, size_t lineBytes)
    : info_(info), lines_(lines), lineBytes_(lineBytes), blockLines_(SamplingStride(info.width)),
      blocks_((info.height + blockLines_ - 1) / blockLines_), bottom_(blocks_) {}

bool SharedStatistics::ClaimFromTop(uint32_t block) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (block == 0) {
        return true;
    }
    if (block < bottom_) {
        top_ = block + 1;
        return true;
    }
    return false;
}

bool SharedStatistics::ClaimFromBottom(uint32_t* block) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (abandoned_ || bottom_ <= top_) {
        return false;
    }
    *block = --bottom_;
    return true;
}

void SharedStatistics::JobLine(Context& own, uint32_t y) {
    if (y % blockLines_ == 0) {
        jobOwnsBlock_ = ClaimFromTop(y / blockLines_);
    }
    if (jobOwnsBlock_) {
        AddStatistics(own, lines_ + lineBytes_ * y, info_, nullptr);
    }
}

void SharedStatistics::HelpFromBottom() noexcept {
    try {
        uint32_t block = 0;
        while (ClaimFromBottom(&block)) {
            const uint32_t first = block * blockLines_;
            const uint32_t end = std::min(first + blockLines_, info_.height);
            for (uint32_t y = first; y < end; ++y) {
                AddStatistics(helper_, lines_ + lineBytes_ * y, info_, nullptr);
            }
            // Back on the grid for the next block.
            for (helperCalls_ += end - first; helperCalls_ % blockLines_ != 0; ++helperCalls_) {
                EmptyCall(helper_);
            }
        }
    } catch (...) {
        failure_ = std::current_exception();
    }
}

void SharedStatistics::MergeInto(Context& own) {
    if (failure_) {
        std::rethrow_exception(failure_);
    }
    if (helperCalls_ == 0) {
        return;
    }
    const QVResult result = QVMargeHisto(own.Handle(), helper_.Handle());
    if (result != QV_RESULT_OK) {
        throw LibraryError("the statistics failed: " + ResultInWords(result));
    }
}

void SharedStatistics::Abandon() {
    std::lock_guard<std::mutex> lock(mutex_);
    abandoned_ = true;
}

}  // namespace voved::tool
