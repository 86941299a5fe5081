// The whole C interface driven by a program read from the input: the ten
// entry points called in any order on live, stale, freed, merged, null and
// never-allocated handles, with any widths, counts, steps (negative ones
// too), layouts, modes, hues, sharpening levels and pixel data, and the
// one-shot and streaming protocols followed, broken off or driven out of
// order. Pixel buffers hold exactly the bytes a run spans.
//
// Besides crashes and sanitizer reports, the harness checks what a host
// application relies on:
//  - a handle without a live context gets -2 (QVCorrection2: 0x1000), and
//    a live one is refused only where the interface says so;
//  - a call that reports bad input (-1 or -3 from QVHistogram, QVCorrection
//    or QVCalculate, -2 from QVMargeHisto on one context) changes nothing,
//    neither the context nor the destination pixels;
//  - result codes stay within their sets;
//  - once the program's contexts are closed and freed, no library block is
//    left, and the blocks of dead contexts were never written.
//
// A stale handle is the caller's copy of a record whose context was freed
// through another record. The harness points it at a block that still holds
// a context with its valid flag cleared, as freed memory that is still
// mapped would (reading really freed memory is outside any contract).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

#include "fuzz_input.h"
#include "fuzz_pixels.h"
#include "platform/platform.h"
#include "voved32.h"

namespace voved::fuzz {
namespace {

constexpr int kSlots = 4;
constexpr int kAliases = 2;
constexpr int kOperations = 200;
// Pixels the library may touch in one input; the program stops beyond it.
constexpr uint64_t kPixelBudget = uint64_t{1} << 20;
constexpr uint32_t kMaxPictureLines = 64;
constexpr uint16_t kMaxPictureWidth = 1024;
constexpr int kMaxDriveCalls = 320;
constexpr uint16_t kMagic = 0x5651;  // "QV"

enum class Op : uint8_t {
    Alloc,
    Extension,
    Free,
    Histogram,
    FeedPicture,
    Marge,
    Calculate,
    Correction,
    CorrectPicture,
    InitConversion,
    Correction2,
    DriveConversion,
    Terminate,
    Alias,
    FailAllocation,
    Count
};

bool IsResult(QVResult r) {
    return r <= 0 && r >= QV_RESULT_TONE_ONLY;
}

bool IsStepResult(uint16_t r) {
    const uint16_t bits = QV_STEP_TAKEN | QV_STEP_OUTPUT | QV_STEP_LAST;
    return r == QV_STEP_AGAIN || r == QV_STEP_FAILED || (r != 0 && (r & ~bits) == 0);
}

QVContext* ContextOf(const QVHandle* h) {
    return static_cast<QVContext*>(h->block);
}

using Snapshot = std::vector<uint8_t>;

Snapshot Copy(const void* bytes, size_t size) {
    const auto* p = static_cast<const uint8_t*>(bytes);
    return Snapshot(p, p + size);
}

bool Same(const Snapshot& s, const void* bytes) {
    return s.empty() || std::memcmp(s.data(), bytes, s.size()) == 0;
}

void* BlockOf(const QVHandle* h) {
    return h != nullptr ? h->block : nullptr;
}

// A minimal parameter table that checks out: one zone, one entry with a
// gamma of 0.8 and one gamma segment.
std::vector<uint8_t> ValidToneTable() {
    std::vector<uint8_t> t = {0, 0, 10, 60, 180, 1, 1, 1, 255, 255, 80, 255, 1};
    t.push_back(0);
    t[0] = static_cast<uint8_t>(t.size());
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < t.size(); ++i) {
        sum += t[i];
    }
    t.back() = static_cast<uint8_t>(sum & 0xFFu);
    return t;
}

class Program {
  public:
    explicit Program(FuzzInput& in) : in_(in) {
        dead_.magic = kMagic;
        dead_.flags = QV_FLAG_EXTENSION | QV_FLAG_DERIVED;  // not valid
        std::memset(&garbage_, 0xA7, sizeof garbage_);
        garbage_.magic = 0x5156;  // "VQ"
        deadCopy_ = Copy(&dead_, sizeof dead_);
        garbageCopy_ = Copy(&garbage_, sizeof garbage_);
        special_[0] = {&dead_, 0, 0};
        special_[1] = {&garbage_, 0, 0};
        special_[2] = {nullptr, 7, 9};  // never allocated: no block, odd fields
        blocksAtStart_ = LiveBlockCount();
    }

