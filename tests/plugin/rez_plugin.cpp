// A camera-properties plug-in for the tests. It knows no cameras: it answers
// the flags written into the camera model after "flags=" (hexadecimal), so
// each test chooses the answer through the model it configures, e.g.
// "Test Camera flags=0x000A". A model without them gets 0 (no change).
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "voved32.h"

#if defined(_WIN32)
#define REZ_EXPORT
#else
#define REZ_EXPORT __attribute__((visibility("default")))
#endif

namespace {

constexpr char kFlagsMark[] = "flags=";
constexpr uint16_t kVeto = 0x0001;

}  // namespace

extern "C" REZ_EXPORT uint16_t QV_CALL QVControl_byDSCProperties(const char* cameraModel,
                                                                 uint32_t reserved) {
    // A caller that breaks the calling protocol gets a veto, which no test
    // that expects a correction would survive.
    if (cameraModel == nullptr || reserved != 0) {
        return kVeto;
    }
    const char* mark = std::strstr(cameraModel, kFlagsMark);
    if (mark == nullptr) {
        return 0;
    }
    return static_cast<uint16_t>(std::strtoul(mark + sizeof kFlagsMark - 1, nullptr, 16) & 0xFFFFu);
}
