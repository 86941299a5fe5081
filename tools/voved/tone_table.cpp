// Tone parameter tables: binary layout (little-endian length, header bytes,
// per-zone and per-entry counts, limits, entry pairs, segment records, and a
// modulo-256 checksum), the JSON form, and the checks shared by both.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "tone_table.h"

namespace voved::tool {

namespace {

using json = nlohmann::ordered_json;

// Walks the text as a stream of JSON events only to find a key given twice
// in one object, which the parser would let the last one win.
class DuplicateKeys : public nlohmann::json_sax<json> {
  public:
    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t&) override { return true; }
    bool string(string_t&) override { return true; }
    bool binary(binary_t&) override { return true; }
    bool start_object(std::size_t) override {
        keys_.emplace_back();
        return true;
    }
    bool key(string_t& key) override {
        if (!keys_.back().insert(key).second) {
            duplicate_ = key;
            return false;
        }
        return true;
    }
    bool end_object() override {
        keys_.pop_back();
        return true;
    }
    bool start_array(std::size_t) override { return true; }
    bool end_array() override { return true; }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        return false;  // the parser proper reports it
    }
    const std::string& Duplicate() const { return duplicate_; }

  private:
    std::vector<std::set<std::string>> keys_;
    std::string duplicate_;
};

void RejectDuplicateKeys(const std::string& text) {
    DuplicateKeys walk;
    json::sax_parse(text, &walk, nlohmann::detail::input_format_t::json, false);
    if (!walk.Duplicate().empty()) {
        throw ToneTableError("the field '" + walk.Duplicate() +
                             "' is given twice in one object; give it once");
    }
}

constexpr size_t kHeaderBytes = 6;  // length (2), weight, lowBound, midBound, zone count
constexpr size_t kMaxTableBytes = 0xFFFF;
constexpr size_t kMaxCount = 255;
constexpr int32_t kMantissaMax = 8388607;  // 24-bit signed
constexpr int32_t kMantissaMin = -8388608;
constexpr int32_t kExponentMax = 127;
constexpr int32_t kExponentMin = -128;
constexpr int kMaxSignificantDigits = 17;
// The knee's smoothing reaches from 8/10 to 12/10 of the knee level, which
// must stay inside the 256 levels.
constexpr int kMaxKnee = 212;
constexpr size_t kCoefficients = 6;

size_t RecordSize(ToneCurveKind kind) {
    switch (kind) {
    case ToneCurveKind::Gamma:
        return 2;
    case ToneCurveKind::Knee:
        return 3;
    case ToneCurveKind::Polynomial:
        return 2 + 4 * kCoefficients;
    }
    return 0;
}

const char* CurveName(ToneCurveKind kind) {
    switch (kind) {
    case ToneCurveKind::Gamma:
        return "gamma";
    case ToneCurveKind::Knee:
        return "knee";
    case ToneCurveKind::Polynomial:
        return "polynomial";
    }
    return "?";
}

std::string EntryPlace(size_t zone, size_t entry) {
    return "zones[" + std::to_string(zone) + "].entries[" + std::to_string(entry) + "]";
}

