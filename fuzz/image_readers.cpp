// The voved tool's picture readers (JPEG, PNG, PPM/PGM) on any bytes, used
// as the tool uses them: the format is told from the first bytes, the
// header is read, and a picture the tool takes is read line by line into a
// heap buffer of exactly one line.
//
// The camera model is taken from the EXIF data as the tool does for the
// plug-in. The PNG library is not instrumented and checks a checksum on
// every chunk, which a mutation almost never keeps right: the harness
// recomputes the checksums of a PNG input, so that mutated headers and chunks
// reach the reader.
//
// A damaged file must end in an ImageError with a message, never in a
// crash, a sanitizer report, an unbounded allocation or another exception.
// Pictures larger than the tool takes are refused by it after the header;
// the harness stops there too, and reads at most kPixelBudget pixels of the
// rest so that long pictures stay quick.
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "exif.h"
#include "fuzz_input.h"
#include "image.h"

namespace {

constexpr uint32_t kLargestExtent = 0xFFFF;  // the library's pixel counts are 16-bit
constexpr uint64_t kPixelBudget = uint64_t{1} << 22;

constexpr uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr size_t kChunkHead = 8;  // length and type
constexpr size_t kChunkCheck = 4;

uint32_t BigEndian32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// Makes the checksum of every whole chunk of a PNG match its type and data.
void RepairPngChecksums(std::vector<uint8_t>* file) {
    std::vector<uint8_t>& f = *file;
    if (f.size() < sizeof kPngSignature ||
        std::memcmp(f.data(), kPngSignature, sizeof kPngSignature) != 0) {
        return;
    }
    size_t at = sizeof kPngSignature;
    while (f.size() - at >= kChunkHead + kChunkCheck) {
        const size_t length = BigEndian32(f.data() + at);
        if (length > f.size() - at - kChunkHead - kChunkCheck) {
            return;
        }
        const uLong check = crc32(0, f.data() + at + 4, static_cast<uInt>(length + kChunkHead - 4));
        uint8_t* out = f.data() + at + kChunkHead + length;
        for (int i = 0; i < 4; ++i) {
            out[i] = static_cast<uint8_t>((check >> (24 - 8 * i)) & 0xFFu);
        }
        at += kChunkHead + length + kChunkCheck;
    }
}

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
    std::vector<uint8_t> file(data, data + size);
    RepairPngChecksums(&file);
    try {
        // An exact copy of the file's size, so that a read past its end shows.
        const auto bytes = std::make_unique<uint8_t[]>(file.size());
        if (!file.empty()) {
            std::memcpy(bytes.get(), file.data(), file.size());
        }
        ReadPicture(bytes.get(), file.size());
    } catch (const voved::tool::ImageError& error) {
        voved::fuzz::Require(std::strlen(error.what()) > 0, "a refusal without a message");
    }
    return 0;
}