    void Run() {
        for (int i = 0; i < kOperations && !in_.Empty() && budget_ > 0; ++i) {
            const auto op = static_cast<Op>(in_.U8() % static_cast<uint8_t>(Op::Count));
            if (trace_) {
                std::fprintf(stderr, "operation %d: %d\n", i, static_cast<int>(op));
            }
            Step(op);
            MarkStaleRecords();
        }
        FailNthAllocation(0);
        FreeEverything();
    }

  private:
    // VOVED_FUZZ_TRACE=1 lists the operations of a replayed input and what
    // they answered.
    void Note(const char* call, int32_t result) const {
        if (trace_) {
            std::fprintf(stderr, "  %s -> %d\n", call, result);
        }
    }

    // ---- Handles and the harness's model of them ------------------------

    QVHandle* PickHandle() {
        const int v = in_.U8() % (kSlots + kAliases + 4);
        if (v < kSlots) {
            return &slots_[v];
        }
        if (v < kSlots + kAliases) {
            return &aliases_[v - kSlots];
        }
        if (v == kSlots + kAliases) {
            return nullptr;
        }
        return &special_[v - kSlots - kAliases - 1];
    }

    // QVAlloc writes into the record: only the caller's own records.
    QVHandle* PickOwnRecord() {
        const int v = in_.U8() % (kSlots + kAliases + 1);
        if (v < kSlots) {
            return &slots_[v];
        }
        return v < kSlots + kAliases ? &aliases_[v - kSlots] : nullptr;
    }

    bool Live(const QVHandle* h) const { return h != nullptr && live_.count(h->block) != 0; }

    Snapshot ContextSnapshot(const QVHandle* h) const {
        return Live(h) ? Copy(h->block, sizeof(QVContext)) : Snapshot{};
    }

    // A handle without a live context is refused; a live one only where the
    // call has reasons of its own.
    static void ExpectValidation(bool live, int32_t result, int32_t refused,
                                 bool liveMayBeRefused = false) {
        if (!live) {
            Require(result == refused, "a handle without a live context was accepted");
        } else if (!liveMayBeRefused) {
            Require(result != refused, "a live context was refused");
        }
    }

    // Records whose context was freed through another record become stale.
    void MarkStaleRecords() {
        for (QVHandle* group : {slots_, aliases_}) {
            const int n = group == slots_ ? kSlots : kAliases;
            for (int i = 0; i < n; ++i) {
                QVHandle& h = group[i];
                if (h.block != nullptr && live_.count(h.block) == 0 && h.block != &dead_ &&
                    h.block != &garbage_) {
                    h.block = &dead_;
                }
            }
        }
    }

    void Forget(void* context) { live_.erase(context); }

    bool Spend(uint64_t pixels) {
        if (pixels > budget_) {
            budget_ = 0;
            return false;
        }
        budget_ -= pixels;
        return true;
    }

    // ---- Arguments ---------------------------------------------------------

    int16_t PickLayout() {
        static constexpr int16_t kLayouts[] = {
            QV_PIXEL_BGR, QV_PIXEL_RGB,    QV_PIXEL_RGB555, QV_PIXEL_BGR,
            QV_PIXEL_RGB, QV_PIXEL_RGB555, 1 /* unknown */, -1};
        const int16_t layout = kLayouts[in_.U8() % 8u];
        return layout == -1 ? in_.S16() : layout;
    }

