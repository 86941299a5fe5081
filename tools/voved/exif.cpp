// libexif reads the block through the "Exif\0\0" prefix of a JPEG APP1
// marker; the tool keeps the TIFF bytes alone, so the prefix is put back for
// libexif and taken off what it writes.
#include "exif.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include <libexif/exif-data.h>

namespace voved::tool {

namespace {

constexpr unsigned char kPrefix[] = {'E', 'x', 'i', 'f', 0, 0};
constexpr size_t kPrefixSize = sizeof kPrefix;
constexpr size_t kTiffHeaderSize = 8;
constexpr int kUpright = 1;
constexpr int kLastOrientation = 8;

struct ExifDataFree {
    void operator()(ExifData* data) const { exif_data_unref(data); }
};
using ExifPtr = std::unique_ptr<ExifData, ExifDataFree>;

// The block as libexif reads it, every tag kept as it is; null when the
// block is too short to hold a TIFF header.
ExifPtr Load(const std::vector<uint8_t>& tiff) {
    if (tiff.size() < kTiffHeaderSize) {
        return nullptr;
    }
    ExifPtr data(exif_data_new());
    if (!data) {
        return nullptr;
    }
    exif_data_unset_option(data.get(), EXIF_DATA_OPTION_IGNORE_UNKNOWN_TAGS);
    exif_data_unset_option(data.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    std::vector<uint8_t> block(kPrefix, kPrefix + kPrefixSize);
    block.insert(block.end(), tiff.begin(), tiff.end());
    exif_data_load_data(data.get(), block.data(), static_cast<unsigned>(block.size()));
    return data;
}

ExifEntry* Ifd0Entry(ExifData* data, ExifTag tag) {
    return data == nullptr ? nullptr : exif_content_get_entry(data->ifd[EXIF_IFD_0], tag);
}

std::string Trimmed(std::string text) {
    const size_t nul = text.find('\0');
    if (nul != std::string::npos) {
        text.resize(nul);
    }
    while (!text.empty() && text.back() == ' ') {
        text.pop_back();
    }
    return text;
}

}  // namespace

std::string CameraModelFromExif(const std::vector<uint8_t>& tiff) {
    const ExifPtr data = Load(tiff);
    const ExifEntry* model = Ifd0Entry(data.get(), EXIF_TAG_MODEL);
    if (model == nullptr || model->format != EXIF_FORMAT_ASCII || model->data == nullptr) {
        return "";
    }
    return Trimmed(std::string(reinterpret_cast<const char*>(model->data), model->size));
}

int OrientationFromExif(const std::vector<uint8_t>& tiff) {
    const ExifPtr data = Load(tiff);
    const ExifEntry* entry = Ifd0Entry(data.get(), EXIF_TAG_ORIENTATION);
    if (entry == nullptr || entry->format != EXIF_FORMAT_SHORT || entry->components < 1 ||
        entry->size < 2) {
        return kUpright;
    }
    const int value = exif_get_short(entry->data, exif_data_get_byte_order(data.get()));
    return value >= kUpright && value <= kLastOrientation ? value : kUpright;
}

std::vector<uint8_t> UprightExif(const std::vector<uint8_t>& tiff) {
    const ExifPtr data = Load(tiff);
    ExifEntry* entry = Ifd0Entry(data.get(), EXIF_TAG_ORIENTATION);
    if (entry == nullptr || entry->format != EXIF_FORMAT_SHORT || entry->size < 2) {
        return tiff;
    }
    exif_set_short(entry->data, exif_data_get_byte_order(data.get()), kUpright);
    unsigned char* saved = nullptr;
    unsigned int size = 0;
    exif_data_save_data(data.get(), &saved, &size);
    std::vector<uint8_t> result = tiff;
    if (saved != nullptr && size > kPrefixSize && std::memcmp(saved, kPrefix, kPrefixSize) == 0) {
        result.assign(saved + kPrefixSize, saved + size);
    }
    std::free(saved);
    return result;
}

}  // namespace voved::tool
