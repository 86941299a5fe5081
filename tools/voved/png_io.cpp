// PNG reading and writing with libpng. Errors jump back to the guarded call
// that started the work, which turns the message into an ImageError.
#include <csetjmp>
#include <cstring>
#include <string>

#include <png.h>

#include "image.h"

namespace voved::tool {

namespace {

// The tool corrects at most 65535 x 65535 pixels. A larger header is refused
// before the PNG library allocates rows for it.
constexpr png_uint_32 kMaxExtent = 65535;
// An interlaced picture is decoded whole; beyond this size it is refused
// rather than allocated on the word of its header.
constexpr size_t kMaxInterlacedBytes = size_t{1} << 30;

struct ErrorState {
    std::jmp_buf jump;
    std::string message;
};

[[noreturn]] void ExitWithMessage(png_structp png, png_const_charp message) {
    auto* state = static_cast<ErrorState*>(png_get_error_ptr(png));
    state->message = message;
    std::longjmp(state->jump, 1);
}

void IgnoreWarning(png_structp, png_const_charp) {}

template <typename Call>
void Guarded(ErrorState& state, const char* what, Call call) {
    if (setjmp(state.jump) != 0) {
        throw ImageError(std::string(what) + ": " + state.message);
    }
    call();
}

void ReadFromSource(png_structp png, png_bytep data, size_t size) {
    auto* source = static_cast<ByteSource*>(png_get_io_ptr(png));
    size_t got = 0;
    try {
        while (got < size) {
            const size_t n = source->Read(data + got, size - got);
            if (n == 0) {
                break;
            }
            got += n;
        }
    } catch (const ImageError&) {
        png_error(png, "read error");
    }
    if (got < size) {
        png_error(png, "the file ends too early");
    }
}

ColourKind KindOfColourType(int colourType) {
    switch (colourType) {
    case PNG_COLOR_TYPE_GRAY:
        return ColourKind::Grey;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        return ColourKind::GreyAlpha;
    case PNG_COLOR_TYPE_RGB_ALPHA:
        return ColourKind::Rgba;
    default:
        return ColourKind::Rgb;
    }
}

// Expands one decoded row (in the file's kind) into the reader's line form.
void ExpandRow(const uint8_t* row, uint8_t* line, uint32_t width, ColourKind kind) {
    for (uint32_t x = 0; x < width; ++x) {
        switch (kind) {
        case ColourKind::Grey:
            line[0] = line[1] = line[2] = row[0];
            row += 1;
            line += 3;
            break;
        case ColourKind::GreyAlpha:
            line[0] = line[1] = line[2] = row[0];
            line[3] = row[1];
            row += 2;
            line += 4;
            break;
        case ColourKind::Rgb:
            std::memcpy(line, row, 3);
            row += 3;
            line += 3;
            break;
        case ColourKind::Rgba:
            std::memcpy(line, row, 4);
            row += 4;
            line += 4;
            break;
        }
    }
}

class PngReader : public LineReader {
  public:
    explicit PngReader(std::unique_ptr<ByteSource> source) : source_(std::move(source)) {}

    // The work that can fail, after construction, so that the destructor
    // releases whatever the library allocated.
    void Start() {
        png_ =
            png_create_read_struct(PNG_LIBPNG_VER_STRING, &errors_, ExitWithMessage, IgnoreWarning);
        if (png_ == nullptr) {
            throw ImageError("cannot read the PNG: out of memory");
        }
        Guarded(errors_, "cannot read the PNG", [this] {
            pngInfo_ = png_create_info_struct(png_);
            if (pngInfo_ == nullptr) {
                png_error(png_, "out of memory");
            }
            png_set_read_fn(png_, source_.get(), ReadFromSource);
            png_set_option(png_, PNG_SKIP_sRGB_CHECK_PROFILE, PNG_OPTION_ON);
            // No limit of the PNG library's own: the tool's is checked just after the
            // header, with a message that says what it is.
            png_set_user_limits(png_, 0x7FFFFFFF, 0x7FFFFFFF);
            png_read_info(png_, pngInfo_);
        });
        const png_uint_32 width = png_get_image_width(png_, pngInfo_);
        const png_uint_32 height = png_get_image_height(png_, pngInfo_);
        if (width > kMaxExtent || height > kMaxExtent) {
            throw ImageError("the PNG is " + std::to_string(width) + " x " +
                             std::to_string(height) +
                             " pixels; the tool takes at most 65535 in either direction");
        }
        ConfigureTransforms();
    }

