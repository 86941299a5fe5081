// Stand-in until the parameter-table tone step is built: the step fails, so
// QVCalculate clears QV_MODE_BYTE_TABLE and reports as it does for a table
// that does not check out.
#include "analysis/tone_step.h"

namespace voved {

int16_t ToneStep(QVContext* /*context*/, int16_t /*status*/) {
    return -2;
}

}  // namespace voved