    int16_t PickStep(int16_t layout) {
        const int16_t natural = static_cast<int16_t>(PixelBytes(layout));
        switch (in_.U8() % 8u) {
        case 0:
        case 1:
            return natural;
        case 2:
            return 4;
        case 3:
            return static_cast<int16_t>(-natural);
        case 4:
            return -4;
        case 5:
            return static_cast<int16_t>(in_.U8() % 3u);  // 0, 1 or 2: overlapping pixels
        default:
            return in_.S16();
        }
    }

    uint16_t PickCount(const QVHandle* h) {
        switch (in_.U8() % 4u) {
        case 0:
            return in_.U8();
        case 1:
            return in_.U16();
        case 2:
            return Live(h) ? ContextOf(h)->imageWidth : uint16_t{0};
        default:
            return static_cast<uint16_t>(in_.U16() % 300u);
        }
    }

    // A run with exactly the bytes it spans, filled from the input or from a
    // picture generator.
    std::unique_ptr<PixelRun> MakeRun(uint16_t count, int16_t step, int16_t layout) {
        count = FitCount(count, step, layout);
        auto run = std::make_unique<PixelRun>(count, step, layout);
        if (in_.Flag()) {
            size_t taken = 0;
            const uint8_t* bytes = in_.Take(run->Size(), &taken);
            std::memcpy(run->Bytes(), bytes, taken);
        } else {
            const PictureStyle style = PictureStyle::Read(in_);
            const uint8_t line = in_.U8();
            FillLine(*run, style, line, kMaxPictureLines);
        }
        return run;
    }

    const uint8_t* PickToneTable() {
        switch (in_.U8() % 4u) {
        case 0:
            return nullptr;
        case 1:
            return KeepTable(ValidToneTable());
        default: {
            // Bytes of the input; the length field never claims more bytes
            // than the buffer holds (that is the caller's contract), and the
            // checksum is usually made to match so the tables get parsed.
            const uint8_t control = in_.U8();
            size_t taken = 0;
            const uint8_t* bytes = in_.Take(in_.U8(), &taken);
            std::vector<uint8_t> table(bytes, bytes + taken);
            table.resize(table.size() < 2 ? 2 : table.size());
            uint32_t length = table[0] | (uint32_t{table[1]} << 8);
            if (length > table.size() || (control & 1u) != 0) {
                length = static_cast<uint32_t>(table.size());
                table[0] = static_cast<uint8_t>(length & 0xFFu);
                table[1] = static_cast<uint8_t>(length >> 8);
            }
            table.resize(length < 2 ? 2 : length);
            if ((control & 2u) != 0 && length > 2) {  // not over the length field
                uint32_t sum = 0;
                for (uint32_t i = 0; i + 1 < length; ++i) {
                    sum += table[i];
                }
                table[length - 1] = static_cast<uint8_t>(sum & 0xFFu);
            }
            return KeepTable(table);
        }
        }
    }

    // The caller keeps a table alive until QVCalculate has read it: here,
    // to the end of the program, in a buffer of exactly its size.
    const uint8_t* KeepTable(const std::vector<uint8_t>& table) {
        auto kept = std::make_unique<uint8_t[]>(table.size());
        std::memcpy(kept.get(), table.data(), table.size());
        tables_.push_back(std::move(kept));
        return tables_.back().get();
    }

    const char* PickCameraModel() {
        std::vector<char> model;
        switch (in_.U8() % 4u) {
        case 0:
            return nullptr;
        case 1:
            model.push_back('\0');
            break;
        case 2: {
            size_t taken = 0;
            const uint8_t* bytes = in_.Take(in_.U16() % 301u, &taken);
            model.assign(bytes, bytes + taken);
            model.push_back('\0');
            break;
        }
        default: {
            char text[32];
            std::snprintf(text, sizeof text, "fuzz flags=0x%04x", in_.U16());
            model.assign(text, text + std::strlen(text) + 1);
            break;
        }
        }
        auto kept = std::make_unique<uint8_t[]>(model.size());
        std::memcpy(kept.get(), model.data(), model.size());
        tables_.push_back(std::move(kept));
        return reinterpret_cast<const char*>(tables_.back().get());
    }

