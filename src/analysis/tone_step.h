// The parameter-table tone step: builds the context's tone table from the
// caller's tone parameter table.
#pragma once

#include <cstdint>

#include "interface/context.h"

namespace voved {

// `status` is the analysis status after the scene classification (0 or -5).
// Returns a non-negative index on success, a negative code on failure; a
// failure leaves the tone table untouched.
int16_t ToneStep(QVContext* context, int16_t status);

}  // namespace voved
