// JPEG reading and writing with libjpeg. The library reports errors by
// calling a routine that must not return; it jumps back to the guarded call
// that started the work, which turns the message into an ImageError.
// Warnings about corrupt or missing data are treated as errors: a truncated
// file must not come out as a picture with a grey bottom.
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

#include <jerror.h>  // after jpeglib.h, which it needs

#include "image.h"

namespace voved::tool {

namespace {

constexpr size_t kSourceBuffer = 64 * 1024;
constexpr int kExifMarker = JPEG_APP0 + 1;
constexpr int kIccMarker = JPEG_APP0 + 2;
constexpr char kExifPrefix[] = "Exif\0\0";  // 6 bytes
constexpr size_t kExifPrefixSize = 6;
constexpr char kIccPrefix[] = "ICC_PROFILE";  // followed by NUL, sequence, count
constexpr size_t kIccHeaderSize = 14;
constexpr size_t kMaxMarkerPayload = 65533;
constexpr size_t kIccChunk = kMaxMarkerPayload - kIccHeaderSize;

struct ErrorState {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void ExitWithMessage(j_common_ptr info) {
    auto* state = reinterpret_cast<ErrorState*>(info->err);
    (*info->err->format_message)(info, state->message);
    std::longjmp(state->jump, 1);
}

// Warnings that leave the picture intact; every other warning means that
// the data is corrupt or cut short, and is made fatal.
bool IsHarmlessWarning(int code) {
    return code == JWRN_EXTRANEOUS_DATA || code == JWRN_ADOBE_XFORM || code == JWRN_JFIF_MAJOR ||
           code == JWRN_BOGUS_PROGRESSION;
}

void EmitMessage(j_common_ptr info, int level) {
    if (level < 0 && !IsHarmlessWarning(info->err->msg_code)) {
        ExitWithMessage(info);
    }
}

void InstallErrors(ErrorState& state) {
    jpeg_std_error(&state.manager);
    state.manager.error_exit = ExitWithMessage;
    state.manager.emit_message = EmitMessage;
    state.message[0] = '\0';
}

// Runs one call into the library; a library error becomes an ImageError.
// `call` must hold nothing that needs destroying: the jump skips it.
template <typename Call>
void Guarded(ErrorState& state, const char* what, Call call) {
    if (setjmp(state.jump) != 0) {
        throw ImageError(std::string(what) + ": " + state.message);
    }
    call();
}

// Source manager reading through a ByteSource.
struct SourceManager {
    jpeg_source_mgr manager;
    ByteSource* source;
    JOCTET buffer[kSourceBuffer];
};

void InitSource(j_decompress_ptr) {}

boolean FillInput(j_decompress_ptr info) {
    auto* src = reinterpret_cast<SourceManager*>(info->src);
    size_t got = 0;
    try {
        got = src->source->Read(src->buffer, kSourceBuffer);
    } catch (const ImageError&) {
        got = 0;
    }
    if (got == 0) {
        // Premature end: a warning (which we make fatal), then a fake EOI.
        WARNMS(info, JWRN_JPEG_EOF);
        src->buffer[0] = 0xFF;
        src->buffer[1] = JPEG_EOI;
        got = 2;
    }
    src->manager.next_input_byte = src->buffer;
    src->manager.bytes_in_buffer = got;
    return TRUE;
}

void SkipInput(j_decompress_ptr info, long count) {
    auto* src = reinterpret_cast<SourceManager*>(info->src);
    while (count > 0) {
        if (src->manager.bytes_in_buffer == 0) {
            FillInput(info);
        }
        const size_t step = std::min(static_cast<size_t>(count), src->manager.bytes_in_buffer);
        src->manager.next_input_byte += step;
        src->manager.bytes_in_buffer -= step;
        count -= static_cast<long>(step);
    }
}

void TermSource(j_decompress_ptr) {}

bool HasPrefix(const jpeg_saved_marker_ptr marker, const char* prefix, size_t size) {
    return marker->data_length >= size && std::memcmp(marker->data, prefix, size) == 0;
}

// EXIF, XMP and the (possibly split) ICC profile from the saved markers.
Metadata CollectMetadata(const jpeg_decompress_struct& info) {
    Metadata meta;
    std::vector<std::vector<uint8_t>> iccChunks;
    for (jpeg_saved_marker_ptr m = info.marker_list; m != nullptr; m = m->next) {
        if (m->marker == kExifMarker && HasPrefix(m, kExifPrefix, kExifPrefixSize)) {
            if (meta.exif.empty()) {
                meta.exif.assign(m->data + kExifPrefixSize, m->data + m->data_length);
            }
        } else if (m->marker == kExifMarker) {
            meta.xmp.emplace_back(m->data, m->data + m->data_length);
        } else if (m->marker == kIccMarker && m->data_length > kIccHeaderSize &&
                   HasPrefix(m, kIccPrefix, sizeof kIccPrefix)) {
            const unsigned sequence = m->data[12];
            const unsigned count = m->data[13];
            if (sequence == 0 || sequence > count) {
                continue;
            }
            if (iccChunks.size() < count) {
                iccChunks.resize(count);
            }
            iccChunks[sequence - 1].assign(m->data + kIccHeaderSize, m->data + m->data_length);
        }
    }
    for (const auto& chunk : iccChunks) {
        if (chunk.empty()) {  // a chunk is missing: the profile is unusable
            meta.icc.clear();
            break;
        }
        meta.icc.insert(meta.icc.end(), chunk.begin(), chunk.end());
    }
    return meta;
}

class JpegReader : public LineReader {
  public:
    explicit JpegReader(std::unique_ptr<ByteSource> source) : source_(std::move(source)) {}

