// Jobs on several threads at once: each thread runs whole one-shot and
// streaming jobs on contexts of its own and must get exactly what a single
// thread gets. A context is the only state of a job; the one process-wide
// variable, the plug-in entry, is shared by every analysis that consults the
// camera-properties plug-in. CI also builds this test with ThreadSanitizer.
//
// Built twice: as test_threads, where no plug-in is found, and as
// threads_with_plugin in the directory of the test plug-in (threads.cmake),
// where every analysis with a camera model loads and calls it.
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/pictures.h"
#include "support/stream_driver.h"
#include "voved32.h"

namespace voved {
namespace {

using test::Cast;
using test::CastRamp;
using test::PixelLine;
using test::StreamArgs;
using test::StreamRun;

constexpr int kThreads = 4;
constexpr int kRounds = 3;
constexpr uint16_t kCorrect = QV_MODE_CORRECT;
constexpr Cast kHighlightCast = {8, 0};

enum class Kind { OneShot, Stream };

struct Job {
    Kind kind;
    uint16_t extensionMode;
    const char* camera;    // null: no camera model, so no plug-in
    uint16_t streamMode;   // conversion mode (Stream)
    uint16_t outputWidth;  // resampling of the sharpening (Stream)
    int16_t resolutionScale;
    int16_t toneHue;
    int16_t sharpenLevel;
    Cast shadowCast;
    int width;
    int lines;
};

// Everything a job answers and writes.
struct Outcome {
    QVResult calculate = 0;
    uint16_t correctionMask = 0;
    std::vector<int32_t> codes;  // QVCorrection results, or QVCorrection2 steps
    std::vector<uint8_t> pixels;