    // ---- Operations --------------------------------------------------------

    void Step(Op op) {
        switch (op) {
        case Op::Alloc:
            return Alloc();
        case Op::Extension:
            return Extension();
        case Op::Free:
            return Free();
        case Op::Histogram:
            return Histogram();
        case Op::FeedPicture:
            return FeedPicture();
        case Op::Marge:
            return Marge();
        case Op::Calculate:
            return Calculate();
        case Op::Correction:
            return Correction();
        case Op::CorrectPicture:
            return CorrectPicture();
        case Op::InitConversion:
            return InitConversion();
        case Op::Correction2:
            return Correction2();
        case Op::DriveConversion:
            return DriveConversion();
        case Op::Terminate:
            return Terminate();
        case Op::Alias: {
            const uint8_t v = in_.U8();
            aliases_[v % kAliases] = slots_[(v >> 1u) % kSlots];
            return;
        }
        case Op::FailAllocation:
            FailNthAllocation(in_.U8() % 12);
            return;
        case Op::Count:
            return;
        }
    }

    void Alloc() {
        QVHandle* h = PickOwnRecord();
        // The record may hold a live context: QVAlloc overwrites it, and the
        // harness frees that context at the end.
        const QVResult r = QVAlloc(h);
        Note("QVAlloc", r);
        Require(IsResult(r), "QVAlloc result outside its set");
        if (h == nullptr) {
            Require(r == QV_RESULT_INVALID, "QVAlloc accepted a null handle");
            return;
        }
        if (r == QV_RESULT_OK) {
            const QVContext* c = ContextOf(h);
            Require(c->magic == kMagic && c->flags == QV_FLAG_VALID, "QVAlloc left no context");
            live_.insert(h->block);
        } else {
            Require(r == QV_RESULT_NO_MEMORY && h->block == nullptr, "failed QVAlloc left a block");
        }
    }

    void Extension() {
        QVHandle* h = PickHandle();
        const uint32_t mode = in_.U32();
        const uint8_t* table = PickToneTable();
        const char* model = PickCameraModel();
        const bool live = Live(h);
        const QVResult r = QVExtension(h, mode, table, model, in_.U32());
        Note("QVExtension", r);
        ExpectValidation(live, r, QV_RESULT_INVALID);
        if (live) {
            Require(r == QV_RESULT_OK, "QVExtension refused a live context");
            const QVContext* c = ContextOf(h);
            Require(std::memchr(c->cameraModel, '\0', sizeof c->cameraModel) != nullptr,
                    "camera model not terminated within its field");
        }
    }

    void Free() {
        QVHandle* h = PickHandle();
        void* context = BlockOf(h);
        const bool live = Live(h);
        const QVResult r = QVFree(h);
        Note("QVFree", r);
        ExpectValidation(live, r, QV_RESULT_INVALID);
        if (live) {
            Require(r == QV_RESULT_OK && h->block == nullptr, "QVFree kept a live context");
            Forget(context);
        }
    }

    void Histogram() {
        QVHandle* h = PickHandle();
        const int16_t layout = PickLayout();
        const int16_t step = PickStep(layout);
        const uint16_t count = FitCount(PickCount(h), step, layout);
        if (!Spend(count)) {
            return;
        }
        const std::unique_ptr<PixelRun> run = MakeRun(count, step, layout);
        const uint8_t* pixels = in_.U8() == 0xFF ? nullptr : run->First();
        const Snapshot before = ContextSnapshot(h);
        const bool live = Live(h);
        const QVResult r = QVHistogram(h, pixels, run->Count(), step, layout, in_.U32());
        Note("QVHistogram", r);
        Require(IsResult(r), "QVHistogram result outside its set");
        ExpectValidation(live, r, QV_RESULT_INVALID);
        if (r == QV_RESULT_NOT_DERIVED || r == QV_RESULT_NO_MEMORY) {
            Require(Same(before, BlockOf(h)), "QVHistogram refused a run but changed the context");
        }
    }

