// Image files for the voved tool: readers and writers that work one line at a
// time, so that a picture never has to be held whole.
//
// Every reader hands out lines in the form the library takes: 8-bit RGB
// (3 bytes a pixel) or, when the file has an alpha channel, RGBA (4 bytes a
// pixel; the library steps over the fourth byte). Grey pictures are expanded
// to RGB, 16-bit samples are reduced to 8 bits, palettes are expanded.
// Writers take lines in the same form and turn them back into the file's
// layout (grey, grey with alpha, RGB or RGBA).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace voved::tool {

// A file that cannot be read or written: the message says why, in words.
class ImageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

enum class FileFormat { Jpeg, Png, Pnm };

// What a picture's samples mean, independently of how lines are handed out.
enum class ColourKind { Grey, GreyAlpha, Rgb, Rgba };

constexpr bool HasAlpha(ColourKind kind) {
    return kind == ColourKind::GreyAlpha || kind == ColourKind::Rgba;
}
constexpr bool IsGrey(ColourKind kind) {
    return kind == ColourKind::Grey || kind == ColourKind::GreyAlpha;
}
// Bytes of one pixel of a line as readers hand it out: 4 with alpha, else 3.
constexpr int LineChannels(ColourKind kind) {
    return HasAlpha(kind) ? 4 : 3;
}

// Pixel density as a JPEG file's JFIF header holds it.
struct JfifDensity {
    uint8_t unit = 0;  // 0: an aspect ratio only, 1: per inch, 2: per centimetre
    uint16_t x = 1;
    uint16_t y = 1;
};

// Pixel density as a PNG file's pHYs chunk holds it.
struct PngDensity {
    uint32_t x = 0;
    uint32_t y = 0;
    bool perMetre = false;  // else an aspect ratio only
};

// A PNG text chunk (tEXt, zTXt or iTXt).
struct TextChunk {
    std::string key;
    std::string text;
    int compression = -1;  // libpng's PNG_TEXT_COMPRESSION_* / PNG_ITXT_COMPRESSION_*
    std::string language;
    std::string translatedKey;
};

// How a JPEG file samples its colour: the luma factors over chroma 1 x 1
// (1 x 1 is 4:4:4, 2 x 1 is 4:2:2, 2 x 2 is 4:2:0).
struct ChromaSampling {
    int horizontal = 2;
    int vertical = 2;
};

// Metadata carried from the input to the output: the EXIF block (TIFF bytes,
// without the "Exif\0\0" marker prefix), the ICC profile, XMP packets,
// density, text, and what the file's own encoding was.
struct Metadata {
    std::vector<uint8_t> exif;
    std::vector<uint8_t> icc;
    std::vector<std::vector<uint8_t>> xmp;  // whole APP1 payloads, prefix included
    std::optional<JfifDensity> jfif;
    std::optional<PngDensity> phys;
    std::vector<TextChunk> text;  // besides XMP
    std::optional<ChromaSampling> sampling;
    bool palette = false;  // the PNG had a palette (it is written as RGB)
};

// The marker prefix of an XMP packet in a JPEG APP1 segment, and the key of
// the iTXt chunk that holds it in a PNG file.
constexpr char kXmpPrefix[] = "http://ns.adobe.com/xap/1.0/";  // and its NUL
constexpr size_t kXmpPrefixSize = sizeof kXmpPrefix;
constexpr const char* kXmpPngKey = "XML:com.adobe.xmp";

struct ImageInfo {
    uint32_t width = 0;
    uint32_t height = 0;
    ColourKind kind = ColourKind::Rgb;
    FileFormat format = FileFormat::Jpeg;
    Metadata metadata;
    std::vector<std::string> notices;  // lossy steps taken while reading
};

// Bytes to read a picture from: a file, or a block of memory.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    // Reads up to `size` bytes; returns how many were read (0 at the end).
    virtual size_t Read(uint8_t* buffer, size_t size) = 0;
};

class FileSource : public ByteSource {
  public:
    explicit FileSource(const std::string& path);
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;
    size_t Read(uint8_t* buffer, size_t size) override;

  private:
    std::FILE* file_;
    std::string path_;
};

class MemorySource : public ByteSource {
  public:
    MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    size_t Read(uint8_t* buffer, size_t size) override;

  private:
    const uint8_t* data_;
    size_t size_;
    size_t offset_ = 0;
};

class LineReader {
  public:
    virtual ~LineReader() = default;
    const ImageInfo& Info() const { return info_; }
    // Fills `line` with the next line: Info().width pixels of
    // LineChannels(Info().kind) bytes. Throws ImageError on a damaged file.
    virtual void ReadLine(uint8_t* line) = 0;

  protected:
    ImageInfo info_;
};

