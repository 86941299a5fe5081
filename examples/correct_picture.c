#include <voved32.h>

/* pixels: `lines` rows of `width` RGB pixels, `stride` bytes apart. */
int correct_picture(uint8_t* pixels, uint16_t width, uint16_t lines, int stride) {
    QVHandle handle;
    if (QVAlloc(&handle) != QV_RESULT_OK)
        return -1;

    for (uint16_t y = 0; y < lines; ++y)
        QVHistogram(&handle, pixels + y * stride, width, 3, QV_PIXEL_RGB, 0);

    QVExtension(&handle, QV_MODE_CORRECT, NULL, NULL, 0);
    QVResult r = QVCalculate(&handle, 0);
    if (r == QV_RESULT_OK) {
        for (uint16_t y = 0; y < lines; ++y)
            QVCorrection(&handle, pixels + y * stride, pixels + y * stride, width, lines, 3,
                         QV_PIXEL_RGB);
    }
    QVFree(&handle);
    return r;
}
