// Image files: every format and layout read back as written, metadata kept,
// damaged files refused with a message.
#include <gtest/gtest.h>

#include "cli_support.h"
#include "exif.h"

namespace voved::tool {
namespace {

using testing::Picture;
using testing::ReadPicture;
using testing::ScratchDir;
using testing::WritePicture;

struct LosslessCase {
    const char* name;
    ColourKind lineKind;
    ColourKind fileKind;
};

TEST(ImageFiles, LosslessFormatsReadBackExactly) {
    const LosslessCase cases[] = {
        {"rgb.png", ColourKind::Rgb, ColourKind::Rgb},
        {"rgba.png", ColourKind::Rgba, ColourKind::Rgba},
        {"grey.png", ColourKind::Grey, ColourKind::Grey},
        {"greyalpha.png", ColourKind::GreyAlpha, ColourKind::GreyAlpha},
        {"rgb.ppm", ColourKind::Rgb, ColourKind::Rgb},
        {"grey.pgm", ColourKind::Grey, ColourKind::Grey},
    };
    ScratchDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Picture picture = testing::MakeScene(37, 23, c.lineKind, 10, -10);
        WritePicture(dir.Path(c.name), picture, c.fileKind);
        ImageInfo info;
        const Picture back = ReadPicture(dir.Path(c.name), &info);
        EXPECT_EQ(info.kind, c.fileKind);
        EXPECT_EQ(back.width, 37u);
        EXPECT_EQ(back.height, 23u);
        EXPECT_EQ(back.pixels, picture.pixels);
        EXPECT_TRUE(info.notices.empty());
    }
}

TEST(ImageFiles, JpegKeepsItsLookAndTheMetadata) {
    ScratchDir dir;
    const Picture picture = testing::MakeScene(64, 48, ColourKind::Rgb, 0, 0);
    Metadata meta;
    meta.exif = testing::MakeExif("Test Camera 1", false);
    meta.icc.assign(70000, 0);  // larger than one marker: split in two
    for (size_t i = 0; i < meta.icc.size(); ++i) {
        meta.icc[i] = static_cast<uint8_t>(i * 31);
    }
    WritePicture(dir.Path("a.jpg"), picture, ColourKind::Rgb, meta);
    ImageInfo info;
    const Picture back = ReadPicture(dir.Path("a.jpg"), &info);
    EXPECT_EQ(info.metadata.exif, meta.exif);
    EXPECT_EQ(info.metadata.icc, meta.icc);
    EXPECT_EQ(CameraModelFromExif(info.metadata.exif), "Test Camera 1");
    double error = 0;
    for (size_t i = 0; i < back.pixels.size(); ++i) {
        error += std::abs(back.pixels[i] - picture.pixels[i]);
    }
    EXPECT_LT(error / static_cast<double>(back.pixels.size()), 4.0);
}

TEST(ImageFiles, GreyJpegIsExpandedToRgb) {
    ScratchDir dir;
    const Picture picture = testing::MakeScene(16, 16, ColourKind::Grey, 0, 0);
    WritePicture(dir.Path("g.jpg"), picture, ColourKind::Grey);
    ImageInfo info;
    const Picture back = ReadPicture(dir.Path("g.jpg"), &info);
    EXPECT_EQ(info.kind, ColourKind::Grey);
    for (uint32_t i = 0; i < 16 * 16; ++i) {
        EXPECT_EQ(back.pixels[3 * i], back.pixels[3 * i + 1]);
        EXPECT_EQ(back.pixels[3 * i], back.pixels[3 * i + 2]);
    }
}

TEST(ImageFiles, SixteenBitPngIsReducedWithANotice) {
    ScratchDir dir;
    const Picture picture = testing::MakeScene(20, 10, ColourKind::Rgba, 0, 0);
    testing::WritePng16(dir.Path("deep.png"), picture);
    ImageInfo info;
    const Picture back = ReadPicture(dir.Path("deep.png"), &info);
    ASSERT_EQ(info.notices.size(), 1u);
    EXPECT_NE(info.notices[0].find("16-bit"), std::string::npos);
    EXPECT_EQ(back.pixels, picture.pixels);  // v * 257 + 1 scales back to v
}

TEST(ImageFiles, PlainAndSixteenBitPnm) {
    ScratchDir dir;
    testing::WriteBytes(dir.Path("plain.ppm"),
                        {'P', '3', '\n', '#', ' ', 'c', '\n', '2', ' ', '1', '\n', '1', '0', '\n',
                         '0', ' ', '5',  ' ', '1', '0', ' ',  '1', '0', ' ', '0',  ' ', '5', '\n'});
    const Picture plain = ReadPicture(dir.Path("plain.ppm"));
    EXPECT_EQ(plain.pixels, (std::vector<uint8_t>{0, 128, 255, 255, 0, 128}));
    testing::WriteBytes(dir.Path("deep.pgm"), {'P', '5', ' ', '2', ' ', '1', ' ', '6', '5', '5',
                                               '3', '5', '\n', 0xFF, 0xFF, 0x80, 0x00});
    ImageInfo info;
    const Picture deep = ReadPicture(dir.Path("deep.pgm"), &info);
    EXPECT_EQ(deep.pixels, (std::vector<uint8_t>{255, 255, 255, 128, 128, 128}));
    EXPECT_EQ(info.notices.size(), 1u);
}

std::string DecodeError(const std::vector<uint8_t>& bytes) {
    try {
        DecodeImage(bytes.data(), bytes.size());
    } catch (const ImageError& error) {
        return error.what();
    }
    return "";
}

TEST(ImageFiles, DamagedFilesAreRefusedWithAMessage) {
    ScratchDir dir;
    const Picture picture = testing::MakeScene(64, 64, ColourKind::Rgb, 0, 0);
    WritePicture(dir.Path("a.jpg"), picture, ColourKind::Rgb);
    WritePicture(dir.Path("a.png"), picture, ColourKind::Rgb);
    WritePicture(dir.Path("a.ppm"), picture, ColourKind::Rgb);
    for (const char* name : {"a.jpg", "a.png", "a.ppm"}) {
        SCOPED_TRACE(name);
        std::vector<uint8_t> bytes = testing::ReadBytes(dir.Path(name));
        EXPECT_EQ(DecodeError(bytes), "");
        std::vector<uint8_t> truncated(bytes.begin(), bytes.begin() + bytes.size() / 2);
        EXPECT_NE(DecodeError(truncated), "");
        // Cut inside the header: the decoder fails while opening (and must
        // still release what it allocated; the sanitizer build checks that).
        std::vector<uint8_t> header(bytes.begin(), bytes.begin() + 30);
        EXPECT_NE(DecodeError(header), "");
    }
    std::vector<uint8_t> png = testing::ReadBytes(dir.Path("a.png"));
    png[png.size() / 2] ^= 0x55;  // inside the compressed data: a CRC error
    EXPECT_NE(DecodeError(png), "");
    std::vector<uint8_t> jpeg = testing::ReadBytes(dir.Path("a.jpg"));
    for (size_t i = jpeg.size() / 2; i < jpeg.size() / 2 + 64; ++i) {
        jpeg[i] = 0xFF;  // markers in the middle of the scan
    }
    EXPECT_NE(DecodeError(jpeg), "");
    EXPECT_NE(DecodeError({'G', 'I', 'F', '8', '9', 'a'}).find("not a picture"), std::string::npos);
    EXPECT_EQ(DecodeError({}), "the file is empty");
    EXPECT_NE(DecodeError({'P', '6', ' ', '0', ' ', '1', ' ', '2', '5', '5', '\n'}).find("empty"),
              std::string::npos);
    const auto big = testing::ReadBytes(dir.Path("a.png"));
    EXPECT_NO_THROW(DecodeImage(big.data(), big.size(), 64 * 64));
    EXPECT_THROW(DecodeImage(big.data(), big.size(), 64 * 64 - 1), ImageError);
}

TEST(ImageFiles, OutputFormatFollowsTheName) {
    EXPECT_EQ(FormatFromPath("a/b.JPG"), FileFormat::Jpeg);
    EXPECT_EQ(FormatFromPath("b.jpeg"), FileFormat::Jpeg);
    EXPECT_EQ(FormatFromPath("b.png"), FileFormat::Png);
    EXPECT_EQ(FormatFromPath("b.pgm"), FileFormat::Pnm);
    EXPECT_THROW(FormatFromPath("b.gif"), ImageError);
    EXPECT_THROW(FormatFromPath("dir.png/b"), ImageError);
    EXPECT_EQ(StorableKind(FileFormat::Jpeg, "x.jpg", ColourKind::Rgba), ColourKind::Rgb);
    EXPECT_EQ(StorableKind(FileFormat::Png, "x.png", ColourKind::GreyAlpha), ColourKind::GreyAlpha);
    EXPECT_EQ(StorableKind(FileFormat::Pnm, "x.pgm", ColourKind::Rgb), ColourKind::Grey);
    EXPECT_EQ(StorableKind(FileFormat::Pnm, "x.ppm", ColourKind::Grey), ColourKind::Rgb);
}

TEST(Exif, FindsTheModelInBothByteOrders) {
    EXPECT_EQ(CameraModelFromExif(testing::MakeExif("DSC-100 ", false)), "DSC-100");
    EXPECT_EQ(CameraModelFromExif(testing::MakeExif("Big Endian Cam", true)), "Big Endian Cam");
    EXPECT_EQ(CameraModelFromExif(testing::MakeExif("X1", true)), "X1");  // value inline
}

TEST(Exif, DamagedBlocksGiveNoModel) {
    std::vector<uint8_t> exif = testing::MakeExif("Camera", false);
    EXPECT_EQ(CameraModelFromExif({}), "");
    auto badMagic = exif;
    badMagic[2] = 43;
    EXPECT_EQ(CameraModelFromExif(badMagic), "");
    auto farOffset = exif;
    farOffset[8 + 2 + 12 + 8] = 0xF0;  // the Model's value offset
    EXPECT_EQ(CameraModelFromExif(farOffset), "");
    auto hugeCount = exif;
    hugeCount[8 + 2 + 12 + 7] = 0x7F;  // the Model's count
    EXPECT_EQ(CameraModelFromExif(hugeCount), "");
    std::vector<uint8_t> cut(exif.begin(), exif.begin() + 20);  // inside the entries
    EXPECT_EQ(CameraModelFromExif(cut), "");
}

}  // namespace
}  // namespace voved::tool