// Reads the format from the first bytes; throws ImageError when it is none
// of JPEG, PNG and PPM/PGM.
std::unique_ptr<LineReader> OpenReader(std::unique_ptr<ByteSource> source);

// Bytes a writer produces: an open file.
class LineWriter {
  public:
    virtual ~LineWriter() = default;
    // Takes the next line in the reader's form (3 or 4 bytes a pixel, as
    // given by the `kind` of the line at creation).
    virtual void WriteLine(const uint8_t* line) = 0;
    // Completes the file; a writer that is destroyed unfinished leaves an
    // incomplete file behind (the caller discards it).
    virtual void Finish() = 0;
};

struct WriteOptions {
    int quality = 92;                        // JPEG quality 1..100
    std::optional<ChromaSampling> sampling;  // JPEG; else the input's, else 4:2:0
    std::string format;  // extension for standard output ("" : the input's format)
};

// A writer for `format` on `file` (owned by the caller). `lineKind` is the
// form of the lines WriteLine gets; `fileKind` what the file stores. Notices
// (an alpha channel a format cannot keep) go to `notices`.
std::unique_ptr<LineWriter> OpenWriter(std::FILE* file, FileFormat format, uint32_t width,
                                       uint32_t height, ColourKind lineKind, ColourKind fileKind,
                                       const Metadata& metadata, const WriteOptions& options,
                                       std::vector<std::string>& notices);

// The format an output file name asks for, from its extension; throws
// ImageError for an unknown extension.
FileFormat FormatFromPath(const std::string& path);
// Whether an output named `formatName` (see FormatNameOf) stores a picture
// read as `input` in the input's own format and layout, so that a picture
// left as it is can be copied byte for byte.
bool KeepsFormat(const ImageInfo& input, const std::string& formatName);
// The colour kind a format can store for pictures of `kind` (an alpha channel
// is dropped by JPEG and PPM/PGM; a ".pgm" name stores grey).
ColourKind StorableKind(FileFormat format, const std::string& path, ColourKind kind);

const char* FormatName(FileFormat format);

// The name whose extension tells the format of the output `path`: the path
// itself, or for standard output one made of `options.format` or else the
// input's format.
std::string FormatNameOf(const std::string& path, const WriteOptions& options,
                         const ImageInfo& input);

// A picture decoded whole, in the reader's line form.
struct DecodedImage {
    ImageInfo info;
    std::vector<uint8_t> pixels;  // height lines of width x LineChannels(kind) bytes
};

// Reads a whole picture from memory (used by tests and the fuzz targets);
// a picture of more than `maxPixels` pixels (when not 0) is refused before
// anything is allocated for it.
DecodedImage DecodeImage(const uint8_t* data, size_t size, uint64_t maxPixels = 0);

// Grey of an RGB pixel, the luminance weights the library uses.
constexpr uint8_t GreyOf(uint8_t r, uint8_t g, uint8_t b) {
    return static_cast<uint8_t>((5 * r + 9 * g + 2 * b) >> 4);
}

// "444", "422" or "420" as sampling factors; throws ImageError for others.
ChromaSampling ParseSampling(const std::string& name);

// Density conversions between the two formats' ways to store it.
PngDensity PngDensityOf(const JfifDensity& jfif);
JfifDensity JfifDensityOf(const PngDensity& png);

// Internal: the format readers and writers.
std::unique_ptr<LineReader> OpenJpegReader(std::unique_ptr<ByteSource> source);
std::unique_ptr<LineReader> OpenPngReader(std::unique_ptr<ByteSource> source);
std::unique_ptr<LineReader> OpenPnmReader(std::unique_ptr<ByteSource> source);
std::unique_ptr<LineWriter> OpenJpegWriter(std::FILE* file, uint32_t width, uint32_t height,
                                           ColourKind lineKind, ColourKind fileKind,
                                           const Metadata& metadata, const WriteOptions& options,
                                           std::vector<std::string>& notices);
std::unique_ptr<LineWriter> OpenPngWriter(std::FILE* file, uint32_t width, uint32_t height,
                                          ColourKind lineKind, ColourKind fileKind,
                                          const Metadata& metadata, const WriteOptions& options,
                                          std::vector<std::string>& notices);
std::unique_ptr<LineWriter> OpenPnmWriter(std::FILE* file, uint32_t width, uint32_t height,
                                          ColourKind lineKind, ColourKind fileKind);

// Converts a line of `lineKind` form into the bytes of `fileKind`
// (width pixels; `out` holds width x channels of fileKind).
void PackFileLine(const uint8_t* line, uint8_t* out, uint32_t width, ColourKind lineKind,
                  ColourKind fileKind);
int FileChannels(ColourKind kind);

}  // namespace voved::tool