// What the tone step needs to build a curve without dividing by zero or
// reading past level 255.
void CheckUsable(const ToneTableDesc& desc) {
    if (desc.zones.empty()) {
        throw ToneTableError("the table has no zone");
    }
    if (desc.zones.size() > kMaxCount) {
        throw ToneTableError("the table has more than 255 zones");
    }
    for (size_t z = 0; z < desc.zones.size(); ++z) {
        const ToneZone& zone = desc.zones[z];
        if (zone.entries.size() > kMaxCount) {
            throw ToneTableError("zones[" + std::to_string(z) + "] has more than 255 entries");
        }
        for (size_t e = 0; e < zone.entries.size(); ++e) {
            const ToneEntry& entry = zone.entries[e];
            const std::string place = EntryPlace(z, e);
            if (entry.segments.size() > kMaxCount) {
                throw ToneTableError(place + " has more than 255 segments");
            }
            for (size_t s = 0; s < entry.segments.size(); ++s) {
                const ToneSegment& seg = entry.segments[s];
                const std::string segPlace = place + ".segments[" + std::to_string(s) + "]";
                const bool usesGamma =
                    seg.kind == ToneCurveKind::Gamma || seg.kind == ToneCurveKind::Knee;
                if (usesGamma && entry.gamma100 == 0) {
                    throw ToneTableError(place + ": gamma 0 cannot build a " + CurveName(seg.kind) +
                                         " curve");
                }
                if (seg.kind == ToneCurveKind::Gamma && entry.gamma100 == 100) {
                    throw ToneTableError(segPlace +
                                         ": a gamma curve with gamma 1.00 is refused by the "
                                         "tone step; leave the segment out");
                }
                if (seg.kind == ToneCurveKind::Knee && (seg.knee == 0 || seg.knee > kMaxKnee)) {
                    throw ToneTableError(segPlace + ": the knee must lie in 1..212");
                }
            }
        }
    }
}

void PutDecimal(std::vector<uint8_t>& out, const ToneDecimal& d) {
    const auto m = static_cast<uint32_t>(d.mantissa);
    out.push_back(static_cast<uint8_t>(m >> 16));
    out.push_back(static_cast<uint8_t>(m >> 8));
    out.push_back(static_cast<uint8_t>(m));
    out.push_back(static_cast<uint8_t>(static_cast<int8_t>(d.exponent)));
}

