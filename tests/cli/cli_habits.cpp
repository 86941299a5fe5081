// voved follows the habits of Unix image tools: it says its version, names
// an unknown command, is quiet or talkative on request, takes folders with
// -r, reads and writes "-", and prints one JSON shape.
#include <gtest/gtest.h>

#include <regex>

#include <nlohmann/json.hpp>

#include "cli_support.h"

namespace voved::tool {
namespace {

using testing::MakeScene;
using testing::RunVoved;
using testing::ScratchDir;
using testing::WritePicture;

TEST(Habits, CommandLineConventions) {
    ScratchDir dir;
    std::system(("mkdir -p " + dir.Path("photos/trip")).c_str());
    const auto scene = MakeScene(64, 48, ColourKind::Rgb, -30, 30);
    WritePicture(dir.Path("photos/a.png"), scene, ColourKind::Rgb);
    WritePicture(dir.Path("photos/trip/a.png"), scene, ColourKind::Rgb);
    const std::string a = dir.Path("photos/a.png");
    const struct {
        std::vector<std::string> args;
        int status;
        std::string said;  // in standard output or error; "" for silence
    } cases[] = {
        {{"--version"}, 0, "voved 1.0.0"},  // the release of the top-level project
        {{"corect", a}, 2, "unknown command 'corect' (did you mean 'correct'?)"},
        {{"correct", dir.Path("photos")}, 1, "is a folder: give -r"},
        {{"correct", "-q", a, "-o", dir.Path("quiet.png")}, 0, ""},
        {{"correct", "-v", a, "-o", dir.Path("loud.png")}, 0, "corrected 1 of 1 picture"},
        {{"correct", "--help"}, 0, "Usage: voved correct"},  // not the build's path
        {{"correct", "-r", dir.Path("photos"), "-d", dir.Path("out/")},
         0,
         "-> " + dir.Path("out/trip/a.png")},
        {{"analyse", a, "--plot", dir.Path("plot.png")}, 2, "give a name ending in .svg"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0]);
        const auto run = RunVoved(c.args);
        EXPECT_EQ(run.status, c.status) << run.err;
        if (c.said.empty()) {
            EXPECT_EQ(run.out + run.err, "");
        } else {
            EXPECT_NE((run.out + run.err).find(c.said), std::string::npos) << run.out << run.err;
        }
    }
    EXPECT_TRUE(testing::Exists(dir.Path("out/a.png")));
    EXPECT_TRUE(testing::Exists(dir.Path("quiet.png")));

    // "-" is standard input and output: the same bytes as through files.
    const std::string piped = std::string(VOVED_TOOL) + " correct - -o - --format png <" + a +
                              " >" + dir.Path("piped.png") + " 2>/dev/null";
    ASSERT_EQ(std::system(piped.c_str()), 0);
    EXPECT_EQ(testing::ReadBytes(dir.Path("piped.png")), testing::ReadBytes(dir.Path("out/a.png")));

    // One JSON object a line, numbers to at most three decimals.
    const auto json = RunVoved({"analyse", "--json", a});
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(std::count(json.out.begin(), json.out.end(), '\n'), 1);
    EXPECT_TRUE(nlohmann::json::parse(json.out).is_object());
    EXPECT_FALSE(std::regex_search(json.out, std::regex("[0-9]\\.[0-9]{4}"))) << json.out;
}

}  // namespace
}  // namespace voved::tool