    ~PngReader() override { png_destroy_read_struct(&png_, &pngInfo_, nullptr); }

    void ReadLine(uint8_t* line) override {
        if (!whole_.empty()) {
            ExpandRow(whole_.data() + rowBytes_ * nextRow_++, line, info_.width, fileKind_);
            return;
        }
        Guarded(errors_, "the PNG data is damaged",
                [this] { png_read_row(png_, row_.data(), nullptr); });
        ExpandRow(row_.data(), line, info_.width, fileKind_);
    }

  private:
    void ConfigureTransforms() {
        Guarded(errors_, "cannot read the PNG", [this] {
            const int bitDepth = png_get_bit_depth(png_, pngInfo_);
            const int colourType = png_get_color_type(png_, pngInfo_);
            if (colourType == PNG_COLOR_TYPE_PALETTE) {
                png_set_palette_to_rgb(png_);
                info_.metadata.palette = true;
            }
            if (colourType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) {
                png_set_expand_gray_1_2_4_to_8(png_);
            }
            if (png_get_valid(png_, pngInfo_, PNG_INFO_tRNS)) {
                png_set_tRNS_to_alpha(png_);
            }
            if (bitDepth == 16) {
                png_set_scale_16(png_);
                sixteenBit_ = true;
            }
            interlaced_ = png_get_interlace_type(png_, pngInfo_) != PNG_INTERLACE_NONE;
            if (interlaced_) {
                png_set_interlace_handling(png_);
            }
            png_read_update_info(png_, pngInfo_);
            CollectMetadata();
        });
        info_.format = FileFormat::Png;
        info_.width = png_get_image_width(png_, pngInfo_);
        info_.height = png_get_image_height(png_, pngInfo_);
        fileKind_ = KindOfColourType(png_get_color_type(png_, pngInfo_));
        info_.kind = fileKind_;
        rowBytes_ = png_get_rowbytes(png_, pngInfo_);
        if (sixteenBit_) {
            info_.notices.push_back("16-bit samples reduced to 8 bits");
        }
        if (interlaced_) {
            // The passes of an interlaced file each cover the whole picture.
            info_.notices.push_back("interlaced PNG: decoded whole in memory");
            if (rowBytes_ > kMaxInterlacedBytes / info_.height) {
                throw ImageError("the interlaced PNG would take more than 1 GiB to decode whole; "
                                 "save it without interlacing");
            }
            whole_.resize(rowBytes_ * info_.height);
            std::vector<png_bytep> rows(info_.height);
            for (uint32_t y = 0; y < info_.height; ++y) {
                rows[y] = whole_.data() + rowBytes_ * y;
            }
            Guarded(errors_, "the PNG data is damaged",
                    [this, &rows] { png_read_image(png_, rows.data()); });
        } else {
            row_.resize(rowBytes_);
        }
    }

    void CollectMetadata() {
        png_charp name = nullptr;
        int compression = 0;
        png_bytep profile = nullptr;
        png_uint_32 length = 0;
        if (png_get_iCCP(png_, pngInfo_, &name, &compression, &profile, &length) != 0) {
            info_.metadata.icc.assign(profile, profile + length);
        }
        png_bytep exif = nullptr;
        png_uint_32 exifLength = 0;
        if (png_get_eXIf_1(png_, pngInfo_, &exifLength, &exif) != 0) {
            info_.metadata.exif.assign(exif, exif + exifLength);
        }
        png_uint_32 x = 0;
        png_uint_32 y = 0;
        int unit = 0;
        if (png_get_pHYs(png_, pngInfo_, &x, &y, &unit) != 0) {
            info_.metadata.phys = PngDensity{x, y, unit == PNG_RESOLUTION_METER};
        }
        CollectText();
    }

