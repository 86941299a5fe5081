// What a photographer's file carries comes back from voved: density,
// chroma subsampling, text, XMP and EXIF, in the same format or moved to the
// other one, and a side-by-side picture is stored the way the input is
// shown.
#include <gtest/gtest.h>

#include <png.h>

#include "cli_support.h"
#include "exif.h"

namespace voved::tool {
namespace {

using testing::MakeScene;
using testing::Picture;
using testing::ReadPicture;
using testing::RunVoved;
using testing::ScratchDir;
using testing::WritePicture;

constexpr uint32_t kWidth = 64;
constexpr uint32_t kHeight = 48;
// 300 per inch is 300 / 0.0254 = 11811.02 per metre.
constexpr uint32_t kPerMetre300 = 11811;

std::vector<uint8_t> Xmp(const std::string& packet) {
    const std::string payload = std::string(kXmpPrefix, kXmpPrefixSize) + packet;
    return std::vector<uint8_t>(payload.begin(), payload.end());
}

// A little-endian EXIF block with one IFD0 entry: Orientation (SHORT).
std::vector<uint8_t> OrientationExif(uint8_t orientation) {
    return {'I', 'I', 42, 0, 8, 0,           0, 0, 1, 0, 0x12, 0x01, 3,
            0,   1,   0,  0, 0, orientation, 0, 0, 0, 0, 0,    0,    0};
}

bool SameText(const std::vector<TextChunk>& a, const std::vector<TextChunk>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].key != b[i].key || a[i].text != b[i].text || a[i].language != b[i].language) {
            return false;
        }
    }
    return true;
}

TEST(Metadata, DensitySamplingTextAndXmpSurviveEveryRoute) {
    ScratchDir dir;
    const Picture scene = MakeScene(kWidth, kHeight, ColourKind::Rgb, -30, 30);
    Metadata jpeg;
    jpeg.exif = testing::MakeExif("Kept Camera", true);
    jpeg.jfif = JfifDensity{1, 300, 300};
    jpeg.sampling = ChromaSampling{1, 1};
    jpeg.xmp = {Xmp("<x:xmpmeta>jpeg</x:xmpmeta>")};
    WritePicture(dir.Path("in.jpg"), scene, ColourKind::Rgb, jpeg);
    Metadata png;
    png.phys = PngDensity{kPerMetre300, kPerMetre300, true};
    png.text = {{"Title", "Cat", PNG_TEXT_COMPRESSION_NONE, "", ""},
                {"Comment", std::string(300, 'z'), PNG_TEXT_COMPRESSION_zTXt, "", ""},
                {"Author", "Ana", PNG_ITXT_COMPRESSION_NONE, "pt", "Autora"}};
    png.xmp = {Xmp("<x:xmpmeta>png</x:xmpmeta>")};
    WritePicture(dir.Path("in.png"), scene, ColourKind::Rgb, png);

    const struct {
        const char* from;
        const char* to;
        std::vector<std::string> extra;
        std::optional<JfifDensity> jfif;
        std::optional<ChromaSampling> sampling;
        std::optional<uint32_t> perMetre;
        const char* notice;
    } cases[] = {
        {"in.jpg", "a.jpg", {}, JfifDensity{1, 300, 300}, ChromaSampling{1, 1}, {}, nullptr},
        {"in.jpg", "b.jpg", {"--subsampling", "420"}, {}, ChromaSampling{2, 2}, {}, nullptr},
        {"in.jpg", "c.png", {}, {}, {}, kPerMetre300, nullptr},
        {"in.png", "d.png", {}, {}, {}, kPerMetre300, nullptr},
        {"in.png", "e.jpg", {}, JfifDensity{1, 300, 300}, {}, {}, "3 PNG text chunk(s) dropped"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.to);
        const bool fromJpeg = std::string(c.from) == "in.jpg";
        std::vector<std::string> args = {"correct", dir.Path(c.from), "-o", dir.Path(c.to)};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const auto run = RunVoved(args);
        ASSERT_EQ(run.status, 0) << run.err;
        ASSERT_NE(run.out.find("colour corrected"), std::string::npos) << run.out;
        ImageInfo info;
        ReadPicture(dir.Path(c.to), &info);
        const Metadata& got = info.metadata;
        EXPECT_EQ(got.xmp, (fromJpeg ? jpeg : png).xmp);
        EXPECT_EQ(got.exif, fromJpeg ? jpeg.exif : std::vector<uint8_t>{});
        if (c.jfif) {
            ASSERT_TRUE(got.jfif);
            EXPECT_EQ(got.jfif->unit, c.jfif->unit);
            EXPECT_EQ(got.jfif->x, c.jfif->x);
            EXPECT_EQ(got.jfif->y, c.jfif->y);
        }
        if (c.sampling) {
            ASSERT_TRUE(got.sampling);
            EXPECT_EQ(got.sampling->horizontal, c.sampling->horizontal);
            EXPECT_EQ(got.sampling->vertical, c.sampling->vertical);
        }
        if (c.perMetre) {
            ASSERT_TRUE(got.phys);
            EXPECT_TRUE(got.phys->perMetre);
            EXPECT_EQ(got.phys->x, *c.perMetre);
            EXPECT_EQ(got.phys->y, *c.perMetre);
        }
        if (info.format == FileFormat::Png && !fromJpeg) {
            EXPECT_TRUE(SameText(got.text, png.text));
        }
        if (c.notice != nullptr) {
            EXPECT_NE(run.err.find(c.notice), std::string::npos) << run.err;
        }
    }
}

