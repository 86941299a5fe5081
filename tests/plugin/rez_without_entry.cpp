// A library with the plug-in's file name but without its entry: the library
// must treat it as no plug-in at all.
#include <cstdint>

#if defined(_WIN32)
#define REZ_EXPORT __declspec(dllexport)
#else
#define REZ_EXPORT __attribute__((visibility("default")))
#endif

extern "C" REZ_EXPORT uint16_t QVControl_byOtherProperties(const char* /*cameraModel*/) {
    return 0x0001;
}
