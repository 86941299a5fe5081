// Drives a whole streaming conversion the way a caller must:
//
//   - present the input lines in order, starting with the first;
//   - on QV_STEP_FAILED stop;
//   - on QV_STEP_OUTPUT take the output buffer as the next output line and
//     hand over a fresh buffer at the next call;
//   - on QV_STEP_TAKEN move on to the next input line, and once the last
//     one has been presented keep presenting the last one;
//   - on QV_STEP_LAST stop; otherwise (QV_STEP_AGAIN included) call again.
//
// The conversion must be open; the driver neither opens nor closes it.
// Every answer is recorded, with the input line presented at that call.
#pragma once

#include <cstdint>
#include <vector>

#include "voved32.h"

namespace voved::test {

using PixelLine = std::vector<uint8_t>;

struct StreamArgs {
    uint16_t pixelCount;
    int16_t step;
    int16_t layout;
    int16_t toneHue = 0;
    int16_t sharpenLevel = 0;
};

struct StreamRun {
    std::vector<uint16_t> results;     // the answer of every call
    std::vector<int> presented;        // the input line presented at every call
    std::vector<PixelLine> delivered;  // output lines, in order
    bool completed = false;            // the last answer carried QV_STEP_LAST
    bool failed = false;               // the last answer was QV_STEP_FAILED
};

// Fill byte of a fresh output buffer: bytes the conversion never writes
// (the fourth byte of 4-byte pixels) keep it.
constexpr uint8_t kUnwritten = 0xCD;

// Runs the conversion over `input` (an empty picture presents one line of
// zeros). Gives up after `maxCalls` calls, leaving `completed` false.
StreamRun DriveConversion(QVHandle* handle, const std::vector<PixelLine>& input,
                          const StreamArgs& args, int maxCalls = 100000);

}  // namespace voved::test
