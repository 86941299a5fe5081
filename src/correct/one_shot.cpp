// The one-shot correction: one picture line per call, in order.
//
// The context keeps up to three earlier lines in the working form, so the
// chroma noise filter can smooth the colour of the new line against the
// lines above it before the colour correction reads it. Type 5001 also
// keeps a one-entry colour cache across calls, which makes flat areas cheap.
#include "correct/one_shot.h"

#include <cstddef>
#include <cstring>

#include "context/handles.h"
#include "correct/byte_runs.h"
#include "correct/correction_core.h"
#include "correct/pixel_lanes.h"
#include "correct/rotation_lanes.h"
#include "correct/shared_steps.h"
#include "filters/chroma_denoise.h"
#include "pixels/layout_dispatch.h"
#include "pixels/pixels.h"
#include "platform/plain_paths.h"

namespace voved {

namespace {

constexpr int kHistorySlots = 3;

// ---- Copy path (no colour correction asked for) --------------------------------

int16_t CopyLine(const QVContext* context, const PixelRun& run) {
    if (run.layout != kLayoutRgb555 && (context->mode & kModeByteTable) != 0) {
        ApplyToneTable(context, run.source, run.destination, run.count, run.step);
        return QV_RESULT_OK;
    }
    if (run.destination == run.source) {
        return QV_RESULT_OK;
    }
    // Every byte of the run, a fourth byte of 4-byte pixels included.
    ForEachRunSpan(run.count, run.step, [&](std::ptrdiff_t offset, uint32_t bytes) {
        std::memmove(run.destination + offset, run.source + offset, bytes);
    });
    return QV_RESULT_OK;
}

// ---- Line history ----------------------------------------------------------

// The four line blocks in their order: three history lines, then the
// filtered line.
struct LineBlocks {
    QVHandle* handle[4];
};
LineBlocks BlocksOf(QVContext* c) {
    return {{&c->historyHandle0, &c->historyHandle1, &c->historyHandle2, &c->filteredHandle}};
}

// A new width releases the blocks and allocates them again; a failed
// allocation leaves all four empty, so this width runs without history.
void ResizeHistory(QVContext* c, uint16_t width) {
    c->historyWidth = width;
    const LineBlocks blocks = BlocksOf(c);
    for (QVHandle* h : blocks.handle) {
        if (h->block != nullptr) {
            ReleaseBlock(h);
        }
    }
    c->historyCount = 0;
    for (int k = 0; k < 4; ++k) {
        if (AttachBlock(WorkLineBytes(width), blocks.handle[k]) != QV_RESULT_OK) {
            for (int j = 0; j < k; ++j) {
                ReleaseBlock(blocks.handle[j]);
            }
            return;
        }
    }
}

// Whether the history can be used for this call.
bool HistoryReady(QVContext* c) {
    c->historyLine0 = static_cast<int16_t*>(c->historyHandle0.block);
    c->historyLine1 = static_cast<int16_t*>(c->historyHandle1.block);
    c->historyLine2 = static_cast<int16_t*>(c->historyHandle2.block);
    c->filteredLine = static_cast<int16_t*>(c->filteredHandle.block);
    return c->historyLine0 != nullptr && c->historyLine1 != nullptr && c->historyLine2 != nullptr &&
           c->filteredLine != nullptr;
}

// Once the history is full, the new line replaces the oldest one:
// slots by phase, and the phase that follows.
struct Rotation {
    int newest;
    int previous;
    int oldest;
    uint16_t next;
};
// clang-format off
constexpr Rotation kRotation[kHistorySlots] = {
    {2, 1, 0, 1},
    {0, 2, 1, 2},
    {1, 0, 2, 0},
};
// clang-format on

void RestartHistory(QVContext* c) {
    c->historyCount = 0;
    c->historyPhase = 0;
}

// Converts the source line into the history and filters it into the
// filtered line, which the pixel loop then reads. A filter that refuses the
// line leaves the filtered line to the plain conversion of the source line.
void FilterIntoHistory(QVContext* c, const PixelRun& run) {
    const uint16_t n = run.count;
    const int16_t level = c->highlightLevel;
    int16_t* const filtered = c->filteredLine;
    int16_t* const slot[kHistorySlots] = {c->historyLine0, c->historyLine1, c->historyLine2};
    const auto convertInto = [&](int16_t* line) {
        PixelsToWorkLine(run.source, line, n, run.step, run.layout);
    };

    switch (c->historyCount) {
    case 0:
        convertInto(slot[0]);
        if (ChromaDenoise1(n, level, filtered, slot[0]) == kFilterDone) {
            c->historyCount = 1;
        } else {
            convertInto(filtered);
        }
        return;
    case 1: {
        convertInto(slot[1]);
        const int16_t r = ChromaDenoise2(n, level, filtered, slot[1], slot[0]);
        if (r == kFilterDone) {
            c->historyCount = 2;
        } else {
            if (r != kFilterAlone) {
                convertInto(filtered);
            }
            c->historyCount = 0;
        }
        return;
    }
    default:
        break;
    }

    if (c->historyCount != 2 || c->historyPhase >= kHistorySlots) {
        convertInto(filtered);
        RestartHistory(c);
        return;
    }
    const Rotation& rot = kRotation[c->historyPhase];
    convertInto(slot[rot.newest]);
    const int16_t r =
        ChromaDenoise3(n, level, filtered, slot[rot.newest], slot[rot.previous], slot[rot.oldest]);
    if (r == kFilterDone) {
        c->historyPhase = rot.next;
    } else {
        if (r != kFilterAlone) {
            convertInto(filtered);
        }
        RestartHistory(c);
    }
}

// Prepares the input of the pixel loop: the filtered working line, or null
// when the line runs without history.
const int16_t* PrepareInput(QVContext* c, const PixelRun& run, uint16_t lineCount) {
    if (run.count != c->historyWidth) {
        ResizeHistory(c, run.count);
    }
    const int16_t* input = nullptr;
    if (HistoryReady(c)) {
        FilterIntoHistory(c, run);
        input = c->filteredLine;
    }
    c->lineCounter = u16(c->lineCounter + 1);
    if (c->lineCounter == lineCount) {
        c->lineCounter = 0;
        RestartHistory(c);
    }
    return input;
}

// ---- Pixel loop --------------------------------------------------------------

ConstWorkLine FilteredPlanes(const int16_t* filtered, uint16_t count) {
    return filtered != nullptr ? Planes(filtered, count) : ConstWorkLine{};
}

// The correction input of pixel i: the filtered sample, or the plain
// transform of the source pixel without history.
Sample InputSample(const ConstWorkLine& f, bool filtered, uint32_t i, const Rgb& source) {
    return filtered ? Sample{f.y[i], f.dr[i], f.db[i]}
                    : ForwardTransform(source.r, source.g, source.b);
}

// The one-entry colour cache of type 5001: the last source colour computed
// (as read, 5-bit channels expanded) and the colour written for it.
struct ColourCache {
    Rgb key;
    Rgb value;