    // The work that can fail, after construction, so that the destructor
    // releases whatever the library allocated.
    void Start() {
        InstallErrors(errors_);
        info_struct_.err = &errors_.manager;
        Guarded(errors_, "cannot read the JPEG", [this] { jpeg_create_decompress(&info_struct_); });
        created_ = true;
        sourceManager_ = std::make_unique<SourceManager>();
        sourceManager_->source = source_.get();
        auto& m = sourceManager_->manager;
        m.init_source = InitSource;
        m.fill_input_buffer = FillInput;
        m.skip_input_data = SkipInput;
        m.resync_to_restart = jpeg_resync_to_restart;
        m.term_source = TermSource;
        m.bytes_in_buffer = 0;
        m.next_input_byte = nullptr;
        info_struct_.src = &m;
        Guarded(errors_, "cannot read the JPEG", [this] {
            jpeg_save_markers(&info_struct_, kExifMarker, 0xFFFF);
            jpeg_save_markers(&info_struct_, kIccMarker, 0xFFFF);
            jpeg_read_header(&info_struct_, TRUE);
        });
        const J_COLOR_SPACE space = info_struct_.jpeg_color_space;
        if (space == JCS_CMYK || space == JCS_YCCK) {
            throw ImageError("CMYK JPEG pictures are not supported");
        }
        const bool grey = info_struct_.num_components == 1;
        info_struct_.out_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
        info_.format = FileFormat::Jpeg;
        info_.kind = grey ? ColourKind::Grey : ColourKind::Rgb;
        info_.width = info_struct_.image_width;
        info_.height = info_struct_.image_height;
        info_.metadata = CollectMetadata(info_struct_);
        CollectEncoding(info_.metadata);
        Guarded(errors_, "cannot decode the JPEG",
                [this] { jpeg_start_decompress(&info_struct_); });
        row_.resize(size_t{info_.width} * static_cast<size_t>(info_struct_.output_components));
    }

