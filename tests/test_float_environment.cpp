// The caller's floating-point state does not reach the results: the x87
// unit at 24-, 53- or 64-bit precision (Direct3D 9, a Windows process,
// MinGW), each rounding mode, flush-to-zero and denormals-are-zero, unmasked
// exceptions. Every call runs in such a host; the results must equal those
// of the default state, and the host's state must be as it was after every
// call, status flags included.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/pictures.h"
#include "support/tone_table_builder.h"
#include "voved32.h"

#if defined(__i386__) || defined(__x86_64__)

namespace voved {
namespace {

using test::Colour;
using test::Line;
using test::Picture;

struct HostState {
    const char* name;
    uint16_t x87Control;
    uint32_t mxcsr;
};

// The control words: precision in bits 8-9 (00 24-bit, 10 53-bit, 11
// 64-bit), rounding in bits 10-11, exception masks in bits 0-5. MXCSR:
// masks in bits 7-12, rounding in bits 13-14, FTZ bit 15, DAZ bit 6.
constexpr HostState kDefaultState = {"64-bit, to nearest", 0x037F, 0x1F80};
constexpr HostState kHostStates[] = {
    {"24-bit precision", 0x007F, 0x1F80},
    {"53-bit precision", 0x027F, 0x1F80},
    {"rounding down", 0x077F, 0x3F80},
    {"rounding up", 0x0B7F, 0x5F80},
    {"rounding toward zero", 0x0F7F, 0x7F80},
    {"flush-to-zero, denormals-are-zero", 0x037F, 0x9FC0},
    {"53-bit, toward zero, FTZ and DAZ", 0x0E7F, 0xFFC0},
    {"every exception unmasked", 0x0340, 0x0000},
};

struct ObservedState {
    uint16_t control;
    uint16_t status;
    uint32_t mxcsr;
};

void SetState(const HostState& state) {
    const uint32_t mxcsr = state.mxcsr;
    __asm__ __volatile__("fnclex\n\tfldcw %0\n\tldmxcsr %1" : : "m"(state.x87Control), "m"(mxcsr));
}

ObservedState ReadState() {
    ObservedState s{};
    __asm__ __volatile__("fnstcw %0\n\tfnstsw %1\n\tstmxcsr %2"
                         : "=m"(s.control), "=m"(s.status), "=m"(s.mxcsr));
    return s;
}

// Runs every library call in the host state and records what it answers.
class Host {
  public:
    explicit Host(const HostState& state) : state_(state) {}

    template <typename Call>
    auto operator()(const char* entry, Call call) {
        SetState(state_);
        const auto result = call();
        const ObservedState after = ReadState();
        SetState(kDefaultState);
        // The x87 status word: exception flags (bits 0-5), error summary (7).
        constexpr uint16_t kX87Flags = 0x00BF;
        EXPECT_TRUE(after.control == state_.x87Control && (after.status & kX87Flags) == 0 &&
                    after.mxcsr == state_.mxcsr)
            << entry << " changed the host's state (" << state_.name << "): control "
            << after.control << ", status " << after.status << ", MXCSR " << after.mxcsr;
        transcript.push_back(static_cast<int32_t>(result));
        return result;
    }

    void Record(const uint8_t* bytes, std::size_t size) {
        transcript.insert(transcript.end(), bytes, bytes + size);
    }
    template <typename T>
    void RecordField(const T& field) {
        Record(reinterpret_cast<const uint8_t*>(&field), sizeof field);
    }

    std::vector<int32_t> transcript;

