// Format detection, byte sources and the format-independent parts of reading
// and writing pictures.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "image.h"

namespace voved::tool {

namespace {

constexpr size_t kSniffBytes = 8;
constexpr uint8_t kJfifPerInch = 1;
constexpr uint8_t kJfifPerCentimetre = 2;
constexpr double kMetresPerInch = 0.0254;
constexpr uint32_t kCentimetresPerMetre = 100;

// Hands out the sniffed first bytes again, then the rest of the source.
class PrefixedSource : public ByteSource {
  public:
    PrefixedSource(std::unique_ptr<ByteSource> source, const uint8_t* prefix, size_t size)
        : source_(std::move(source)), prefix_(prefix, prefix + size) {}
    size_t Read(uint8_t* buffer, size_t size) override {
        size_t done = 0;
        if (offset_ < prefix_.size()) {
            done = std::min(size, prefix_.size() - offset_);
            std::memcpy(buffer, prefix_.data() + offset_, done);
            offset_ += done;
        }
        if (done < size) {
            done += source_->Read(buffer + done, size - done);
        }
        return done;
    }

  private:
    std::unique_ptr<ByteSource> source_;
    std::vector<uint8_t> prefix_;
    size_t offset_ = 0;
};

bool StartsWith(const uint8_t* bytes, size_t size, const char* magic, size_t magicSize) {
    return size >= magicSize && std::memcmp(bytes, magic, magicSize) == 0;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string Extension(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return "";
    }
    return Lower(path.substr(dot + 1));
}

}  // namespace

FileSource::FileSource(const std::string& path)
    : file_(std::fopen(path.c_str(), "rb")), path_(path) {
    if (file_ == nullptr) {
        throw ImageError("cannot open: " + std::string(std::strerror(errno)));
    }
}

FileSource::~FileSource() {
    std::fclose(file_);
}

size_t FileSource::Read(uint8_t* buffer, size_t size) {
    const size_t done = std::fread(buffer, 1, size, file_);
    if (done < size && std::ferror(file_)) {
        throw ImageError("read error: " + std::string(std::strerror(errno)));
    }
    return done;
}

size_t MemorySource::Read(uint8_t* buffer, size_t size) {
    const size_t done = std::min(size, size_ - offset_);
    if (done == 0) {
        return 0;  // also for an empty block, whose pointer may be null
    }
    std::memcpy(buffer, data_ + offset_, done);
    offset_ += done;
    return done;
}

std::unique_ptr<LineReader> OpenReader(std::unique_ptr<ByteSource> source) {
    uint8_t head[kSniffBytes] = {};
    size_t got = 0;
    while (got < kSniffBytes) {
        const size_t n = source->Read(head + got, kSniffBytes - got);
        if (n == 0) {
            break;
        }
        got += n;
    }
    if (got == 0) {
        throw ImageError("the file is empty");
    }
    auto replay = std::make_unique<PrefixedSource>(std::move(source), head, got);
    if (StartsWith(head, got, "\xFF\xD8\xFF", 3)) {
        return OpenJpegReader(std::move(replay));
    }
    if (StartsWith(head, got, "\x89PNG\r\n\x1A\n", 8)) {
        return OpenPngReader(std::move(replay));
    }
    if (got >= 2 && head[0] == 'P' && head[1] >= '2' && head[1] <= '6' && head[1] != '4') {
        return OpenPnmReader(std::move(replay));
    }
    throw ImageError("not a picture this tool reads (JPEG, PNG, PPM or PGM)");
}

FileFormat FormatFromPath(const std::string& path) {
    const std::string ext = Extension(path);
    if (ext == "jpg" || ext == "jpeg" || ext == "jpe") {
        return FileFormat::Jpeg;
    }
    if (ext == "png") {
        return FileFormat::Png;
    }
    if (ext == "ppm" || ext == "pgm" || ext == "pnm") {
        return FileFormat::Pnm;
    }
    throw ImageError("cannot tell the output format from the name '" + path +
                     "': use .jpg, .png, .ppm or .pgm");
}

ColourKind StorableKind(FileFormat format, const std::string& path, ColourKind kind) {
    const bool grey = IsGrey(kind) || (format == FileFormat::Pnm && Extension(path) == "pgm");
    if (format == FileFormat::Png) {
        if (grey) {
            return HasAlpha(kind) ? ColourKind::GreyAlpha : ColourKind::Grey;
        }
        return kind;
    }
    if (format == FileFormat::Pnm && Extension(path) == "ppm") {
        return ColourKind::Rgb;
    }
    return grey ? ColourKind::Grey : ColourKind::Rgb;
}

bool KeepsFormat(const ImageInfo& input, const std::string& formatName) {
    const FileFormat format = FormatFromPath(formatName);
    if (format != input.format) {
        return false;
    }
    return format != FileFormat::Pnm ||
           IsGrey(StorableKind(format, formatName, input.kind)) == IsGrey(input.kind);
}

const char* FormatName(FileFormat format) {
    switch (format) {
    case FileFormat::Jpeg:
        return "JPEG";
    case FileFormat::Png:
        return "PNG";
    case FileFormat::Pnm:
        return "PPM/PGM";
    }
    return "?";
}

std::string FormatNameOf(const std::string& path, const WriteOptions& options,
                         const ImageInfo& input) {
    if (path != "-") {
        return path;
    }
    if (!options.format.empty()) {
        return "-." + options.format;
    }
    switch (input.format) {
    case FileFormat::Jpeg:
        return "-.jpg";
    case FileFormat::Png:
        return "-.png";
    case FileFormat::Pnm:
        break;
    }
    return IsGrey(input.kind) ? "-.pgm" : "-.ppm";
}

int FileChannels(ColourKind kind) {
    switch (kind) {
    case ColourKind::Grey:
        return 1;
    case ColourKind::GreyAlpha:
        return 2;
    case ColourKind::Rgb:
        return 3;
    case ColourKind::Rgba:
        return 4;
    }
    return 3;
}

void PackFileLine(const uint8_t* line, uint8_t* out, uint32_t width, ColourKind lineKind,
                  ColourKind fileKind) {
    const int in = LineChannels(lineKind);
    if (lineKind == fileKind && !IsGrey(lineKind)) {  // RGB or RGBA both ways
        std::memcpy(out, line, size_t{width} * static_cast<size_t>(in));
        return;
    }
    for (uint32_t x = 0; x < width; ++x, line += in) {
        const uint8_t alpha = HasAlpha(lineKind) ? line[3] : 255;
        switch (fileKind) {
        case ColourKind::Grey:
            *out++ = GreyOf(line[0], line[1], line[2]);
            break;
        case ColourKind::GreyAlpha:
            *out++ = GreyOf(line[0], line[1], line[2]);
            *out++ = alpha;
            break;
        case ColourKind::Rgb:
            *out++ = line[0];
            *out++ = line[1];
            *out++ = line[2];
            break;
        case ColourKind::Rgba:
            *out++ = line[0];
            *out++ = line[1];
            *out++ = line[2];
            *out++ = alpha;
            break;
        }
    }
}

std::unique_ptr<LineWriter> OpenWriter(std::FILE* file, FileFormat format, uint32_t width,
                                       uint32_t height, ColourKind lineKind, ColourKind fileKind,
                                       const Metadata& metadata, const WriteOptions& options,
                                       std::vector<std::string>& notices) {
    if (HasAlpha(lineKind) && !HasAlpha(fileKind)) {
        notices.push_back(std::string("the alpha channel is dropped: ") + FormatName(format) +
                          " files have none");
    }
    if (!IsGrey(lineKind) && IsGrey(fileKind)) {
        notices.push_back("the colours are dropped: a .pgm file holds grey only");
    }
    switch (format) {
    case FileFormat::Jpeg:
        return OpenJpegWriter(file, width, height, lineKind, fileKind, metadata, options, notices);
    case FileFormat::Png:
        return OpenPngWriter(file, width, height, lineKind, fileKind, metadata, options, notices);
    case FileFormat::Pnm:
        break;
    }
    return OpenPnmWriter(file, width, height, lineKind, fileKind);
}

ChromaSampling ParseSampling(const std::string& name) {
    if (name == "444") {
        return {1, 1};
    }
    if (name == "422") {
        return {2, 1};
    }
    if (name == "420") {
        return {2, 2};
    }
    throw ImageError("chroma subsampling is one of 444, 422 and 420");
}

PngDensity PngDensityOf(const JfifDensity& jfif) {
    PngDensity png;
    png.perMetre = jfif.unit == kJfifPerInch || jfif.unit == kJfifPerCentimetre;
    const double perMetre = jfif.unit == kJfifPerInch         ? 1 / kMetresPerInch
                            : jfif.unit == kJfifPerCentimetre ? kCentimetresPerMetre
                                                              : 1;
    png.x = static_cast<uint32_t>(std::lround(jfif.x * perMetre));
    png.y = static_cast<uint32_t>(std::lround(jfif.y * perMetre));
    return png;
}

JfifDensity JfifDensityOf(const PngDensity& png) {
    JfifDensity jfif;
    double scale = 1;
    if (png.perMetre) {
        const bool wholeCentimetres =
            png.x % kCentimetresPerMetre == 0 && png.y % kCentimetresPerMetre == 0;
        jfif.unit = wholeCentimetres ? kJfifPerCentimetre : kJfifPerInch;
        scale = wholeCentimetres ? 1.0 / kCentimetresPerMetre : kMetresPerInch;
    }
    auto store = [scale](uint32_t v) {
        return static_cast<uint16_t>(std::clamp<long>(std::lround(v * scale), 1, 0xFFFF));
    };
    jfif.x = store(png.x);
    jfif.y = store(png.y);
    return jfif;
}

DecodedImage DecodeImage(const uint8_t* data, size_t size, uint64_t maxPixels) {
    auto reader = OpenReader(std::make_unique<MemorySource>(data, size));
    DecodedImage image;
    image.info = reader->Info();
    if (maxPixels != 0 && uint64_t{image.info.width} * image.info.height > maxPixels) {
        throw ImageError("the picture is larger than " + std::to_string(maxPixels) + " pixels");
    }
    const size_t stride = size_t{image.info.width} * LineChannels(image.info.kind);
    image.pixels.resize(stride * image.info.height);
    for (uint32_t y = 0; y < image.info.height; ++y) {
        reader->ReadLine(image.pixels.data() + stride * y);
    }
    return image;
}

}  // namespace voved::tool
