// The library's numbers in words: result codes, step codes, scene classes
// and correction types.
#pragma once

#include <cstdint>
#include <string>

namespace voved::tool {

// One sentence for a QVResult (0, -1 .. -5).
std::string ResultInWords(int result);
// One sentence for a step code of the streaming conversion (its bits
// combined).
std::string StepCodeInWords(uint16_t code);
// One line for a scene class 5101..5140 (or 5000); "" for other codes.
const char* SceneClassMeaning(int sceneCode);
// One line for a correction type 5000..5003; "" for other codes.
const char* CorrectionTypeMeaning(int correctionType);

}  // namespace voved::tool
