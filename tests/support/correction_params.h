// Correction parameters written straight into a context, for tests that
// exercise the correction without running the analysis first.
#pragma once

#include <cstdint>

#include "context/context.h"

namespace voved::test {

// Identity matrix (1024 on the diagonal), identity tone curve (entry i = i),
// no shadow cast, black level 0, the given correction type, and the
// parameters marked as derived.
inline void SetIdentityCorrection(QVContext& c, int16_t type) {
    for (int k = 0; k < 9; ++k) {
        c.colourMatrix[k] = (k % 4 == 0) ? int16_t{1024} : int16_t{0};
    }
    for (int i = 0; i < kToneCurveSize; ++i) {
        c.toneCurve[i] = static_cast<int16_t>(i);
    }
    c.shadowCastRY = 0;
    c.shadowCastBY = 0;
    c.blackLevel = 0;
    c.correctionType = type;
    c.flags = static_cast<uint16_t>(c.flags | kFlagDerived);
}

}  // namespace voved::test
