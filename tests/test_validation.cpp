// The validation rule at every entry point: a null handle pointer, an empty
// handle, a freed or merged context, a cleared valid flag and a wrong magic
// are all refused (-2; QVCorrection2 answers QV_STEP_FAILED), and nothing the
// call could touch is changed.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "context/context.h"
#include "support/context_access.h"

namespace voved {
namespace {

constexpr int kWidth = 8;

// Every entry point that takes a handle, called on one handle with harmless
// arguments; each returns its answer widened to int.
struct EntryPoint {
    std::string name;
    std::function<int(QVHandle*)> call;
    int refusal;
};

std::vector<EntryPoint> EntryPoints() {
    static uint8_t pixels[kWidth * 3] = {};
    static uint8_t output[kWidth * 3] = {};
    return {
        {"QVExtension", [](QVHandle* h) { return QVExtension(h, 0x8000, nullptr, "X", 0); }, -2},
        {"QVHistogram", [](QVHandle* h) { return QVHistogram(h, pixels, kWidth, 3, 3, 0); }, -2},
        {"QVCalculate", [](QVHandle* h) { return QVCalculate(h, 0); }, -2},
        {"QVCorrection",
         [](QVHandle* h) { return QVCorrection(h, pixels, output, kWidth, 1, 3, 3); }, -2},
        {"QVInitImageConversion",
         [](QVHandle* h) { return QVInitImageConversion(h, kWidth, 1, 0, 0, 0, 0x0004); }, -2},
        {"QVCorrection2",
         [](QVHandle* h) { return QVCorrection2(h, pixels, output, kWidth, 3, 3, 0, 0); },
         QV_STEP_FAILED},
        {"QVTerminateImageConversion", [](QVHandle* h) { return QVTerminateImageConversion(h); },
         -2},
        {"QVMargeHisto (target)",
         [](QVHandle* h) {
             test::ScopedContext other;
             return QVMargeHisto(h, other.handle());
         },
         -2},
        {"QVMargeHisto (source)",
         [](QVHandle* h) {
             test::ScopedContext other;
             return QVMargeHisto(other.handle(), h);
         },
         -2},
        {"QVFree", [](QVHandle* h) { return QVFree(h); }, -2},
    };
}

// A context block of the test's own, valid until a test spoils it.
class Refusal : public testing::Test {
  protected:
    void SetUp() override {
        std::memset(&fake_, 0, sizeof fake_);
        fake_.magic = kContextMagic;
        fake_.flags = kFlagValid | kFlagExtension | kFlagDerived;
        fake_.mode = 0x8004;
        fake_.correctionMask = 0xFFFF;
        fake_.correctionType = kTypeStretch;
        handle_ = {&fake_, 0, 0};
    }

    // Calls every entry point on the spoiled handle; each must refuse and
    // leave the context and the handle as they were.
    void ExpectAllRefuse(const char* how) {
        const QVContext before = fake_;
        const QVHandle handleBefore = handle_;
        for (const EntryPoint& entry : EntryPoints()) {
            EXPECT_EQ(entry.call(&handle_), entry.refusal) << entry.name << " with " << how;
            EXPECT_EQ(std::memcmp(&before, &fake_, sizeof fake_), 0)
                << entry.name << " changed the context with " << how;
            EXPECT_EQ(handle_.block, handleBefore.block) << entry.name;
        }
    }

    QVContext fake_;
    QVHandle handle_{};
};

TEST_F(Refusal, ClearedValidFlag) {
    fake_.flags = kFlagExtension | kFlagDerived;
    ExpectAllRefuse("the valid flag clear");
}

TEST_F(Refusal, WrongMagic) {
    fake_.magic = 0x5156;
    ExpectAllRefuse("a wrong magic");
}

TEST_F(Refusal, EmptyAndNullHandles) {
    for (const EntryPoint& entry : EntryPoints()) {
        QVHandle empty{};
        EXPECT_EQ(entry.call(&empty), entry.refusal) << entry.name << " with an empty handle";
        EXPECT_EQ(entry.call(nullptr), entry.refusal) << entry.name << " with no handle";
    }
}

TEST(RefusalAfterRelease, FreedAndMergedHandlesAreEmpty) {
    QVHandle freed{};
    ASSERT_EQ(QVAlloc(&freed), 0);
    ASSERT_EQ(QVFree(&freed), 0);
    QVHandle merged{};
    ASSERT_EQ(QVAlloc(&merged), 0);
    {
        test::ScopedContext target;
        ASSERT_EQ(QVMargeHisto(target.handle(), &merged), 0);
    }
    for (const EntryPoint& entry : EntryPoints()) {
        EXPECT_EQ(entry.call(&freed), entry.refusal) << entry.name << " after QVFree";
        EXPECT_EQ(entry.call(&merged), entry.refusal) << entry.name << " after QVMargeHisto";
    }
}

}  // namespace
}  // namespace voved
