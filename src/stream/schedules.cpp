// The schedules as data: for each picture height, which row a step reads,
// which row it filters with which rows, and what it answers.
#include "stream/schedules.h"

#include <iterator>

#include "stream/step_call.h"

namespace voved {

namespace {

constexpr uint16_t kRead = kStepTaken;                   // 1: row read, nothing delivered
constexpr uint16_t kReadOut = kStepTaken | kStepOutput;  // 3
constexpr uint16_t kOut = kStepOutput;                   // 2: the caller's line is kept
constexpr uint16_t kOutLast = kStepOutput | kStepLast;   // 6

constexpr bool kAdvance = true;
constexpr bool kStay = false;

constexpr int kHeadSteps = 4;  // the steps before the ring is full

// clang-format off
// Row offsets are from k: in a step that filters row j = k - 2, the rows
// j - 2 .. j + 2 are -4 .. 0.

// ---- Sharpening ----------------------------------------------------------
// Five or more rows: a head, steps 4 .. N - 2 alike, and the tail steps
// N - 1, N and N + 1.
constexpr PipelineStep kSharpenHead[kHeadSteps] = {
    {true,  0,  0, {},                  kRead,    kAdvance},
    {true,  0,  0, {},                  kRead,    kAdvance},
    {true,  3, -2, {-2, -1, 0},         kReadOut, kAdvance},
    {true,  4, -2, {-2, -3, -1, 0},     kReadOut, kAdvance},
};
constexpr PipelineStep kSharpenMiddle =
    {true,  5, -2, {-4, -3, -2, -1, 0}, kReadOut, kAdvance};
constexpr PipelineStep kSharpenTail[] = {
    {true,  5, -2, {-4, -3, -2, -1, 0}, kOut,     kAdvance},  // N - 1
    {false, 4, -2, {-2, -4, -3, -1},    kOut,     kAdvance},  // N
    {false, 3, -2, {-2, -4, -3},        kOutLast, kStay},     // N + 1
};

constexpr PipelineStep kSharpenFour[] = {
    {true,  0,  0, {},                  kRead,    kAdvance},
    {true,  0,  0, {},                  kRead,    kAdvance},
    {true,  3, -2, {-2, -1, 0},         kReadOut, kAdvance},
    {true,  4, -2, {-2, -3, -1, 0},     kOut,     kAdvance},
    {false, 4, -2, {-2, -4, -3, -1},    kOut,     kAdvance},
    {false, 3, -2, {-2, -4, -3},        kOutLast, kStay},
};
constexpr PipelineStep kSharpenThree[] = {
    {true,  0,  0, {},                  kRead,    kAdvance},
    {true,  0,  0, {},                  kRead,    kAdvance},
    {true,  3, -2, {-2, -1, 0},         kOut,     kAdvance},
    {false, 3, -2, {-2, -1, -3},        kOut,     kAdvance},
    {false, 3, -2, {-2, -4, -3},        kOutLast, kAdvance},
};
constexpr PipelineStep kSharpenTwo[] = {
    {true,  0,  0, {},                  kRead,    kAdvance},
    {true,  2, -1, {-1, 0},             kOut,     kAdvance},
    {false, 2, -1, {-1, -2},            kOutLast, kAdvance},
};
constexpr PipelineStep kSharpenOne[] = {
    {true,  1,  0, {0},                 kOutLast, kAdvance},
};

// ---- Noise filter ----------------------------------------------------------
// Five or more lines: a head, steps 4 .. M - 1 alike, and the tail steps M
// and M + 1.
constexpr PipelineStep kDenoiseHead[kHeadSteps] = {
    {true,  0,  0, {},                  kRead,    kAdvance},
    {true,  0,  0, {},                  kRead,    kAdvance},
    {true,  3, -2, {-2, -1, 0},         kReadOut, kAdvance},
    {true,  4, -2, {-2, -1, -3, 0},     kReadOut, kAdvance},
};
constexpr PipelineStep kDenoiseMiddle =
    {true,  5, -2, {-2, -4, -3, -1, 0}, kReadOut, kAdvance};
constexpr PipelineStep kDenoiseTail[] = {
    {false, 4, -2, {-2, -3, -1, -4},    kOut,     kAdvance},  // M
    {false, 3, -2, {-2, -3, -4},        kOutLast, kStay},     // M + 1
};

constexpr PipelineStep kDenoiseFour[] = {
    {true,  0,  0, {},                  kRead,    kAdvance},
    {true,  0,  0, {},                  kRead,    kAdvance},
    {true,  3, -2, {-2, -1, 0},         kReadOut, kAdvance},
    {true,  4, -2, {-2, -3, -1, 0},     kOut,     kAdvance},
    {false, 4, -2, {-2, -3, -1, -4},    kOut,     kAdvance},
    {false, 3, -2, {-2, -3, -4},        kOutLast, kStay},
};
// The middle line of three is filtered with the two lines that exist.
constexpr PipelineStep kDenoiseThree[] = {
    {true,  0,  0, {},                  kRead,    kAdvance},
    {true,  0,  0, {},                  kRead,    kAdvance},
    {true,  3, -2, {-2, -1, 0},         kOut,     kAdvance},
    {false, 3, -2, {-2, -3, -1},        kOut,     kAdvance},
    {false, 3, -2, {-2, -3, -4},        kOutLast, kStay},
};
constexpr PipelineStep kDenoiseTwo[] = {
    {true,  0,  0, {},                  kRead,    kAdvance},
    {true,  2, -1, {-1, 0},             kOut,     kAdvance},
    {false, 2, -1, {-1, -2},            kOutLast, kStay},
};
// A single line is read, filtered and delivered at every call.
constexpr PipelineStep kDenoiseOne[] = {
    {true,  1,  0, {0},                 kOutLast, kStay},
};
// clang-format on

struct Schedule {
    const PipelineStep* steps;
    uint16_t count;
};

template <std::size_t N>
constexpr Schedule Of(const PipelineStep (&steps)[N]) {
    return {steps, static_cast<uint16_t>(N)};
}

// Schedules of the pictures with fewer than five rows, by row count.
constexpr Schedule kSharpenShort[] = {Of(kSharpenOne), Of(kSharpenOne), Of(kSharpenTwo),
                                      Of(kSharpenThree), Of(kSharpenFour)};
constexpr Schedule kDenoiseShort[] = {Of(kDenoiseOne), Of(kDenoiseOne), Of(kDenoiseTwo),
                                      Of(kDenoiseThree), Of(kDenoiseFour)};
constexpr uint16_t kLongPicture = static_cast<uint16_t>(std::size(kSharpenShort));

const PipelineStep* ShortStepAt(const Schedule& schedule, uint16_t k) {
    return k < schedule.count ? &schedule.steps[k] : nullptr;
}

}  // namespace

const PipelineStep* SharpenStepAt(uint16_t k, uint16_t workLines) {
    const uint32_t n = workLines;
    if (n < kLongPicture) {
        return ShortStepAt(kSharpenShort[n], k);
    }
    if (k < kHeadSteps) {
        return &kSharpenHead[k];
    }
    if (k + 1u >= n) {
        const uint32_t tail = k + 1u - n;  // step N - 1 is the first tail step
        return tail < std::size(kSharpenTail) ? &kSharpenTail[tail] : nullptr;
    }
    return &kSharpenMiddle;
}

const PipelineStep* DenoiseStepAt(uint16_t k, uint16_t imageLines) {
    const uint32_t m = imageLines;
    if (m < kLongPicture) {
        // A one-line picture repeats its only step at every call.
        return m <= 1 ? &kDenoiseOne[0] : ShortStepAt(kDenoiseShort[m], k);
    }
    if (k < kHeadSteps) {
        return &kDenoiseHead[k];
    }
    if (k >= m) {
        const uint32_t tail = k - m;  // step M is the first tail step
        return tail < std::size(kDenoiseTail) ? &kDenoiseTail[tail] : nullptr;
    }
    return &kDenoiseMiddle;
}

}  // namespace voved
