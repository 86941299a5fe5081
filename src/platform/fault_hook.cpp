#include "platform/fault_hook.h"

#include "platform/platform.h"

namespace voved {

namespace {
thread_local int tFailCountdown = 0;
thread_local long tLiveBlocks = 0;
}  // namespace

void FailNthAllocation(int n) {
    tFailCountdown = n > 0 ? n : 0;
}

long LiveBlockCount() {
    return tLiveBlocks;
}

bool ConsumeAllocationFault() {
    if (tFailCountdown == 0) {
        return false;
    }
    --tFailCountdown;
    return tFailCountdown == 0;
}

void CountBlock(int delta) {
    tLiveBlocks += delta;
}

}  // namespace voved
