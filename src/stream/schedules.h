// The step schedules of the two pipelines that work over a ring of five
// working lines. Row r of the picture (working rows for the sharpening,
// image lines for the noise filter) lives in ring line r mod 5.
#pragma once

#include <cstdint>

namespace voved {

constexpr int kMaxWindowRows = 5;

// One step k of a pipeline. Rows are given as offsets from k.
struct PipelineStep {
    bool reads;                   // reads row k into its ring line
    int8_t lines;                 // rows the filter looks at (kernel member); 0: none
    int8_t target;                // the row filtered and delivered
    int8_t rows[kMaxWindowRows];  // the filter's rows, in argument order
    uint16_t result;              // before any line mapping
    bool advances;                // the step moves lineStep on
};

// Step k of the sharpening pipeline over `workLines` rows; null past its
// last step.
const PipelineStep* SharpenStepAt(uint16_t k, uint16_t workLines);

// Step k of the noise-filter pipeline over `imageLines` lines; null past
// its last step.
const PipelineStep* DenoiseStepAt(uint16_t k, uint16_t imageLines);

// The ring line of the row at `offset` from step k.
constexpr uint32_t RingIndex(uint16_t k, int8_t offset) {
    return static_cast<uint32_t>(static_cast<int32_t>(k) + offset) % 5u;
}

}  // namespace voved
