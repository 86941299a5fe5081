// The real voved binary on generated pictures: every format and layout,
// the cast it removes, what it keeps (alpha, EXIF), its reports, and how it
// fails (a clear message and a non-zero status, the rest of a batch done).
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "cli_support.h"
#include "exif.h"
#include "tone_table.h"

namespace voved::tool {
namespace {

using testing::Exists;
using testing::MakeScene;
using testing::Picture;
using testing::ReadPicture;
using testing::RunVoved;
using testing::ScratchDir;
using testing::WritePicture;

constexpr uint32_t kWidth = 96;
constexpr uint32_t kHeight = 64;

// The sample tone table, compiled into `dir`.
std::string CompiledTable(const ScratchDir& dir) {
    const auto json = testing::ReadBytes(VOVED_TONE_TABLE);
    const std::string path = dir.Path("table.bin");
    testing::WriteBytes(path,
                        EncodeToneTable(ToneTableFromJson(std::string(json.begin(), json.end()))));
    return path;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

struct FormatCase {
    const char* name;
    ColourKind kind;      // the picture's layout
    ColourKind fileKind;  // what the file stores
    bool sixteenBit;
};

const FormatCase kFormats[] = {
    {"rgb.jpg", ColourKind::Rgb, ColourKind::Rgb, false},
    {"grey.jpg", ColourKind::Grey, ColourKind::Grey, false},
    {"rgb.png", ColourKind::Rgb, ColourKind::Rgb, false},
    {"rgba.png", ColourKind::Rgba, ColourKind::Rgba, false},
    {"grey.png", ColourKind::Grey, ColourKind::Grey, false},
    {"greyalpha.png", ColourKind::GreyAlpha, ColourKind::GreyAlpha, false},
    {"deep.png", ColourKind::Rgb, ColourKind::Rgb, true},
    {"rgb.ppm", ColourKind::Rgb, ColourKind::Rgb, false},
    {"grey.pgm", ColourKind::Grey, ColourKind::Grey, false},
};

void WriteCase(const ScratchDir& dir, const FormatCase& c, int dr, int db) {
    const Picture picture = MakeScene(kWidth, kHeight, c.kind, dr, db);
    if (c.sixteenBit) {
        testing::WritePng16(dir.Path(c.name), picture);
    } else {
        WritePicture(dir.Path(c.name), picture, c.fileKind);
    }
}

TEST(VovedCorrect, EveryFormatAndLayoutInOneBatch) {
    ScratchDir dir;
    std::vector<std::string> args = {"correct", "-d", dir.Path("out"), "--jobs", "3"};
    for (const auto& c : kFormats) {
        WriteCase(dir, c, 25, -25);
        args.push_back(dir.Path(c.name));
    }
    const auto run = RunVoved(args);
    ASSERT_EQ(run.status, 0) << run.err;
    // The four grey pictures have no colour to correct: they are counted apart.
    EXPECT_TRUE(Contains(run.err, "corrected 5 of 9 pictures (4 unchanged)")) << run.err;
    EXPECT_TRUE(Contains(run.err, "deep.png: 16-bit samples reduced to 8 bits")) << run.err;
    for (const auto& c : kFormats) {
        SCOPED_TRACE(c.name);
        ImageInfo info;
        const Picture out = ReadPicture(dir.Path(std::string("out/") + c.name), &info);
        EXPECT_EQ(out.width, kWidth);
        EXPECT_EQ(out.height, kHeight);
        EXPECT_EQ(info.kind, c.fileKind);
        EXPECT_TRUE(Contains(run.out, std::string(c.name) + " -> ")) << run.out;
    }
}

TEST(VovedCorrect, ReducesAStrongColourCast) {
    ScratchDir dir;
    const Picture before = MakeScene(kWidth, kHeight, ColourKind::Rgb, -30, 30);
    WritePicture(dir.Path("cast.png"), before, ColourKind::Rgb);
    const auto run = RunVoved({"correct", dir.Path("cast.png"), "-o", dir.Path("fixed.png")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Contains(run.out, "colour corrected")) << run.out;
    const double castBefore = testing::MeasureCast(before).Size();
    const double castAfter = testing::MeasureCast(ReadPicture(dir.Path("fixed.png"))).Size();
    EXPECT_GT(castBefore, 20.0);
    EXPECT_LT(castAfter, castBefore / 2) << "before " << castBefore << ", after " << castAfter;
}

TEST(VovedCorrect, KeepsAlphaAndExif) {
    ScratchDir dir;
    Metadata meta;
    meta.exif = testing::MakeExif("Kept Camera", false);
    const Picture rgba = MakeScene(kWidth, kHeight, ColourKind::Rgba, 20, -20);
    WritePicture(dir.Path("a.png"), rgba, ColourKind::Rgba, meta);
    WritePicture(dir.Path("e.jpg"), MakeScene(kWidth, kHeight, ColourKind::Rgb, 20, -20),
                 ColourKind::Rgb, meta);
    const auto run = RunVoved({"correct", dir.Path("a.png"), dir.Path("e.jpg"), "-d",
                               dir.Path("out"), "--tone-table", CompiledTable(dir)});
    ASSERT_EQ(run.status, 0) << run.err;
    // The tone table maps every byte of a 4-byte pixel: alpha must be put back.
    EXPECT_TRUE(Contains(run.out, "a.png -> " + dir.Path("out/a.png") +
                                      ": colour corrected and "
                                      "tone table applied"))
        << run.out;
    ImageInfo pngInfo;
    const Picture out = ReadPicture(dir.Path("out/a.png"), &pngInfo);
    ASSERT_EQ(out.kind, ColourKind::Rgba);
    for (uint32_t y = 0; y < kHeight; ++y) {
        for (uint32_t x = 0; x < kWidth; ++x) {
            ASSERT_EQ(out.At(x, y)[3], rgba.At(x, y)[3]) << x << "," << y;
        }
    }
    EXPECT_EQ(pngInfo.metadata.exif, meta.exif);
    ImageInfo jpegInfo;
    ReadPicture(dir.Path("out/e.jpg"), &jpegInfo);
    EXPECT_EQ(jpegInfo.metadata.exif, meta.exif);
    EXPECT_EQ(CameraModelFromExif(jpegInfo.metadata.exif), "Kept Camera");
}

TEST(VovedCorrect, TwoPassesGiveTheSameBytesAsOne) {
    ScratchDir dir;
    WritePicture(dir.Path("a.png"), MakeScene(kWidth, kHeight, ColourKind::Rgba, -20, 25),
                 ColourKind::Rgba);
    ASSERT_EQ(RunVoved({"correct", dir.Path("a.png"), "-o", dir.Path("one.png")}).status, 0);
    const auto run =
        RunVoved({"correct", dir.Path("a.png"), "-o", dir.Path("two.png"), "--max-memory", "1KiB"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(testing::ReadBytes(dir.Path("one.png")), testing::ReadBytes(dir.Path("two.png")));
}

TEST(VovedCorrect, SideBySideHoldsBeforeAndAfter) {
    ScratchDir dir;
    const Picture before = MakeScene(kWidth, kHeight, ColourKind::Rgb, -30, 30);
    WritePicture(dir.Path("a.png"), before, ColourKind::Rgb);
    const auto run = RunVoved({"correct", dir.Path("a.png"), "-o", dir.Path("b.png"),
                               "--side-by-side", dir.Path("pair.png")});
    ASSERT_EQ(run.status, 0) << run.err;
    const Picture after = ReadPicture(dir.Path("b.png"));
    const Picture pair = ReadPicture(dir.Path("pair.png"));
    ASSERT_EQ(pair.width, 2 * kWidth);
    for (uint32_t y = 0; y < kHeight; ++y) {
        for (uint32_t x = 0; x < kWidth; ++x) {
            for (int c = 0; c < 3; ++c) {
                ASSERT_EQ(pair.At(x, y)[c], before.At(x, y)[c]);
                ASSERT_EQ(pair.At(x + kWidth, y)[c], after.At(x, y)[c]);
            }
        }
    }
}

TEST(VovedCorrect, BadInputsFailAloneWithAMessage) {
    ScratchDir dir;
    const Picture picture = MakeScene(kWidth, kHeight, ColourKind::Rgb, 10, -10);
    WritePicture(dir.Path("good1.png"), picture, ColourKind::Rgb);
    WritePicture(dir.Path("good2.jpg"), picture, ColourKind::Rgb);
    WritePicture(dir.Path("full.jpg"), picture, ColourKind::Rgb);
    WritePicture(dir.Path("full.png"), picture, ColourKind::Rgb);
    auto jpeg = testing::ReadBytes(dir.Path("full.jpg"));
    jpeg.resize(jpeg.size() / 2);
    testing::WriteBytes(dir.Path("truncated.jpg"), jpeg);
    auto png = testing::ReadBytes(dir.Path("full.png"));
    png.resize(png.size() * 2 / 3);
    testing::WriteBytes(dir.Path("truncated.png"), png);
    auto corrupt = testing::ReadBytes(dir.Path("full.png"));
    corrupt[corrupt.size() / 2] ^= 0x5A;
    testing::WriteBytes(dir.Path("corrupt.png"), corrupt);
    testing::WriteBytes(dir.Path("notapicture.jpg"), {'h', 'e', 'l', 'l', 'o'});

    const auto run =
        RunVoved({"correct", "-d", dir.Path("out"), dir.Path("good1.png"),
                  dir.Path("truncated.jpg"), dir.Path("truncated.png"), dir.Path("corrupt.png"),
                  dir.Path("missing.jpg"), dir.Path("notapicture.jpg"), dir.Path("good2.jpg")});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Contains(run.err, "corrected 2 of 7 pictures (5 failed)")) << run.err;
    EXPECT_TRUE(Contains(run.err, "truncated.jpg: the JPEG data is damaged")) << run.err;
    EXPECT_TRUE(Contains(run.err, "truncated.png: the PNG data is damaged")) << run.err;
    EXPECT_TRUE(Contains(run.err, "corrupt.png: the PNG data is damaged")) << run.err;
    EXPECT_TRUE(Contains(run.err, "missing.jpg: cannot open: No such file or directory"))
        << run.err;
    EXPECT_TRUE(Contains(run.err, "notapicture.jpg: not a picture")) << run.err;
    EXPECT_TRUE(Exists(dir.Path("out/good1.png")));
    EXPECT_TRUE(Exists(dir.Path("out/good2.jpg")));
    EXPECT_FALSE(Exists(dir.Path("out/truncated.jpg")));
    EXPECT_FALSE(Exists(dir.Path("out/corrupt.png")));
    // No temporary file is left behind by the failures.
    EXPECT_EQ(std::system(("test -z \"$(ls -A " + dir.Path("out") +
                           " | grep -v -e good1.png -e good2.jpg)\"")
                              .c_str()),
              0);
}

TEST(VovedCorrect, UnwritableOutputsFailAlone) {
    ScratchDir dir;
    const Picture picture = MakeScene(kWidth, kHeight, ColourKind::Rgb, 10, -10);
    WritePicture(dir.Path("a.png"), picture, ColourKind::Rgb);
    WritePicture(dir.Path("b.png"), picture, ColourKind::Rgb);
    ASSERT_EQ(std::system(("mkdir -p " + dir.Path("out/b.png")).c_str()), 0);
    const auto run =
        RunVoved({"correct", "-d", dir.Path("out"), dir.Path("a.png"), dir.Path("b.png")});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Contains(run.err, "b.png: cannot write")) << run.err;
    EXPECT_TRUE(Exists(dir.Path("out/a.png")));

    testing::WriteBytes(dir.Path("file"), {'x'});
    const auto intoFile = RunVoved({"correct", dir.Path("a.png"), "-o", dir.Path("file/a.png")});
    EXPECT_EQ(intoFile.status, 1);
    EXPECT_TRUE(Contains(intoFile.err, "not a directory")) << intoFile.err;
}

TEST(VovedCorrect, NeverOverwritesAnInputUnlessAsked) {
    ScratchDir dir;
    WritePicture(dir.Path("a.png"), MakeScene(kWidth, kHeight, ColourKind::Rgb, -30, 30),
                 ColourKind::Rgb);
    const auto original = testing::ReadBytes(dir.Path("a.png"));
    const auto refused = RunVoved({"correct", dir.Path("a.png"), "-o", dir.Path("a.png")});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(Contains(refused.err, "is an input")) << refused.err;
    EXPECT_EQ(testing::ReadBytes(dir.Path("a.png")), original);

    const auto byDefault = RunVoved({"correct", dir.Path("a.png")});
    EXPECT_EQ(byDefault.status, 0) << byDefault.err;
    EXPECT_TRUE(Exists(dir.Path("a-corrected.png")));
    EXPECT_EQ(testing::ReadBytes(dir.Path("a.png")), original);

    const auto inPlace = RunVoved({"correct", "--in-place", dir.Path("a.png")});
    EXPECT_EQ(inPlace.status, 0) << inPlace.err;
    EXPECT_EQ(testing::ReadBytes(dir.Path("a.png")),
              testing::ReadBytes(dir.Path("a-corrected.png")));
}

TEST(VovedCorrect, MalformedToneTableStopsWithAMessage) {
    ScratchDir dir;
    WritePicture(dir.Path("a.png"), MakeScene(kWidth, kHeight, ColourKind::Rgb, 0, 0),
                 ColourKind::Rgb);
    auto table = testing::ReadBytes(CompiledTable(dir));
    table.back() ^= 0xFF;
    testing::WriteBytes(dir.Path("bad.bin"), table);
    const auto run = RunVoved({"correct", dir.Path("a.png"), "-o", dir.Path("b.png"),
                               "--tone-table", dir.Path("bad.bin")});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Contains(run.err, "bad.bin: checksum mismatch")) << run.err;
    EXPECT_FALSE(Exists(dir.Path("b.png")));
}

TEST(VovedCorrect, AToneTableThatBuildsNoCurveChangesNothingAndSaysSo) {
    // The chosen entry has no segment: the step builds no curve, and the
    // picture must come back byte for byte, with the reason in words.
    ScratchDir dir;
    const Picture in = MakeScene(kWidth, kHeight, ColourKind::Rgb, 0, 0);
    WritePicture(dir.Path("a.png"), in, ColourKind::Rgb);
    const std::string json =
        R"({"shadowWeight": 5, "shadowBandEnd": 64, "midBandEnd": 192, "zones": [)"
        R"({"highlightBelow": 255, "entries": [{"scoreBelow": 255, "gamma": 1.4,)"
        R"( "segments": []}]}]})";
    testing::WriteBytes(dir.Path("t.json"), std::vector<uint8_t>(json.begin(), json.end()));
    const auto run = RunVoved({"correct", dir.Path("a.png"), "-o", dir.Path("b.png"), "--no-colour",
                               "--tone-table", dir.Path("t.json")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Contains(run.out, "written unchanged (a copy of the input): the tone table does "
                                  "not fit"))
        << run.out;
    EXPECT_EQ(testing::ReadBytes(dir.Path("b.png")), testing::ReadBytes(dir.Path("a.png")));
}

TEST(VovedCorrect, UsageErrorsExitWithTwo) {
    ScratchDir dir;
    EXPECT_EQ(RunVoved({}).status, 2);
    EXPECT_EQ(RunVoved({"correct", "a.png", "b.png", "-o", "c.png"}).status, 2);
    EXPECT_EQ(RunVoved({"correct", "a.png", "--in-place", "-d", "x"}).status, 2);
    EXPECT_EQ(RunVoved({"correct", "--no-colour", "a.png"}).status, 2);
    EXPECT_EQ(RunVoved({"convert", "a.png", "b.png", "--sharpen", "4"}).status, 2);
    EXPECT_EQ(RunVoved({"convert", "a.png", "b.png", "--tone", "teal"}).status, 2);
    EXPECT_EQ(RunVoved({"convert", "a.png", "b.png", "--output-width", "10"}).status, 2);
}

TEST(VovedCorrect, WorksOnTheBundledSampleWithoutFiles) {
    ScratchDir dir;
    const auto run = RunVoved({"correct", "-o", dir.Path("sample.jpg")});
    ASSERT_EQ(run.status, 0) << run.err;
    const Picture out = ReadPicture(dir.Path("sample.jpg"));
    const Picture in = ReadPicture(VOVED_SAMPLE);
    EXPECT_EQ(out.width, in.width);
    EXPECT_EQ(out.height, in.height);
    EXPECT_TRUE(Contains(run.out, "chelsea.jpg -> ")) << run.out;
}

TEST(VovedAnalyse, JsonHasEveryField) {
    ScratchDir dir;
    WritePicture(dir.Path("a.png"), MakeScene(kWidth, kHeight, ColourKind::Rgb, -30, 30),
                 ColourKind::Rgb);
    const auto run =
        RunVoved({"analyse", "--json", dir.Path("a.png"), "--plot", dir.Path("p.svg")});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto report = nlohmann::json::parse(run.out);
    for (const char* field :
         {"file", "width", "height", "camera", "result", "resultMeaning", "explanation",
          "blackLevel", "whiteLevel", "shadowCast", "whiteColour", "saturationGain", "sceneClass",
          "correctionType", "colourMatrix", "toneCurve", "highlightLevel", "toneTable",
          "luminanceHistogram"}) {
        EXPECT_TRUE(report.contains(field)) << field;
    }
    EXPECT_EQ(report["width"], kWidth);
    EXPECT_EQ(report["result"], 0);
    EXPECT_TRUE(report["sceneClass"]["meaning"].is_string());
    EXPECT_FALSE(report["sceneClass"]["meaning"].get<std::string>().empty());
    EXPECT_EQ(report["toneCurve"].size(), 300u);
    EXPECT_EQ(report["colourMatrix"].size(), 9u);
    uint64_t pixels = 0;
    for (const auto& count : report["luminanceHistogram"]) {
        pixels += count.get<uint64_t>();
    }
    EXPECT_EQ(pixels, uint64_t{kWidth} * kHeight);
    const auto svg = testing::ReadBytes(dir.Path("p.svg"));
    const std::string text(svg.begin(), svg.end());
    EXPECT_TRUE(Contains(text, "<svg")) << text.substr(0, 80);
    EXPECT_TRUE(Contains(text, "<polyline"));
    EXPECT_TRUE(Contains(text, dir.Path("a.png") + ": scene 5101</text>")) << text;  // whole

    // JSON Lines: one object a picture, whether one or several.
    const auto two = RunVoved({"analyse", "--json", dir.Path("a.png"), dir.Path("none.png")});
    EXPECT_EQ(two.status, 1);
    const size_t end = two.out.find('\n');
    ASSERT_NE(end, std::string::npos);
    EXPECT_EQ(nlohmann::json::parse(two.out.substr(0, end)), report);
    EXPECT_TRUE(nlohmann::json::parse(two.out.substr(end + 1)).contains("error"));
    EXPECT_EQ(two.out.back(), '\n');
}

TEST(VovedAnalyse, TextExplainsAPictureWithoutCorrection) {
    ScratchDir dir;
    // Grey only: the black and white points have no colour, nothing to correct.
    WritePicture(dir.Path("g.png"), MakeScene(kWidth, kHeight, ColourKind::Grey, 0, 0),
                 ColourKind::Grey);
    const auto run = RunVoved({"analyse", dir.Path("g.png")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Contains(run.out, "result")) << run.out;
    EXPECT_TRUE(Contains(run.out, "why")) << run.out;
    const auto fix = RunVoved({"correct", dir.Path("g.png"), "-o", dir.Path("h.png")});
    ASSERT_EQ(fix.status, 0) << fix.err;
    EXPECT_TRUE(Contains(fix.out, "written unchanged")) << fix.out;
    EXPECT_EQ(ReadPicture(dir.Path("h.png")).pixels, ReadPicture(dir.Path("g.png")).pixels);
}

struct ConvertCase {
    std::vector<std::string> options;
};

TEST(VovedConvert, DeliversEveryLineOfTheInputWidth) {
    ScratchDir dir;
    const Picture rgba = MakeScene(kWidth, kHeight, ColourKind::Rgba, -30, 30);
    WritePicture(dir.Path("a.png"), rgba, ColourKind::Rgba);
    const std::vector<std::vector<std::string>> cases = {
        {"--sharpen", "0"},
        {"--sharpen", "-1", "--output-width", "48", "--resolution-scale", "150"},  // enlarge
        {"--sharpen", "3", "--output-width", "8", "--resolution-scale", "150"},    // reduce
        {"--tone", "sepia"},
        {"--grey"},
        {"--denoise"},
        {"--correct"},
        {"--correct", "--denoise"},
        {"--sharpen", "1", "--tone", "200"},
        {"--tone-table", CompiledTable(dir)},
        {"--correct", "--denoise", "--tone-table", CompiledTable(dir)},
    };
    for (const auto& options : cases) {
        std::string label;
        for (const auto& o : options) {
            label += o + " ";
        }
        SCOPED_TRACE(label);
        std::vector<std::string> args = {"convert", dir.Path("a.png"), dir.Path("b.png")};
        args.insert(args.end(), options.begin(), options.end());
        const auto run = RunVoved(args);
        ASSERT_EQ(run.status, 0) << run.err;
        const Picture out = ReadPicture(dir.Path("b.png"));
        ASSERT_EQ(out.width, kWidth);
        ASSERT_EQ(out.height, kHeight);
        ASSERT_EQ(out.kind, ColourKind::Rgba);
        for (uint32_t y = 0; y < kHeight; ++y) {
            for (uint32_t x = 0; x < kWidth; ++x) {
                ASSERT_EQ(out.At(x, y)[3], rgba.At(x, y)[3]) << x << "," << y;
            }
        }
        if (options[0] == "--grey") {
            for (uint32_t i = 0; i < kWidth * kHeight; ++i) {
                ASSERT_EQ(out.pixels[4 * i], out.pixels[4 * i + 1]);
                ASSERT_EQ(out.pixels[4 * i], out.pixels[4 * i + 2]);
            }
        }
    }
}

TEST(VovedConvert, SideBySideShowsTheLinesTheyCameFrom) {
    ScratchDir dir;
    const Picture before = MakeScene(kWidth, kHeight, ColourKind::Rgb, 10, -10);
    WritePicture(dir.Path("a.png"), before, ColourKind::Rgb);
    const auto run = RunVoved({"convert", dir.Path("a.png"), dir.Path("b.png"), "--sharpen", "-1",
                               "--side-by-side", dir.Path("pair.png")});
    ASSERT_EQ(run.status, 0) << run.err;
    const Picture after = ReadPicture(dir.Path("b.png"));
    const Picture pair = ReadPicture(dir.Path("pair.png"));
    ASSERT_EQ(pair.width, 2 * kWidth);
    ASSERT_EQ(pair.height, kHeight);
    EXPECT_NE(after.pixels, before.pixels);  // sharpening changed something
    for (uint32_t y = 0; y < kHeight; ++y) {
        for (uint32_t x = 0; x < kWidth; ++x) {
            for (int c = 0; c < 3; ++c) {
                ASSERT_EQ(pair.At(x, y)[c], before.At(x, y)[c]) << x << "," << y;
                ASSERT_EQ(pair.At(x + kWidth, y)[c], after.At(x, y)[c]) << x << "," << y;
            }
        }
    }
}

TEST(VovedConvert, SepiaIsWarmAndGreyStaysGreyUnlessToned) {
    ScratchDir dir;
    WritePicture(dir.Path("g.pgm"), MakeScene(kWidth, kHeight, ColourKind::Grey, 0, 0),
                 ColourKind::Grey);
    ASSERT_EQ(RunVoved({"convert", dir.Path("g.pgm"), dir.Path("s.png"), "--tone", "sepia"}).status,
              0);
    ImageInfo info;
    const Picture sepia = ReadPicture(dir.Path("s.png"), &info);
    EXPECT_EQ(info.kind, ColourKind::Rgb);
    const auto cast = testing::MeasureCast(sepia);
    EXPECT_GT(cast.redMinusGreen, 5.0);
    EXPECT_LT(cast.blueMinusGreen, -5.0);
    ASSERT_EQ(RunVoved({"convert", dir.Path("g.pgm"), dir.Path("d.png"), "--denoise"}).status, 0);
    ReadPicture(dir.Path("d.png"), &info);
    EXPECT_EQ(info.kind, ColourKind::Grey);
}

TEST(VovedToneTable, CompileAndDumpFromTheCommandLine) {
    ScratchDir dir;
    const std::string table = CompiledTable(dir);
    const auto dumped = RunVoved({"tone-table", "dump", table});
    ASSERT_EQ(dumped.status, 0) << dumped.err;
    const auto fromJson = RunVoved({"tone-table", "dump", VOVED_TONE_TABLE});
    EXPECT_EQ(fromJson.out, dumped.out) << fromJson.err;  // either form shows the same table
    testing::WriteBytes(dir.Path("t.json"),
                        std::vector<uint8_t>(dumped.out.begin(), dumped.out.end()));
    const auto compiled =
        RunVoved({"tone-table", "compile", dir.Path("t.json"), dir.Path("t.bin")});
    ASSERT_EQ(compiled.status, 0) << compiled.err;
    EXPECT_EQ(testing::ReadBytes(dir.Path("t.bin")), testing::ReadBytes(table));
    testing::WriteBytes(dir.Path("bad.json"), {'{', '"', 'z', '"', ':', '1', '}'});
    const auto bad = RunVoved({"tone-table", "compile", dir.Path("bad.json"), dir.Path("x.bin")});
    EXPECT_EQ(bad.status, 1);
    EXPECT_TRUE(Contains(bad.err, "unknown field 'z'")) << bad.err;
    EXPECT_FALSE(Exists(dir.Path("x.bin")));
}

}  // namespace
}  // namespace voved::tool
