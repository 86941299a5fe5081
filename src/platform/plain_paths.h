// The switch between the optimised inner loops and their plain forms.
//
// Every optimised routine keeps the straightforward loop it replaced; both
// give the same bytes. Setting VOVED_FORCE_PLAIN=1 in the environment makes
// the library run the plain loops, so the whole test suite can be run once
// each way; the differential tests flip the switch directly.
#pragma once

namespace voved {

// Whether the plain loops are in force: VOVED_FORCE_PLAIN=1, read once, or
// the last ForcePlainPaths call.
bool UsePlainPaths();

// Test support, never exported from the shared library.
void ForcePlainPaths(bool plain);

}  // namespace voved
