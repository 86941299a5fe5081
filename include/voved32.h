/*
 * voved32.h - the public interface of the Voved32 photo auto-correction library.
 *
 * This is the only header an application needs. It works from C and C++.
 *
 * A job runs on a correction context that the library allocates and the
 * caller holds through a QVHandle record:
 *
 *   one-shot:   QVAlloc
 *               QVHistogram once per picture line (or on several contexts,
 *                 merged with QVMargeHisto)
 *               QVExtension (mode word, tone parameter table, camera model)
 *               QVCalculate
 *               QVCorrection once per picture line, in order
 *               QVFree
 *
 *   streaming:  ... QVCalculate as above (when correcting), then
 *               QVInitImageConversion
 *               QVCorrection2 repeatedly, following the step protocol below
 *               QVTerminateImageConversion
 *               QVFree
 *
 * Every entry point but QVCorrection2 returns a QVResult; QVCorrection2
 * returns step codes. Calls on one context must not overlap; calls on
 * different contexts may run on different threads at once.
 *
 * Pixel runs are (pointer, count, step): the step is the signed distance in
 * bytes from one pixel to the next. Only the first three bytes (or the first
 * 16-bit word for QV_PIXEL_RGB555) of each pixel are read or written by the
 * pixel loops; a fourth byte passes through untouched.
 */
#ifndef VOVED32_H
#define VOVED32_H

#include <stddef.h> /* NULL, for the optional pointer arguments */
#include <stdint.h>

/* ---- Calling convention and export ------------------------------------ */

/* The entry points use the __stdcall convention of the 32-bit Windows DLL;
 * elsewhere the platform's default. */
#if defined(_WIN32)
#define QV_CALL __stdcall
#else
#define QV_CALL
#endif

/* Exports: the Windows DLL exports by its .def file; on other platforms
 * everything but the entry points is hidden. */
#if !defined(_WIN32) && defined(VOVED32_BUILDING) && (defined(__GNUC__) || defined(__clang__))
#define QV_API __attribute__((visibility("default")))
#else
#define QV_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Handles ----------------------------------------------------------- */

/* A caller-held record that owns one library memory block. The caller
 * provides the storage; the library fills and empties it. An empty handle
 * has all three fields 0. */
typedef struct QVHandle {
    void* block;       /* the locked block; null when the handle is empty */
    uint32_t reserved; /* always 0 */
    uint16_t state;    /* 0 */
} QVHandle;

/* ---- Context record ----------------------------------------------------- */

/* Statistics kept for one luminance level. */
typedef struct QVLevelBin {
    uint32_t runByLevel;  /* short equal-luminance runs, at the run's level */
    uint32_t chromaCount; /* pixels summed into sumRY / sumBY */
    uint32_t runByMean;   /* short runs, at the mean of R, G, B of the closing pixel */
    uint32_t radiusCount; /* sampled pixels of this chroma radius (indexed by radius) */
    int32_t sumRY;        /* sum of R - Y */
    int32_t sumBY;        /* sum of B - Y */
} QVLevelBin;

/* The context behind a handle (handle.block, once QVAlloc succeeded). The
 * layout is fixed; applications may read the derived parameters from it
 * (after QVCalculate) but must never write to it. */
typedef struct QVContext {
    uint16_t magic; /* "QV" */
    uint16_t flags; /* QV_FLAG_* */
    QVLevelBin levelStats[256];
    int16_t colourMatrix[9]; /* row-major, 1024 = 1.0, on (R-Y, B-Y, Y) */
    int16_t toneCurve[300];  /* output level per input level 0..299 */
    int16_t shadowCastRY;
    int16_t shadowCastBY;
    uint8_t blackLevel;      /* black-point luminance level */
    uint8_t whiteLevel;      /* white-point luminance level */
    int16_t sceneCode;       /* 5000 (none) or a scene class 5101..5140 */
    int16_t correctionType;  /* 5000 none, 5001 rotation, 5002 bright scene, 5003 stretch */
    uint32_t hueCounts[360]; /* sampled pixels per hue degree */
    uint16_t saturationGain; /* 1024 = 1.0 */
    uint16_t histogramCalls; /* QVHistogram calls, wrapping */
    uint8_t toneTable[256];  /* tone table of QV_MODE_BYTE_TABLE */

    /* One-shot correction: line history and filtered line. */
    QVHandle historyHandle0;
    QVHandle historyHandle1;
    QVHandle historyHandle2;
    QVHandle filteredHandle;
    int16_t* historyLine0;
    int16_t* historyLine1;
    int16_t* historyLine2;
    int16_t* filteredLine;
    uint16_t historyWidth;
    uint16_t historyCount;
    uint16_t historyPhase;
    uint16_t lineCounter;

    /* Streaming conversion buffers. */
    QVHandle ringHandle[5];
    QVHandle resultLineHandle;
    QVHandle heldInputHandle;
    QVHandle heldOutputHandle;
    int16_t* ringLine[5];
    uint8_t* heldInputLine;
    uint8_t* heldOutputLine;
    int16_t* resultLine;

    /* Streaming conversion sizes and counters. */
    uint16_t imageWidth;
    uint16_t imageLines;
    uint16_t workWidth;
    uint16_t workLines;
    int16_t resolutionScale;
    uint16_t mode; /* mode word in force */
    uint16_t lineStep;
    int16_t ringPhase;
    uint16_t inputLineNo;
    int16_t inputMapped;
    uint16_t outputRowNo;
    int16_t outputMapped;
    int16_t outputRepeats;
    uint16_t heldResult;
    int16_t inputRepeats;

    /* Colour cache of the one-shot correction (type 5001). */
    uint8_t cacheKey[4];
    uint8_t cacheRed;
    uint8_t cacheGreen;
    uint8_t cacheBlue;

    int16_t highlightLevel; /* first toneCurve index reaching 255; 0 when none */
    const uint8_t* toneParameters;
    uint16_t correctionMask; /* corrections still allowed */
    QVHandle auxBlock;
    uint32_t cameraModelSet;
    char cameraModel[260];

    /* Streaming conversion: 1 once QVCorrection2 has answered QV_STEP_LAST in
     * a pipeline that gives later calls no result; 0 when a conversion opens. */
    uint16_t conversionDone;
} QVContext;

