// Builds tone parameter tables for tests from a readable description, and
// hands them out in heap buffers of exactly their length, so that the
// address sanitizer catches any read past the end.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace voved::test {

// A decimal as the table stores it: a 24-bit mantissa and a power of ten.
struct StoredDecimal {
    int32_t mantissa;
    int8_t exponent;
};

struct ToneSegment {
    uint8_t shareLimit;
    uint8_t type;
    std::vector<uint8_t> payload;

    static ToneSegment Gamma(uint8_t shareLimit);
    static ToneSegment Knee(uint8_t shareLimit, uint8_t knee);
    static ToneSegment Polynomial(uint8_t shareLimit,
                                  const std::array<StoredDecimal, 6>& coefficients);
    // Any type with any payload, for tables that do not check out.
    static ToneSegment Raw(uint8_t shareLimit, uint8_t type, std::vector<uint8_t> payload);
};

struct ToneEntry {
    uint8_t scoreLimit;
    uint8_t gamma;  // gamma x 100
    std::vector<ToneSegment> segments;
};

struct ToneZone {
    uint8_t limit;  // chosen when the highlight level lies below it
    std::vector<ToneEntry> entries;
};

struct ToneTableDesc {
    uint8_t weight;
    uint8_t lowBound;
    uint8_t midBound;
    std::vector<ToneZone> zones;
};

// The table's bytes, its length and checksum filled in.
std::vector<uint8_t> BuildToneTable(const ToneTableDesc& desc);

// Makes the table describe itself again after a test edited it: the length
// becomes the number of bytes and the last byte the checksum of the others.
void SealToneTable(std::vector<uint8_t>& bytes);

// The checksum byte over all bytes but the last.
uint8_t ToneChecksum(const std::vector<uint8_t>& bytes);

// A heap copy of exactly the given bytes.
class ExactBuffer {
  public:
    explicit ExactBuffer(const std::vector<uint8_t>& bytes);
    const uint8_t* data() const { return bytes_.get(); }
    size_t size() const { return size_; }

  private:
    std::unique_ptr<uint8_t[]> bytes_;
    size_t size_;
};

}  // namespace voved::test
