// Tone parameter tables: JSON and binary forms, and the rejection of every
// malformed table.
#include <gtest/gtest.h>

#include "tone_table.h"

namespace voved::tool {
namespace {

const char* const kTable = R"({
  "shadowWeight": 5, "shadowBandEnd": 60, "midBandEnd": 180,
  "zones": [
    {"highlightBelow": 200, "entries": [
      {"scoreBelow": 40, "gamma": 1.3, "segments": [
        {"shadowShareBelow": 30, "curve": "gamma"},
        {"shadowShareBelow": 101, "curve": "knee", "knee": 40}]},
      {"scoreBelow": 255, "gamma": 0.9, "segments": [
        {"shadowShareBelow": 101, "curve": "polynomial",
         "coefficients": [0, 1.2, -0.0015, 1e-6, 0, {"mantissa": 1000, "exponent": -3}]}]}]},
    {"highlightBelow": 255, "entries": []}
  ]
})";

TEST(ToneTable, CompilesToTheDocumentedLayout) {
    const std::vector<uint8_t> bin = EncodeToneTable(ToneTableFromJson(kTable));
    // Header: length, weight, bands, two zones; entry counts 2 and 0;
    // segment counts 2 and 1; zone limits 200 and 255; entry pairs.
    const std::vector<uint8_t> head = {
        static_cast<uint8_t>(bin.size()), 0, 5, 60, 180, 2, 2, 0, 2, 1, 200, 255, 40, 130, 255, 90};
    ASSERT_GT(bin.size(), head.size());
    EXPECT_EQ(std::vector<uint8_t>(bin.begin(), bin.begin() + 16), head);
    // Records: gamma (2 bytes), knee (3), polynomial (26), then the checksum.
    EXPECT_EQ(bin.size(), 16u + 2 + 3 + 26 + 1);
    EXPECT_EQ(bin[16 + 2 + 2], 40);  // the knee level
    unsigned sum = 0;
    for (size_t i = 0; i + 1 < bin.size(); ++i) {
        sum += bin[i];
    }
    EXPECT_EQ(bin.back(), sum & 0xFF);
    // c1 = 1.2 is mantissa 12, exponent -1: 00 00 0C FF.
    const size_t c1 = 16 + 2 + 3 + 2 + 4;
    EXPECT_EQ(std::vector<uint8_t>(bin.begin() + c1, bin.begin() + c1 + 4),
              (std::vector<uint8_t>{0, 0, 12, 0xFF}));
    // c2 = -0.0015 is mantissa -15, exponent -4: FF FF F1 FC.
    EXPECT_EQ(std::vector<uint8_t>(bin.begin() + c1 + 4, bin.begin() + c1 + 8),
              (std::vector<uint8_t>{0xFF, 0xFF, 0xF1, 0xFC}));
}

TEST(ToneTable, DumpAndCompileAgainGiveTheSameBytes) {
    const std::vector<uint8_t> bin = EncodeToneTable(ToneTableFromJson(kTable));
    const std::string dumped = ToneTableToJson(DecodeToneTable(bin));
    EXPECT_EQ(EncodeToneTable(ToneTableFromJson(dumped)), bin);
    // A coefficient that is not in its shortest form is dumped exactly.
    EXPECT_NE(dumped.find("\"mantissa\": 1000"), std::string::npos);
}

TEST(ToneTable, DecimalsTakeTheShortestExactForm) {
    const ToneDecimal tenth = ToneDecimalFromNumber(0.1);
    EXPECT_EQ(tenth.mantissa, 1);
    EXPECT_EQ(tenth.exponent, -1);
    const ToneDecimal big = ToneDecimalFromNumber(12345678.0);  // 8 digits: rounded to 7
    EXPECT_EQ(big.mantissa, 1234568);
    EXPECT_EQ(big.exponent, 1);
    const ToneDecimal negative = ToneDecimalFromNumber(-8388607.0);
    EXPECT_EQ(negative.mantissa, -8388607);
    EXPECT_EQ(negative.exponent, 0);
    EXPECT_DOUBLE_EQ(ToneDecimalValue(ToneDecimalFromNumber(-2.5e-7)), -2.5e-7);
    EXPECT_THROW(ToneDecimalFromNumber(1e200), ToneTableError);
}

std::string Rejection(const std::string& json) {
    try {
        EncodeToneTable(ToneTableFromJson(json));
    } catch (const ToneTableError& error) {
        return error.what();
    }
    return "";
}

std::string Table(const std::string& segment, const std::string& gamma = "1.5") {
    return R"({"shadowWeight":1,"shadowBandEnd":50,"midBandEnd":150,"zones":[{"highlightBelow":255,)"
           R"("entries":[{"scoreBelow":255,"gamma":)" +
           gamma + R"(,"segments":[)" + segment + "]}]}]}";
}