/* ---- Result codes (QVResult) ------------------------------------------ */

typedef int16_t QVResult;

#define QV_RESULT_OK 0           /* success */
#define QV_RESULT_NO_MEMORY (-1) /* a memory block cannot be allocated */
#define QV_RESULT_INVALID (-2)   /* missing or invalid context */
#define QV_RESULT_NOT_DERIVED                                                                      \
    (-3)                             /* a precondition is missing: QVExtension not called          \
                                        (QVCalculate), or no derived parameters                    \
                                        (QVCorrection), or an unknown pixel layout */
#define QV_RESULT_NO_CORRECTION (-4) /* QVCalculate: no usable correction for the mode */
#define QV_RESULT_TONE_ONLY                                                                        \
    (-5) /* QVCalculate: no colour correction, but the                                             \
            tone table was built */

/* ---- Context flags ------------------------------------------------------ */

#define QV_FLAG_VALID 0x0001u     /* set by QVAlloc; cleared when freed or merged */
#define QV_FLAG_EXTENSION 0x0002u /* set by QVExtension */
#define QV_FLAG_DERIVED 0x0004u   /* set by QVCalculate when parameters exist */

/* ---- Mode word bits ----------------------------------------------------- */

#define QV_MODE_SHARPEN 0x0001u    /* streaming: resample and sharpen */
#define QV_MODE_TONE 0x0004u       /* streaming: tone to one hue (or grey) */
#define QV_MODE_BYTE_TABLE 0x2000u /* build and apply the tone table */
#define QV_MODE_DENOISE 0x4000u    /* streaming: chroma noise filter */
#define QV_MODE_CORRECT 0x8000u    /* colour and level correction */

/* ---- Pixel layouts ------------------------------------------------------ */

#define QV_PIXEL_BGR 0 /* byte 0 blue, byte 1 green, byte 2 red */
#define QV_PIXEL_RGB 3 /* byte 0 red, byte 1 green, byte 2 blue */
#define QV_PIXEL_RGB555                                                                            \
    4 /* little-endian word: red bits 10-14, green 5-9,                                            \
         blue 0-4; bit 15 kept by QVCorrection */

/* ---- Step codes of QVCorrection2 --------------------------------------- */

#define QV_STEP_TAKEN 0x0001u  /* the input line was used: present the next one */
#define QV_STEP_OUTPUT 0x0002u /* the destination holds the next output line */
#define QV_STEP_LAST 0x0004u   /* the conversion is complete */
#define QV_STEP_AGAIN 0x0010u  /* nothing taken or delivered: call again, same line */
#define QV_STEP_FAILED 0x1000u /* the call failed */

/* ---- Context lifecycle -------------------------------------------------- */

/* Allocates a fresh context into *handle (whatever it held is overwritten).
 * Returns 0, or -1 when memory runs out (the handle is left empty). */
QV_API QVResult QV_CALL QVAlloc(QVHandle* handle);

/* Configures the context: the mode word (low 16 bits of `mode`), the
 * caller's tone parameter table (kept by pointer: it must stay alive until
 * QVCalculate returns; its first two bytes give its length, which is all the
 * library will ever read of it), and the camera model passed to the
 * camera-properties plug-in (copied; at most 259 characters are kept; null
 * or "" means none). Resets the mask of allowed corrections. `reserved` is
 * ignored. Returns 0 or -2. */
