// The voved tool's picture readers (JPEG, PNG, PPM/PGM) on any bytes, used
// as the tool uses them: the format is told from the first bytes, the
// header is read, and a picture the tool takes is read line by line into a
// heap buffer of exactly one line.
//
// The camera model is taken from the EXIF data as the tool does for the
// plug-in.
//
// A damaged file must end in an ImageError with a message, never in a
// crash, a sanitizer report, an unbounded allocation or another exception.
// Pictures larger than the tool takes are refused by it after the header;
// the harness stops there too, and reads at most kPixelBudget pixels of the
// rest so that long pictures stay quick.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "exif.h"
#include "fuzz_input.h"
#include "image.h"

namespace {

constexpr uint32_t kLargestExtent = 0xFFFF;  // the library's pixel counts are 16-bit
constexpr uint64_t kPixelBudget = uint64_t{1} << 22;

void ReadPicture(const uint8_t* data, size_t size) {
    using namespace voved::tool;
    const std::unique_ptr<LineReader> reader =
        OpenReader(std::make_unique<MemorySource>(data, size));
    const ImageInfo& info = reader->Info();
    const std::string model = CameraModelFromExif(info.metadata.exif);
    voved::fuzz::Require(model.find('\0') == std::string::npos, "a camera model with a NUL");
    if (info.width == 0 || info.height == 0 || info.width > kLargestExtent ||
        info.height > kLargestExtent) {
        return;  // the tool refuses these with a message of its own
    }
    const int channels = LineChannels(info.kind);
    voved::fuzz::Require(channels == 3 || channels == 4, "a line form the library cannot take");
    const size_t stride = size_t{info.width} * static_cast<size_t>(channels);
    const auto line = std::make_unique<uint8_t[]>(stride);
    uint64_t budget = kPixelBudget;
    for (uint32_t y = 0; y < info.height && budget >= info.width; ++y) {
        reader->ReadLine(line.get());
        budget -= info.width;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        ReadPicture(data, size);
    } catch (const voved::tool::ImageError& error) {
        voved::fuzz::Require(std::strlen(error.what()) > 0, "a refusal without a message");
    }
    return 0;
}
