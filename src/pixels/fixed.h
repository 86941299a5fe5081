// Width rules of the fixed-point arithmetic.
//
// The correction, the filters and the streaming conversion compute as a
// 16-bit machine would: values are kept in signed or unsigned 16-bit fields,
// right shifts round toward minus infinity, divisions truncate toward zero,
// and a value is clamped by first taking its low 16 bits as a signed number.
// Every change of width goes through one of these helpers, so that no code
// relies on implementation-defined conversions or on signed overflow.
#pragma once

#include <cmath>
#include <cstdint>

namespace voved {

// Low 16 bits, unsigned.
constexpr uint16_t u16(int64_t v) {
    return static_cast<uint16_t>(static_cast<uint64_t>(v) & 0xFFFFu);
}

// Low 16 bits read as a signed number (the wrap of a 16-bit register).
constexpr int16_t s16(int64_t v) {
    const uint16_t low = u16(v);
    return low >= 0x8000u ? static_cast<int16_t>(static_cast<int32_t>(low) - 0x10000)
                          : static_cast<int16_t>(low);
}

// Low 8 bits, unsigned.
constexpr uint8_t u8(int64_t v) {
    return static_cast<uint8_t>(static_cast<uint64_t>(v) & 0xFFu);
}

// Low 32 bits, unsigned and signed.
constexpr uint32_t u32(int64_t v) {
    return static_cast<uint32_t>(static_cast<uint64_t>(v) & 0xFFFFFFFFu);
}
constexpr int32_t s32(int64_t v) {
    const uint32_t low = u32(v);
    return low >= 0x80000000u ? static_cast<int32_t>(static_cast<int64_t>(low) - 0x100000000LL)
                              : static_cast<int32_t>(low);
}

// 32-bit signed addition and multiplication that wrap instead of overflowing.
constexpr int32_t AddWrap32(int32_t a, int32_t b) {
    return s32(static_cast<int64_t>(a) + b);
}
constexpr int32_t MulWrap32(int32_t a, int32_t b) {
    return s32(static_cast<int64_t>(a) * b);
}

// Arithmetic right shift: floor(v / 2^n), also for negative v.
constexpr int32_t AsrInt(int32_t v, unsigned n) {
    return v >= 0 ? (v >> n) : -1 - ((-1 - v) >> n);
}
constexpr int16_t AsrShort(int16_t v, unsigned n) {
    return static_cast<int16_t>(AsrInt(v, n));
}

// Left shift of a possibly negative value, through unsigned arithmetic.
constexpr int32_t ShlInt(int32_t v, unsigned n) {
    return s32(static_cast<int64_t>(static_cast<uint32_t>(v) << n));
}

// Limits v to [lo, hi] without any change of width.
constexpr int32_t Limit(int32_t v, int32_t lo, int32_t hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

// Clamp of a 16-bit register: the low 16 bits as signed, limited to [lo, hi].
constexpr int32_t ClampShort(int32_t v, int32_t lo, int32_t hi) {
    return Limit(s16(v), lo, hi);
}

// A pixel channel: the low 16 bits as signed, limited to 0..255.
constexpr uint8_t ClampByte(int32_t v) {
    return static_cast<uint8_t>(ClampShort(v, 0, 255));
}

// Truncation of a double toward zero, as the analysis stores its integers.
// A value that is not finite, or outside the 32-bit range, never reaches a
// stored integer as garbage: NaN gives 0 and the rest saturates.
inline int32_t TruncToInt32(double x) {
    if (std::isnan(x)) {
        return 0;
    }
    if (x >= 2147483647.0) {
        return INT32_MAX;
    }
    if (x <= -2147483648.0) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(x);
}

// Truncation toward zero into a 16-bit field (its low 16 bits).
inline int16_t TruncToShort(double x) {
    return s16(TruncToInt32(x));
}

}  // namespace voved
