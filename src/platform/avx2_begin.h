// Compiles the functions that follow for AVX2: a function-level target,
// never -march, so the rest of the library keeps its baseline. Include it
// only where VOVED_HAVE_AVX2_PATH is defined (platform/plain_paths.h), and
// after every header other files share: an inline function of such a header
// compiled inside the region would be an AVX2 copy the linker may pick for
// the whole program. Close the region with platform/avx2_end.h. No include
// guard: it opens one region per include.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

#include <immintrin.h>