    bool operator==(const Outcome& o) const {
        return calculate == o.calculate && correctionMask == o.correctionMask && codes == o.codes &&
               pixels == o.pixels;
    }
};

// A picture with a shadow cast that the analysis corrects; each line a
// little different.
std::vector<PixelLine> MakePicture(const Job& job) {
    std::vector<PixelLine> picture;
    for (int y = 0; y < job.lines; ++y) {
        const Cast shadow{job.shadowCast.dr + y % 2, job.shadowCast.db};
        picture.push_back(
            test::PackLine(CastRamp(job.width, 0, 255, shadow, kHighlightCast), QV_PIXEL_RGB));
    }
    return picture;
}

void Append(std::vector<uint8_t>* to, const std::vector<uint8_t>& bytes) {
    to->insert(to->end(), bytes.begin(), bytes.end());
}

void CorrectLines(QVHandle* h, const Job& job, const std::vector<PixelLine>& picture,
                  Outcome* outcome) {
    for (const PixelLine& line : picture) {
        PixelLine out(line.size(), 0);
        outcome->codes.push_back(QVCorrection(h, line.data(), out.data(),
                                              static_cast<uint16_t>(job.width),
                                              static_cast<uint16_t>(job.lines), 3, QV_PIXEL_RGB));
        Append(&outcome->pixels, out);
    }
}

void ConvertLines(QVHandle* h, const Job& job, const std::vector<PixelLine>& picture,
                  Outcome* outcome) {
    const QVResult opened =
        QVInitImageConversion(h, static_cast<uint16_t>(job.width), static_cast<uint16_t>(job.lines),
                              job.outputWidth, 0, job.resolutionScale, job.streamMode);
    outcome->codes.push_back(opened);
    if (opened == QV_RESULT_OK) {
        const StreamArgs args{static_cast<uint16_t>(job.width), 3, QV_PIXEL_RGB, job.toneHue,
                              job.sharpenLevel};
        const StreamRun run = test::DriveConversion(h, picture, args, 1000);
        outcome->codes.insert(outcome->codes.end(), run.results.begin(), run.results.end());
        for (const PixelLine& line : run.delivered) {
            Append(&outcome->pixels, line);
        }
    }
    outcome->codes.push_back(QVTerminateImageConversion(h));
}

// One whole job, from QVAlloc to QVFree.
Outcome RunJob(const Job& job) {
    const std::vector<PixelLine> picture = MakePicture(job);
    Outcome outcome;
    QVHandle h{};
    if (QVAlloc(&h) != QV_RESULT_OK) {
        outcome.codes.push_back(-100);
        return outcome;
    }
    for (const PixelLine& line : picture) {
        outcome.codes.push_back(
            QVHistogram(&h, line.data(), static_cast<uint16_t>(job.width), 3, QV_PIXEL_RGB, 0));
    }
    outcome.codes.push_back(QVExtension(&h, job.extensionMode, nullptr, job.camera, 0));
    outcome.calculate = QVCalculate(&h, 0);
    outcome.correctionMask = static_cast<const QVContext*>(h.block)->correctionMask;
    if (job.kind == Kind::OneShot) {
        CorrectLines(&h, job, picture, &outcome);
    } else {
        ConvertLines(&h, job, picture, &outcome);
    }
    outcome.codes.push_back(QVFree(&h));
    return outcome;
}

// clang-format off
const std::vector<Job> kJobs = {
    // kind         extension  camera                         stream mode                        output scale hue  level shadow  width lines
    {Kind::OneShot, kCorrect,  nullptr,                       0,                                 0,     0,    0,   0,    {0, 8}, 256,  24},
    {Kind::OneShot, kCorrect,  "Thread camera flags=0x100A",  0,                                 0,     0,    0,   0,    {0, 8}, 256,  24},
    {Kind::OneShot, kCorrect,  "Thread camera flags=0x0001",  0,                                 0,     0,    0,   0,    {0, 8}, 256,  24},
    {Kind::Stream,  kCorrect,  "Thread camera flags=0x2000",  QV_MODE_CORRECT | QV_MODE_SHARPEN, 0,     0,    0,   1,    {1, 8}, 256,  20},
    {Kind::Stream,  kCorrect,  "Thread camera flags=0x0020",  QV_MODE_CORRECT | QV_MODE_DENOISE, 0,     0,    0,   0,    {0, 9}, 256,  20},
    {Kind::Stream,  kCorrect,  nullptr,                       QV_MODE_SHARPEN | QV_MODE_TONE,    256,   150,  146, -1,   {0, 8}, 256,  12},
    {Kind::Stream,  kCorrect,  nullptr,                       QV_MODE_SHARPEN,                   64,    300,  0,   2,    {0, 8}, 256,  16},
    {Kind::Stream,  kCorrect,  "Thread camera flags=0x4004",  QV_MODE_CORRECT | QV_MODE_TONE,    0,     0,    90,  0,    {0, 7}, 256,  20},
};
// clang-format on

std::vector<Outcome> SerialOutcomes() {
    std::vector<Outcome> outcomes;
    for (const Job& job : kJobs) {
        outcomes.push_back(RunJob(job));
    }
    return outcomes;
}

// Each thread runs every job kRounds times, starting at a job of its own so
// that different jobs overlap.
TEST(Threads, ConcurrentJobsGiveTheSerialResults) {
    const std::vector<Outcome> reference = SerialOutcomes();
    const size_t n = kJobs.size();
    std::vector<std::vector<Outcome>> seen(kThreads, std::vector<Outcome>(n * kRounds));
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, n, &seen] {
            for (size_t k = 0; k < n * kRounds; ++k) {
                const size_t job = (static_cast<size_t>(t) + k) % n;
                seen[t][k] = RunJob(kJobs[job]);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int t = 0; t < kThreads; ++t) {
        for (size_t k = 0; k < n * kRounds; ++k) {
            const size_t job = (static_cast<size_t>(t) + k) % n;
            EXPECT_TRUE(seen[t][k] == reference[job]) << "thread " << t << ", job " << job;
        }
    }
}

// The jobs are worth comparing: they correct, and each conversion runs to
// its end.
TEST(Threads, JobsCorrectAndComplete) {
    for (size_t i = 0; i < kJobs.size(); ++i) {
        SCOPED_TRACE(i);
        const Job& job = kJobs[i];
        const Outcome outcome = RunJob(job);
        if (job.camera == nullptr) {
            EXPECT_EQ(outcome.calculate, QV_RESULT_OK);
        }
        if (job.kind == Kind::Stream) {
            ASSERT_GE(outcome.codes.size(), 3u);
            EXPECT_NE(outcome.codes[outcome.codes.size() - 3] & QV_STEP_LAST, 0);
        }
        EXPECT_EQ(outcome.pixels.size(), static_cast<size_t>(job.width * job.lines * 3));
    }
}

#if defined(VOVED_PLUGIN_PRESENT)
// With the plug-in beside the test, its answers reach every thread's
// analysis: the veto and the cleared noise filter.
TEST(Threads, EveryThreadConsultsThePlugIn) {
    const std::vector<Outcome> reference = SerialOutcomes();
    EXPECT_EQ(reference[0].calculate, QV_RESULT_OK);
    EXPECT_EQ(reference[2].calculate, QV_RESULT_NO_CORRECTION);  // vetoed
    EXPECT_EQ(reference[2].correctionMask & QV_MODE_CORRECT, 0);
    EXPECT_EQ(reference[4].correctionMask & QV_MODE_DENOISE, 0);
    EXPECT_EQ(reference[4].correctionMask & QV_MODE_CORRECT, QV_MODE_CORRECT);
}
#endif

}  // namespace
}  // namespace voved