    void FeedPicture() {
        QVHandle* h = PickHandle();
        const int16_t layout = PickLayout();
        const int16_t step = PickStep(layout);
        const uint16_t width = FitCount(in_.U16() % kMaxPictureWidth, step, layout);
        const uint32_t lines = in_.U8() % kMaxPictureLines + 1;
        const PictureStyle style = PictureStyle::Read(in_);
        if (!Spend(uint64_t{width} * lines)) {
            return;
        }
        PixelRun run(width, step, layout);
        const bool live = Live(h);
        for (uint32_t y = 0; y < lines; ++y) {
            FillLine(run, style, y, lines);
            const QVResult r = QVHistogram(h, run.First(), width, step, layout, 0);
            Note("QVHistogram", r);
            Require(IsResult(r), "QVHistogram result outside its set");
            ExpectValidation(live, r, QV_RESULT_INVALID);
            if (r != QV_RESULT_OK) {
                return;
            }
        }
    }

    void Marge() {
        QVHandle* target = PickHandle();
        QVHandle* source = PickHandle();
        void* from = BlockOf(source);
        const bool bothLive = Live(target) && Live(source);
        const bool sameContext = bothLive && target->block == source->block;
        const Snapshot targetBefore = ContextSnapshot(target);
        const Snapshot sourceBefore = ContextSnapshot(source);
        const QVResult r = QVMargeHisto(target, source);
        Note("QVMargeHisto", r);
        Require(IsResult(r), "QVMargeHisto result outside its set");
        if (!bothLive || sameContext) {
            Require(r == QV_RESULT_INVALID, "QVMargeHisto merged without two live contexts");
            Require(Same(targetBefore, BlockOf(target)) && Same(sourceBefore, BlockOf(source)),
                    "refused QVMargeHisto changed a context");
            return;
        }
        Require(r == QV_RESULT_OK && source->block == nullptr, "QVMargeHisto kept its source");
        Forget(from);
    }

    void Calculate() {
        QVHandle* h = PickHandle();
        const Snapshot before = ContextSnapshot(h);
        const bool live = Live(h);
        const bool extended = live && (ContextOf(h)->flags & QV_FLAG_EXTENSION) != 0;
        const QVResult r = QVCalculate(h, in_.U32());
        Note("QVCalculate", r);
        Require(IsResult(r), "QVCalculate result outside its set");
        ExpectValidation(live, r, QV_RESULT_INVALID);
        if (live) {
            Require((r == QV_RESULT_NOT_DERIVED) == !extended,
                    "QVCalculate and the extension flag disagree");
            if (r == QV_RESULT_NOT_DERIVED) {
                Require(Same(before, BlockOf(h)),
                        "QVCalculate without extension changed the context");
            }
        }
    }

    // One QVCorrection call; false when the call did not succeed.
    bool CorrectOne(QVHandle* h, const PixelRun& source, const PixelRun* destination,
                    uint16_t lineCount, int16_t step, int16_t layout, bool nullSource) {
        uint8_t* out = destination != nullptr ? destination->First() : nullptr;
        const Snapshot before = ContextSnapshot(h);
        const Snapshot pixelsBefore =
            destination != nullptr ? Copy(destination->Bytes(), destination->Size()) : Snapshot{};
        const bool live = Live(h);
        const QVResult r = QVCorrection(h, nullSource ? nullptr : source.First(), out,
                                        source.Count(), lineCount, step, layout);
        Note("QVCorrection", r);
        Require(IsResult(r), "QVCorrection result outside its set");
        ExpectValidation(live, r, QV_RESULT_INVALID);
        if (r == QV_RESULT_NOT_DERIVED || r == QV_RESULT_NO_MEMORY) {
            Require(Same(before, BlockOf(h)), "refused QVCorrection changed the context");
            Require(destination == nullptr || Same(pixelsBefore, destination->Bytes()),
                    "refused QVCorrection wrote pixels");
        }
        return r == QV_RESULT_OK;
    }

