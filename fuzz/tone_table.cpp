// The parameter-table tone step: the input is taken whole as the caller's
// tone parameter table, in a heap buffer of exactly its size, and goes
// through QVExtension and QVCalculate on the statistics of a photo-like
// picture, as an application would hand it over.
//
// Input: byte 0 steers the harness (bits 0-1 which picture family, bit 2
// whether the colour correction is asked for too, bit 3 keep the checksum
// byte as it is, bit 4 keep the length field as it is); bytes 1 to 7 shape
// the picture (its darkest and brightest levels, its cast, its grain); the
// rest is the table. Unless told otherwise the harness makes the length
// field equal the table's size and the checksum match, so that most inputs
// get past the first checks into the parser and the curves.
//
// Checks besides sanitizer reports: QVCalculate answers within its result
// set; when the tone step fails (QVCalculate clears QV_MODE_BYTE_TABLE) the
// tone table is left as it was; the caller's table is never written; the
// context corrects a line afterwards; no library block is left.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz_input.h"
#include "fuzz_pixels.h"
#include "platform/platform.h"
#include "voved32.h"

namespace voved::fuzz {
namespace {

constexpr uint16_t kWidth = 192;
constexpr uint32_t kLines = 48;
constexpr size_t kLengthBytes = 2;

struct Steering {
    uint8_t family;
    bool correctToo;
    bool keepChecksum;
    bool keepLength;
};

Steering ReadSteering(FuzzInput& in) {
    const uint8_t b = in.U8();
    return {static_cast<uint8_t>(b & 3u), (b & 4u) != 0, (b & 8u) != 0, (b & 16u) != 0};
}

// The picture whose statistics the tone step measures: the families differ
// in how much of the range they use, so zones, scores and shadow shares
// vary; the input shifts them further.
PictureStyle ReadPicture(FuzzInput& in, uint8_t family) {
    static constexpr PictureStyle kFamilies[] = {
        {0, 18, 235, 6, -8, 6, 1},     // a full range with a mild cast
        {0, 4, 120, 12, 10, 4, 2},     // a dark picture
        {0, 90, 252, -6, 14, 8, 3},    // a bright picture
        {0, 30, 250, 18, -18, 20, 4},  // a strong cast
    };
    PictureStyle s = kFamilies[family];
    s.low = static_cast<uint8_t>(s.low + in.U8() % 24u);
    s.high = static_cast<uint8_t>(s.high - in.U8() % 24u);
    s.castRed = static_cast<int8_t>(s.castRed + static_cast<int8_t>(in.U8() % 16u) - 8);
    s.castBlue = static_cast<int8_t>(s.castBlue + static_cast<int8_t>(in.U8() % 16u) - 8);
    s.grain = static_cast<uint8_t>(s.grain + in.U8() % 8u);
    s.seed = in.U16();
    return s;
}

// The table as the caller holds it: exactly as many bytes as it says it
// has (at least the two bytes that say it).
std::vector<uint8_t> ReadTable(FuzzInput& in, const Steering& steering) {
    size_t taken = 0;
    const uint8_t* bytes = in.Take(in.Remaining(), &taken);
    std::vector<uint8_t> table(bytes, bytes + taken);
    if (table.size() < kLengthBytes) {
        table.resize(kLengthBytes);
    }
    uint32_t length = table[0] | (uint32_t{table[1]} << 8);
    if (!steering.keepLength || length > table.size()) {
        length = static_cast<uint32_t>(table.size() > 0xFFFFu ? 0xFFFFu : table.size());
        table[0] = static_cast<uint8_t>(length & 0xFFu);
        table[1] = static_cast<uint8_t>(length >> 8);
    }
    table.resize(length < kLengthBytes ? kLengthBytes : length);
    // The checksum is the last byte; in a table of two bytes that byte says
    // the length, which must stay as it is.
    if (!steering.keepChecksum && length > kLengthBytes) {
        uint32_t sum = 0;
        for (uint32_t i = 0; i + 1 < length; ++i) {
            sum += table[i];
        }
        table[length - 1] = static_cast<uint8_t>(sum & 0xFFu);
    }
    return table;
}

void Feed(QVHandle* h, const PictureStyle& style) {
    PixelRun run(kWidth, 3, QV_PIXEL_RGB);
    for (uint32_t y = 0; y < kLines; ++y) {
        FillLine(run, style, y, kLines);
        Require(QVHistogram(h, run.First(), kWidth, 3, QV_PIXEL_RGB, 0) == QV_RESULT_OK,
                "QVHistogram refused a picture line");
    }
}

}  // namespace
}  // namespace voved::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace voved::fuzz;
    FuzzInput in(data, size);
    const Steering steering = ReadSteering(in);
    const PictureStyle style = ReadPicture(in, steering.family);
    const std::vector<uint8_t> bytes = ReadTable(in, steering);
    const auto table = std::make_unique<uint8_t[]>(bytes.size());
    std::memcpy(table.get(), bytes.data(), bytes.size());

    const long blocksAtStart = voved::LiveBlockCount();
    QVHandle h{};
    Require(QVAlloc(&h) == QV_RESULT_OK, "QVAlloc failed");
    Feed(&h, style);
    const uint32_t mode = QV_MODE_BYTE_TABLE | (steering.correctToo ? QV_MODE_CORRECT : 0u);
    Require(QVExtension(&h, mode, table.get(), nullptr, 0) == QV_RESULT_OK, "QVExtension failed");

    const QVContext* c = static_cast<const QVContext*>(h.block);
    uint8_t toneTableBefore[sizeof c->toneTable];
    std::memcpy(toneTableBefore, c->toneTable, sizeof toneTableBefore);
    const QVResult r = QVCalculate(&h, 0);
    Require(r == QV_RESULT_OK || r == QV_RESULT_NO_CORRECTION || r == QV_RESULT_TONE_ONLY,
            "QVCalculate result outside its set");
    if (std::getenv("VOVED_FUZZ_TRACE") != nullptr) {
        std::fprintf(stderr, "QVCalculate -> %d, tone step %s, tone table at 128: %d\n", r,
                     (c->mode & QV_MODE_BYTE_TABLE) != 0 ? "kept" : "failed", c->toneTable[128]);
    }
    Require(std::memcmp(table.get(), bytes.data(), bytes.size()) == 0,
            "the caller's table was written");
    if ((c->mode & QV_MODE_BYTE_TABLE) == 0) {
        Require(std::memcmp(toneTableBefore, c->toneTable, sizeof toneTableBefore) == 0,
                "a failed tone step changed the tone table");
    }
    if ((c->flags & QV_FLAG_DERIVED) != 0) {
        PixelRun line(kWidth, 4, QV_PIXEL_BGR);
        FillLine(line, style, 0, kLines);
        Require(QVCorrection(&h, line.First(), line.First(), kWidth, kLines, 4, QV_PIXEL_BGR) ==
                    QV_RESULT_OK,
                "QVCorrection refused a derived context");
    }
    Require(QVFree(&h) == QV_RESULT_OK, "QVFree failed");
    Require(voved::LiveBlockCount() == blocksAtStart, "library blocks left allocated");
    return 0;
}
