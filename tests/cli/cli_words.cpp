// The library's codes in words: one meaning per scene class, no gaps.
#include <set>

#include <gtest/gtest.h>

#include "voved32.h"
#include "words.h"

namespace voved::tool {
namespace {

TEST(Words, EverySceneClassHasItsOwnMeaning) {
    std::set<std::string> meanings;
    for (int code = 5101; code <= 5140; ++code) {
        const std::string meaning = SceneClassMeaning(code);
        EXPECT_FALSE(meaning.empty()) << code;
        meanings.insert(meaning);
    }
    EXPECT_EQ(meanings.size(), 40u);
    EXPECT_STREQ(SceneClassMeaning(5100), "");
    EXPECT_STREQ(SceneClassMeaning(5141), "");
    // Rows in place: the classes that correct colour say so.
    EXPECT_NE(std::string(SceneClassMeaning(5101)).find("turned onto grey"), std::string::npos);
    EXPECT_NE(std::string(SceneClassMeaning(5119)).find("exactly neutral"), std::string::npos);
    EXPECT_NE(std::string(SceneClassMeaning(5140)).find("stretched"), std::string::npos);
}

TEST(Words, ResultsAndStepCodesReadAsSentences) {
    std::set<std::string> results;
    for (int r = 0; r >= -5; --r) {
        results.insert(ResultInWords(r));
    }
    EXPECT_EQ(results.size(), 6u);
    EXPECT_NE(ResultInWords(-9).find("unknown"), std::string::npos);
    EXPECT_EQ(StepCodeInWords(QV_STEP_TAKEN | QV_STEP_OUTPUT),
              "the input line was taken and an output line was delivered");
    EXPECT_EQ(StepCodeInWords(QV_STEP_OUTPUT | QV_STEP_LAST),
              "an output line was delivered and the conversion is complete");
    EXPECT_NE(StepCodeInWords(QV_STEP_FAILED).find("failed"), std::string::npos);
    EXPECT_NE(StepCodeInWords(0x0008).find("unknown"), std::string::npos);
    EXPECT_STREQ(CorrectionTypeMeaning(5003), "level stretch only, colours kept");
    EXPECT_STREQ(CorrectionTypeMeaning(4999), "");
}

}  // namespace
}  // namespace voved::tool
