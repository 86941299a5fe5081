// Tone parameter tables: the binary form the library reads, and a JSON form
// people can write (documented in docs/tone-table.md). The compiler checks
// everything the library would trust blindly, so a table that passes here
// never makes the tone step read outside the table or divide by zero.
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace voved::tool {

class ToneTableError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A number stored as mantissa x 10^exponent: 24-bit signed mantissa, 8-bit
// signed exponent in the binary table.
struct ToneDecimal {
    int32_t mantissa = 0;
    int32_t exponent = 0;
    bool operator==(const ToneDecimal& o) const {
        return mantissa == o.mantissa && exponent == o.exponent;
    }
};

enum class ToneCurveKind : uint8_t { Gamma = 1, Knee = 2, Polynomial = 3 };

struct ToneSegment {
    uint8_t shadowShareBelow = 0;  // chosen when the shadow share (percent) is below this
    ToneCurveKind kind = ToneCurveKind::Gamma;
    uint8_t knee = 0;                         // Knee: the level where the curve starts
    std::array<ToneDecimal, 6> coefficients;  // Polynomial: c0..c5
};

struct ToneEntry {
    uint8_t scoreBelow = 0;  // chosen when the mid-tone score (percent) is below this
    uint8_t gamma100 = 100;  // gamma x 100: output = input ^ (1 / gamma)
    std::vector<ToneSegment> segments;
};

struct ToneZone {
    uint8_t highlightBelow = 0;  // chosen when the highlight level is below this
    std::vector<ToneEntry> entries;
};

struct ToneTableDesc {
    uint8_t shadowWeight = 0;
    uint8_t shadowBandEnd = 0;
    uint8_t midBandEnd = 0;
    std::vector<ToneZone> zones;
};

// Binary form, checksum computed. Throws ToneTableError for a description
// that the binary form cannot hold or that the tone step could not use.
std::vector<uint8_t> EncodeToneTable(const ToneTableDesc& desc);
// Parses and checks a binary table; throws ToneTableError naming the fault.
ToneTableDesc DecodeToneTable(const std::vector<uint8_t>& bytes);

// JSON form. Parsing rejects unknown fields and out-of-range values, naming
// the place ("zones[0].entries[2].gamma").
ToneTableDesc ToneTableFromJson(const std::string& text);
std::string ToneTableToJson(const ToneTableDesc& desc);

// The best mantissa and exponent for a number (at most 7 significant
// digits); the inverse of ToneDecimalValue for such numbers.
ToneDecimal ToneDecimalFromNumber(double value);
double ToneDecimalValue(const ToneDecimal& decimal);

// Reads a table file in either form (JSON when it starts with '{'), checked;
// returns the binary form.
std::vector<uint8_t> LoadToneTableFile(const std::string& path);
// The same for a table's bytes already read.
std::vector<uint8_t> ToneTableBytes(const std::vector<uint8_t>& bytes);

}  // namespace voved::tool