ToneDecimal GetDecimal(const uint8_t* p) {
    uint32_t m = (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
    if ((m & 0x800000u) != 0) {
        m |= 0xFF000000u;  // sign-extend the 24-bit mantissa
    }
    ToneDecimal d;
    d.mantissa = static_cast<int32_t>(m);
    d.exponent = static_cast<int8_t>(p[3]);
    return d;
}

// ---- JSON reading ----------------------------------------------------------

void RejectUnknownKeys(const json& object, const std::string& place,
                       std::initializer_list<const char*> known) {
    for (auto it = object.begin(); it != object.end(); ++it) {
        bool found = false;
        for (const char* key : known) {
            found = found || it.key() == key;
        }
        if (!found) {
            throw ToneTableError(place + ": unknown field '" + it.key() + "'");
        }
    }
}

const json& Field(const json& object, const std::string& place, const char* key) {
    if (!object.contains(key)) {
        throw ToneTableError(place + ": the field '" + key + "' is missing");
    }
    return object.at(key);
}

uint8_t ByteField(const json& object, const std::string& place, const char* key, int low,
                  int high) {
    const json& value = Field(object, place, key);
    if (!value.is_number_integer()) {
        throw ToneTableError(place + "." + key + " must be a whole number");
    }
    const auto v = value.get<long long>();
    if (v < low || v > high) {
        throw ToneTableError(place + "." + key + " must lie in " + std::to_string(low) + ".." +
                             std::to_string(high));
    }
    return static_cast<uint8_t>(v);
}

const json& ArrayField(const json& object, const std::string& place, const char* key) {
    const json& value = Field(object, place, key);
    if (!value.is_array()) {
        throw ToneTableError(place + "." + key + " must be a list");
    }
    return value;
}

void ExpectObject(const json& value, const std::string& place) {
    if (!value.is_object()) {
        throw ToneTableError(place + " must be an object");
    }
}

uint8_t GammaField(const json& entry, const std::string& place) {
    if (!entry.contains("gamma")) {
        return 100;
    }
    const json& value = entry.at("gamma");
    if (!value.is_number()) {
        throw ToneTableError(place + ".gamma must be a number");
    }
    const double hundredths = value.get<double>() * 100.0;
    const double rounded = std::round(hundredths);
    if (rounded < 1 || rounded > 255) {
        throw ToneTableError(place + ".gamma must lie in 0.01..2.55");
    }
    if (std::fabs(hundredths - rounded) > 1e-6) {
        throw ToneTableError(place + ".gamma has more than two decimals");
    }
    return static_cast<uint8_t>(rounded);
}

json CoefficientToJson(const ToneDecimal& d);

// A number is stored only when the table gives back exactly that number:
// more digits than a mantissa holds are refused, not rounded.
ToneDecimal CoefficientFromJson(const json& value, const std::string& place) {
    if (value.is_number()) {
        const double number = value.get<double>();
        ToneDecimal stored;
        try {
            stored = ToneDecimalFromNumber(number);
        } catch (const ToneTableError& error) {
            throw ToneTableError(place + " (" + value.dump() + "): " + error.what());
        }
        if (ToneDecimalValue(stored) != number) {
            throw ToneTableError(place + " (" + value.dump() +
                                 ") has more digits than a coefficient holds; the nearest it "
                                 "holds is " +
                                 CoefficientToJson(stored).dump());
        }
        return stored;
    }
    if (!value.is_object()) {
        throw ToneTableError(place + " must be a number or {\"mantissa\", \"exponent\"}");
    }
    RejectUnknownKeys(value, place, {"mantissa", "exponent"});
    const json& m = Field(value, place, "mantissa");
    const json& e = Field(value, place, "exponent");
    if (!m.is_number_integer() || !e.is_number_integer()) {
        throw ToneTableError(place + ": mantissa and exponent must be whole numbers");
    }
    const auto mantissa = m.get<long long>();
    const auto exponent = e.get<long long>();
    if (mantissa < kMantissaMin || mantissa > kMantissaMax) {
        throw ToneTableError(place + ".mantissa must lie in -8388608..8388607");
    }
    if (exponent < kExponentMin || exponent > kExponentMax) {
        throw ToneTableError(place + ".exponent must lie in -128..127");
    }
    return ToneDecimal{static_cast<int32_t>(mantissa), static_cast<int32_t>(exponent)};
}

ToneSegment SegmentFromJson(const json& value, const std::string& place) {
    ExpectObject(value, place);
    ToneSegment seg;
    seg.shadowShareBelow = ByteField(value, place, "shadowShareBelow", 0, 255);
    const json& curve = Field(value, place, "curve");
    const std::string name = curve.is_string() ? curve.get<std::string>() : "";
    if (name == "gamma") {
        RejectUnknownKeys(value, place, {"shadowShareBelow", "curve"});
        seg.kind = ToneCurveKind::Gamma;
    } else if (name == "knee") {
        RejectUnknownKeys(value, place, {"shadowShareBelow", "curve", "knee"});
        seg.kind = ToneCurveKind::Knee;
        seg.knee = ByteField(value, place, "knee", 1, kMaxKnee);
    } else if (name == "polynomial") {
        RejectUnknownKeys(value, place, {"shadowShareBelow", "curve", "coefficients"});
        seg.kind = ToneCurveKind::Polynomial;
        const json& list = ArrayField(value, place, "coefficients");
        if (list.size() != kCoefficients) {
            throw ToneTableError(place + ".coefficients must hold six numbers, c0..c5");
        }
        for (size_t i = 0; i < kCoefficients; ++i) {
            seg.coefficients[i] =
                CoefficientFromJson(list[i], place + ".coefficients[" + std::to_string(i) + "]");
        }
    } else {
        throw ToneTableError(place + ".curve must be \"gamma\", \"knee\" or \"polynomial\"");
    }
    return seg;
}

ToneEntry EntryFromJson(const json& value, const std::string& place) {
    ExpectObject(value, place);
    RejectUnknownKeys(value, place, {"scoreBelow", "gamma", "segments"});
    ToneEntry entry;
    entry.scoreBelow = ByteField(value, place, "scoreBelow", 0, 255);
    entry.gamma100 = GammaField(value, place);
    const json& segments = ArrayField(value, place, "segments");
    for (size_t s = 0; s < segments.size(); ++s) {
        entry.segments.push_back(
            SegmentFromJson(segments[s], place + ".segments[" + std::to_string(s) + "]"));
    }
    return entry;
}

// ---- JSON writing ----------------------------------------------------------

json CoefficientToJson(const ToneDecimal& d) {
    const double value = ToneDecimalValue(d);
    if (ToneDecimalFromNumber(value) == d) {
        return value;
    }
    return json{{"mantissa", d.mantissa}, {"exponent", d.exponent}};
}

json SegmentToJson(const ToneSegment& seg) {
    json out = json::object();
    out["shadowShareBelow"] = seg.shadowShareBelow;
    out["curve"] = CurveName(seg.kind);
    if (seg.kind == ToneCurveKind::Knee) {
        out["knee"] = seg.knee;
    } else if (seg.kind == ToneCurveKind::Polynomial) {
        json list = json::array();
        for (const auto& c : seg.coefficients) {
            list.push_back(CoefficientToJson(c));
        }
        out["coefficients"] = list;
    }
    return out;
}

}  // namespace

