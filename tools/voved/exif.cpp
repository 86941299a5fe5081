// A minimal TIFF walk: header, IFD0, one ASCII tag. Every offset is checked
// against the block, so a damaged block gives an empty answer, never a read
// outside it.
#include "exif.h"

namespace voved::tool {

namespace {

constexpr uint16_t kTagModel = 0x0110;
constexpr uint16_t kTypeAscii = 2;
constexpr uint16_t kTiffMagic = 42;
constexpr size_t kHeaderSize = 8;
constexpr size_t kEntrySize = 12;
constexpr size_t kInlineValueBytes = 4;

class TiffView {
  public:
    TiffView(const std::vector<uint8_t>& bytes, bool bigEndian)
        : bytes_(bytes), bigEndian_(bigEndian) {}

    bool Has(size_t offset, size_t count) const {
        return offset <= bytes_.size() && count <= bytes_.size() - offset;
    }
    uint16_t U16(size_t at) const {
        const unsigned a = bytes_[at], b = bytes_[at + 1];
        return static_cast<uint16_t>(bigEndian_ ? (a << 8) | b : (b << 8) | a);
    }
    uint32_t U32(size_t at) const {
        const uint32_t hi = U16(at), lo = U16(at + 2);
        return bigEndian_ ? (hi << 16) | lo : (lo << 16) | hi;
    }
    const std::vector<uint8_t>& Bytes() const { return bytes_; }

  private:
    const std::vector<uint8_t>& bytes_;
    bool bigEndian_;
};

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\0' || text.back() == ' ')) {
        text.pop_back();
    }
    const size_t nul = text.find('\0');
    return nul == std::string::npos ? text : text.substr(0, nul);
}

}  // namespace

std::string CameraModelFromExif(const std::vector<uint8_t>& tiff) {
    if (tiff.size() < kHeaderSize) {
        return "";
    }
    bool bigEndian = false;
    if (tiff[0] == 'M' && tiff[1] == 'M') {
        bigEndian = true;
    } else if (tiff[0] != 'I' || tiff[1] != 'I') {
        return "";
    }
    const TiffView view(tiff, bigEndian);
    if (view.U16(2) != kTiffMagic) {
        return "";
    }
    const size_t ifd = view.U32(4);
    if (!view.Has(ifd, 2)) {
        return "";
    }
    const size_t entries = view.U16(ifd);
    for (size_t i = 0; i < entries; ++i) {
        const size_t entry = ifd + 2 + i * kEntrySize;
        if (!view.Has(entry, kEntrySize)) {
            return "";
        }
        if (view.U16(entry) != kTagModel) {
            continue;
        }
        if (view.U16(entry + 2) != kTypeAscii) {
            return "";
        }
        const size_t count = view.U32(entry + 4);
        const size_t at = count <= kInlineValueBytes ? entry + 8 : view.U32(entry + 8);
        if (!view.Has(at, count)) {
            return "";
        }
        const auto* text = reinterpret_cast<const char*>(tiff.data() + at);
        return Trimmed(std::string(text, count));
    }
    return "";
}

}  // namespace voved::tool
