// What the level analysis hands to the scene classification, and the
// mean-radius bands that both use to choose a saturation gain.
#pragma once

#include <cstdint>

namespace voved {

// The black and white points with their casts. The analysis fills the first
// six fields; the classification writes the last two.
struct QVAnalysisRecord {
    double shadowRY;  // mean R - Y at the black level
    double shadowBY;  // mean B - Y at the black level
    double whiteRY;   // mean R - Y at the white level
    double whiteBY;   // mean B - Y at the white level
    uint8_t blackLevel;
    uint8_t whiteLevel;          // the stretch curve may raise it
    double neutralLevel;         // level where the cast line passes nearest to grey
    double rotatedNeutralLevel;  // the same after the colour rotation, relative to black
};

// Mean chroma radius bands: below 20, 20 to 29, 30 and above. Pictures of
// weak colour get the larger saturation gains.
enum class RadiusBand : uint8_t { kPale = 0, kModerate = 1, kColourful = 2 };

constexpr RadiusBand BandOfMeanRadius(int32_t meanRadius) {
    return meanRadius < 20 ? RadiusBand::kPale
                           : (meanRadius < 30 ? RadiusBand::kModerate : RadiusBand::kColourful);
}

// A saturation gain for each band, 1024 = 1.0.
struct GainByBand {
    uint16_t gain[3];

    constexpr uint16_t For(int32_t meanRadius) const {
        return gain[static_cast<int>(BandOfMeanRadius(meanRadius))];
    }
};

}  // namespace voved
