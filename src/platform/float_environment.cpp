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
// Sticky exception flags: x87 status bits 0-5 with stack fault and error
// summary (6, 7); MXCSR bits 0-5.
constexpr uint16_t kX87Flags = 0x00FF;
constexpr uint32_t kMxcsrFlags = 0x003F;

// Reading the words is cheap and loading them is not (a whole x87
// environment costs hundreds of nanoseconds), so only what differs is
// written; the x87 flags, raised by the toning's extended precision only,
// go back through the environment load only when the caller had flags of
// its own.
struct X86State {
    uint16_t control;
    uint16_t status;
    uint32_t mxcsr;
};

// The 28-byte environment of fnstenv / fldenv; the status word at byte 4.
struct X87Environment {
    uint16_t control;
    uint16_t unused0;
    uint16_t status;
    uint8_t rest[22];
};

X86State ReadX86State() {
    X86State s{};
    __asm__ __volatile__("fnstcw %0" : "=m"(s.control));
    __asm__ __volatile__("fnstsw %0" : "=m"(s.status));
#if defined(__SSE__)
    __asm__ __volatile__("stmxcsr %0" : "=m"(s.mxcsr));
#endif
    return s;
}

void LoadX87Control(uint16_t control) {
    __asm__ __volatile__("fldcw %0" : : "m"(control));
}

void LoadMxcsr(uint32_t mxcsr) {
#if defined(__SSE__)
    __asm__ __volatile__("ldmxcsr %0" : : "m"(mxcsr));
#else
    (void)mxcsr;
#endif
}

// Puts back the caller's x87 flags before its control word, so that a flag
// raised here never becomes a pending exception the caller unmasked.
void RestoreX87Flags(uint16_t callerStatus) {
    if ((callerStatus & kX87Flags) == 0) {
        __asm__ __volatile__("fnclex");
        return;
    }
    X87Environment env;
    __asm__ __volatile__("fnstenv %0" : "=m"(env));
    env.status = static_cast<uint16_t>((env.status & ~kX87Flags) | (callerStatus & kX87Flags));
    __asm__ __volatile__("fldenv %0" : : "m"(env));
}

void SaveAndSet(FloatState& caller) {
    const X86State s = ReadX86State();
    Store(caller, 0, s);
    if (s.control != kX87Control) {
        LoadX87Control(kX87Control);
    }
    if ((s.mxcsr & ~kMxcsrFlags) != kMxcsr) {
        LoadMxcsr(kMxcsr | (s.mxcsr & kMxcsrFlags));
    }
}

void Restore(const FloatState& caller) {
    const X86State saved = Load<X86State>(caller, 0);
    const X86State now = ReadX86State();
    if (now.mxcsr != saved.mxcsr) {
        LoadMxcsr(saved.mxcsr);
    }
    if (((now.status ^ saved.status) & kX87Flags) != 0) {
        RestoreX87Flags(saved.status);
    }
    if (now.control != saved.control) {
        LoadX87Control(saved.control);
    }
}

#elif defined(__aarch64__)

// FPCR 0: round to nearest, no flush-to-zero, no default NaN, no traps.
constexpr std::size_t kStatusOffset = 8;

uint64_t ReadFpcr() {
    uint64_t control;
    __asm__ __volatile__("mrs %0, fpcr" : "=r"(control));
    return control;
}

uint64_t ReadFpsr() {
    uint64_t status;
    __asm__ __volatile__("mrs %0, fpsr" : "=r"(status));
    return status;
}

void SaveAndSet(FloatState& caller) {
    const uint64_t control = ReadFpcr();
    Store(caller, 0, control);
    Store(caller, kStatusOffset, ReadFpsr());
    if (control != 0) {
        __asm__ __volatile__("msr fpcr, xzr");
    }
}

void Restore(const FloatState& caller) {
    const uint64_t control = Load<uint64_t>(caller, 0);
    const uint64_t status = Load<uint64_t>(caller, kStatusOffset);
    if (ReadFpsr() != status) {
        __asm__ __volatile__("msr fpsr, %0" : : "r"(status));
    }
    if (ReadFpcr() != control) {
        __asm__ __volatile__("msr fpcr, %0" : : "r"(control));
    }
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
