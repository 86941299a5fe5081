#include "report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "output.h"
#include "words.h"

namespace voved::tool {

namespace {

using json = nlohmann::ordered_json;

constexpr double kUnity = 1024.0;
constexpr int kNoScene = 5000;
constexpr int kCurveSamples[] = {0, 32, 64, 96, 128, 160, 192, 224, 255};

std::string Format(const char* format, double a, double b) {
    char text[128];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

std::string Line(const char* label, const std::string& value) {
    char text[32];
    std::snprintf(text, sizeof text, "  %-14s", label);
    return text + value + "\n";
}

std::string EscapeXml(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

bool IsColourType(int type) {
    return type == 5001 || type == 5002 || type == 5003;
}

std::string ModeWords(uint16_t mode) {
    std::string words;
    if ((mode & QV_MODE_CORRECT) != 0) {
        words = "colour correction";
    }
    if ((mode & QV_MODE_BYTE_TABLE) != 0) {
        words += words.empty() ? "tone table" : " and tone table";
    }
    return words.empty() ? "nothing" : words;
}

std::string Outcome(const AnalysisReport& r) {
    switch (r.result) {
    case QV_RESULT_OK:
        return "the correction is ready";
    case QV_RESULT_TONE_ONLY:
        return "only the tone table would be applied";
    default:
        return "the picture would be written unchanged";
    }
}

}  // namespace

void FillReport(AnalysisReport& report, const QVContext& record, const AnalysisOutcome& outcome) {
    report.camera = outcome.camera;
    report.result = outcome.result;
    report.requestedMode = outcome.requestedMode;
    report.explanation = ExplainAnalysis(record, outcome);
    report.saturationGain = record.saturationGain;
    report.sceneCode = record.sceneCode;
    report.correctionType = record.correctionType;
    report.highlightLevel = record.highlightLevel;
    if (record.sceneCode != kNoScene) {
        report.blackLevel = record.blackLevel;
        report.whiteLevel = record.whiteLevel;
        const QVLevelBin& white = record.levelStats[record.whiteLevel];
        if (white.chromaCount != 0) {
            report.whiteColour = CastReport{static_cast<double>(white.sumRY) / white.chromaCount,
                                            static_cast<double>(white.sumBY) / white.chromaCount};
        }
    }
    if (IsColourType(record.correctionType) && record.sceneCode != kNoScene) {
        report.shadowCast = CastReport{static_cast<double>(record.shadowCastRY),
                                       static_cast<double>(record.shadowCastBY)};
        std::array<int, 300> curve{};
        std::copy(std::begin(record.toneCurve), std::end(record.toneCurve), curve.begin());
        report.toneCurve = curve;
        if (record.correctionType != 5003) {
            std::array<int, 9> matrix{};
            std::copy(std::begin(record.colourMatrix), std::end(record.colourMatrix),
                      matrix.begin());
            report.matrix = matrix;
        }
    }
    if ((record.mode & QV_MODE_BYTE_TABLE) != 0 && !outcome.tableLeftOut &&
        (record.flags & QV_FLAG_DERIVED) != 0) {
        std::array<int, 256> table{};
        std::copy(std::begin(record.toneTable), std::end(record.toneTable), table.begin());
        report.toneTable = table;
    }
}

std::string ReportText(const AnalysisReport& r) {
    std::string text = r.file + ": " + std::to_string(r.width) + " x " + std::to_string(r.height) +
                       ", camera " + (r.camera.empty() ? "(none)" : "'" + r.camera + "'") + "\n";
    text += Line("asked for", ModeWords(r.requestedMode));
    text += Line("result",
                 std::to_string(r.result) + ": " + ResultInWords(r.result) + "; " + Outcome(r));
    if (!r.explanation.empty()) {
        text += Line("why", r.explanation);
    }
    if (r.blackLevel) {
        std::string black = "level " + std::to_string(*r.blackLevel);
        if (r.shadowCast) {
            black += Format(", shadow cast R-Y %.0f, B-Y %.0f", r.shadowCast->ry, r.shadowCast->by);
        }
        text += Line("black point", black);
        std::string white = "level " + std::to_string(*r.whiteLevel);
        if (r.whiteColour) {
            white += Format(", mean colour there R-Y %.1f, B-Y %.1f", r.whiteColour->ry,
                            r.whiteColour->by);
        }
        text += Line("white point", white);
    } else {
        text += Line("black/white", "not found");
    }
    text += Line("saturation", "gain " + std::to_string(r.saturationGain) +
                                   Format(" (x%.2f)", r.saturationGain / kUnity, 0));
    text +=
        Line("scene class", std::to_string(r.sceneCode) + ": " + SceneClassMeaning(r.sceneCode));
    text += Line("correction",
                 std::to_string(r.correctionType) + ": " + CorrectionTypeMeaning(r.correctionType));
    if (r.matrix) {
        const auto& m = *r.matrix;
        for (int row = 0; row < 3; ++row) {
            char cells[96];
            std::snprintf(cells, sizeof cells, "%6.3f %6.3f %6.3f   (%s)", m[3 * row] / kUnity,
                          m[3 * row + 1] / kUnity, m[3 * row + 2] / kUnity,
                          row == 0   ? "R-Y out"
                          : row == 1 ? "B-Y out"
                                     : "level out");
            text += Line(row == 0 ? "matrix" : "", cells);
        }
    }
    if (r.toneCurve) {
        std::string points;
        for (int i : kCurveSamples) {
            points += (points.empty() ? "" : ", ") + std::to_string(i) + "->" +
                      std::to_string((*r.toneCurve)[static_cast<size_t>(i)]);
        }
        text += Line("tone curve", points);
        text +=
            Line("", r.correctionType == 5003
                         ? "(for each channel)"
                         : "(input: the level after the colour rotation; 255 and above is white)");
    }
    text += Line("highlight", "level " + std::to_string(r.highlightLevel) +
                                  " (first curve input reaching white; 0: none)");
    if (r.toneTable) {
        std::string points;
        for (int i : kCurveSamples) {
            points += (points.empty() ? "" : ", ") + std::to_string(i) + "->" +
                      std::to_string((*r.toneTable)[static_cast<size_t>(i)]);
        }
        text += Line("tone table", points);
    }
    return text;
}

namespace {

// Means measured over pixels carry no meaning beyond a few decimals.
constexpr double kJsonDecimals = 1000.0;

double Rounded(double value) {
    return std::round(value * kJsonDecimals) / kJsonDecimals;
}

json CastJson(const std::optional<CastReport>& cast) {
    return cast ? json{{"ry", Rounded(cast->ry)}, {"by", Rounded(cast->by)}} : json(nullptr);
}

}  // namespace

json ReportJson(const AnalysisReport& r) {
    json out = json::object();
    out["file"] = r.file;
    out["width"] = r.width;
    out["height"] = r.height;
    out["camera"] = r.camera.empty() ? json(nullptr) : json(r.camera);
    out["result"] = r.result;
    out["resultMeaning"] = ResultInWords(r.result);
    out["explanation"] = r.explanation;
    out["blackLevel"] = r.blackLevel ? json(*r.blackLevel) : json(nullptr);
    out["whiteLevel"] = r.whiteLevel ? json(*r.whiteLevel) : json(nullptr);
    out["shadowCast"] = CastJson(r.shadowCast);
    out["whiteColour"] = CastJson(r.whiteColour);
    out["saturationGain"] = r.saturationGain;
    out["sceneClass"] = {{"code", r.sceneCode}, {"meaning", SceneClassMeaning(r.sceneCode)}};
    out["correctionType"] = {{"code", r.correctionType},
                             {"meaning", CorrectionTypeMeaning(r.correctionType)}};
    out["colourMatrix"] = r.matrix ? json(*r.matrix) : json(nullptr);
    out["toneCurve"] = r.toneCurve ? json(*r.toneCurve) : json(nullptr);
    out["highlightLevel"] = r.highlightLevel;
    out["toneTable"] = r.toneTable ? json(*r.toneTable) : json(nullptr);
    out["luminanceHistogram"] = r.histogram;
    return out;
}

std::string ReportSvg(const AnalysisReport& r) {
    constexpr double kLeft = 50, kTop = 50, kWidth = 600, kHeight = 300, kLevels = 300;
    auto x = [&](double level) { return kLeft + level * kWidth / kLevels; };
    auto y = [&](double value) { return kTop + kHeight - value * kHeight / 255.0; };
    // Bars scaled so that the 99th percentile of the bins fills the plot:
    // one huge bin (pure black, say) must not flatten the rest.
    std::array<uint64_t, 256> sorted = r.histogram;
    std::sort(sorted.begin(), sorted.end());
    const double top = std::max<double>(1.0, static_cast<double>(sorted[253]));
    std::string svg;
    char buffer[256];
    auto add = [&](const char* format, auto... values) {
        std::snprintf(buffer, sizeof buffer, format, values...);
        svg += buffer;
    };
    add("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" "
        "font-family=\"sans-serif\" font-size=\"12\">\n",
        static_cast<int>(kLeft + kWidth + 20), static_cast<int>(kTop + kHeight + 84));
    svg += "<title>" + EscapeXml(r.file) + ": luminance histogram and tone curve</title>\n";
    add("<rect x=\"%g\" y=\"%g\" width=\"%g\" height=\"%g\" fill=\"white\" stroke=\"black\"/>\n",
        kLeft, kTop, kWidth, kHeight);
    for (int level = 0; level < 256; ++level) {
        const double share = std::min(1.0, static_cast<double>(r.histogram[level]) / top);
        if (share > 0) {
            add("<rect x=\"%.2f\" y=\"%.2f\" width=\"%.2f\" height=\"%.2f\" fill=\"#999\"/>\n",
                x(level), y(255 * share), kWidth / kLevels, 255 * share * kHeight / 255.0);
        }
    }
    add("<line x1=\"%g\" y1=\"%g\" x2=\"%g\" y2=\"%g\" stroke=\"#bbb\" stroke-dasharray=\"4 "
        "4\"/>\n",
        x(0), y(0), x(255), y(255));
    if (r.toneCurve) {
        svg += "<polyline fill=\"none\" stroke=\"#c00\" stroke-width=\"2\" points=\"";
        for (int i = 0; i < 300; ++i) {
            const double value = std::clamp((*r.toneCurve)[static_cast<size_t>(i)], 0, 255);
            add("%.2f,%.2f ", x(i), y(value));
        }
        svg += "\"/>\n";
    }
    if (r.blackLevel) {
        add("<line x1=\"%.2f\" y1=\"%g\" x2=\"%.2f\" y2=\"%g\" stroke=\"#00c\"/>\n",
            x(*r.blackLevel), kTop, x(*r.blackLevel), kTop + kHeight);
        add("<line x1=\"%.2f\" y1=\"%g\" x2=\"%.2f\" y2=\"%g\" stroke=\"#00c\"/>\n",
            x(*r.whiteLevel), kTop, x(*r.whiteLevel), kTop + kHeight);
    }
    for (int tick = 0; tick <= 300; tick += 50) {
        add("<text x=\"%.2f\" y=\"%g\" text-anchor=\"middle\">%d</text>\n", x(tick),
            kTop + kHeight + 16, tick);
    }
    // Texts longer than the formatting buffer are appended whole.
    auto text = [&](double left, double baseline, const std::string& words) {
        add("<text x=\"%g\" y=\"%g\">", left, baseline);
        svg += EscapeXml(words) + "</text>\n";
    };
    text(kLeft, kTop - 28, r.file + ": scene " + std::to_string(r.sceneCode));
    text(kLeft, kTop - 10,
         "grey: luminance histogram; red: tone curve; blue: black and white points");
    text(kLeft, kTop + kHeight + 36,
         "x: input level, y: output level 0-255. The curve takes inputs 0-299: a colour");
    text(kLeft, kTop + kHeight + 52,
         "rotation can lift a level past 255, and all of those come out white;");
    text(kLeft, kTop + kHeight + 68,
         r.correctionType == 5003 ? "here the curve maps each channel"
                                  : "here its input is the level after the colour rotation");
    svg += "</svg>\n";
    return svg;
}

}  // namespace voved::tool
