// What voved says it did is what it did: a combination one conversion
// cannot do is refused by name, a picture left alone is the input byte for
// byte and said to be, and every loss (colours to .pgm, an ICC profile the
// PNG library rejects) is named.
#include <gtest/gtest.h>

#include "cli_support.h"
#include "tone_table.h"

namespace voved::tool {
namespace {

using testing::MakeScene;
using testing::ReadBytes;
using testing::RunVoved;
using testing::ScratchDir;
using testing::WritePicture;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(Reports, EachLineNamesExactlyWhatWasDone) {
    ScratchDir dir;
    WritePicture(dir.Path("grey.jpg"), MakeScene(64, 48, ColourKind::Grey, 0, 0), ColourKind::Grey);
    WritePicture(dir.Path("cast.png"), MakeScene(64, 48, ColourKind::Rgb, -30, 30),
                 ColourKind::Rgb);
    Metadata junkProfile;
    junkProfile.icc.assign(300, 0x5A);  // no ICC header: not a profile at all
    WritePicture(dir.Path("icc.jpg"), MakeScene(64, 48, ColourKind::Rgb, -30, 30), ColourKind::Rgb,
                 junkProfile);
    const auto json = ReadBytes(VOVED_TONE_TABLE);
    testing::WriteBytes(dir.Path("t.bin"),
                        EncodeToneTable(ToneTableFromJson(std::string(json.begin(), json.end()))));
    const std::string grey = dir.Path("grey.jpg");
    const std::string cast = dir.Path("cast.png");
    const std::string out = dir.Path("out");
    const struct {
        std::vector<std::string> args;
        int status;
        const char* said;    // on standard output (0) or error (2) by status
        const char* copyOf;  // the output is this input's bytes
    } cases[] = {
        {{"convert", cast, out + "1.png", "--sharpen", "3", "--tone-table", dir.Path("t.bin")},
         2,
         "--tone-table cannot go with --sharpen",
         nullptr},
        {{"convert", cast, out + "2.png", "--denoise", "--sharpen", "0"},
         2,
         "--denoise cannot go with --sharpen",
         nullptr},
        {{"convert", cast, out + "3.png", "--denoise", "--tone", "sepia"},
         2,
         "--denoise cannot go with --sharpen, --tone",
         nullptr},
        {{"convert", cast, out + "4.png", "--denoise", "--correct"},
         0,
         "colour correction, chroma noise filter",
         nullptr},
        {{"correct", grey, "-o", out + "5.jpg", "--quality", "50"},
         0,
         "written unchanged (a copy of the input)",
         "grey.jpg"},
        {{"convert", grey, out + "6.jpg"},
         0,
         "written unchanged (a copy of the input)",
         "grey.jpg"},
        {{"correct", grey, "-o", out + "7.png"},
         0,
         "written unchanged (re-encoded as PNG)",
         nullptr},
        {{"correct", cast, "-o", out + "8.pgm"},
         0,
         "the colours are dropped: a .pgm file holds grey only",
         nullptr},
        {{"correct", dir.Path("icc.jpg"), "-o", out + "9.png"},
         0,
         "the ICC profile is dropped",
         nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[2]);
        const auto run = RunVoved(c.args);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_TRUE(Contains(run.out + run.err, c.said)) << run.out << run.err;
        const std::string written = c.args[0] == "convert" ? c.args[2] : c.args[3];
        EXPECT_EQ(testing::Exists(written), c.status == 0);
        if (c.copyOf != nullptr) {
            EXPECT_EQ(ReadBytes(written), ReadBytes(dir.Path(c.copyOf)));
        }
    }
}

// On a terminal the progress bar ends full: "2/2", not "1/2".
TEST(Reports, ProgressBarEndsFull) {
    ScratchDir dir;
    WritePicture(dir.Path("a.png"), MakeScene(64, 48, ColourKind::Rgb, -30, 30), ColourKind::Rgb);
    WritePicture(dir.Path("b.png"), MakeScene(64, 48, ColourKind::Rgb, 30, -30), ColourKind::Rgb);
    const std::string command = std::string("script -qec '") + VOVED_TOOL + " correct " +
                                dir.Path("a.png") + " " + dir.Path("b.png") + " -d " +
                                dir.Path("out") + "' /dev/null >" + dir.Path("tty") + " 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const auto tty = ReadBytes(dir.Path("tty"));
    EXPECT_TRUE(Contains(std::string(tty.begin(), tty.end()), "] 2/2"));
}

}  // namespace
}  // namespace voved::tool