    // Density from the JFIF header, and how the colour was sampled.
    void CollectEncoding(Metadata& meta) const {
        if (info_struct_.saw_JFIF_marker) {
            meta.jfif = JfifDensity{info_struct_.density_unit, info_struct_.X_density,
                                    info_struct_.Y_density};
        }
        const jpeg_component_info* c = info_struct_.comp_info;
        if (info_struct_.num_components == 3 && c[1].h_samp_factor == 1 &&
            c[1].v_samp_factor == 1 && c[2].h_samp_factor == 1 && c[2].v_samp_factor == 1) {
            meta.sampling = ChromaSampling{c[0].h_samp_factor, c[0].v_samp_factor};
        }
    }

    ~JpegReader() override {
        if (created_) {
            jpeg_destroy_decompress(&info_struct_);
        }
    }

    void ReadLine(uint8_t* line) override {
        JSAMPROW rows[1] = {row_.data()};
        Guarded(errors_, "the JPEG data is damaged", [this, &rows] {
            if (jpeg_read_scanlines(&info_struct_, rows, 1) != 1) {
                ERREXIT(&info_struct_, JERR_INPUT_EMPTY);
            }
        });
        if (info_.kind == ColourKind::Grey) {
            for (uint32_t x = 0; x < info_.width; ++x) {
                line[3 * x] = line[3 * x + 1] = line[3 * x + 2] = row_[x];
            }
        } else {
            std::memcpy(line, row_.data(), size_t{info_.width} * 3);
        }
    }

  private:
    std::unique_ptr<ByteSource> source_;
    ErrorState errors_{};
    jpeg_decompress_struct info_struct_{};
    bool created_ = false;
    std::unique_ptr<SourceManager> sourceManager_;
    std::vector<uint8_t> row_;
};

class JpegWriter : public LineWriter {
  public:
    JpegWriter(uint32_t width, ColourKind lineKind, ColourKind fileKind)
        : width_(width), lineKind_(lineKind), fileKind_(fileKind) {}

    void Start(std::FILE* file, uint32_t height, const Metadata& metadata,
               const WriteOptions& options, std::vector<std::string>& notices) {
        const int quality = options.quality;
        const uint32_t width = width_;
        if (width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION) {
            throw ImageError("JPEG files hold at most 65500 x 65500 pixels");
        }
        InstallErrors(errors_);
        info_struct_.err = &errors_.manager;
        Guarded(errors_, "cannot write the JPEG", [this] { jpeg_create_compress(&info_struct_); });
        created_ = true;
        const bool grey = IsGrey(fileKind_);
        Guarded(errors_, "cannot write the JPEG", [&, this] {
            jpeg_stdio_dest(&info_struct_, file);
            info_struct_.image_width = width;
            info_struct_.image_height = height;
            info_struct_.input_components = grey ? 1 : 3;
            info_struct_.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
            jpeg_set_defaults(&info_struct_);
            jpeg_set_quality(&info_struct_, quality, TRUE);
            SetEncoding(metadata, options);
            jpeg_start_compress(&info_struct_, TRUE);
        });
        WriteMetadata(metadata);
        if (!metadata.text.empty()) {
            notices.push_back(std::to_string(metadata.text.size()) +
                              " PNG text chunk(s) dropped: JPEG files have no place for them");
        }
        row_.resize(size_t{width} * static_cast<size_t>(FileChannels(fileKind_)));
    }

    ~JpegWriter() override {
        if (created_) {
            jpeg_destroy_compress(&info_struct_);
        }
    }

    void WriteLine(const uint8_t* line) override {
        PackFileLine(line, row_.data(), width_, lineKind_, fileKind_);
        JSAMPROW rows[1] = {row_.data()};
        Guarded(errors_, "cannot write the JPEG",
                [this, &rows] { jpeg_write_scanlines(&info_struct_, rows, 1); });
    }

    void Finish() override {
        Guarded(errors_, "cannot write the JPEG", [this] { jpeg_finish_compress(&info_struct_); });
    }

