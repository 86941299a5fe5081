// Eight signed 16-bit lanes, for the loops that work on many samples at once.
//
// Written with the compiler's generic vector types, so one source becomes
// SSE2 on x86 (both the 64-bit library and the 32-bit DLL) and NEON on
// aarch64, with no dispatch and no instruction set above the baseline.
// Lanes compute as the 16-bit machine does: addition, subtraction and
// multiplication wrap (they are done on unsigned lanes), right shifts round
// toward minus infinity, comparisons give all-ones or zero per lane.
#pragma once

#include <cstdint>
#include <cstring>

namespace voved::lanes {

constexpr int kWidth = 8;

using S16 = int16_t __attribute__((vector_size(16)));
using U16 = uint16_t __attribute__((vector_size(16)));

inline S16 Load(const int16_t* p) {
    S16 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void Store(int16_t* p, S16 v) {
    std::memcpy(p, &v, sizeof v);
}
inline S16 Splat(int16_t x) {
    return S16{x, x, x, x, x, x, x, x};
}
inline S16 Add(S16 a, S16 b) {
    return reinterpret_cast<S16>(reinterpret_cast<U16>(a) + reinterpret_cast<U16>(b));
}
inline S16 Sub(S16 a, S16 b) {
    return reinterpret_cast<S16>(reinterpret_cast<U16>(a) - reinterpret_cast<U16>(b));
}
inline S16 Mul(S16 a, int16_t k) {
    return reinterpret_cast<S16>(reinterpret_cast<U16>(a) * static_cast<uint16_t>(k));
}
// floor(a / 2^n) per lane.
inline S16 Asr(S16 a, int n) {
    return a >> n;
}
// The absolute value of the low 16 bits; -32768 stays -32768.
inline S16 Abs(S16 a) {
    const S16 sign = a >> 15;
    return Sub(a ^ sign, sign);
}
}  // namespace voved::lanes
