// Shared helpers of the tool's tests: a scratch directory, generated
// pictures, decoding files, and running the real voved binary.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image.h"

namespace voved::tool::testing {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string Path(const std::string& name) const { return path_ + "/" + name; }
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

// A picture in the readers' line form (3 or 4 bytes a pixel).
struct Picture {
    uint32_t width = 0;
    uint32_t height = 0;
    ColourKind kind = ColourKind::Rgb;
    std::vector<uint8_t> pixels;
    int Channels() const { return LineChannels(kind); }
    uint8_t* At(uint32_t x, uint32_t y) {
        return pixels.data() + (size_t{y} * width + x) * static_cast<size_t>(Channels());
    }
    const uint8_t* At(uint32_t x, uint32_t y) const {
        return pixels.data() + (size_t{y} * width + x) * static_cast<size_t>(Channels());
    }
};

// A natural-looking test scene: smooth gradients, a few objects, grain, and
// a colour cast of dr and db added to red and blue of every pixel.
Picture MakeScene(uint32_t width, uint32_t height, ColourKind kind, int dr, int db);

// Writes `picture` as `path` in the format of its extension, storing
// `fileKind`, with `metadata`.
void WritePicture(const std::string& path, const Picture& picture, ColourKind fileKind,
                  const Metadata& metadata = {});
// A 16-bit PNG of the picture (each sample v stored as v * 257 + 1, so that
// the reduction to 8 bits is visible in the low byte).
void WritePng16(const std::string& path, const Picture& picture);

Picture ReadPicture(const std::string& path, ImageInfo* info = nullptr);
std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
bool Exists(const std::string& path);

// Mean of R - G and B - G over the picture: how far it is from grey.
struct Cast {
    double redMinusGreen = 0;
    double blueMinusGreen = 0;
    double Size() const;
};
Cast MeasureCast(const Picture& picture);

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};
// Runs the voved binary with the arguments (each quoted for the shell).
RunResult RunVoved(const std::vector<std::string>& arguments);

// An EXIF block (TIFF bytes) holding a camera model in IFD0.
std::vector<uint8_t> MakeExif(const std::string& model, bool bigEndian);

}  // namespace voved::tool::testing
