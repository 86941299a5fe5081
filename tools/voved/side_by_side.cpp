#include "side_by_side.h"

#include <cstring>
#include <utility>
#include <vector>

#include "exif.h"

namespace voved::tool {

namespace {

constexpr int kUpright = 1;
constexpr int kFirstTransposed = 5;  // 5 to 8 swap width and height

bool Transposes(int orientation) {
    return orientation >= kFirstTransposed;
}

// Where the pixel shown at (x, y) of the upright picture is stored, for a
// stored picture of width x height and an EXIF orientation 1 to 8.
std::pair<uint32_t, uint32_t> StoredAt(uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                                       int orientation) {
    switch (orientation) {
    case 2:  // mirrored
        return {width - 1 - x, y};
    case 3:  // turned half round
        return {width - 1 - x, height - 1 - y};
    case 4:  // mirrored top to bottom
        return {x, height - 1 - y};
    case 5:  // transposed
        return {y, x};
    case 6:  // to be turned a quarter clockwise
        return {y, height - 1 - x};
    case 7:  // transposed the other way
        return {width - 1 - y, height - 1 - x};
    case 8:  // to be turned a quarter anticlockwise
        return {width - 1 - y, x};
    default:
        return {x, y};
    }
}

class HeldPairs : public LineWriter {
  public:
    HeldPairs(std::unique_ptr<LineWriter> writer, const ImageInfo& input, int orientation)
        : writer_(std::move(writer)), width_(input.width), height_(input.height),
          channels_(LineChannels(input.kind)), orientation_(orientation),
          before_(size_t{width_} * height_ * channels_), after_(before_.size()) {}

    void WriteLine(const uint8_t* line) override {
        const size_t stride = size_t{width_} * channels_;
        std::memcpy(before_.data() + stride * row_, line, stride);
        std::memcpy(after_.data() + stride * row_, line + stride, stride);
        ++row_;
    }

    void Finish() override {
        const bool swap = Transposes(orientation_);
        const uint32_t shownWidth = swap ? height_ : width_;
        const uint32_t shownHeight = swap ? width_ : height_;
        std::vector<uint8_t> line(size_t{2} * shownWidth * channels_);
        for (uint32_t y = 0; y < shownHeight; ++y) {
            for (uint32_t x = 0; x < shownWidth; ++x) {
                const auto [sx, sy] = StoredAt(x, y, width_, height_, orientation_);
                const size_t from = (size_t{sy} * width_ + sx) * channels_;
                std::memcpy(line.data() + size_t{x} * channels_, before_.data() + from, channels_);
                std::memcpy(line.data() + (size_t{shownWidth} + x) * channels_,
                            after_.data() + from, channels_);
            }
            writer_->WriteLine(line.data());
        }
        writer_->Finish();
    }

  private:
    std::unique_ptr<LineWriter> writer_;
    uint32_t width_;
    uint32_t height_;
    size_t channels_;
    int orientation_;
    std::vector<uint8_t> before_;
    std::vector<uint8_t> after_;
    uint32_t row_ = 0;
};

}  // namespace

ImageInfo PairInfo(const ImageInfo& input) {
    ImageInfo pair = input;
    const int orientation = OrientationFromExif(input.metadata.exif);
    const bool swap = Transposes(orientation);
    pair.width = 2 * (swap ? input.height : input.width);
    pair.height = swap ? input.width : input.height;
    if (orientation != kUpright) {
        pair.metadata.exif = UprightExif(input.metadata.exif);
    }
    return pair;
}

std::unique_ptr<LineWriter> UprightPairs(std::unique_ptr<LineWriter> writer,
                                         const ImageInfo& input) {
    const int orientation = OrientationFromExif(input.metadata.exif);
    if (orientation == kUpright) {
        return writer;
    }
    return std::make_unique<HeldPairs>(std::move(writer), input, orientation);
}

}  // namespace voved::tool