double ToneDecimalValue(const ToneDecimal& decimal) {
    const std::string text =
        std::to_string(decimal.mantissa) + "e" + std::to_string(decimal.exponent);
    return std::strtod(text.c_str(), nullptr);
}

ToneDecimal ToneDecimalFromNumber(double value) {
    if (!std::isfinite(value)) {
        throw ToneTableError("a coefficient must be a finite number");
    }
    if (value == 0.0) {
        return ToneDecimal{};
    }
    // The shortest decimal that reads back as the same number, cut to the
    // digits a 24-bit mantissa holds.
    char text[64];
    for (int digits = 1; digits <= kMaxSignificantDigits; ++digits) {
        std::snprintf(text, sizeof text, "%.*e", digits - 1, value);
        if (std::strtod(text, nullptr) == value) {
            break;
        }
    }
    for (;;) {
        // text is "-d.ddde+XX"
        std::string mantissaDigits;
        const char* p = text;
        const bool negative = *p == '-';
        if (negative) {
            ++p;
        }
        for (; *p != 'e'; ++p) {
            if (*p != '.') {
                mantissaDigits += *p;
            }
        }
        const long exponent10 = std::strtol(p + 1, nullptr, 10);
        long long mantissa = std::stoll(mantissaDigits);
        long exponent = exponent10 - static_cast<long>(mantissaDigits.size()) + 1;
        while (mantissa != 0 && mantissa % 10 == 0) {
            mantissa /= 10;
            ++exponent;
        }
        if (mantissa <= kMantissaMax) {
            if (exponent < kExponentMin || exponent > kExponentMax) {
                throw ToneTableError("a coefficient is too large or too small to store");
            }
            return ToneDecimal{static_cast<int32_t>(negative ? -mantissa : mantissa),
                               static_cast<int32_t>(exponent)};
        }
        std::snprintf(text, sizeof text, "%.*e", static_cast<int>(mantissaDigits.size()) - 2,
                      value);
    }
}

std::vector<uint8_t> EncodeToneTable(const ToneTableDesc& desc) {
    CheckUsable(desc);
    std::vector<const ToneEntry*> entries;
    for (const auto& zone : desc.zones) {
        for (const auto& entry : zone.entries) {
            entries.push_back(&entry);
        }
    }
    std::vector<uint8_t> out(2, 0);
    out.push_back(desc.shadowWeight);
    out.push_back(desc.shadowBandEnd);
    out.push_back(desc.midBandEnd);
    out.push_back(static_cast<uint8_t>(desc.zones.size()));
    for (const auto& zone : desc.zones) {
        out.push_back(static_cast<uint8_t>(zone.entries.size()));
    }
    for (const ToneEntry* entry : entries) {
        out.push_back(static_cast<uint8_t>(entry->segments.size()));
    }
    for (const auto& zone : desc.zones) {
        out.push_back(zone.highlightBelow);
    }
    for (const ToneEntry* entry : entries) {
        out.push_back(entry->scoreBelow);
        out.push_back(entry->gamma100);
    }
    for (const ToneEntry* entry : entries) {
        for (const auto& seg : entry->segments) {
            out.push_back(seg.shadowShareBelow);
            out.push_back(static_cast<uint8_t>(seg.kind));
            if (seg.kind == ToneCurveKind::Knee) {
                out.push_back(seg.knee);
            } else if (seg.kind == ToneCurveKind::Polynomial) {
                for (const auto& c : seg.coefficients) {
                    PutDecimal(out, c);
                }
            }
        }
    }
    const size_t length = out.size() + 1;
    if (length > kMaxTableBytes) {
        throw ToneTableError("the table would take " + std::to_string(length) +
                             " bytes; at most 65535 fit");
    }
    out[0] = static_cast<uint8_t>(length & 0xFF);
    out[1] = static_cast<uint8_t>(length >> 8);
    unsigned sum = 0;
    for (uint8_t b : out) {
        sum += b;
    }
    out.push_back(static_cast<uint8_t>(sum & 0xFF));
    return out;
}

