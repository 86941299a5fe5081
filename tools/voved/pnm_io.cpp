// PPM and PGM: binary (P5, P6) and plain text (P2, P3) pictures; samples
// above 8 bits (a maximum above 255) are scaled down to 8 bits.
#include <cctype>
#include <cstring>
#include <string>

#include "image.h"

namespace voved::tool {

namespace {

constexpr uint32_t kMaxSampleValue = 65535;
// The tool corrects lines of at most 65535 pixels. A wider header is refused
// before anything is allocated for its lines, so that a few bytes cannot
// claim gigabytes.
constexpr uint32_t kMaxWidth = 65535;
constexpr size_t kReadChunk = 64 * 1024;

// Byte-wise access to a source with a small buffer.
class ByteStream {
  public:
    explicit ByteStream(std::unique_ptr<ByteSource> source) : source_(std::move(source)) {}

    int Get() {
        if (offset_ == size_) {
            size_ = source_->Read(buffer_, kReadChunk);
            offset_ = 0;
            if (size_ == 0) {
                return -1;
            }
        }
        return buffer_[offset_++];
    }

    void ReadExactly(uint8_t* out, size_t count) {
        while (count > 0) {
            if (offset_ == size_) {
                size_ = source_->Read(buffer_, kReadChunk);
                offset_ = 0;
                if (size_ == 0) {
                    throw ImageError("the file ends too early");
                }
            }
            const size_t n = std::min(count, size_ - offset_);
            std::memcpy(out, buffer_ + offset_, n);
            offset_ += n;
            out += n;
            count -= n;
        }
    }

    // A decimal number after white space and comments (header and plain
    // text samples).
    uint32_t Number() {
        int c = Get();
        while (c == '#' || std::isspace(c)) {
            if (c == '#') {
                while (c != '\n' && c != '\r' && c != -1) {
                    c = Get();
                }
            }
            c = Get();
        }
        if (c < '0' || c > '9') {
            throw ImageError(c == -1 ? "the file ends too early" : "malformed PPM/PGM data");
        }
        uint64_t value = 0;
        while (c >= '0' && c <= '9') {
            value = value * 10 + static_cast<uint64_t>(c - '0');
            if (value > 0xFFFFFFFFu) {
                throw ImageError("a number in the PPM/PGM header is too large");
            }
            c = Get();
        }
        last_ = c;
        return static_cast<uint32_t>(value);
    }

    int LastDelimiter() const { return last_; }

  private:
    std::unique_ptr<ByteSource> source_;
    uint8_t buffer_[kReadChunk];
    size_t size_ = 0;
    size_t offset_ = 0;
    int last_ = 0;
};

class PnmReader : public LineReader {
  public:
    explicit PnmReader(std::unique_ptr<ByteSource> source)
        : stream_(std::make_unique<ByteStream>(std::move(source))) {
        stream_->Get();  // 'P'
        const int type = stream_->Get();
        plain_ = type == '2' || type == '3';
        samples_ = (type == '3' || type == '6') ? 3 : 1;
        info_.format = FileFormat::Pnm;
        info_.kind = samples_ == 3 ? ColourKind::Rgb : ColourKind::Grey;
        info_.width = stream_->Number();
        info_.height = stream_->Number();
        maxValue_ = stream_->Number();
        if (info_.width == 0 || info_.height == 0) {
            throw ImageError("the PPM/PGM header gives an empty picture");
        }
        if (info_.width > kMaxWidth) {
            throw ImageError("the PPM/PGM header gives a picture " + std::to_string(info_.width) +
                             " pixels wide; the tool takes at most 65535");
        }
        if (maxValue_ == 0 || maxValue_ > kMaxSampleValue) {
            throw ImageError("the PPM/PGM header gives an invalid maximum sample value");
        }
        if (!plain_ && !std::isspace(stream_->LastDelimiter())) {
            throw ImageError("malformed PPM/PGM header");
        }
        if (maxValue_ > 255) {
            info_.notices.push_back("16-bit samples reduced to 8 bits");
        }
        const size_t bytesPerSample = maxValue_ > 255 ? 2 : 1;
        row_.resize(size_t{info_.width} * samples_ * bytesPerSample);
    }

    void ReadLine(uint8_t* line) override {
        const size_t count = size_t{info_.width} * samples_;
        std::vector<uint32_t> values(count);
        if (plain_) {
            for (auto& v : values) {
                v = stream_->Number();
            }
        } else if (maxValue_ > 255) {
            stream_->ReadExactly(row_.data(), row_.size());
            for (size_t i = 0; i < count; ++i) {
                values[i] = (uint32_t{row_[2 * i]} << 8) | row_[2 * i + 1];
            }
        } else {
            stream_->ReadExactly(row_.data(), row_.size());
            for (size_t i = 0; i < count; ++i) {
                values[i] = row_[i];
            }
        }
        for (size_t i = 0; i < count; ++i) {
            if (values[i] > maxValue_) {
                throw ImageError("a PPM/PGM sample exceeds the maximum of the header");
            }
            values[i] = (values[i] * 255 + maxValue_ / 2) / maxValue_;
        }
        for (uint32_t x = 0; x < info_.width; ++x) {
            for (int c = 0; c < 3; ++c) {
                line[3 * x + static_cast<uint32_t>(c)] = static_cast<uint8_t>(
                    samples_ == 3 ? values[3 * x + static_cast<uint32_t>(c)] : values[x]);
            }
        }
    }

  private:
    std::unique_ptr<ByteStream> stream_;
    bool plain_ = false;
    uint32_t samples_ = 3;
    uint32_t maxValue_ = 255;
    std::vector<uint8_t> row_;
};

class PnmWriter : public LineWriter {
  public:
    PnmWriter(std::FILE* file, uint32_t width, uint32_t height, ColourKind lineKind,
              ColourKind fileKind)
        : file_(file), width_(width), lineKind_(lineKind), fileKind_(fileKind) {
        const bool grey = IsGrey(fileKind);
        fileKind_ = grey ? ColourKind::Grey : ColourKind::Rgb;
        const std::string header = std::string(grey ? "P5\n" : "P6\n") + std::to_string(width) +
                                   " " + std::to_string(height) + "\n255\n";
        Put(header.data(), header.size());
        row_.resize(size_t{width} * (grey ? 1 : 3));
    }

    void WriteLine(const uint8_t* line) override {
        PackFileLine(line, row_.data(), width_, lineKind_, fileKind_);
        Put(row_.data(), row_.size());
    }

    void Finish() override {
        if (std::fflush(file_) != 0) {
            throw ImageError("cannot write the file");
        }
    }

  private:
    void Put(const void* data, size_t size) {
        if (std::fwrite(data, 1, size, file_) != size) {
            throw ImageError("cannot write the file");
        }
    }

    std::FILE* file_;
    uint32_t width_;
    ColourKind lineKind_;
    ColourKind fileKind_;
    std::vector<uint8_t> row_;
};

}  // namespace

std::unique_ptr<LineReader> OpenPnmReader(std::unique_ptr<ByteSource> source) {
    return std::make_unique<PnmReader>(std::move(source));
}

std::unique_ptr<LineWriter> OpenPnmWriter(std::FILE* file, uint32_t width, uint32_t height,
                                          ColourKind lineKind, ColourKind fileKind) {
    return std::make_unique<PnmWriter>(file, width, height, lineKind, fileKind);
}

}  // namespace voved::tool
