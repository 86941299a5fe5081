#include "platform/plain_paths.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace voved {

namespace {

bool PlainFromEnvironment() {
    const char* value = std::getenv("VOVED_FORCE_PLAIN");
    return value != nullptr && std::strcmp(value, "1") == 0;
}

std::atomic<bool>& PlainSwitch() {
    static std::atomic<bool> plain{PlainFromEnvironment()};
    return plain;
}

}  // namespace

bool UsePlainPaths() {
    return PlainSwitch().load(std::memory_order_relaxed);
}

void ForcePlainPaths(bool plain) {
    PlainSwitch().store(plain, std::memory_order_relaxed);
}

#if defined(VOVED_HAVE_AVX2_PATH)
bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2") != 0;
    return has;
}
#endif

}  // namespace voved
