// Findings of the fuzz targets of the tool's picture and tone-table readers,
// kept as tests. The raw inputs live in fuzz/regressions and replay in the
// suite too.
#include <zlib.h>

#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "cli_support.h"
#include "image.h"
#include "tone_table.h"

namespace voved::tool {
namespace {

std::string Refusal(const std::string& file) {
    try {
        DecodeImage(reinterpret_cast<const uint8_t*>(file.data()), file.size());
    } catch (const ImageError& error) {
        return error.what();
    }
    return "";
}

// A PPM/PGM header of a few bytes claimed a width of billions of pixels, and
// the reader allocated a line of that size before anything checked it: the
// tool then ran out of memory or took gigabytes. Such a header is refused
// with a message, before any line is allocated.
TEST(ReaderRegressions, HugePnmWidthIsRefusedBeforeAllocating) {
    const char* headers[] = {"P6\n4294967295 1\n65535\n", "P5\n1171366316 2\n255\n",
                             "P3\n65536 1\n255\n"};
    for (const char* header : headers) {
        SCOPED_TRACE(header);
        const std::string message = Refusal(std::string(header) + "\x01\x02\x03");
        EXPECT_NE(message.find("at most 65535"), std::string::npos) << message;
    }
    // The widest line the tool takes is still read.
    std::string widest = "P5\n65535 1\n255\n";
    widest.append(65535, '\x40');
    EXPECT_EQ(Refusal(widest), "");
}

void PutBigEndian(std::string* out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out->push_back(static_cast<char>((value >> shift) & 0xFFu));
    }
}

void PutChunk(std::string* png, const std::string& type, const std::string& data) {
    const std::string chunk = type + data;
    PutBigEndian(png, static_cast<uint32_t>(data.size()));
    *png += chunk;
    PutBigEndian(png, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(chunk.data()),
                                                  static_cast<uInt>(chunk.size()))));
}

// A PNG of `width` x `height` RGBA pixels whose data is a few bytes of
// nothing: its header is whole, its picture is not.
std::string PngHeader(uint32_t width, uint32_t height, bool interlaced) {
    std::string header;
    PutBigEndian(&header, width);
    PutBigEndian(&header, height);
    header += std::string{'\x08', '\x06', '\x00', '\x00', interlaced ? '\x01' : '\x00'};
    std::string png = "\x89PNG\r\n\x1A\n";
    PutChunk(&png, "IHDR", header);
    PutChunk(&png, "IDAT", std::string(4, '\x00'));
    PutChunk(&png, "IEND", "");
    return png;
}

// A PNG header of a few bytes claimed half a billion pixels per line, and the
// PNG library allocated rows of that size before the tool's size check; an
// interlaced one is decoded whole, so a header could claim up to 17 GB.
// Both are refused with a message before anything is allocated for them.
TEST(ReaderRegressions, HugePngHeadersAreRefusedBeforeAllocating) {
    EXPECT_NE(Refusal(PngHeader(540090469, 4, false)).find("at most 65535"), std::string::npos);
    EXPECT_NE(Refusal(PngHeader(4, 70000, false)).find("at most 65535"), std::string::npos);
    EXPECT_NE(Refusal(PngHeader(60000, 60000, true)).find("more than 1 GiB"), std::string::npos);
    // Pictures within the limits get as far as their missing data.
    EXPECT_NE(Refusal(PngHeader(65535, 2, false)), "");
    EXPECT_EQ(Refusal(PngHeader(65535, 2, false)).find("at most"), std::string::npos);
    EXPECT_EQ(Refusal(PngHeader(300, 200, true)).find("1 GiB"), std::string::npos);
}

// A JSON number too large for a double ("5E999") made the JSON library throw
// an exception of a kind the tone-table reader did not turn into its own:
// `voved correct --tone-table` then ended in std::terminate. It is refused
// like any other malformed description, with a message.
TEST(ReaderRegressions, JsonNumberOverflowIsAMalformedTable) {
    const char* texts[] = {"{\"shadowWeight\": 5E999}", "555556555E555555555566",
                           "{\"shadowWeight\": -1e400, \"zones\": []}"};
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        EXPECT_THROW(ToneTableFromJson(text), ToneTableError);
    }
    testing::ScratchDir dir;
    const std::string table = dir.Path("overflow.json");
    const std::string picture = dir.Path("in.ppm");
    testing::WriteBytes(table, {'{', '"', 'z', '"', ':', '1', 'e', '9', '9', '9', '}'});
    testing::WritePicture(picture, testing::MakeScene(8, 8, ColourKind::Rgb, 0, 0),
                          ColourKind::Rgb);
    const testing::RunResult run =
        testing::RunVoved({"correct", "--tone-table", table, picture, "-o", dir.Path("out.ppm")});
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find("overflow.json"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("terminate"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace voved::tool
