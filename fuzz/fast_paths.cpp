// The optimised inner loops against their plain forms: each input picks a
// routine family (chroma filters, one-shot correction, streaming
// conversion, statistics), its parameters and its data, runs it once with
// the plain loops forced and once without, and requires the same bytes and
// result codes.
#include <cstdint>
#include <cstring>
#include <vector>

#include "context/context.h"
#include "filters/chroma_denoise.h"
#include "fuzz_input.h"
#include "platform/plain_paths.h"
#include "voved32.h"

namespace voved::fuzz {
namespace {

constexpr uint16_t kMaxWidth = 2048;
constexpr uint16_t kMaxLines = 8;
constexpr int16_t kLayouts[] = {QV_PIXEL_BGR, QV_PIXEL_RGB, QV_PIXEL_RGB555};

// Bytes from the input, then from the generator once the input runs out.
std::vector<uint8_t> Fill(FuzzInput& in, size_t count) {
    std::vector<uint8_t> bytes(count);
    Noise noise(in.U32());
    for (uint8_t& b : bytes) {
        b = in.Empty() ? noise.Byte() : in.U8();
    }
    return bytes;
}

// Samples near a base drawn from the input: flat stretches, edges and, with
// a wide spread, the whole 16-bit range.
std::vector<int16_t> Samples(FuzzInput& in, size_t count) {
    const int16_t base = in.S16();
    const uint16_t spread = static_cast<uint16_t>(in.U16() | 1u);
    Noise noise(in.U32());
    std::vector<int16_t> samples(count);
    for (int16_t& s : samples) {
        s = static_cast<int16_t>(static_cast<uint16_t>(base + noise.Next() % spread - spread / 2));
    }
    return samples;
}

template <class Run>
void Compare(Run run) {
    ForcePlainPaths(true);
    const auto plain = run();
    ForcePlainPaths(false);
    const auto fast = run();
    Require(plain == fast, "the optimised loop gives the plain loop's bytes");
}

void Filters(FuzzInput& in) {
    const int lines = 1 + in.U8() % 5;
    const auto n = static_cast<uint16_t>(in.U16() % kMaxWidth + 1);
    const int16_t level = in.S16();
    std::vector<std::vector<int16_t>> l;
    for (int k = 0; k < lines; ++k) {
        l.push_back(Samples(in, 3u * n));
    }
    Compare([&] {
        std::vector<std::vector<int16_t>> w = l;
        std::vector<int16_t> out(3u * n, 0);
        const int16_t* x[5] = {};
        for (int k = 1; k < lines; ++k) {
            x[k] = w[k].data();
        }
        int16_t r = 0;
        switch (lines) {
        case 1:
            r = ChromaDenoise1(n, level, out.data(), w[0].data());
            break;
        case 2:
            r = ChromaDenoise2(n, level, out.data(), w[0].data(), x[1]);
            break;
        case 3:
            r = ChromaDenoise3(n, level, out.data(), w[0].data(), x[1], x[2]);
            break;
        case 4:
            r = ChromaDenoise4(n, level, out.data(), w[0].data(), x[1], x[2], x[3]);
            break;
        default:
            r = ChromaDenoise5(n, level, out.data(), w[0].data(), x[1], x[2], x[3], x[4]);
            break;
        }
        out.push_back(r);
        out.insert(out.end(), w[0].begin(), w[0].end());
        return out;
    });
}

void SetParameters(FuzzInput& in, QVContext* c) {
    for (int16_t& m : c->colourMatrix) {
        m = in.Flag() ? in.S16() : static_cast<int16_t>((&m - c->colourMatrix) % 4 == 0 ? 1024 : 0);
    }
    const int16_t curveBase = in.S16();
    for (int i = 0; i < kToneCurveSize; ++i) {
        c->toneCurve[i] = static_cast<int16_t>(i + (curveBase % 64));
    }
    c->toneCurve[in.U16() % kToneCurveSize] = in.S16();
    c->shadowCastRY = in.S16();
    c->shadowCastBY = in.S16();
    c->blackLevel = in.U8();
    c->highlightLevel = in.S16();
    c->correctionType = static_cast<int16_t>(kTypeRotation + in.U8() % 4);
    for (int i = 0; i < kToneTableSize; ++i) {
        c->toneTable[i] = static_cast<uint8_t>(i ^ curveBase);
    }
    c->flags = static_cast<uint16_t>(c->flags | kFlagDerived);
}

struct Shape {
    int16_t layout;
    int16_t step;
    uint16_t width;
    uint16_t lines;
    size_t lineBytes;
};

Shape ReadShape(FuzzInput& in) {
    Shape s{};
    s.layout = kLayouts[in.U8() % 3];
    const int16_t size = s.layout == QV_PIXEL_RGB555 ? 2 : 3;
    s.step = static_cast<int16_t>(size + in.U8() % 2);
    s.width = static_cast<uint16_t>(in.U16() % kMaxWidth + 1);
    s.lines = static_cast<uint16_t>(in.U8() % kMaxLines + 1);
    s.lineBytes = size_t{s.width} * static_cast<size_t>(s.step);
    return s;
}

// Puts the fuzzed correction parameters into a fresh context, as QVCalculate
// would have left them, and marks them derived.
QVContext* InstallParameters(const QVContext& parameters, const QVHandle& h) {
    auto* c = static_cast<QVContext*>(h.block);
    std::memcpy(c->colourMatrix, parameters.colourMatrix, sizeof c->colourMatrix);
    std::memcpy(c->toneCurve, parameters.toneCurve, sizeof c->toneCurve);
    std::memcpy(c->toneTable, parameters.toneTable, sizeof c->toneTable);
    c->shadowCastRY = parameters.shadowCastRY;
    c->shadowCastBY = parameters.shadowCastBY;
    c->blackLevel = parameters.blackLevel;
    c->highlightLevel = parameters.highlightLevel;
    c->correctionType = parameters.correctionType;
    c->flags = static_cast<uint16_t>(c->flags | kFlagDerived);
    return c;
}

void OneShot(FuzzInput& in) {
    const Shape s = ReadShape(in);
    QVContext parameters{};
    SetParameters(in, &parameters);
    const uint16_t mode = in.Flag() ? QV_MODE_CORRECT | QV_MODE_BYTE_TABLE : QV_MODE_CORRECT;
    const std::vector<uint8_t> picture = Fill(in, s.lineBytes * s.lines);
    Compare([&] {
        std::vector<uint8_t> out = picture;
        QVHandle h{};
        if (QVAlloc(&h) != QV_RESULT_OK) {
            return out;
        }
        QVContext* c = InstallParameters(parameters, h);
        c->mode = mode;
        for (uint16_t y = 0; y < s.lines; ++y) {
            uint8_t* line = out.data() + y * s.lineBytes;
            out.push_back(static_cast<uint8_t>(
                QVCorrection(&h, line, line, s.width, s.lines, s.step, s.layout)));
        }
        out.insert(out.end(), c->cacheKey, c->cacheKey + sizeof c->cacheKey);
        QVFree(&h);
        return out;
    });
}

void Statistics(FuzzInput& in) {
    const Shape s = ReadShape(in);
    const std::vector<uint8_t> picture = Fill(in, s.lineBytes * s.lines);
    Compare([&] {
        std::vector<uint8_t> out;
        QVHandle h{};
        if (QVAlloc(&h) != QV_RESULT_OK) {
            return out;
        }
        for (uint16_t y = 0; y < s.lines; ++y) {
            out.push_back(static_cast<uint8_t>(
                QVHistogram(&h, picture.data() + y * s.lineBytes, s.width, s.step, s.layout, 0)));
        }
        const auto* c = static_cast<const QVContext*>(h.block);
        const auto* stats = reinterpret_cast<const uint8_t*>(c->levelStats);
        out.insert(out.end(), stats, stats + sizeof c->levelStats);
        const auto* hues = reinterpret_cast<const uint8_t*>(c->hueCounts);
        out.insert(out.end(), hues, hues + sizeof c->hueCounts);
        QVFree(&h);
        return out;
    });
}

void Streaming(FuzzInput& in) {
    const Shape s = ReadShape(in);
    QVContext parameters{};
    SetParameters(in, &parameters);
    const uint16_t mode = in.U16();
    const uint16_t outputWidth = in.Flag() ? s.width : 0;
    const int16_t scale = in.S16();
    const int16_t hue = in.S16();
    const int16_t sharpen = static_cast<int16_t>(in.U8() % 5 - 1);
    const std::vector<uint8_t> picture = Fill(in, s.lineBytes * s.lines);
    Compare([&] {
        std::vector<uint8_t> out;
        QVHandle h{};
        if (QVAlloc(&h) != QV_RESULT_OK) {
            return out;
        }
        InstallParameters(parameters, h);
        if (QVInitImageConversion(&h, s.width, s.lines, outputWidth, 0, scale, mode) == 0) {
            std::vector<uint8_t> line(s.lineBytes, 0);
            uint16_t y = 0;
            for (int call = 0; call < 4 * kMaxLines + 8; ++call) {
                const uint16_t r = QVCorrection2(&h, picture.data() + y * s.lineBytes, line.data(),
                                                 s.width, s.step, s.layout, hue, sharpen);
                out.push_back(static_cast<uint8_t>(r >> 8));
                if ((r & QV_STEP_OUTPUT) != 0) {
                    out.insert(out.end(), line.begin(), line.end());
                }
                if ((r & QV_STEP_TAKEN) != 0 && y + 1 < s.lines) {
                    ++y;
                }
                if (r == QV_STEP_FAILED || (r & QV_STEP_LAST) != 0) {
                    break;
                }
            }
            QVTerminateImageConversion(&h);
        }
        QVFree(&h);
        return out;
    });
}

}  // namespace
}  // namespace voved::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    voved::fuzz::FuzzInput in(data, size);
    switch (in.U8() % 4) {
    case 0:
        voved::fuzz::Filters(in);
        break;
    case 1:
        voved::fuzz::OneShot(in);
        break;
    case 2:
        voved::fuzz::Streaming(in);
        break;
    default:
        voved::fuzz::Statistics(in);
        break;
    }
    return 0;
}
