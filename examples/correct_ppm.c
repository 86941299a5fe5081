/* correct_ppm IN.ppm OUT.ppm: corrects a binary 8-bit PPM (P6) picture with
 * correct_picture (correct_picture.c) and writes the result as P6. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <voved32.h>

int correct_picture(uint8_t* pixels, uint16_t width, uint16_t lines, int stride);

/* The next number of a PPM header, after blanks and # comments. */
static int read_number(FILE* in, unsigned long* value) {
    int c = fgetc(in);
    while (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '#') {
        if (c == '#')
            while (c != '\n' && c != EOF)
                c = fgetc(in);
        c = fgetc(in);
    }
    if (c < '0' || c > '9')
        return 0;
    *value = 0;
    while (c >= '0' && c <= '9' && *value <= 65535) {
        *value = *value * 10 + (unsigned long)(c - '0');
        c = fgetc(in);
    }
    return *value <= 65535; /* one blank after the last number is consumed */
}

static int fail(const char* what, const char* name) {
    fprintf(stderr, "correct_ppm: %s: %s\n", name, what);
    return 1;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: correct_ppm IN.ppm OUT.ppm\n");
        return 2;
    }
    FILE* in = fopen(argv[1], "rb");
    if (!in)
        return fail("cannot open", argv[1]);
    unsigned long width, lines, maxval;
    if (fgetc(in) != 'P' || fgetc(in) != '6' || !read_number(in, &width) ||
        !read_number(in, &lines) || !read_number(in, &maxval) || maxval != 255 || width == 0)
        return fail("not an 8-bit binary PPM of at most 65535 x 65535 pixels", argv[1]);
    size_t stride = (size_t)width * 3;
    uint8_t* pixels = malloc(stride * lines);
    if (!pixels || fread(pixels, stride, lines, in) != lines)
        return fail("cannot read", argv[1]);
    fclose(in);

    int r = correct_picture(pixels, (uint16_t)width, (uint16_t)lines, (int)stride);
    printf("%s: result %d%s\n", argv[1], r, r == QV_RESULT_OK ? " (corrected)" : "");
    if (r != QV_RESULT_OK && r != QV_RESULT_NO_CORRECTION && r != QV_RESULT_TONE_ONLY)
        return fail("the correction failed", argv[1]);

    FILE* out = fopen(argv[2], "wb");
    if (!out)
        return fail("cannot create", argv[2]);
    fprintf(out, "P6\n%lu %lu\n255\n", width, lines);
    if (fwrite(pixels, stride, lines, out) != lines || fclose(out) != 0)
        return fail("cannot write", argv[2]);
    free(pixels);
    return 0;
}
