// Saving, setting and restoring the floating-point environment.
#include "platform/float_environment.h"

#include <cstring>

#if !defined(__i386__) && !defined(__x86_64__) && !defined(__aarch64__)
#include <cfenv>
#endif

namespace voved {

namespace {

template <typename T>
void Store(FloatState& state, std::size_t offset, const T& value) {
    static_assert(sizeof(T) <= sizeof(FloatState::bytes));
    std::memcpy(state.bytes + offset, &value, sizeof value);
}

template <typename T>
T Load(const FloatState& state, std::size_t offset) {
    T value;
    std::memcpy(&value, state.bytes + offset, sizeof value);
    return value;
}

#if defined(__i386__) || defined(__x86_64__)

// x87 control word: every exception masked, 64-bit precision, round to
// nearest. MXCSR: every exception masked, round to nearest, neither
// flush-to-zero nor denormals-are-zero.
constexpr uint16_t kX87Control = 0x037F;
constexpr uint32_t kMxcsr = 0x1F80;
// The 28-byte x87 environment (fnstenv), then MXCSR.
constexpr std::size_t kX87EnvironmentBytes = 28;
constexpr std::size_t kMxcsrOffset = 32;

struct X87Environment {
    uint8_t bytes[kX87EnvironmentBytes];
};

void SaveAndSet(FloatState& caller) {
    X87Environment x87;
    // fnstenv also masks every x87 exception, so nothing traps before the
    // control word below is in force.
    __asm__ __volatile__("fnstenv %0" : "=m"(x87));
    const uint16_t control = kX87Control;
    __asm__ __volatile__("fldcw %0" : : "m"(control));
    Store(caller, 0, x87);
#if defined(__SSE__)
    uint32_t mxcsr;
    __asm__ __volatile__("stmxcsr %0" : "=m"(mxcsr));
    const uint32_t known = kMxcsr;
    __asm__ __volatile__("ldmxcsr %0" : : "m"(known));
    Store(caller, kMxcsrOffset, mxcsr);
#endif
}

void Restore(const FloatState& caller) {
#if defined(__SSE__)
    const uint32_t mxcsr = Load<uint32_t>(caller, kMxcsrOffset);
    __asm__ __volatile__("ldmxcsr %0" : : "m"(mxcsr));
#endif
    // Control word, status flags and tags as the caller had them.
    const X87Environment x87 = Load<X87Environment>(caller, 0);
    __asm__ __volatile__("fldenv %0" : : "m"(x87));
}

#elif defined(__aarch64__)

// FPCR 0: round to nearest, no flush-to-zero, no default NaN, no traps.
constexpr std::size_t kStatusOffset = 8;

void SaveAndSet(FloatState& caller) {
    uint64_t control;
    uint64_t status;
    __asm__ __volatile__("mrs %0, fpcr" : "=r"(control));
    __asm__ __volatile__("mrs %0, fpsr" : "=r"(status));
    __asm__ __volatile__("msr fpcr, xzr");
    Store(caller, 0, control);
    Store(caller, kStatusOffset, status);
}

void Restore(const FloatState& caller) {
    const uint64_t control = Load<uint64_t>(caller, 0);
    const uint64_t status = Load<uint64_t>(caller, kStatusOffset);
    __asm__ __volatile__("msr fpcr, %0" : : "r"(control));
    __asm__ __volatile__("msr fpsr, %0" : : "r"(status));
}

#else

// Elsewhere the default environment of <cfenv>: round to nearest, no traps.
void SaveAndSet(FloatState& caller) {
    std::fenv_t env;
    std::fegetenv(&env);
    Store(caller, 0, env);
    std::fesetenv(FE_DFL_ENV);
}

void Restore(const FloatState& caller) {
    const std::fenv_t env = Load<std::fenv_t>(caller, 0);
    std::fesetenv(&env);
}

#endif

}  // namespace

KnownFloatEnvironment::KnownFloatEnvironment() : caller_() {
    SaveAndSet(caller_);
}

KnownFloatEnvironment::~KnownFloatEnvironment() {
    Restore(caller_);
}

}  // namespace voved