    void Correction() {
        QVHandle* h = PickHandle();
        const int16_t layout = PickLayout();
        const int16_t step = PickStep(layout);
        const uint16_t count = FitCount(PickCount(h), step, layout);
        const uint16_t lineCount = in_.U16();
        if (!Spend(count)) {
            return;
        }
        const std::unique_ptr<PixelRun> source = MakeRun(count, step, layout);
        const uint8_t where = in_.U8() % 8u;
        const bool nullSource = where == 6;
        if (where == 7) {
            CorrectOne(h, *source, nullptr, lineCount, step, layout, false);
        } else if (where < 3) {
            CorrectOne(h, *source, source.get(), lineCount, step, layout, false);  // in place
        } else {
            PixelRun destination(source->Count(), step, layout);
            CorrectOne(h, *source, &destination, lineCount, step, layout, nullSource);
        }
    }

    void CorrectPicture() {
        QVHandle* h = PickHandle();
        const int16_t layout = PickLayout();
        const int16_t step = PickStep(layout);
        const uint16_t width = FitCount(in_.U16() % kMaxPictureWidth, step, layout);
        const uint32_t lines = in_.U8() % kMaxPictureLines + 1;
        const uint16_t lineCount = in_.Flag() ? static_cast<uint16_t>(lines) : in_.U16();
        const PictureStyle style = PictureStyle::Read(in_);
        if (!Spend(uint64_t{width} * lines)) {
            return;
        }
        PixelRun source(width, step, layout);
        PixelRun destination(width, step, layout);
        for (uint32_t y = 0; y < lines; ++y) {
            FillLine(source, style, y, lines);
            if (!CorrectOne(h, source, &destination, lineCount, step, layout, false)) {
                return;
            }
        }
    }

    void InitConversion() {
        QVHandle* h = PickHandle();
        const uint16_t width = in_.U16();
        const uint16_t lines = in_.U16();
        const uint16_t outputWidth = in_.U16();
        const int16_t scale = in_.S16();
        const uint16_t mode = in_.U16();
        uint16_t effective = mode;
        const bool live = Live(h);
        if (live && (ContextOf(h)->flags & QV_FLAG_EXTENSION) != 0) {
            effective = static_cast<uint16_t>(mode & ContextOf(h)->correctionMask);
        }
        const QVResult r = QVInitImageConversion(h, width, lines, outputWidth, 0, scale, mode);
        Note("QVInitImageConversion", r);
        Require(IsResult(r), "QVInitImageConversion result outside its set");
        ExpectValidation(live, r, QV_RESULT_INVALID, true);
        if (live) {
            Require((r == QV_RESULT_INVALID) == (effective == 0),
                    "QVInitImageConversion and the effective mode disagree");
        }
    }

    void Correction2() {
        QVHandle* h = PickHandle();
        const int16_t layout = PickLayout();
        const int16_t step = PickStep(layout);
        const uint16_t count = FitCount(PickCount(h), step, layout);
        if (!Spend(count)) {
            return;
        }
        const std::unique_ptr<PixelRun> source = MakeRun(count, step, layout);
        const uint8_t where = in_.U8() % 8u;
        std::unique_ptr<PixelRun> destination;
        uint8_t* out = source->First();  // in place
        if (where >= 2) {
            destination = std::make_unique<PixelRun>(source->Count(), step, layout);
            out = destination->First();
        }
        const uint8_t* in = where == 7 ? nullptr : source->First();
        if (where == 6) {
            out = nullptr;
        }
        const int16_t hue = in_.S16();
        const int16_t level = in_.S16();
        const bool live = Live(h);
        const uint16_t r = QVCorrection2(h, in, out, source->Count(), step, layout, hue, level);
        Note("QVCorrection2", r);
        Require(IsStepResult(r), "QVCorrection2 result outside its set");
        ExpectValidation(live, r, QV_STEP_FAILED, true);
    }

