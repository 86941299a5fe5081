// Hues below are the library's hue angles (0 along +(B-Y), 90 along +(R-Y)).
// Measured on pure colours: blue 353, magenta 45, red 114, orange 145,
// yellow 171, green 225, cyan 295; so 300..359 is cyan-blue to blue, 80..130
// red, 90..165 red to orange, 130..165 orange. "Black-to-white difference"
// is the chroma distance between the mean colours of the black and white
// points; "colourful" refers to the mean chroma of the sampled pixels.
#include "words.h"

#include <vector>

#include "voved32.h"

namespace voved::tool {

namespace {

constexpr int kFirstScene = 5101;

// clang-format off
constexpr const char* kSceneMeanings[] = {
    /* 5101 */ "ordinary photo with a colour cast: the line from black to white is turned onto grey",
    /* 5102 */ "very colourful picture whose black and white points differ widely in colour: kept as it is",
    /* 5103 */ "highly saturated picture with some colour difference between black and white: kept as it is",
    /* 5104 */ "strongly coloured shadows (the black point is far from grey): kept as it is",
    /* 5105 */ "strongly red highlights (sunset or warm light): the colours are kept",
    /* 5106 */ "moderately red highlights: levels stretched, colours kept",
    /* 5107 */ "clearly red-orange shadows: kept as it is",
    /* 5108 */ "red-orange shadows under orange highlights (a warm scene): levels stretched, colours kept",
    /* 5109 */ "red-orange shadows under almost neutral highlights: kept as it is",
    /* 5110 */ "red-orange shadows and a wide black-to-white colour difference: kept as it is",
    /* 5111 */ "red-orange shadows under highlights of another hue, in a colourful picture: kept as it is",
    /* 5112 */ "strongly orange highlights in a moderately colourful picture: kept as it is",
    /* 5113 */ "strongly orange highlights over neutral or clearly coloured shadows: kept as it is",
    /* 5114 */ "moderately orange highlights that differ in colour from the shadows: levels stretched, colours kept",
    /* 5115 */ "bluish shadows in a picture of little colour: kept as it is",
    /* 5116 */ "bluish highlights over perfectly neutral shadows: levels stretched, colours kept",
    /* 5117 */ "bluish highlights over shadows of a very different hue: levels stretched, colours kept",
    /* 5118 */ "black and white points almost neutral: nothing worth correcting",
    /* 5119 */ "black and white points exactly neutral: nothing to correct",
    /* 5120 */ "nearly all colours share one hue (a toned or single-colour picture): kept as it is",
    /* 5121 */ "the hue hardly changes from level to level: kept as it is",
    /* 5122 */ "a narrow range of hues, little change between levels: levels stretched, colours kept",
    /* 5123 */ "photo with a colour cast that is partly scene colour: turned toward grey, keeping part of the cast",
    /* 5124 */ "shadows far more colourful than the highlights, wide colour difference: kept as it is",
    /* 5125 */ "shadows far more colourful than the highlights: levels stretched, colours kept",
    /* 5126 */ "shadows clearly more colourful than the highlights, with a colour difference: kept as it is",
    /* 5127 */ "neutral shadows under coloured highlights, hues very uniform or very mixed: kept as it is",
    /* 5128 */ "neutral shadows under coloured highlights that are not cyan-blue: levels stretched, colours kept",
    /* 5129 */ "wide black-to-white colour difference, many hues, highlights not green, cyan or blue: kept as it is",
    /* 5130 */ "wide black-to-white colour difference, hue changing strongly with level: levels stretched, colours kept",
    /* 5131 */ "the cast grows toward the highlights far beyond white, few hues: kept as it is",
    /* 5132 */ "clearly coloured highlights, not cyan-blue, in a colourful picture: kept as it is",
    /* 5133 */ "coloured highlights over exactly neutral shadows, many hues: kept as it is",
    /* 5134 */ "bluish highlights in a picture of almost one hue: kept as it is",
    /* 5135 */ "bluish highlights, hue changing with level, the cast growing beyond white: kept as it is",
    /* 5136 */ "bluish highlights, hue changing with level, little colour: kept as it is",
    /* 5137 */ "exactly neutral highlights over coloured shadows: levels stretched, colours kept",
    /* 5138 */ "bright scene with a low white point: turned onto grey, the white level kept",
    /* 5139 */ "bright scene with a wide black-to-white colour difference: turned onto grey, output brightened",
    /* 5140 */ "warm or violet highlights, hue steady across levels, the cast vanishing far below black: levels stretched",
};
// clang-format on

constexpr int kSceneCount = static_cast<int>(sizeof kSceneMeanings / sizeof kSceneMeanings[0]);

}  // namespace

std::string ResultInWords(int result) {
    switch (result) {
    case QV_RESULT_OK:
        return "success";
    case QV_RESULT_NO_MEMORY:
        return "the library ran out of memory";
    case QV_RESULT_INVALID:
        return "the correction context is missing or invalid, or there is nothing to do";
    case QV_RESULT_NOT_DERIVED:
        return "a step came before what it needs (no settings, no derived correction, or an "
               "unknown pixel layout)";
    case QV_RESULT_NO_CORRECTION:
        return "no usable correction was found for this picture";
    case QV_RESULT_TONE_ONLY:
        return "no colour correction was found, but the tone table was built";
    default:
        return "unknown result " + std::to_string(result);
    }
}

std::string StepCodeInWords(uint16_t code) {
    if (code == QV_STEP_FAILED) {
        return "the conversion step failed";
    }
    if (code == QV_STEP_AGAIN) {
        return "nothing taken or delivered yet: the same line is presented again";
    }
    std::vector<std::string> parts;
    if ((code & QV_STEP_TAKEN) != 0) {
        parts.emplace_back("the input line was taken");
    }
    if ((code & QV_STEP_OUTPUT) != 0) {
        parts.emplace_back("an output line was delivered");
    }
    if ((code & QV_STEP_LAST) != 0) {
        parts.emplace_back("the conversion is complete");
    }
    const uint16_t known = QV_STEP_TAKEN | QV_STEP_OUTPUT | QV_STEP_LAST;
    if (parts.empty() || (code & ~known) != 0) {
        return "unknown step code " + std::to_string(code);
    }
    std::string text = parts[0];
    for (size_t i = 1; i < parts.size(); ++i) {
        text += (i + 1 == parts.size() ? " and " : ", ") + parts[i];
    }
    return text;
}

const char* SceneClassMeaning(int sceneCode) {
    if (sceneCode == 5000) {
        return "no scene class: the analysis stopped before classifying";
    }
    const int index = sceneCode - kFirstScene;
    return index >= 0 && index < kSceneCount ? kSceneMeanings[index] : "";
}

const char* CorrectionTypeMeaning(int correctionType) {
    switch (correctionType) {
    case 5000:
        return "no colour correction";
    case 5001:
        return "colour rotation onto grey with a tone curve";
    case 5002:
        return "colour rotation onto grey with a tone curve and a brightening output curve";
    case 5003:
        return "level stretch only, colours kept";
    default:
        return "";
    }
}

}  // namespace voved::tool