ToneTableDesc DecodeToneTable(const std::vector<uint8_t>& bytes) {
    if (bytes.size() < kHeaderBytes + 1) {
        throw ToneTableError("too short for a tone table (" + std::to_string(bytes.size()) +
                             " bytes)");
    }
    const size_t length = bytes[0] | (size_t{bytes[1]} << 8);
    if (length != bytes.size()) {
        throw ToneTableError("the table says it is " + std::to_string(length) +
                             " bytes long, but the file holds " + std::to_string(bytes.size()));
    }
    unsigned sum = 0;
    for (size_t i = 0; i + 1 < length; ++i) {
        sum += bytes[i];
    }
    if ((sum & 0xFF) != bytes[length - 1]) {
        throw ToneTableError("checksum mismatch: the last byte is " +
                             std::to_string(bytes[length - 1]) + ", the bytes before it sum to " +
                             std::to_string(sum & 0xFF) + " (modulo 256)");
    }
    const size_t end = length - 1;  // the checksum byte
    ToneTableDesc desc;
    desc.shadowWeight = bytes[2];
    desc.shadowBandEnd = bytes[3];
    desc.midBandEnd = bytes[4];
    const size_t zones = bytes[5];
    if (zones == 0) {
        throw ToneTableError("the table has no zone");
    }
    size_t at = kHeaderBytes;
    auto need = [&](size_t count, const char* what) {
        if (count > end - at) {
            throw ToneTableError(std::string("the table ends inside ") + what + " (byte " +
                                 std::to_string(at) + ")");
        }
    };
    need(zones, "the entry counts");
    size_t totalEntries = 0;
    desc.zones.resize(zones);
    for (size_t z = 0; z < zones; ++z) {
        desc.zones[z].entries.resize(bytes[at + z]);
        totalEntries += bytes[at + z];
    }
    at += zones;
    need(totalEntries, "the segment counts");
    std::vector<ToneEntry*> entries;
    for (auto& zone : desc.zones) {
        for (auto& entry : zone.entries) {
            entries.push_back(&entry);
        }
    }
    for (size_t e = 0; e < totalEntries; ++e) {
        entries[e]->segments.resize(bytes[at + e]);
    }
    at += totalEntries;
    need(zones, "the zone limits");
    for (size_t z = 0; z < zones; ++z) {
        desc.zones[z].highlightBelow = bytes[at + z];
    }
    at += zones;
    need(2 * totalEntries, "the entry pairs");
    for (size_t e = 0; e < totalEntries; ++e) {
        entries[e]->scoreBelow = bytes[at + 2 * e];
        entries[e]->gamma100 = bytes[at + 2 * e + 1];
    }
    at += 2 * totalEntries;
    for (ToneEntry* entry : entries) {
        for (auto& seg : entry->segments) {
            need(2, "a segment record");
            const uint8_t type = bytes[at + 1];
            if (type < 1 || type > 3) {
                throw ToneTableError("a segment record at byte " + std::to_string(at) +
                                     " has the unknown type " + std::to_string(type));
            }
            seg.shadowShareBelow = bytes[at];
            seg.kind = static_cast<ToneCurveKind>(type);
            need(RecordSize(seg.kind), "a segment record");
            if (seg.kind == ToneCurveKind::Knee) {
                seg.knee = bytes[at + 2];
            } else if (seg.kind == ToneCurveKind::Polynomial) {
                for (size_t i = 0; i < kCoefficients; ++i) {
                    seg.coefficients[i] = GetDecimal(&bytes[at + 2 + 4 * i]);
                }
            }
            at += RecordSize(seg.kind);
        }
    }
    if (at != end) {
        throw ToneTableError(std::to_string(end - at) +
                             " stray bytes between the last segment record and the checksum");
    }
    CheckUsable(desc);
    return desc;
}

