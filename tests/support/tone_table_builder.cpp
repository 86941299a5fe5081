#include "support/tone_table_builder.h"

#include <algorithm>
#include <utility>

namespace voved::test {

namespace {

constexpr uint8_t kGammaType = 1;
constexpr uint8_t kKneeType = 2;
constexpr uint8_t kPolynomialType = 3;

void AppendDecimal(std::vector<uint8_t>& out, StoredDecimal value) {
    const uint32_t raw = static_cast<uint32_t>(value.mantissa) & 0xFFFFFFu;
    out.push_back(static_cast<uint8_t>(raw >> 16));
    out.push_back(static_cast<uint8_t>(raw >> 8));
    out.push_back(static_cast<uint8_t>(raw));
    out.push_back(static_cast<uint8_t>(value.exponent));
}

}  // namespace

ToneSegment ToneSegment::Gamma(uint8_t shareLimit) {
    return {shareLimit, kGammaType, {}};
}

ToneSegment ToneSegment::Knee(uint8_t shareLimit, uint8_t knee) {
    return {shareLimit, kKneeType, {knee}};
}

ToneSegment ToneSegment::Polynomial(uint8_t shareLimit,
                                    const std::array<StoredDecimal, 6>& coefficients) {
    ToneSegment segment{shareLimit, kPolynomialType, {}};
    for (const StoredDecimal& c : coefficients) {
        AppendDecimal(segment.payload, c);
    }
    return segment;
}

ToneSegment ToneSegment::Raw(uint8_t shareLimit, uint8_t type, std::vector<uint8_t> payload) {
    return {shareLimit, type, std::move(payload)};
}

std::vector<uint8_t> BuildToneTable(const ToneTableDesc& desc) {
    std::vector<uint8_t> out = {
        0, 0, desc.weight, desc.lowBound, desc.midBound, static_cast<uint8_t>(desc.zones.size())};
    for (const ToneZone& zone : desc.zones) {
        out.push_back(static_cast<uint8_t>(zone.entries.size()));
    }
    for (const ToneZone& zone : desc.zones) {
        for (const ToneEntry& entry : zone.entries) {
            out.push_back(static_cast<uint8_t>(entry.segments.size()));
        }
    }
    for (const ToneZone& zone : desc.zones) {
        out.push_back(zone.limit);
    }
    for (const ToneZone& zone : desc.zones) {
        for (const ToneEntry& entry : zone.entries) {
            out.push_back(entry.scoreLimit);
            out.push_back(entry.gamma);
        }
    }
    for (const ToneZone& zone : desc.zones) {
        for (const ToneEntry& entry : zone.entries) {
            for (const ToneSegment& segment : entry.segments) {
                out.push_back(segment.shareLimit);
                out.push_back(segment.type);
                out.insert(out.end(), segment.payload.begin(), segment.payload.end());
            }
        }
    }
    out.push_back(0);  // checksum
    SealToneTable(out);
    return out;
}

uint8_t ToneChecksum(const std::vector<uint8_t>& bytes) {
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < bytes.size(); ++i) {
        sum += bytes[i];
    }
    return static_cast<uint8_t>(sum);
}

void SealToneTable(std::vector<uint8_t>& bytes) {
    if (bytes.size() < 2) {
        return;
    }
    bytes[0] = static_cast<uint8_t>(bytes.size());
    bytes[1] = static_cast<uint8_t>(bytes.size() >> 8);
    if (bytes.size() > 2) {
        bytes.back() = ToneChecksum(bytes);
    }
}

ExactBuffer::ExactBuffer(const std::vector<uint8_t>& bytes)
    : bytes_(new uint8_t[bytes.empty() ? 1 : bytes.size()]), size_(bytes.size()) {
    std::copy(bytes.begin(), bytes.end(), bytes_.get());
}

}  // namespace voved::test
