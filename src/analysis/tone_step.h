// The parameter-table tone step: builds the context's tone table from the
// caller's tone parameter table.
#pragma once

#include <cstdint>

#include "context/context.h"

namespace voved {

// Failures of the step. Every failure leaves the tone table untouched.
constexpr int16_t kToneNoMemory = -1;
constexpr int16_t kToneBadTable = -2;  // absent, malformed, or its checksum is wrong
constexpr int16_t kToneNoFit = -7;     // no zone fits, or no usable gamma or knee

// `status` is the analysis status after the scene classification (0 or -5).
// Returns a non-negative index on success (the segment record used, or the
// place where the table offered none, leaving the tone table as it was), a
// negative code on failure.
int16_t ToneStep(QVContext* context, int16_t status);

}  // namespace voved