  private:
    // Density (the input's, in whichever form it had it) and the colour
    // sampling (asked for, or the input's).
    void SetEncoding(const Metadata& metadata, const WriteOptions& options) {
        std::optional<JfifDensity> density = metadata.jfif;
        if (!density && metadata.phys) {
            density = JfifDensityOf(*metadata.phys);
        }
        if (density) {
            info_struct_.density_unit = density->unit;
            info_struct_.X_density = density->x;
            info_struct_.Y_density = density->y;
        }
        const std::optional<ChromaSampling> sampling =
            options.sampling ? options.sampling : metadata.sampling;
        if (sampling && info_struct_.num_components == 3) {
            info_struct_.comp_info[0].h_samp_factor = sampling->horizontal;
            info_struct_.comp_info[0].v_samp_factor = sampling->vertical;
            for (int c = 1; c < 3; ++c) {
                info_struct_.comp_info[c].h_samp_factor = 1;
                info_struct_.comp_info[c].v_samp_factor = 1;
            }
        }
    }

    void WriteMarker(int marker, const std::vector<uint8_t>& payload) {
        Guarded(errors_, "cannot write the JPEG", [&, this] {
            jpeg_write_marker(&info_struct_, marker, payload.data(),
                              static_cast<unsigned>(payload.size()));
        });
    }

    void WriteMetadata(const Metadata& meta) {
        if (!meta.exif.empty() && meta.exif.size() + kExifPrefixSize <= kMaxMarkerPayload) {
            WriteMarker(kExifMarker, MarkerPayload(kExifPrefix, kExifPrefixSize, meta.exif.data(),
                                                   meta.exif.size()));
        }
        for (const auto& xmp : meta.xmp) {
            if (xmp.size() <= kMaxMarkerPayload) {
                WriteMarker(kExifMarker, xmp);
            }
        }
        const size_t chunks = (meta.icc.size() + kIccChunk - 1) / kIccChunk;
        if (chunks == 0 || chunks > 255) {
            return;
        }
        for (size_t i = 0; i < chunks; ++i) {
            const size_t begin = i * kIccChunk;
            const size_t end = std::min(meta.icc.size(), begin + kIccChunk);
            char header[kIccHeaderSize];
            std::memcpy(header, kIccPrefix, sizeof kIccPrefix);
            header[kIccHeaderSize - 2] = static_cast<char>(i + 1);
            header[kIccHeaderSize - 1] = static_cast<char>(chunks);
            WriteMarker(kIccMarker, MarkerPayload(header, kIccHeaderSize, meta.icc.data() + begin,
                                                  end - begin));
        }
    }

    static std::vector<uint8_t> MarkerPayload(const char* head, size_t headSize,
                                              const uint8_t* body, size_t bodySize) {
        std::vector<uint8_t> payload(headSize + bodySize);
        std::memcpy(payload.data(), head, headSize);
        std::memcpy(payload.data() + headSize, body, bodySize);
        return payload;
    }

    ErrorState errors_{};
    jpeg_compress_struct info_struct_{};
    bool created_ = false;
    uint32_t width_;
    ColourKind lineKind_;
    ColourKind fileKind_;
    std::vector<uint8_t> row_;
};

}  // namespace

std::unique_ptr<LineReader> OpenJpegReader(std::unique_ptr<ByteSource> source) {
    auto reader = std::make_unique<JpegReader>(std::move(source));
    reader->Start();
    return reader;
}

std::unique_ptr<LineWriter> OpenJpegWriter(std::FILE* file, uint32_t width, uint32_t height,
                                           ColourKind lineKind, ColourKind fileKind,
                                           const Metadata& metadata, const WriteOptions& options,
                                           std::vector<std::string>& notices) {
    auto writer = std::make_unique<JpegWriter>(width, lineKind, fileKind);
    writer->Start(file, height, metadata, options, notices);
    return writer;
}

}  // namespace voved::tool
