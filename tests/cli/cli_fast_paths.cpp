// The bundled sample photo through the tool, once with the library's plain
// inner loops forced (VOVED_FORCE_PLAIN=1) and once without: every path
// must write the same bytes.
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli_support.h"

namespace voved::tool {
namespace {

using testing::ReadBytes;
using testing::RunVoved;
using testing::ScratchDir;

std::vector<uint8_t> Output(const ScratchDir& dir, std::vector<std::string> arguments,
                            const std::string& name, bool plain) {
    // Whatever the suite itself runs with, one run each way.
    if (plain) {
        setenv("VOVED_FORCE_PLAIN", "1", 1);
    } else {
        unsetenv("VOVED_FORCE_PLAIN");
    }
    for (std::string& a : arguments) {
        if (a == "OUT") {
            a = dir.Path(name);
        }
    }
    const auto run = RunVoved(arguments);
    EXPECT_EQ(run.status, 0) << run.err;
    return ReadBytes(dir.Path(name));
}

TEST(VovedFastPaths, TheSampleGivesTheSameBytesWithThePlainLoops) {
    const char* inherited = std::getenv("VOVED_FORCE_PLAIN");
    const std::string restore = inherited != nullptr ? inherited : "";
    ScratchDir dir;
    const std::vector<std::vector<std::string>> cases = {
        {"correct", VOVED_SAMPLE, "-o", "OUT"},
        {"correct", VOVED_SAMPLE, "-o", "OUT", "--tone-table", VOVED_TONE_TABLE},
        {"convert", VOVED_SAMPLE, "OUT", "--correct"},
        {"convert", VOVED_SAMPLE, "OUT", "--correct", "--denoise"},
        {"convert", VOVED_SAMPLE, "OUT", "--denoise"},
        {"convert", VOVED_SAMPLE, "OUT", "--sharpen", "1"},
        {"convert", VOVED_SAMPLE, "OUT", "--tone", "sepia"},
        {"convert", VOVED_SAMPLE, "OUT", "--correct", "--tone", "200"},
    };
    for (const auto& arguments : cases) {
        std::string label;
        for (const auto& a : arguments) {
            label += a + " ";
        }
        SCOPED_TRACE(label);
        const auto fast = Output(dir, arguments, "fast.png", false);
        const auto plain = Output(dir, arguments, "plain.png", true);
        EXPECT_FALSE(fast.empty());
        EXPECT_EQ(fast, plain);
    }
    if (inherited != nullptr) {
        setenv("VOVED_FORCE_PLAIN", restore.c_str(), 1);
    } else {
        unsetenv("VOVED_FORCE_PLAIN");
    }
}

}  // namespace
}  // namespace voved::tool