    // A whole conversion by the caller's protocol, on whatever the context
    // has open.
    void DriveConversion() {
        QVHandle* h = PickHandle();
        const int16_t layout = PickLayout();
        const int16_t step = PickStep(layout);
        const uint16_t count = FitCount(PickCount(h), step, layout);
        const uint32_t lines = in_.U8() % kMaxPictureLines + 1;
        const int16_t hue = in_.S16();
        const int16_t level = in_.S16();
        const PictureStyle style = PictureStyle::Read(in_);
        const int maxCalls = static_cast<int>(lines) * 4 + 8;
        if (!Spend(uint64_t{count} * static_cast<uint64_t>(maxCalls))) {
            return;
        }
        PixelRun source(count, step, layout);
        uint32_t presented = 0;
        FillLine(source, style, 0, lines);
        const bool live = Live(h);
        for (int call = 0; call < maxCalls && call < kMaxDriveCalls; ++call) {
            PixelRun destination(count, step, layout);
            const uint16_t r = QVCorrection2(h, source.First(), destination.First(), count, step,
                                             layout, hue, level);
            Note("QVCorrection2", r);
            Require(IsStepResult(r), "QVCorrection2 result outside its set");
            ExpectValidation(live, r, QV_STEP_FAILED, true);
            if (r == QV_STEP_FAILED || (r & QV_STEP_LAST) != 0) {
                return;
            }
            if ((r & QV_STEP_TAKEN) != 0 && presented + 1 < lines) {
                ++presented;
                FillLine(source, style, presented, lines);
            }
        }
    }

    void Terminate() {
        QVHandle* h = PickHandle();
        const bool live = Live(h);
        const QVResult r = QVTerminateImageConversion(h);
        Note("QVTerminateImageConversion", r);
        Require(IsResult(r), "QVTerminateImageConversion result outside its set");
        ExpectValidation(live, r, QV_RESULT_INVALID);
        if (live) {
            Require(r == QV_RESULT_OK, "QVTerminateImageConversion refused a live context");
        }
    }

    // Closes and frees every context the program left alive, through
    // records of the harness's own, then checks the block balance.
    void FreeEverything() {
        for (void* context : live_) {
            QVHandle h{context, 0, 0};
            Require(QVTerminateImageConversion(&h) == QV_RESULT_OK, "closing a live context");
            Require(QVFree(&h) == QV_RESULT_OK, "freeing a live context");
        }
        live_.clear();
        Require(LiveBlockCount() == blocksAtStart_, "library blocks left allocated");
        Require(Same(deadCopy_, &dead_) && Same(garbageCopy_, &garbage_),
                "a block without a valid context was written");
    }

    FuzzInput& in_;
    QVHandle slots_[kSlots] = {};
    QVHandle aliases_[kAliases] = {};
    QVHandle special_[3] = {};
    QVContext dead_ = {};
    QVContext garbage_ = {};
    Snapshot deadCopy_;
    Snapshot garbageCopy_;
    std::set<void*> live_;
    std::vector<std::unique_ptr<uint8_t[]>> tables_;
    uint64_t budget_ = kPixelBudget;
    bool trace_ = std::getenv("VOVED_FUZZ_TRACE") != nullptr;
    long blocksAtStart_ = 0;
};

}  // namespace
}  // namespace voved::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    voved::fuzz::FuzzInput in(data, size);
    voved::fuzz::Program(in).Run();
    return 0;
}