  private:
    HostState state_;
};

// A photo-like picture with a stretch ramp below it: rotation and stretch
// analysis, highlight search, chroma radii and hue angles all run.
Picture AnalysedPicture() {
    Picture picture;
    for (uint32_t y = 0; y < 24; ++y) {
        picture.push_back(test::PhotoLine(96, y));
    }
    const Picture ramp = test::Repeat(test::CastRamp(96, 20, 170, {0, 8}, {30, 0}), 16);
    picture.insert(picture.end(), ramp.begin(), ramp.end());
    return picture;
}

std::vector<uint8_t> GammaTable() {
    using test::ToneSegment;
    return test::BuildToneTable({5, 64, 192, {{255, {{255, 140, {ToneSegment::Gamma(101)}}}}}});
}

void OneShotJob(Host& host, const Picture& picture, const std::vector<uint8_t>& table) {
    QVHandle handle{};
    host("QVAlloc", [&] { return QVAlloc(&handle); });
    for (const Line& line : picture) {
        const std::vector<uint8_t> bytes = test::PackLine(line, QV_PIXEL_RGB);
        host("QVHistogram", [&] {
            return QVHistogram(&handle, bytes.data(), static_cast<uint16_t>(line.size()), 3,
                               QV_PIXEL_RGB, 0);
        });
    }
    host("QVExtension", [&] {
        return QVExtension(&handle, QV_MODE_CORRECT | QV_MODE_BYTE_TABLE, table.data(), nullptr, 0);
    });
    host("QVCalculate", [&] { return QVCalculate(&handle, 0); });
    const QVContext* c = static_cast<const QVContext*>(handle.block);
    host.RecordField(c->colourMatrix);
    host.RecordField(c->toneCurve);
    host.RecordField(c->toneTable);
    host.RecordField(c->hueCounts);
    host.RecordField(c->levelStats);
    host.RecordField(c->saturationGain);
    host.RecordField(c->correctionType);
    for (const Line& line : picture) {
        std::vector<uint8_t> bytes = test::PackLine(line, QV_PIXEL_RGB);
        host("QVCorrection", [&] {
            return QVCorrection(&handle, bytes.data(), bytes.data(),
                                static_cast<uint16_t>(line.size()),
                                static_cast<uint16_t>(picture.size()), 3, QV_PIXEL_RGB);
        });
        host.Record(bytes.data(), bytes.size());
    }
    host("QVFree", [&] { return QVFree(&handle); });
}

// Tones the line (3 lines of it) to one hue; returns the first output line.
std::vector<uint8_t> ToneJob(Host& host, const Line& line, int16_t hue) {
    const auto width = static_cast<uint16_t>(line.size());
    const std::vector<uint8_t> input = test::PackLine(line, QV_PIXEL_RGB);
    std::vector<uint8_t> output(input.size());
    std::vector<uint8_t> first;
    QVHandle handle{};
    host("QVAlloc", [&] { return QVAlloc(&handle); });
    host("QVExtension", [&] { return QVExtension(&handle, QV_MODE_TONE, nullptr, nullptr, 0); });
    const QVResult opened = host("QVInitImageConversion", [&] {
        return QVInitImageConversion(&handle, width, 3, 0, 0, 0, QV_MODE_TONE);
    });
    for (int call = 0; opened == QV_RESULT_OK && call < 16; ++call) {
        const uint16_t step = host("QVCorrection2", [&] {
            return QVCorrection2(&handle, input.data(), output.data(), width, 3, QV_PIXEL_RGB, hue,
                                 0);
        });
        if ((step & QV_STEP_OUTPUT) != 0) {
            host.Record(output.data(), output.size());
            if (first.empty()) {
                first = output;
            }
        }
        if ((step & (QV_STEP_LAST | QV_STEP_FAILED)) != 0) {
            break;
        }
    }
    host("QVTerminateImageConversion", [&] { return QVTerminateImageConversion(&handle); });
    host("QVFree", [&] { return QVFree(&handle); });
    return first;
}

// (3, 3, 3) first, then every grey level: the tone radius runs through all
// its values.
Line ToneLine() {
    Line line{{3, 3, 3}};
    const Line ramp = test::GreyRamp(256, 0, 255);
    line.insert(line.end(), ramp.begin(), ramp.end());
    return line;
}

// Every job in one host state; the (3, 3, 3) pixel's colour at hues 90 and
// 450 is checked on the way.
std::vector<int32_t> RunJobs(const HostState& state) {
    Host host(state);
    OneShotJob(host, AnalysedPicture(), GammaTable());
    const Line line = ToneLine();
    // Y = 3 gives the tone radius (3 x 100 >> 8) + 10 = 11. The sine factor
    // at 90 degrees is trunc(sin(1.570796325) x 1024) = 1023 (the angle is
    // short of pi / 2 by 1.8e-9; the product falls short of 1024 by 2e-15,
    // which 64-bit precision keeps): R - Y = 1023 x 11 >> 10 = 10 and
    // B - Y = 0, so R = 13, B = 3 and G = 3 - (5 x 10) / 9 = -2, clamped to 0.
    for (int16_t hue : std::initializer_list<int16_t>{0, 90, 180, 270, 450}) {
        const std::vector<uint8_t> out = ToneJob(host, line, hue);
        if (hue == 90 || hue == 450) {
            const std::vector<uint8_t> pixel(out.begin(), out.begin() + (out.empty() ? 0 : 3));
            EXPECT_EQ(pixel, (std::vector<uint8_t>{13, 0, 3})) << state.name << ", hue " << hue;
        }
    }
    for (int16_t hue = 0; hue < 360; ++hue) {
        ToneJob(host, {line.begin(), line.begin() + 64}, hue);
    }
    return host.transcript;
}

TEST(HostFloatState, ResultsAndTheHostStateStayTheSameInEveryState) {
    const std::vector<int32_t> reference = RunJobs(kDefaultState);
    for (const HostState& state : kHostStates) {
        const std::vector<int32_t> results = RunJobs(state);
        ASSERT_EQ(results.size(), reference.size()) << state.name;
        std::size_t differs = 0;
        while (differs < results.size() && results[differs] == reference[differs]) {
            ++differs;
        }
        EXPECT_EQ(differs, results.size())
            << state.name << ": the results differ from the default state's at entry " << differs
            << " of " << results.size();
    }
}

}  // namespace
}  // namespace voved

#endif
