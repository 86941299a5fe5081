// Decoding and encoding on threads of their own change nothing: every job
// gives the same files, reports and failures as with VOVED_SERIAL=1, on a
// picture tall enough to go round the line rings many times; and statistics
// shared between two threads are those of one pass, wherever they meet.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <regex>
#include <vector>

#include "cli_support.h"
#include "page_warmer.h"
#include "shared_statistics.h"

namespace voved::tool {
namespace {

using testing::ReadBytes;
using testing::RunResult;
using testing::RunVoved;
using testing::ScratchDir;

constexpr uint32_t kWidth = 200;
constexpr uint32_t kHeight = 700;  // more than ten times the largest ring

struct Outcome {
    RunResult result;
    std::vector<std::vector<uint8_t>> files;
};

// Runs the tool once with `outputs` removed first and read back after.
Outcome RunOnce(const ScratchDir& dir, const std::vector<std::string>& args,
                const std::vector<std::string>& outputs, bool serial) {
    for (const auto& name : outputs) {
        std::remove(dir.Path(name).c_str());
    }
    if (serial) {
        setenv("VOVED_SERIAL", "1", 1);
    }
    Outcome run{RunVoved(args), {}};
    unsetenv("VOVED_SERIAL");
    // The summary's time varies from run to run.
    run.result.err = std::regex_replace(run.result.err, std::regex(" in [0-9.]+ s"), "");
    for (const auto& name : outputs) {
        run.files.push_back(testing::Exists(dir.Path(name)) ? ReadBytes(dir.Path(name))
                                                            : std::vector<uint8_t>{});
    }
    return run;
}

TEST(VovedPipeline, ThreadsGiveTheSameBytesAsOneThread) {
    ScratchDir dir;
    const auto scene = testing::MakeScene(kWidth, kHeight, ColourKind::Rgb, 25, -20);
    const auto alpha = testing::MakeScene(kWidth, kHeight, ColourKind::Rgba, -30, 30);
    testing::WritePicture(dir.Path("a.jpg"), scene, ColourKind::Rgb);
    testing::WritePicture(dir.Path("a.png"), alpha, ColourKind::Rgba);
    // Cut in the middle of the scan: decoding fails half way down.
    auto jpeg = ReadBytes(dir.Path("a.jpg"));
    jpeg.resize(jpeg.size() / 2);
    testing::WriteBytes(dir.Path("cut.jpg"), jpeg);
    const auto in = [&dir](const char* name) { return dir.Path(name); };

    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> outputs;
        int status;
    };
    const Case cases[] = {
        {{"correct", in("a.jpg"), "-o", in("b.jpg")}, {"b.jpg"}, 0},
        {{"correct", in("a.png"), "-o", in("b.png"), "--side-by-side", in("p.png")},
         {"b.png", "p.png"},
         0},
        {{"correct", in("a.jpg"), "-o", in("b.ppm"), "--max-memory", "1KiB"}, {"b.ppm"}, 0},
        {{"convert", in("a.jpg"), in("c.jpg"), "--correct", "--denoise"}, {"c.jpg"}, 0},
        {{"convert", in("a.png"), in("c.png"), "--sharpen", "1", "--side-by-side", in("q.png")},
         {"c.png", "q.png"},
         0},
        {{"convert", in("a.jpg"), in("c.png")}, {"c.png"}, 0},
        {{"analyse", in("a.jpg"), "--json"}, {}, 0},
        {{"correct", in("cut.jpg"), "-o", in("d.jpg")}, {"d.jpg"}, 1},
        {{"convert", in("cut.jpg"), in("d.jpg"), "--correct"}, {"d.jpg"}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1] + " -> " +
                     (c.outputs.empty() ? "" : c.outputs[0]));
        const Outcome serial = RunOnce(dir, c.args, c.outputs, true);
        const Outcome threaded = RunOnce(dir, c.args, c.outputs, false);
        ASSERT_EQ(serial.result.status, c.status) << serial.result.err;
        EXPECT_EQ(threaded.result.status, serial.result.status);
        EXPECT_EQ(threaded.result.out, serial.result.out);
        EXPECT_EQ(threaded.result.err, serial.result.err);
        for (size_t i = 0; i < c.outputs.size(); ++i) {
            EXPECT_EQ(threaded.files[i].empty(), c.status != 0) << c.outputs[i];
            EXPECT_TRUE(threaded.files[i] == serial.files[i]) << c.outputs[i] << " differs";
        }
    }
}

// The decoder's thread may join in before the job's thread has read a line,
// half way down, or after the last line; the picture's height leaves a short
// last block (200 pixels wide: blocks of 3 lines; 100 lines: 33 and one).
TEST(VovedPipeline, SharedStatisticsEqualOnePass) {
    const auto scene = testing::MakeScene(kWidth, 100, ColourKind::Rgb, 25, -20);
    ImageInfo info;
    info.width = kWidth;
    info.height = 100;
    const size_t lineBytes = size_t{kWidth} * 3;
    Context onePass;
    for (uint32_t y = 0; y < info.height; ++y) {
        AddStatistics(onePass, scene.pixels.data() + lineBytes * y, info, nullptr);
    }
    const QVContext& expected = onePass.Record();
    for (const uint32_t helpAfter : {0u, 1u, 50u, 98u, 100u}) {
        SCOPED_TRACE("the decoder's thread helps after line " + std::to_string(helpAfter));
        Context shared;
        SharedStatistics split(info, scene.pixels.data(), lineBytes);
        for (uint32_t y = 0; y < info.height; ++y) {
            if (y == helpAfter) {
                split.HelpFromBottom();
            }
            split.JobLine(shared, y);
        }
        if (helpAfter == info.height) {
            split.HelpFromBottom();
        }
        split.MergeInto(shared);
        const QVContext& got = shared.Record();
        EXPECT_EQ(std::memcmp(got.levelStats, expected.levelStats, sizeof expected.levelStats), 0);
        EXPECT_EQ(std::memcmp(got.hueCounts, expected.hueCounts, sizeof expected.hueCounts), 0);
    }
}

// The warmer runs beside a decoder that has already written some pages:
// whatever it does to map them, no byte may change. Lines of a pattern
// over pages, page edges and a partial last page, warmed after writing.
TEST(VovedPipeline, WarmingAPictureBufferKeepsItsBytes) {
    const size_t size = (size_t{3} << 20) + 1234;
    std::vector<uint8_t> pixels(size);
    for (size_t i = 0; i < size; ++i) {
        pixels[i] = static_cast<uint8_t>(i * 7 + i / 4096);
    }
    const std::vector<uint8_t> written = pixels;
    PageWarmer warmer(pixels.data() + 5, size - 5, true);
    warmer.Join();
    EXPECT_EQ(pixels, written);
}

}  // namespace
}  // namespace voved::tool
