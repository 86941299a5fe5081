// Reading a fuzz input as a stream of small values.
//
// Every read succeeds: past the end of the input the values are 0 and the
// byte blocks empty, so a harness never has to check lengths and a short
// input is simply a short program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace voved::fuzz {

class FuzzInput {
  public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool Empty() const { return offset_ >= size_; }
    size_t Remaining() const { return size_ - offset_; }

    uint8_t U8() { return Empty() ? uint8_t{0} : data_[offset_++]; }
    uint16_t U16() {
        const uint16_t low = U8();
        return static_cast<uint16_t>(low | (U8() << 8));
    }
    int16_t S16() { return static_cast<int16_t>(U16()); }
    uint32_t U32() {
        const uint32_t low = U16();
        return low | (uint32_t{U16()} << 16);
    }
    bool Flag() { return (U8() & 1u) != 0; }

    // The next `count` bytes, or as many as remain; returns how many.
    const uint8_t* Take(size_t count, size_t* taken) {
        *taken = count < Remaining() ? count : Remaining();
        const uint8_t* start = data_ + offset_;
        offset_ += *taken;
        return start;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t offset_ = 0;
};

// A property the harness checks; a broken one ends the run as a finding.
inline void Require(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "fuzz check failed: %s\n", what);
        std::abort();
    }
}

// A small deterministic generator for pixel content.
class Noise {
  public:
    explicit Noise(uint32_t seed) : state_(seed * 2654435761u + 0x9E3779B9u) {}
    uint32_t Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }
    uint8_t Byte() { return static_cast<uint8_t>(Next() >> 24); }

  private:
    uint32_t state_;
};

}  // namespace voved::fuzz