    // Text chunks; the XMP packet among them goes with the JPEG ones.
    void CollectText() {
        png_textp text = nullptr;
        int count = 0;
        png_get_text(png_, pngInfo_, &text, &count);
        for (int i = 0; i < count; ++i) {
            const png_text& t = text[i];
            const size_t length = t.compression > 0 ? t.itxt_length : t.text_length;
            std::string body(t.text != nullptr ? t.text : "", t.text != nullptr ? length : 0);
            if (std::strcmp(t.key, kXmpPngKey) == 0) {
                std::vector<uint8_t> packet(kXmpPrefix, kXmpPrefix + kXmpPrefixSize);
                packet.insert(packet.end(), body.begin(), body.end());
                info_.metadata.xmp.push_back(std::move(packet));
                continue;
            }
            info_.metadata.text.push_back({t.key, std::move(body), t.compression,
                                           t.lang != nullptr ? t.lang : "",
                                           t.lang_key != nullptr ? t.lang_key : ""});
        }
    }

    std::unique_ptr<ByteSource> source_;
    ErrorState errors_;
    png_structp png_ = nullptr;
    png_infop pngInfo_ = nullptr;
    ColourKind fileKind_ = ColourKind::Rgb;
    size_t rowBytes_ = 0;
    bool sixteenBit_ = false;
    bool interlaced_ = false;
    std::vector<uint8_t> row_;
    std::vector<uint8_t> whole_;
    uint32_t nextRow_ = 0;
};

int ColourTypeOfKind(ColourKind kind) {
    switch (kind) {
    case ColourKind::Grey:
        return PNG_COLOR_TYPE_GRAY;
    case ColourKind::GreyAlpha:
        return PNG_COLOR_TYPE_GRAY_ALPHA;
    case ColourKind::Rgb:
        return PNG_COLOR_TYPE_RGB;
    case ColourKind::Rgba:
        return PNG_COLOR_TYPE_RGB_ALPHA;
    }
    return PNG_COLOR_TYPE_RGB;
}

class PngWriter : public LineWriter {
  public:
    PngWriter(uint32_t width, ColourKind lineKind, ColourKind fileKind)
        : width_(width), lineKind_(lineKind), fileKind_(fileKind) {}

    void Start(std::FILE* file, uint32_t height, const Metadata& metadata,
               std::vector<std::string>& notices) {
        const uint32_t width = width_;
        PrepareText(metadata);
        png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, &errors_, ExitWithMessage,
                                       IgnoreWarning);
        if (png_ == nullptr) {
            throw ImageError("cannot write the PNG: out of memory");
        }
        Guarded(errors_, "cannot write the PNG", [&, this] {
            pngInfo_ = png_create_info_struct(png_);
            if (pngInfo_ == nullptr) {
                png_error(png_, "out of memory");
            }
            png_init_io(png_, file);
            // A profile that fails libpng's checks is dropped, with a
            // notice, rather than failing the whole picture.
            png_set_option(png_, PNG_SKIP_sRGB_CHECK_PROFILE, PNG_OPTION_ON);
            png_set_benign_errors(png_, 1);
            png_set_IHDR(png_, pngInfo_, width, height, 8, ColourTypeOfKind(fileKind_),
                         PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
            if (!metadata.icc.empty()) {
                png_set_iCCP(png_, pngInfo_, "ICC profile", PNG_COMPRESSION_TYPE_BASE,
                             metadata.icc.data(), static_cast<png_uint_32>(metadata.icc.size()));
                if (png_get_valid(png_, pngInfo_, PNG_INFO_iCCP) == 0) {
                    notices.push_back("the ICC profile is dropped: libpng finds it invalid");
                }
            }
            if (!metadata.exif.empty()) {
                png_set_eXIf_1(png_, pngInfo_, static_cast<png_uint_32>(metadata.exif.size()),
                               const_cast<png_bytep>(metadata.exif.data()));
            }
            SetDensity(metadata);
            if (!textChunks_.empty()) {
                png_set_text(png_, pngInfo_, textChunks_.data(),
                             static_cast<int>(textChunks_.size()));
            }
            png_write_info(png_, pngInfo_);
        });
        row_.resize(size_t{width} * static_cast<size_t>(FileChannels(fileKind_)));
        if (metadata.palette) {
            notices.push_back("the palette picture is written with full colour samples (a "
                              "larger file)");
        }
    }

