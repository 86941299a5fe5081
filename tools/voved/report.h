// The analysis of one picture as a report: text for people, JSON for
// programs, and an SVG plot of the luminance histogram with the tone curve.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "jobs.h"

namespace voved::tool {

struct CastReport {
    double ry = 0;
    double by = 0;
};

struct AnalysisReport {
    std::string file;
    uint32_t width = 0;
    uint32_t height = 0;
    std::string camera;
    int result = 0;
    uint16_t requestedMode = 0;
    std::string explanation;        // why something asked for was not done
    std::optional<int> blackLevel;  // when the analysis got that far
    std::optional<int> whiteLevel;
    std::optional<CastReport> shadowCast;   // mean R-Y, B-Y at the black point
    std::optional<CastReport> whiteColour;  // mean R-Y, B-Y measured at the white level
    int saturationGain = 0;                 // 1024 = 1.0
    int sceneCode = 0;
    int correctionType = 0;
    std::optional<std::array<int, 9>> matrix;       // types 5001, 5002
    std::optional<std::array<int, 300>> toneCurve;  // types 5001 to 5003
    int highlightLevel = 0;
    std::optional<std::array<int, 256>> toneTable;  // when built
    LuminanceHistogram histogram{};
};

// Fills the report from the context after RunAnalysis.
void FillReport(AnalysisReport& report, const QVContext& record, const AnalysisOutcome& outcome);

std::string ReportText(const AnalysisReport& report);
nlohmann::ordered_json ReportJson(const AnalysisReport& report);
std::string ReportSvg(const AnalysisReport& report);

}  // namespace voved::tool