ToneTableDesc ToneTableFromJson(const std::string& text) {
    json root;
    try {
        RejectDuplicateKeys(text);
        root = json::parse(text);
    } catch (const json::exception& error) {  // a syntax error, or a number out of range
        std::string what = error.what();
        const size_t bracket = what.find("] ");
        throw ToneTableError("not valid JSON: " +
                             (bracket == std::string::npos ? what : what.substr(bracket + 2)));
    }
    const std::string place = "the table";
    ExpectObject(root, place);
    RejectUnknownKeys(root, place, {"shadowWeight", "shadowBandEnd", "midBandEnd", "zones"});
    ToneTableDesc desc;
    desc.shadowWeight = ByteField(root, place, "shadowWeight", 0, 255);
    desc.shadowBandEnd = ByteField(root, place, "shadowBandEnd", 0, 255);
    desc.midBandEnd = ByteField(root, place, "midBandEnd", 0, 255);
    const json& zones = ArrayField(root, place, "zones");
    for (size_t z = 0; z < zones.size(); ++z) {
        const std::string zonePlace = "zones[" + std::to_string(z) + "]";
        ExpectObject(zones[z], zonePlace);
        RejectUnknownKeys(zones[z], zonePlace, {"highlightBelow", "entries"});
        ToneZone zone;
        zone.highlightBelow = ByteField(zones[z], zonePlace, "highlightBelow", 0, 255);
        const json& entries = ArrayField(zones[z], zonePlace, "entries");
        for (size_t e = 0; e < entries.size(); ++e) {
            zone.entries.push_back(EntryFromJson(entries[e], EntryPlace(z, e)));
        }
        desc.zones.push_back(std::move(zone));
    }
    CheckUsable(desc);
    return desc;
}

std::string ToneTableToJson(const ToneTableDesc& desc) {
    json root = json::object();
    root["shadowWeight"] = desc.shadowWeight;
    root["shadowBandEnd"] = desc.shadowBandEnd;
    root["midBandEnd"] = desc.midBandEnd;
    json zones = json::array();
    for (const auto& zone : desc.zones) {
        json entries = json::array();
        for (const auto& entry : zone.entries) {
            json segments = json::array();
            for (const auto& seg : entry.segments) {
                segments.push_back(SegmentToJson(seg));
            }
            json e = json::object();
            e["scoreBelow"] = entry.scoreBelow;
            e["gamma"] = entry.gamma100 / 100.0;
            e["segments"] = segments;
            entries.push_back(e);
        }
        zones.push_back(json{{"highlightBelow", zone.highlightBelow}, {"entries", entries}});
    }
    root["zones"] = zones;
    return root.dump(2) + "\n";
}

std::vector<uint8_t> LoadToneTableFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw ToneTableError("cannot open: " + std::string(std::strerror(errno)));
    }
    return ToneTableBytes(std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                                               std::istreambuf_iterator<char>()));
}

std::vector<uint8_t> ToneTableBytes(const std::vector<uint8_t>& bytes) {
    size_t first = 0;
    while (first < bytes.size() && std::isspace(bytes[first])) {
        ++first;
    }
    if (first < bytes.size() && bytes[first] == '{') {
        return EncodeToneTable(ToneTableFromJson(std::string(bytes.begin(), bytes.end())));
    }
    DecodeToneTable(bytes);
    return bytes;
}

}  // namespace voved::tool
