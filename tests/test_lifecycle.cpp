// Handles, the validation rule and the context lifecycle.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "context/handles.h"
#include "platform/platform.h"
#include "support/context_access.h"

namespace voved {
namespace {

using test::ContextOf;
using test::ScopedContext;

TEST(Handles, AttachAndReleaseFillAndEmptyTheRecord) {
    QVHandle handle{reinterpret_cast<void*>(0x1234), 7, 9};
    ASSERT_EQ(AttachBlock(64, &handle), 0);
    EXPECT_NE(handle.block, nullptr);
    EXPECT_EQ(handle.reserved, 0u);
    EXPECT_EQ(handle.state, 0u);
    const auto* bytes = static_cast<const uint8_t*>(handle.block);
    for (int i = 0; i < 64; ++i) {
        ASSERT_EQ(bytes[i], 0) << "blocks are zero-filled";
    }
    EXPECT_EQ(IsEmptyHandle(&handle), 0);
    ReleaseBlock(&handle);
    EXPECT_EQ(IsEmptyHandle(&handle), 1);
    ReleaseBlock(&handle);  // harmless on an empty handle
    EXPECT_EQ(IsEmptyHandle(&handle), 1);
}

TEST(Handles, AttachFailureLeavesTheHandleEmpty) {
    QVHandle handle{reinterpret_cast<void*>(0x1234), 7, 9};
    FailNthAllocation(1);
    EXPECT_EQ(AttachBlock(64, &handle), -1);
    EXPECT_EQ(IsEmptyHandle(&handle), 1);
}

TEST(Handles, ZeroByteBlocksFailOnEveryPlatform) {
    QVHandle handle{};
    EXPECT_EQ(AttachBlock(0, &handle), -1);
    EXPECT_EQ(IsEmptyHandle(&handle), 1);
}

TEST(Handles, EmptinessNeedsAllThreeFieldsZero) {
    QVHandle handle{nullptr, 0, 1};
    EXPECT_EQ(IsEmptyHandle(&handle), 0);
    handle = {nullptr, 1, 0};
    EXPECT_EQ(IsEmptyHandle(&handle), 0);
    handle = {nullptr, 0, 0};
    EXPECT_EQ(IsEmptyHandle(&handle), 1);
}

TEST(Handles, FaultHookCountsDownToTheNthAllocation) {
    FailNthAllocation(3);
    QVHandle a{}, b{}, c{};
    EXPECT_EQ(AttachBlock(8, &a), 0);
    EXPECT_EQ(AttachBlock(8, &b), 0);
    EXPECT_EQ(AttachBlock(8, &c), -1);
    EXPECT_EQ(AttachBlock(8, &c), 0) << "only one allocation fails";
    ReleaseBlock(&a);
    ReleaseBlock(&b);
    ReleaseBlock(&c);
}

TEST(Alloc, FreshContextHoldsTheInitialValues) {
    ScopedContext ctx;
    ASSERT_EQ(ctx.allocResult(), 0);
    QVContext& c = ctx.context();
    EXPECT_EQ(c.magic, 0x5651);
    EXPECT_EQ(std::memcmp(&c.magic, "QV", 2), 0) << "magic is the bytes 'Q' 'V'";
    EXPECT_EQ(c.flags, QV_FLAG_VALID);
    EXPECT_EQ(c.highlightLevel, 255);
    EXPECT_EQ(c.toneParameters, nullptr);
    EXPECT_EQ(c.mode, 0);
    EXPECT_EQ(c.correctionMask, 0);
    EXPECT_EQ(c.sceneCode, 0);
    EXPECT_EQ(c.histogramCalls, 0);
    EXPECT_EQ(IsEmptyHandle(&c.historyHandle0), 1);
    EXPECT_EQ(IsEmptyHandle(&c.filteredHandle), 1);
    EXPECT_EQ(c.levelStats[17].runByLevel, 0u);
    EXPECT_EQ(c.cacheKey[0] | c.cacheKey[1] | c.cacheKey[2] | c.cacheKey[3], 0);
    for (int level = 0; level < 256; ++level) {
        ASSERT_EQ(c.toneTable[level], level) << "the tone table starts as the identity";
    }
}

TEST(Alloc, OutOfMemoryLeavesTheHandleEmpty) {
    QVHandle handle{reinterpret_cast<void*>(0x5678), 3, 4};
    FailNthAllocation(1);
    EXPECT_EQ(QVAlloc(&handle), -1);
    EXPECT_EQ(IsEmptyHandle(&handle), 1);
}

TEST(Alloc, OverwritesWhateverTheHandleHeld) {
    QVHandle handle;
    std::memset(&handle, 0xA5, sizeof handle);  // uninitialised caller storage
    ASSERT_EQ(QVAlloc(&handle), 0);
    EXPECT_EQ(handle.reserved, 0u);
    EXPECT_EQ(handle.state, 0u);
    EXPECT_EQ(QVFree(&handle), 0);
}

TEST(Alloc, NullHandlePointerIsRefused) {
    EXPECT_EQ(QVAlloc(nullptr), -2);
}

TEST(Extension, StoresModeMaskTableAndModel) {
    ScopedContext ctx;
    const uint8_t table[4] = {4, 0, 0, 4};
    ASSERT_EQ(QVExtension(ctx.handle(), 0x12348001u, table, "Camera X", 99), 0);
    EXPECT_EQ(ctx->mode, 0x8001) << "only the low 16 bits of mode are kept";
    EXPECT_EQ(ctx->correctionMask, 0xFFFF);
    EXPECT_EQ(ctx->toneParameters, table);
    EXPECT_STREQ(ctx->cameraModel, "Camera X");
    EXPECT_EQ(ctx->cameraModelSet, 1u);
    EXPECT_EQ(ctx->flags, QV_FLAG_VALID | QV_FLAG_EXTENSION);
}

TEST(Extension, NullAndEmptyModelBothLeaveTheModelUnset) {
    ScopedContext ctx;
    ASSERT_EQ(QVExtension(ctx.handle(), 0, nullptr, "First", 0), 0);
    ASSERT_EQ(QVExtension(ctx.handle(), 0, nullptr, nullptr, 0), 0);
    EXPECT_EQ(ctx->cameraModelSet, 0u);
    EXPECT_STREQ(ctx->cameraModel, "First") << "a null model keeps the old field";
    EXPECT_NE(ctx->flags & QV_FLAG_EXTENSION, 0);

    ASSERT_EQ(QVExtension(ctx.handle(), 0, nullptr, "", 0), 0);
    EXPECT_EQ(ctx->cameraModelSet, 0u);
    EXPECT_STREQ(ctx->cameraModel, "");
    EXPECT_NE(ctx->flags & QV_FLAG_EXTENSION, 0);
}

TEST(Extension, ResetsANarrowedCorrectionMask) {
    ScopedContext ctx;
    ASSERT_EQ(QVExtension(ctx.handle(), 0x8000, nullptr, nullptr, 0), 0);
    ctx->correctionMask = 0x1FFF;  // as a failed analysis leaves it
    ASSERT_EQ(QVExtension(ctx.handle(), 0x8000, nullptr, nullptr, 0), 0);
    EXPECT_EQ(ctx->correctionMask, 0xFFFF);
}

TEST(Extension, LongModelIsCutAt259Characters) {
    ScopedContext ctx;
    const std::string longName(1000, 'M');
    ASSERT_EQ(QVExtension(ctx.handle(), 0, nullptr, longName.c_str(), 0), 0);
    EXPECT_EQ(std::strlen(ctx->cameraModel), 259u);
    EXPECT_EQ(ctx->cameraModel[259], '\0');
    EXPECT_EQ(ctx->cameraModelSet, 1u);

    const std::string exact(259, 'E');
    ASSERT_EQ(QVExtension(ctx.handle(), 0, nullptr, exact.c_str(), 0), 0);
    EXPECT_EQ(std::string(ctx->cameraModel), exact);
}

TEST(Free, SecondFreeIsRefused) {
    QVHandle handle{};
    ASSERT_EQ(QVAlloc(&handle), 0);
    EXPECT_EQ(QVFree(&handle), 0);
    EXPECT_EQ(IsEmptyHandle(&handle), 1);
    EXPECT_EQ(QVFree(&handle), -2);
}

TEST(Free, ReleasesTheLineBlocksOfTheContext) {
    QVHandle handle{};
    const long before = LiveBlockCount();
    ASSERT_EQ(QVAlloc(&handle), 0);
    QVContext* c = ContextOf(handle);
    ASSERT_EQ(AttachBlock(60, &c->historyHandle0), 0);
    ASSERT_EQ(AttachBlock(60, &c->filteredHandle), 0);
    ASSERT_EQ(AttachBlock(60, &c->ringHandle[2]), 0);
    ASSERT_EQ(AttachBlock(60, &c->resultLineHandle), 0);
    ASSERT_EQ(AttachBlock(16, &c->auxBlock), 0);
    EXPECT_EQ(LiveBlockCount(), before + 6);
    EXPECT_EQ(QVFree(&handle), 0);
    EXPECT_EQ(LiveBlockCount(), before);
}

// A handle that passes the first checks of the validation rule but not the
// later ones, built on a context block of the test's own.
class Validation : public testing::Test {
  protected:
    void SetUp() override {
        std::memset(&fake_, 0, sizeof fake_);
        fake_.magic = kContextMagic;
        fake_.flags = kFlagValid;
        handle_ = {&fake_, 0, 0};
    }
    QVContext fake_;
    QVHandle handle_{};
};

TEST_F(Validation, AcceptsAValidContext) {
    EXPECT_EQ(ValidContext(&handle_), &fake_);
}

TEST_F(Validation, RefusesNullBlockWrongMagicAndClearedFlags) {
    QVHandle empty{};
    EXPECT_EQ(ValidContext(&empty), nullptr);
    EXPECT_EQ(ValidContext(nullptr), nullptr);
    fake_.magic = 0x5156;  // the bytes in the wrong order
    EXPECT_EQ(ValidContext(&handle_), nullptr);
    fake_.magic = kContextMagic;
    fake_.flags = QV_FLAG_EXTENSION | QV_FLAG_DERIVED;  // valid bit clear
    EXPECT_EQ(ValidContext(&handle_), nullptr);
}

TEST_F(Validation, LifecycleEntryPointsAnswerMinusTwoAndChangeNothing) {
    fake_.flags = 0;  // as QVFree leaves a stale context
    const QVContext before = fake_;
    EXPECT_EQ(QVExtension(&handle_, 0x8000, nullptr, "X", 0), -2);
    EXPECT_EQ(QVFree(&handle_), -2);
    EXPECT_EQ(std::memcmp(&before, &fake_, sizeof fake_), 0);
    EXPECT_EQ(handle_.block, &fake_);

    QVHandle empty{};
    EXPECT_EQ(QVExtension(&empty, 0, nullptr, nullptr, 0), -2);
    EXPECT_EQ(QVFree(&empty), -2);
    EXPECT_EQ(QVExtension(nullptr, 0, nullptr, nullptr, 0), -2);
    EXPECT_EQ(QVFree(nullptr), -2);
}

}  // namespace
}  // namespace voved
