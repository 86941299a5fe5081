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
    if (plain) {
        setenv("VOVED_FORCE_PLAIN", "1", 1);
    }
    for (std::string& a : arguments) {
        if (a == "OUT") {
            a = dir.Path(name);
        }
    }
    const auto run = RunVoved(arguments);
    unsetenv("VOVED_FORCE_PLAIN");
    EXPECT_EQ(run.status, 0) << run.err;
    return ReadBytes(dir.Path(name));
}

TEST(VovedFastPaths, TheSampleGivesTheSameBytesWithThePlainLoops) {
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
        ASSERT_FALSE(fast.empty());
        EXPECT_EQ(fast, plain);
    }
}

}  // namespace
}  // namespace voved::tool