// A palette PNG of four colours.
void WritePalettePng(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color palette[4] = {{200, 30, 30}, {30, 200, 30}, {30, 30, 200}, {240, 240, 240}};
    png_set_PLTE(png, info, palette, 4);
    png_write_info(png, info);
    std::vector<png_byte> row(kWidth);
    for (uint32_t y = 0; y < kHeight; ++y) {
        for (uint32_t x = 0; x < kWidth; ++x) {
            row[x] = static_cast<png_byte>((x / 8 + y / 8) % 4);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
}

TEST(Metadata, PaletteIsNamedAndSideBySideIsUpright) {
    ScratchDir dir;
    WritePalettePng(dir.Path("p.png"));
    const auto palette =
        RunVoved({"convert", dir.Path("p.png"), dir.Path("q.png"), "--tone", "sepia"});
    ASSERT_EQ(palette.status, 0) << palette.err;
    EXPECT_NE(palette.err.find("palette picture is written with full colour"), std::string::npos)
        << palette.err;

    // Orientation 6: the stored picture is shown turned a quarter clockwise,
    // so the shown top-left pixel is the stored bottom-left one and the
    // shown top-right pixel of each half the stored top-left one.
    Metadata meta;
    meta.exif = OrientationExif(6);
    const Picture stored = MakeScene(kWidth, kHeight, ColourKind::Rgb, -30, 30);
    WritePicture(dir.Path("turned.png"), stored, ColourKind::Rgb, meta);
    for (const char* command : {"correct", "convert"}) {
        SCOPED_TRACE(command);
        const std::string pair = dir.Path(std::string(command) + "-pair.png");
        std::vector<std::string> args = {command, dir.Path("turned.png")};
        args.push_back(command == std::string("correct") ? "-o" : dir.Path("conv.png"));
        if (command == std::string("correct")) {
            args.push_back(dir.Path("corr.png"));
        } else {
            args.push_back("--sharpen");
            args.push_back("1");
        }
        args.push_back("--side-by-side");
        args.push_back(pair);
        const auto run = RunVoved(args);
        ASSERT_EQ(run.status, 0) << run.err;
        ImageInfo info;
        const Picture shown = ReadPicture(pair, &info);
        ASSERT_EQ(shown.width, 2 * kHeight);
        ASSERT_EQ(shown.height, kWidth);
        EXPECT_EQ(OrientationFromExif(info.metadata.exif), 1);
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(shown.At(0, 0)[c], stored.At(0, kHeight - 1)[c]);
            EXPECT_EQ(shown.At(kHeight - 1, 0)[c], stored.At(0, 0)[c]);
            EXPECT_EQ(shown.At(kHeight - 1, kWidth - 1)[c], stored.At(kWidth - 1, 0)[c]);
        }
    }
}

}  // namespace
}  // namespace voved::tool
