// The floating-point environment the library computes in, whatever the
// caller's: round to nearest, no flush-to-zero or denormals-are-zero, every
// exception masked, and on x86 the x87 unit at 64-bit precision (the
// extended-precision sine and cosine of the toning depend on it).
//
// A host may run with other settings: Windows starts a process with the x87
// unit at 53-bit precision, Direct3D 9 sets 24-bit, some programs set
// flush-to-zero or another rounding mode. An entry point that computes in
// floating point holds a KnownFloatEnvironment for its whole run; the
// caller's environment, status flags included, is back when it returns.
#pragma once

#include <cstdint>

namespace voved {

// The saved state: on x86 the x87 control and status words and MXCSR; on
// aarch64 FPCR and FPSR; elsewhere the <cfenv> state.
struct FloatState {
    alignas(16) uint8_t bytes[64];
};

class KnownFloatEnvironment {
  public:
    KnownFloatEnvironment();
    ~KnownFloatEnvironment();
    KnownFloatEnvironment(const KnownFloatEnvironment&) = delete;
    KnownFloatEnvironment& operator=(const KnownFloatEnvironment&) = delete;

  private:
    FloatState caller_;
};

}  // namespace voved
