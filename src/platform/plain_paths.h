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

#if defined(__x86_64__) && !defined(_WIN32) && (defined(__GNUC__) || defined(__clang__))
// Loops in AVX2 lanes, chosen at run time and compiled with a function-level
// target (never -march): built for 64-bit x86 outside Windows only, since
// 32-bit Windows code cannot rely on the 32-byte stack alignment AVX spills
// need.
#define VOVED_HAVE_AVX2_PATH 1
// Whether the processor has AVX2 (asked once).
bool HasAvx2();
#endif

}  // namespace voved
