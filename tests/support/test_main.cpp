// The main of every test executable: runs the tests and checks, after each
// one, that every block the library allocated on this thread was released.
#include <cstdio>

#include <gtest/gtest.h>

#include "platform/platform.h"

namespace {

class BlockBalance : public testing::EmptyTestEventListener {
  public:
    void OnTestStart(const testing::TestInfo&) override {
        voved::FailNthAllocation(0);
        liveAtStart_ = voved::LiveBlockCount();
    }
    void OnTestEnd(const testing::TestInfo& info) override {
        voved::FailNthAllocation(0);
        const long leaked = voved::LiveBlockCount() - liveAtStart_;
        if (leaked != 0) {
            std::fprintf(stderr, "[  LEAK    ] %s.%s left %ld library block(s) allocated\n",
                         info.test_suite_name(), info.name(), leaked);
            leaks_ = true;
        }
    }
    bool Leaked() const { return leaks_; }

  private:
    long liveAtStart_ = 0;
    bool leaks_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    auto* balance = new BlockBalance;  // owned by the listener list
    testing::UnitTest::GetInstance()->listeners().Append(balance);
    const int result = RUN_ALL_TESTS();
    return result != 0 ? result : (balance->Leaked() ? 1 : 0);
}