    bool Holds(const Rgb& c) const { return c.r == key.r && c.g == key.g && c.b == key.b; }

    static ColourCache Load(const QVContext& ctx) {
        return {{ctx.cacheKey[0], ctx.cacheKey[1], ctx.cacheKey[2]},
                {ctx.cacheRed, ctx.cacheGreen, ctx.cacheBlue}};
    }
    void Store(QVContext& ctx) const {
        ctx.cacheKey[0] = u8(key.r);
        ctx.cacheKey[1] = u8(key.g);
        ctx.cacheKey[2] = u8(key.b);
        ctx.cacheKey[3] = 0;
        ctx.cacheRed = u8(value.r);
        ctx.cacheGreen = u8(value.g);
        ctx.cacheBlue = u8(value.b);
    }
};

// Types 5001 (with the cache) and 5002 (the fixed output curve lies in the
// core): near-white source pixels are written white.
template <bool kCached, class Layout>
void CorrectRotated(QVContext* c, const PixelRun& run, const int16_t* filtered, Layout layout) {
    const PixelCorrection core(*c);
    const ConstWorkLine f = FilteredPlanes(filtered, run.count);
    ColourCache cache = ColourCache::Load(*c);
    const uint8_t* s = run.source;
    uint8_t* d = run.destination;
    for (uint32_t i = 0; i < run.count; ++i) {
        const Rgb source = ReadPixel(s, layout);
        const uint16_t bit15 = ReadBit15(s, layout);
        Rgb out;
        if (source.r + source.g + source.b > kNearWhiteSum) {
            out = kWhite;
        } else if (kCached && cache.Holds(source)) {
            out = cache.value;
        } else {
            const Sample in = InputSample(f, filtered != nullptr, i, source);
            out = core.Output(core.Matrix(in.y, in.dr, in.db));
            cache = {source, out};
        }
        WriteColour(d, layout, out, bit15);
        s = Advance(s, run.step);
        d = Advance(d, run.step);
    }
    if (kCached) {
        cache.Store(*c);
    }
}

// `condition ? ifTrue : ifFalse` by a mask, so that no compiler turns it
// into a branch.
constexpr uint32_t Select(bool condition, uint32_t ifTrue, uint32_t ifFalse) {
    const uint32_t mask = 0u - static_cast<uint32_t>(condition);
    return ifFalse ^ ((ifFalse ^ ifTrue) & mask);
}

constexpr uint32_t kCachedGroup = 8;

// The cache loop's groups of eight in AVX2 lanes, for 3- and 4-byte pixels
// with a positive step; returns how many pixels were corrected (0 elsewhere).
template <class Layout>
uint32_t CachedLanes([[maybe_unused]] const uint8_t* s, [[maybe_unused]] uint8_t* d,
                     [[maybe_unused]] uint32_t count, [[maybe_unused]] uint32_t lineLeft,
                     [[maybe_unused]] int16_t step, [[maybe_unused]] Layout layout,
                     [[maybe_unused]] const uint32_t* prepared, [[maybe_unused]] uint32_t* key,
                     [[maybe_unused]] uint32_t* value) {
#if defined(VOVED_HAVE_AVX2_PATH)
    if ((layout == kLayoutBgr || layout == kLayoutRgb) && HasAvx2()) {
        return CorrectCachedLanesAvx2(s, d, count, lineLeft, step, layout == kLayoutBgr, prepared,
                                      key, value);
    }
#endif
    return 0;
}

// Type 5001 over colours prepared a batch at a time from the filtered line.
// The cache and the near-white test still decide pixel by pixel, but on
// colours packed into words, and the cache's test selects rather than
// branches: whether neighbouring pixels of a photo repeat a colour follows
// no pattern a branch predictor could learn (near-white pixels are rare).
// A hit leaves the cache as it was, which is what storing the source and
// its output again does.
template <class Layout>
void CorrectCachedBatched(QVContext* c, const PixelRun& run, const int16_t* filtered,
                          Layout layout) {
    const ConstWorkLine f = Planes(filtered, run.count);
    const ColourCache loaded = ColourCache::Load(*c);
    uint32_t key = Pack(loaded.key);
    uint32_t value = Pack(loaded.value);
    RotatedBatch batch;
    uint32_t prepared[kRotationBatch];
    const uint32_t total = run.count;
    const int16_t step = run.step;
    const uint8_t* s = run.source;
    uint8_t* d = run.destination;
    for (uint32_t first = 0; first < total; first += kRotationBatch) {
        const uint32_t count = total - first < kRotationBatch ? total - first : kRotationBatch;
        PrepareRotatedBatch(*c, f, first, count, &batch);
        for (uint32_t k = 0; k < count; ++k) {
            prepared[k] = Pack({batch.r[k], batch.g[k], batch.b[k]});
        }
        for (uint32_t k = 0; k < count;) {
            // Groups in lanes where the processor has them, then one group
            // (the one with a near-white pixel, or the tail) pixel by pixel.
            const uint32_t done = CachedLanes(s, d, count - k, total - first - k, step, layout,
                                              prepared + k, &key, &value);
            s += static_cast<std::ptrdiff_t>(step) * done;
            d += static_cast<std::ptrdiff_t>(step) * done;
            k += done;
            const uint32_t group = k + kCachedGroup < count ? k + kCachedGroup : count;
            for (; k < group; ++k) {
                const Rgb source = ReadPixel(s, layout);
                const uint16_t bit15 = ReadBit15(s, layout);
                const uint32_t sourceWord = Pack(source);
                const bool white = source.r + source.g + source.b > kNearWhiteSum;
                const uint32_t out = Select(sourceWord == key, value, prepared[k]);
                key = white ? key : sourceWord;
                value = white ? value : out;
                WriteColour(d, layout, Unpack(white ? kPackedWhite : out), bit15);
                s = Advance(s, step);
                d = Advance(d, step);
            }
        }
    }
    ColourCache{Unpack(key), Unpack(value)}.Store(*c);
}

// Type 5002 (no cache; the fixed output curve) over prepared batches.
template <class Layout>
void CorrectBrightBatched(const QVContext* c, const PixelRun& run, const int16_t* filtered,
                          Layout layout) {
    const ConstWorkLine f = Planes(filtered, run.count);
    RotatedBatch batch;
    const uint8_t* s = run.source;
    uint8_t* d = run.destination;
    for (uint32_t first = 0; first < run.count; first += kRotationBatch) {
        const uint32_t count =
            run.count - first < kRotationBatch ? run.count - first : kRotationBatch;
        PrepareRotatedBatch(*c, f, first, count, &batch);
        for (uint32_t k = 0; k < count; ++k) {
            const Rgb source = ReadPixel(s, layout);
            const uint16_t bit15 = ReadBit15(s, layout);
            const Rgb out = source.r + source.g + source.b > kNearWhiteSum
                                ? kWhite
                                : RotatedOutput(batch, k, true);
            WriteColour(d, layout, out, bit15);
            s = Advance(s, run.step);
            d = Advance(d, run.step);
        }
    }
}

// Every other type: each channel through the tone curve.
template <class Layout>
void CorrectChannels(const QVContext* c, const PixelRun& run, const int16_t* filtered,
                     Layout layout) {
    const PixelCorrection core(*c);
    const ConstWorkLine f = FilteredPlanes(filtered, run.count);
    const uint8_t* s = run.source;
    uint8_t* d = run.destination;
    for (uint32_t i = 0; i < run.count; ++i) {
        const Rgb source = ReadPixel(s, layout);
        const uint16_t bit15 = ReadBit15(s, layout);
        const Rgb in = filtered != nullptr ? InverseTransform(f.y[i], f.dr[i], f.db[i]) : source;
        WriteColour(d, layout, core.Channels(in), bit15);
        s = Advance(s, run.step);
        d = Advance(d, run.step);
    }
}

template <class Layout>
void CorrectPixelsIn(QVContext* c, const PixelRun& run, const int16_t* filtered, Layout layout) {
    // Batches need the filtered line; lines without history run pixel by pixel.
    const bool batched = filtered != nullptr && !UsePlainPaths();
    switch (c->correctionType) {
    case kTypeRotation:
        batched ? CorrectCachedBatched(c, run, filtered, layout)
                : CorrectRotated<true>(c, run, filtered, layout);
        break;
    case kTypeBrightRotation:
        batched ? CorrectBrightBatched(c, run, filtered, layout)
                : CorrectRotated<false>(c, run, filtered, layout);
        break;
    default:
        CorrectChannels(c, run, filtered, layout);
        break;
    }
}

// The pixel loops specialised by layout; the plain form reads the layout
// at every pixel.
void CorrectPixels(QVContext* c, const PixelRun& run, const int16_t* filtered) {
    if (UsePlainPaths()) {
        CorrectPixelsIn(c, run, filtered, run.layout);
        return;
    }
    WithLayout(run.layout, [&](auto code) { CorrectPixelsIn(c, run, filtered, code); });
}

bool PointersUsable(const PixelRun& run) {
    return run.destination != nullptr && (run.source != nullptr || run.count == 0);
}

}  // namespace

int16_t CorrectLine(QVContext* context, const PixelRun& run, uint16_t lineCount) {
    if ((context->flags & kFlagDerived) == 0 || !IsKnownLayout(run.layout)) {
        return QV_RESULT_NOT_DERIVED;
    }
    if (!PointersUsable(run)) {
        return QV_RESULT_NO_MEMORY;
    }
    if ((context->mode & kModeCorrect) == 0) {
        return CopyLine(context, run);
    }
    const int16_t* input = PrepareInput(context, run, lineCount);
    CorrectPixels(context, run, input);
    if ((context->mode & kModeByteTable) != 0 && run.layout != kLayoutRgb555) {
        ApplyToneTable(context, run.destination, run.destination, run.count, run.step);
    }
    return QV_RESULT_OK;
}

}  // namespace voved
