// The voved tool's tone-table readers: the JSON description that
// `voved tone-table compile` takes, and the binary form that
// `voved tone-table dump` and `--tone-table` take. Input byte 0 chooses the
// form (bit 0 clear: JSON text, set: binary), bit 1 asks for the colour
// correction too, and bit 2 keeps a binary file as it is: otherwise its
// length field and checksum are made to match, so that mutations get past
// them into the rest of the reader. The rest of the input is the file.
// fuzz/tone_json.dict lists the words of the JSON form.
//
// A malformed file must end in a ToneTableError with a message, never in a
// crash, a sanitizer report or another exception. What the readers accept
// must hold together:
//  - the binary form encodes back to the same bytes, and the JSON form
//    written out reads back to the same table;
//  - the library's tone step, given the binary form in a buffer of exactly
//    its size, never finds it malformed (the tool checks everything the
//    library would otherwise trust), and never writes it.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "analysis/tone_step.h"
#include "fuzz_input.h"
#include "fuzz_pixels.h"
#include "platform/platform.h"
#include "tone_table.h"
#include "voved32.h"

namespace {

using voved::fuzz::Require;

constexpr uint16_t kWidth = 128;
constexpr uint32_t kLines = 32;

// Statistics of a photo-like picture, made once and shared by every input:
// each input gets a fresh context with the same statistics.
std::vector<uint8_t> PictureLines() {
    voved::fuzz::PictureStyle style;
    style.low = 16;
    style.high = 236;
    style.grain = 8;
    std::vector<uint8_t> lines;
    voved::fuzz::PixelRun run(kWidth, 3, QV_PIXEL_RGB);
    for (uint32_t y = 0; y < kLines; ++y) {
        voved::fuzz::FillLine(run, style, y, kLines);
        lines.insert(lines.end(), run.Bytes(), run.Bytes() + run.Size());
    }
    return lines;
}

// The tone step on the table, as QVCalculate runs it; false when it found
// the table malformed.
bool ToneStepAccepts(const std::vector<uint8_t>& bytes, bool correctToo) {
    static const std::vector<uint8_t> picture = PictureLines();
    const auto table = std::make_unique<uint8_t[]>(bytes.size());
    std::memcpy(table.get(), bytes.data(), bytes.size());
    QVHandle h{};
    Require(QVAlloc(&h) == QV_RESULT_OK, "QVAlloc failed");
    const size_t stride = size_t{kWidth} * 3;
    for (uint32_t y = 0; y < kLines; ++y) {
        QVHistogram(&h, picture.data() + stride * y, kWidth, 3, QV_PIXEL_RGB, 0);
    }
    const uint32_t mode = QV_MODE_BYTE_TABLE | (correctToo ? QV_MODE_CORRECT : 0u);
    QVExtension(&h, mode, table.get(), nullptr, 0);
    const QVResult calculated = QVCalculate(&h, 0);
    auto* context = static_cast<QVContext*>(h.block);
    const int16_t status = calculated == QV_RESULT_OK ? int16_t{0} : int16_t{QV_RESULT_TONE_ONLY};
    context->mode = static_cast<uint16_t>(mode);
    const int16_t result = voved::ToneStep(context, status);
    Require(std::memcmp(table.get(), bytes.data(), bytes.size()) == 0,
            "the tone step wrote the caller's table");
    QVFree(&h);
    return result != voved::kToneBadTable;
}

// Makes the length field and the checksum of a binary table match its bytes.
void SealBinaryTable(std::vector<uint8_t>* bytes) {
    std::vector<uint8_t>& b = *bytes;
    if (b.size() < 3 || b.size() > 0xFFFF) {
        return;
    }
    b[0] = static_cast<uint8_t>(b.size() & 0xFFu);
    b[1] = static_cast<uint8_t>(b.size() >> 8);
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < b.size(); ++i) {
        sum += b[i];
    }
    b.back() = static_cast<uint8_t>(sum & 0xFFu);
}

void CheckAccepted(const voved::tool::ToneTableDesc& desc, bool correctToo) {
    using namespace voved::tool;
    const std::vector<uint8_t> bytes = EncodeToneTable(desc);
    Require(EncodeToneTable(DecodeToneTable(bytes)) == bytes,
            "the binary form does not read back to the same table");
    Require(EncodeToneTable(ToneTableFromJson(ToneTableToJson(desc))) == bytes,
            "the JSON form does not read back to the same table");
    Require(ToneStepAccepts(bytes, correctToo), "the tone step refused a table the tool accepted");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace voved::tool;
    voved::fuzz::FuzzInput in(data, size);
    const uint8_t steering = in.U8();
    size_t taken = 0;
    const uint8_t* file = in.Take(in.Remaining(), &taken);
    const long blocksAtStart = voved::LiveBlockCount();
    try {
        if ((steering & 1u) == 0) {
            const std::string text(reinterpret_cast<const char*>(file), taken);
            CheckAccepted(ToneTableFromJson(text), (steering & 2u) != 0);
        } else {
            std::vector<uint8_t> bytes(file, file + taken);
            if ((steering & 4u) == 0) {
                SealBinaryTable(&bytes);
            }
            const ToneTableDesc desc = DecodeToneTable(bytes);
            Require(EncodeToneTable(desc) == bytes, "an accepted binary table encodes differently");
            CheckAccepted(desc, (steering & 2u) != 0);
        }
    } catch (const ToneTableError& error) {
        Require(std::strlen(error.what()) > 0, "a refusal without a message");
    }
    Require(voved::LiveBlockCount() == blocksAtStart, "library blocks left allocated");
    return 0;
}