TEST(ToneTable, MalformedJsonIsRejectedWithThePlace) {
    const std::string gammaSeg = R"({"shadowShareBelow":101,"curve":"gamma"})";
    EXPECT_EQ(Rejection(Table(gammaSeg)), "");  // the base table is fine
    EXPECT_NE(Rejection("{").find("not valid JSON"), std::string::npos);
    EXPECT_NE(Rejection("[]").find("must be an object"), std::string::npos);
    EXPECT_NE(Rejection(R"({"shadowWeight":1,"shadowBandEnd":2,"midBandEnd":3,"zones":[]})")
                  .find("no zone"),
              std::string::npos);
    EXPECT_NE(Rejection(R"({"shadowWeight":1,"shadowBandEnd":2,"midBandEnd":3,"zones":[],"x":1})")
                  .find("unknown field 'x'"),
              std::string::npos);
    EXPECT_NE(Rejection(R"({"shadowWeight":256,"shadowBandEnd":2,"midBandEnd":3,"zones":[]})")
                  .find("shadowWeight must lie in 0..255"),
              std::string::npos);
    EXPECT_NE(Rejection(Table(gammaSeg, "0")).find("gamma must lie"), std::string::npos);
    EXPECT_NE(Rejection(Table(gammaSeg, "1.234")).find("two decimals"), std::string::npos);
    EXPECT_NE(Rejection(Table(gammaSeg, "1.0")).find("gamma 1.00"), std::string::npos);
    EXPECT_NE(Rejection(Table(R"({"shadowShareBelow":101,"curve":"knee","knee":0})"))
                  .find("knee must lie in 1..212"),
              std::string::npos);
    EXPECT_NE(Rejection(Table(R"({"shadowShareBelow":101,"curve":"knee","knee":213})"))
                  .find("zones[0].entries[0].segments[0].knee"),
              std::string::npos);
    EXPECT_NE(Rejection(Table(R"({"shadowShareBelow":101,"curve":"spline"})")).find(".curve must"),
              std::string::npos);
    EXPECT_NE(Rejection(Table(R"({"shadowShareBelow":1,"curve":"polynomial","coefficients":[1]})"))
                  .find("six numbers"),
              std::string::npos);
    EXPECT_NE(Rejection(Table(R"({"shadowShareBelow":1,"curve":"polynomial","coefficients":)"
                              R"([0,1,0,0,0,{"mantissa":9000000,"exponent":0}]})"))
                  .find("mantissa must lie"),
              std::string::npos);
    EXPECT_NE(Rejection(Table(R"({"shadowShareBelow":1,"curve":"gamma","knee":3})"))
                  .find("unknown field 'knee'"),
              std::string::npos);
    EXPECT_NE(Rejection(Table(gammaSeg, R"(1.5,"gamma":2)")).find("'gamma' is given twice"),
              std::string::npos);
    // 1.23456789 needs nine digits; a mantissa holds seven: 1.234568.
    const std::string poly = R"({"shadowShareBelow":1,"curve":"polynomial","coefficients":)";
    EXPECT_NE(Rejection(Table(poly + "[0,1,1.23456789,0,0,0]}"))
                  .find("coefficients[2] (1.23456789) has more digits than a coefficient holds; "
                        "the nearest it holds is 1.234568"),
              std::string::npos);
    EXPECT_NE(Rejection(Table(poly + "[0,1,0,0,0,1e200]}")).find("coefficients[5] (1e+200)"),
              std::string::npos);
}

std::string BinaryRejection(const std::vector<uint8_t>& bytes) {
    try {
        DecodeToneTable(bytes);
    } catch (const ToneTableError& error) {
        return error.what();
    }
    return "";
}

void FixChecksum(std::vector<uint8_t>& bytes) {
    unsigned sum = 0;
    for (size_t i = 0; i + 1 < bytes.size(); ++i) {
        sum += bytes[i];
    }
    bytes.back() = static_cast<uint8_t>(sum);
}

TEST(ToneTable, MalformedBinaryIsRejected) {
    const std::vector<uint8_t> good = EncodeToneTable(ToneTableFromJson(kTable));
    EXPECT_EQ(BinaryRejection(good), "");

    EXPECT_NE(BinaryRejection({3, 0, 1}).find("too short"), std::string::npos);

    auto badSum = good;
    badSum.back() ^= 1;
    EXPECT_NE(BinaryRejection(badSum).find("checksum"), std::string::npos);

    auto cut = good;
    cut.resize(cut.size() - 5);
    EXPECT_NE(BinaryRejection(cut).find("says it is"), std::string::npos);

    // The length and checksum made consistent again, but records cut short.
    auto shortRecords = cut;
    shortRecords[0] = static_cast<uint8_t>(shortRecords.size());
    FixChecksum(shortRecords);
    EXPECT_NE(BinaryRejection(shortRecords).find("ends inside a segment record"),
              std::string::npos);

    auto unknownType = good;
    unknownType[17] = 7;  // the first record's type
    FixChecksum(unknownType);
    EXPECT_NE(BinaryRejection(unknownType).find("unknown type 7"), std::string::npos);

    auto stray = good;
    stray.insert(stray.end() - 1, 0);
    stray[0] = static_cast<uint8_t>(stray.size());
    FixChecksum(stray);
    EXPECT_NE(BinaryRejection(stray).find("stray"), std::string::npos);

    auto manyZones = good;
    manyZones[5] = 200;  // counts that run past the end
    FixChecksum(manyZones);
    EXPECT_NE(BinaryRejection(manyZones).find("ends inside"), std::string::npos);

    auto noZone = good;
    noZone[5] = 0;
    FixChecksum(noZone);
    EXPECT_NE(BinaryRejection(noZone).find("no zone"), std::string::npos);

    auto zeroKnee = good;
    zeroKnee[20] = 0;
    FixChecksum(zeroKnee);
    EXPECT_NE(BinaryRejection(zeroKnee).find("knee"), std::string::npos);
}

}  // namespace
}  // namespace voved::tool