    ~PngWriter() override { png_destroy_write_struct(&png_, &pngInfo_); }

    void WriteLine(const uint8_t* line) override {
        PackFileLine(line, row_.data(), width_, lineKind_, fileKind_);
        Guarded(errors_, "cannot write the PNG", [this] { png_write_row(png_, row_.data()); });
    }

    void Finish() override {
        Guarded(errors_, "cannot write the PNG", [this] { png_write_end(png_, nullptr); });
    }

  private:
    // The input's density, in whichever form it had it. A JPEG without a
    // unit and at 1:1 says nothing and gets no chunk.
    void SetDensity(const Metadata& metadata) {
        std::optional<PngDensity> density = metadata.phys;
        if (!density && metadata.jfif &&
            (metadata.jfif->unit != 0 || metadata.jfif->x != metadata.jfif->y)) {
            density = PngDensityOf(*metadata.jfif);
        }
        if (density) {
            png_set_pHYs(png_, pngInfo_, density->x, density->y,
                         density->perMetre ? PNG_RESOLUTION_METER : PNG_RESOLUTION_UNKNOWN);
        }
    }

    // The text chunks as they were, and the XMP packets of a JPEG file as
    // iTXt chunks under their usual key; made before the guarded calls,
    // which must not hold anything that needs destroying.
    void PrepareText(const Metadata& metadata) {
        std::vector<png_text>& chunks = textChunks_;
        for (const auto& t : metadata.text) {
            png_text chunk{};
            chunk.compression = t.compression;
            chunk.key = const_cast<png_charp>(t.key.c_str());
            chunk.text = const_cast<png_charp>(t.text.c_str());
            chunk.lang = const_cast<png_charp>(t.language.c_str());
            chunk.lang_key = const_cast<png_charp>(t.translatedKey.c_str());
            chunks.push_back(chunk);
        }
        std::vector<std::string>& packets = xmpPackets_;
        for (const auto& xmp : metadata.xmp) {
            if (xmp.size() >= kXmpPrefixSize &&
                std::memcmp(xmp.data(), kXmpPrefix, kXmpPrefixSize) == 0) {
                packets.emplace_back(xmp.begin() + kXmpPrefixSize, xmp.end());
            }
        }
        for (const auto& packet : packets) {
            png_text chunk{};
            chunk.compression = PNG_ITXT_COMPRESSION_NONE;
            chunk.key = const_cast<png_charp>(kXmpPngKey);
            chunk.text = const_cast<png_charp>(packet.c_str());
            chunks.push_back(chunk);
        }
    }

    ErrorState errors_;
    png_structp png_ = nullptr;
    png_infop pngInfo_ = nullptr;
    std::vector<png_text> textChunks_;
    std::vector<std::string> xmpPackets_;
    uint32_t width_;
    ColourKind lineKind_;
    ColourKind fileKind_;
    std::vector<uint8_t> row_;
};

}  // namespace

std::unique_ptr<LineReader> OpenPngReader(std::unique_ptr<ByteSource> source) {
    auto reader = std::make_unique<PngReader>(std::move(source));
    reader->Start();
    return reader;
}

std::unique_ptr<LineWriter> OpenPngWriter(std::FILE* file, uint32_t width, uint32_t height,
                                          ColourKind lineKind, ColourKind fileKind,
                                          const Metadata& metadata, const WriteOptions& /*options*/,
                                          std::vector<std::string>& notices) {
    auto writer = std::make_unique<PngWriter>(width, lineKind, fileKind);
    writer->Start(file, height, metadata, notices);
    return writer;
}

}  // namespace voved::tool