QV_API QVResult QV_CALL QVExtension(QVHandle* handle, uint32_t mode, const void* parameters,
                                    const char* cameraModel, uint32_t reserved);

/* Frees the context and the line buffers of QVCorrection, and empties the
 * handle. A second QVFree on the same handle returns -2. Returns 0 or -2. */
QV_API QVResult QV_CALL QVFree(QVHandle* handle);

/* ---- Statistics --------------------------------------------------------- */

/* Adds a run of `count` pixels (normally one picture line) to the context's
 * colour statistics. `type` is a QV_PIXEL_* layout. `reserved` is ignored.
 * Returns 0, -2 (invalid context) or -3 (unknown layout).
 *
 * Besides every pixel, about 81 pixels of every stride-th call on a context
 * are sampled, stride = count / 81 + 1, counted by the context's calls. To
 * split a picture over several contexts merged with QVMargeHisto and get
 * the statistics of one pass, give each context whole blocks of stride
 * lines that start at multiples of stride (a call with count 0 reads nothing
 * and only counts, to bring a context back onto the grid after a short
 * block). */
QV_API QVResult QV_CALL QVHistogram(QVHandle* handle, const uint8_t* pixels, uint16_t count,
                                    int16_t step, int16_t type, uint32_t reserved);

/* Adds the statistics of `source` to `target`, then frees the source
 * context and empties its handle. Returns 0 or -2 (either invalid, or both
 * the same context). */
QV_API QVResult QV_CALL QVMargeHisto(QVHandle* target, QVHandle* source);

/* ---- Analysis ----------------------------------------------------------- */

/* Derives the correction parameters from the statistics and the settings of
 * QVExtension. `reserved` is ignored. Returns 0 when the colour correction
 * (QV_MODE_CORRECT) is ready; -5 when only the tone table could be built;
 * -4 when nothing usable was found for the mode; -3 when QVExtension was
 * never called; -1 out of memory; -2 invalid context. */
QV_API QVResult QV_CALL QVCalculate(QVHandle* handle, uint32_t reserved);

/* ---- One-shot correction ------------------------------------------------ */

/* Corrects one picture line from `source` into `destination` (which may be
 * the same buffer). Call it once per line, in order, with the same
 * `pixelCount` and the picture's `lineCount` every time. Returns 0; -2
 * invalid context; -3 parameters not derived, or unknown layout; -1 when
 * `destination` is null (or `source`, for a non-empty line). Nothing is
 * changed on a failure. */
QV_API QVResult QV_CALL QVCorrection(QVHandle* handle, const uint8_t* source, uint8_t* destination,
                                     uint16_t pixelCount, uint16_t lineCount, int16_t step,
                                     int16_t layout);

/* ---- Streaming conversion ---------------------------------------------- */

/* Opens a streaming conversion of an image of `imageWidth` x `imageLines`
 * pixels with the mode `requestedMode` (narrowed by what QVCalculate
 * allowed). With QV_MODE_SHARPEN, the image is worked on at the size where
 * imageWidth x resolutionScale / outputWidth lies between 300 and 700
 * (outputWidth 0: no resampling). `reservedArg` is not read. Returns 0, -1
 * (out of memory) or -2 (invalid context, or nothing left to do). */
QV_API QVResult QV_CALL QVInitImageConversion(QVHandle* handle, uint16_t imageWidth,
                                              uint16_t imageLines, uint16_t outputWidth,
                                              uint32_t reservedArg, int16_t resolutionScale,
                                              uint16_t requestedMode);

/* One step of an open conversion. Present the input lines in order and
 * output buffers in order:
 *   QV_STEP_FAILED: stop.
 *   QV_STEP_OUTPUT set: the destination holds the next output line; move on
 *                       to the next output buffer.
 *   QV_STEP_TAKEN set:  move on to the next input line (after the last one,
 *                       keep presenting the last one).
 *   QV_STEP_LAST set:   the conversion is complete; otherwise call again.
 *   QV_STEP_AGAIN:      call again with the same lines.
 * Output lags input by up to two lines. `toneHue` is the hue in degrees for
 * QV_MODE_TONE (negative: grey); `sharpenLevel` runs from -1 (strongest) to
 * 3 (gentlest). A null `source` or `destination` gets QV_STEP_FAILED and
 * changes nothing. */
QV_API uint16_t QV_CALL QVCorrection2(QVHandle* handle, const uint8_t* source, uint8_t* destination,
                                      uint16_t pixelCount, int16_t step, int16_t layout,
                                      int16_t toneHue, int16_t sharpenLevel);

/* Closes a conversion and releases its buffers. Returns 0 or -2. */
QV_API QVResult QV_CALL QVTerminateImageConversion(QVHandle* handle);

#ifdef __cplusplus
}
#endif

#endif /* VOVED32_H */
