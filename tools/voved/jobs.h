// The jobs of the tool on the library's public API: statistics, analysis,
// one-shot correction and streaming conversion of one picture each.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "batch.h"
#include "image.h"
#include "output.h"
#include "voved32.h"

namespace voved::tool {

// A picture to read: a file, or bytes in memory (the bundled sample, or
// standard input read whole).
struct InputFile {
    std::string name;  // as shown to the user
    std::string path;  // empty for memory
    const uint8_t* memory = nullptr;
    size_t size = 0;
    std::shared_ptr<const std::vector<uint8_t>> owned;  // holds `memory` when read
};

// A reader of the input that decodes ahead on a thread of its own
// (pipeline.h).
std::unique_ptr<LineReader> OpenInput(const InputFile& input);

// Writes the input's bytes, as they are, to `file`; throws ImageError.
void CopyInput(const InputFile& input, std::FILE* file);

// How a picture the library left alone is written, for the report.
std::string UnchangedInWords(bool copied, const std::string& formatName);

// A library failure, with the result in words.
class LibraryError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// One correction context, freed on destruction.
class Context {
  public:
    Context();
    ~Context();
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;
    QVHandle* Handle() { return &handle_; }
    // The library's record, read only (valid while the context lives).
    const QVContext& Record() const { return *static_cast<const QVContext*>(handle_.block); }

  private:
    QVHandle handle_{};
};

// The luminance histogram the tool keeps beside the library's statistics
// (for the plot).
using LuminanceHistogram = std::array<uint64_t, 256>;

// Settings of the analysis shared by correct, analyse and convert.
struct AnalysisSettings {
    bool colour = true;                                     // QV_MODE_CORRECT
    std::shared_ptr<const std::vector<uint8_t>> toneTable;  // QV_MODE_BYTE_TABLE when set
    std::optional<std::string> camera;                      // overrides the EXIF model
};

// What one analysis found; `result` is QVCalculate's.
struct AnalysisOutcome {
    int result = 0;
    uint16_t requestedMode = 0;
    std::string camera;         // the model given to the library ("" for none)
    bool tableLeftOut = false;  // the tone step built no curve; the table was dropped
};

// Checks the picture's size against what the library takes (lines of at
// most 65535 pixels, at most 65535 lines); throws ImageError.
void CheckPictureSize(const ImageInfo& info);

// Feeds one line (RGB or RGBA, per `kind`) to the statistics.
void AddStatistics(Context& context, const uint8_t* line, const ImageInfo& info,
                   LuminanceHistogram* histogram);

// QVExtension and QVCalculate with the settings; -1 and -2 throw.
AnalysisOutcome RunAnalysis(Context& context, const AnalysisSettings& settings,
                            const Metadata& metadata);

// Why the analysis gave no colour correction, or left the tone table out,
// in words ("" when it did all it was asked).
std::string ExplainAnalysis(const QVContext& record, const AnalysisOutcome& outcome);

// ---- correct ------------------------------------------------------------

struct CorrectSettings {
    AnalysisSettings analysis;
    std::string sideBySide;           // also write before | after here when not empty
    uint64_t maxMemory = 256u << 20;  // decode twice above this
    WriteOptions write;
    OutputSettings file;
};

TaskOutcome CorrectPicture(const InputFile& input, const std::string& output,
                           const CorrectSettings& settings);

// ---- analyse ------------------------------------------------------------

struct AnalysisReport;  // report.h

struct AnalyseSettings {
    AnalysisSettings analysis;
    bool json = false;
    std::string plot;  // SVG file to write when not empty
};

// Runs the analysis of one picture; the report is filled for JSON output.
TaskOutcome AnalysePicture(const InputFile& input, const AnalyseSettings& settings,
                           AnalysisReport& report);

// ---- convert ------------------------------------------------------------

struct ConvertSettings {
    std::optional<int> sharpen;  // -1 strongest .. 3 gentlest
    uint16_t outputWidth = 0;
    int16_t resolutionScale = 0;
    std::optional<int> toneHue;  // negative: grey
    bool denoise = false;
    bool correct = false;
    AnalysisSettings analysis;  // used with --correct or a tone table
    std::string sideBySide;     // also write before | after here when not empty
    WriteOptions write;
    OutputSettings file;
};

TaskOutcome ConvertPicture(const InputFile& input, const std::string& output,
                           const ConvertSettings& settings);

}  // namespace voved::tool
