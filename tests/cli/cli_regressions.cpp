// Findings of the fuzz target of the tool's picture readers, kept as tests.
// The raw inputs live in fuzz/regressions/image_readers and replay in the
// suite too.
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "image.h"

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

}  // namespace
}  // namespace voved::tool
