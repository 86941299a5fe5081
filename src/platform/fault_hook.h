// Shared by the platform files: the test-only allocation fault and the block
// balance, both per thread so concurrent jobs never see each other's.
#pragma once

namespace voved {

// Consumes one allocation; true when this one must fail.
bool ConsumeAllocationFault();
void CountBlock(int delta);

}  // namespace voved
