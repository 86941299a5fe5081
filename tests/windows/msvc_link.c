/* Linked through the MSVC import library Voved32.lib (clang for
 * i686-pc-windows-msvc and lld-link, no C runtime): the decorated __stdcall
 * names the compiler references (_QVAlloc@4, ...) must reach the DLL's
 * undecorated exports, and the callee must pop what the caller pushed. The
 * exit status is 0 when each call answers as voved32.h documents, else the
 * number of the first call that did not. */
#include <voved32.h>

static const uint8_t kGreyLine[4 * 3] = {90, 90, 90, 90, 90, 90, 90, 90, 90, 90, 90, 90};

int __stdcall start(void) {
    QVHandle handle;
    if (QVAlloc(&handle) != QV_RESULT_OK || handle.block == NULL)
        return 1;
    if (QVHistogram(&handle, kGreyLine, 4, 3, QV_PIXEL_RGB, 0) != QV_RESULT_OK)
        return 2;
    if (QVHistogram(&handle, kGreyLine, 4, 3, 99, 0) != QV_RESULT_NOT_DERIVED)
        return 3; /* an unknown layout */
    if (QVCalculate(&handle, 0) != QV_RESULT_NOT_DERIVED)
        return 4; /* QVExtension was never called */
    if (QVFree(&handle) != QV_RESULT_OK)
        return 5;
    if (QVFree(&handle) != QV_RESULT_INVALID)
        return 6; /* the second QVFree */
    return 0;
}
