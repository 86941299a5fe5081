#include "cli_support.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <png.h>

namespace voved::tool::testing {

namespace {

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

uint8_t Clamp(int v) {
    return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

}  // namespace

ScratchDir::ScratchDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/voved-test-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr) {
        throw std::runtime_error("cannot make a scratch directory");
    }
    path_ = name.data();
}

ScratchDir::~ScratchDir() {
    const std::string command = "rm -rf " + Quote(path_);
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "cannot remove %s\n", path_.c_str());
    }
}

Picture MakeScene(uint32_t width, uint32_t height, ColourKind kind, int dr, int db) {
    Picture p;
    p.width = width;
    p.height = height;
    p.kind = kind;
    p.pixels.resize(size_t{width} * height * static_cast<size_t>(p.Channels()));
    uint32_t seed = 12345;
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            seed = seed * 1103515245u + 12345u;
            const int grain = static_cast<int>((seed >> 16) % 9) - 4;
            // A dark-to-bright ramp with coloured patches and a dark object,
            // spanning nearly the whole range.
            const int level = static_cast<int>(8 + 240 * (x + y) / (width + height));
            int r = level, g = level, b = level;
            if (x < width / 3 && y < height / 2) {
                r += 40;
                g -= 10;
                b -= 30;
            } else if (x > 2 * width / 3 && y > height / 2) {
                r -= 20;
                g += 25;
                b += 10;
            }
            const double dx = x - width / 2.0, dy = y - height / 2.0;
            if (dx * dx + dy * dy < width * height / 40.0) {
                r = g = b = 12;
            }
            uint8_t* px = p.At(x, y);
            px[0] = Clamp(r + dr + grain);
            px[1] = Clamp(g + grain);
            px[2] = Clamp(b + db + grain);
            if (IsGrey(kind)) {
                px[0] = px[1] = px[2] = GreyOf(px[0], px[1], px[2]);
            }
            if (HasAlpha(kind)) {
                px[3] = static_cast<uint8_t>((x * 7 + y * 3) & 0xFF);
            }
        }
    }
    return p;
}

void WritePicture(const std::string& path, const Picture& picture, ColourKind fileKind,
                  const Metadata& metadata) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        throw std::runtime_error("cannot write " + path);
    }
    std::vector<std::string> notices;
    WriteOptions options;
    options.quality = 95;
    {
        auto writer = OpenWriter(file, FormatFromPath(path), picture.width, picture.height,
                                 picture.kind, fileKind, metadata, options, notices);
        const size_t stride = size_t{picture.width} * static_cast<size_t>(picture.Channels());
        for (uint32_t y = 0; y < picture.height; ++y) {
            writer->WriteLine(picture.pixels.data() + stride * y);
        }
        writer->Finish();
    }
    std::fclose(file);
}

void WritePng16(const std::string& path, const Picture& picture) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    const int channels = picture.Channels();
    png_set_IHDR(png, info, picture.width, picture.height, 16,
                 channels == 4 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<uint8_t> row(size_t{picture.width} * static_cast<size_t>(channels) * 2);
    for (uint32_t y = 0; y < picture.height; ++y) {
        const uint8_t* px = picture.At(0, y);
        for (size_t i = 0; i < size_t{picture.width} * static_cast<size_t>(channels); ++i) {
            const unsigned v = px[i] * 257u + (px[i] < 255 ? 1u : 0u);
            row[2 * i] = static_cast<uint8_t>(v >> 8);
            row[2 * i + 1] = static_cast<uint8_t>(v & 0xFF);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
}

Picture ReadPicture(const std::string& path, ImageInfo* info) {
    const std::vector<uint8_t> bytes = ReadBytes(path);
    DecodedImage image = DecodeImage(bytes.data(), bytes.size());
    if (info != nullptr) {
        *info = image.info;
    }
    Picture p;
    p.width = image.info.width;
    p.height = image.info.height;
    p.kind = image.info.kind;
    p.pixels = std::move(image.pixels);
    return p;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    const std::string text = Slurp(path);
    return std::vector<uint8_t>(text.begin(), text.end());
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

bool Exists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

double Cast::Size() const {
    return std::hypot(redMinusGreen, blueMinusGreen);
}

Cast MeasureCast(const Picture& picture) {
    double rg = 0, bg = 0;
    const size_t count = size_t{picture.width} * picture.height;
    for (uint32_t y = 0; y < picture.height; ++y) {
        for (uint32_t x = 0; x < picture.width; ++x) {
            const uint8_t* px = picture.At(x, y);
            rg += px[0] - px[1];
            bg += px[2] - px[1];
        }
    }
    return Cast{rg / static_cast<double>(count), bg / static_cast<double>(count)};
}

RunResult RunVoved(const std::vector<std::string>& arguments) {
    ScratchDir capture;
    std::string command = Quote(VOVED_TOOL);
    for (const auto& argument : arguments) {
        command += " " + Quote(argument);
    }
    command +=
        " >" + Quote(capture.Path("out")) + " 2>" + Quote(capture.Path("err")) + " </dev/null";
    const int raw = std::system(command.c_str());
    RunResult result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = Slurp(capture.Path("out"));
    result.err = Slurp(capture.Path("err"));
    return result;
}

std::vector<uint8_t> MakeExif(const std::string& model, bool bigEndian) {
    std::vector<uint8_t> t;
    auto u16 = [&](unsigned v) {
        if (bigEndian) {
            t.push_back(static_cast<uint8_t>(v >> 8));
            t.push_back(static_cast<uint8_t>(v));
        } else {
            t.push_back(static_cast<uint8_t>(v));
            t.push_back(static_cast<uint8_t>(v >> 8));
        }
    };
    auto u32 = [&](uint32_t v) {
        if (bigEndian) {
            u16(v >> 16);
            u16(v & 0xFFFF);
        } else {
            u16(v & 0xFFFF);
            u16(v >> 16);
        }
    };
    t.push_back(bigEndian ? 'M' : 'I');
    t.push_back(bigEndian ? 'M' : 'I');
    u16(42);
    u32(8);
    u16(2);  // two entries: Make (0x010F), Model (0x0110)
    const std::string make = "Maker";
    const uint32_t count = static_cast<uint32_t>(model.size() + 1);
    const uint32_t dataAt = 8 + 2 + 2 * 12 + 4;
    u16(0x010F);
    u16(2);
    u32(static_cast<uint32_t>(make.size() + 1));
    u32(dataAt);
    u16(0x0110);
    u16(2);
    u32(count);
    if (count <= 4) {
        std::string inline4 = model;
        inline4.resize(4, '\0');
        t.insert(t.end(), inline4.begin(), inline4.end());
    } else {
        u32(dataAt + static_cast<uint32_t>(make.size() + 1));
    }
    u32(0);  // no IFD1
    t.insert(t.end(), make.begin(), make.end());
    t.push_back(0);
    if (count > 4) {
        t.insert(t.end(), model.begin(), model.end());
        t.push_back(0);
    }
    return t;
}

}  // namespace voved::tool::testing
