// The streaming conversion of one picture. The driver below follows the
// library's step protocol:
//   - present input lines in order, starting with the first;
//   - QV_STEP_OUTPUT: the destination holds the next output line, encode it;
//   - QV_STEP_TAKEN: move on to the next input line, and once the last one
//     has been presented keep presenting it;
//   - QV_STEP_LAST: done; QV_STEP_FAILED: stop with an error;
//   - anything else (QV_STEP_AGAIN): call again with the same lines.
// Lines are decoded and encoded as they come, so memory stays a few lines
// whatever the picture's height. Output lags input; the alpha bytes of each
// input line wait in a queue until their output line is delivered.
#include <cstring>
#include <deque>

#include "jobs.h"
#include "output.h"
#include "pipeline.h"
#include "words.h"

namespace voved::tool {

namespace {

// Calls allowed per working line before the driver gives up on a
// conversion that never completes.
constexpr uint64_t kCallsPerLine = 4;
constexpr uint64_t kSpareCalls = 16;

uint16_t ConversionMode(const ConvertSettings& s) {
    unsigned mode = 0;
    if (s.sharpen) {
        mode |= QV_MODE_SHARPEN;
    }
    if (s.toneHue) {
        mode |= QV_MODE_TONE;
    }
    if (s.denoise) {
        mode |= QV_MODE_DENOISE;
    }
    if (s.correct) {
        mode |= QV_MODE_CORRECT;
    }
    if (s.analysis.toneTable) {
        mode |= QV_MODE_BYTE_TABLE;
    }
    return static_cast<uint16_t>(mode);
}

std::string ModeInWords(uint16_t mode) {
    std::string words;
    auto add = [&words](const char* text) {
        words += (words.empty() ? "" : ", ") + std::string(text);
    };
    if ((mode & QV_MODE_CORRECT) != 0) {
        add("colour correction");
    }
    if ((mode & QV_MODE_SHARPEN) != 0) {
        add("sharpening");
    }
    if ((mode & QV_MODE_TONE) != 0) {
        add("toning");
    }
    if ((mode & QV_MODE_DENOISE) != 0) {
        add("chroma noise filter");
    }
    if ((mode & QV_MODE_BYTE_TABLE) != 0) {
        add("tone table");
    }
    return words.empty() ? "nothing" : words;
}

// Input lines whose output line has not been delivered yet: their alpha
// bytes go back onto the output line, and the side-by-side picture shows
// them beside it.
class PendingLines {
  public:
    void Keep(const std::vector<uint8_t>& line) { lines_.push_back(line); }
    // Input line `y`, forgetting the lines before it; null when it is not
    // kept.
    const std::vector<uint8_t>* Line(uint32_t y) {
        while (first_ < y && !lines_.empty()) {
            lines_.pop_front();
            ++first_;
        }
        return lines_.empty() || first_ != y ? nullptr : &lines_.front();
    }

  private:
    std::deque<std::vector<uint8_t>> lines_;
    uint32_t first_ = 0;
};

class Conversion {
  public:
    Conversion(Context& context, uint16_t mode, const ImageInfo& info, const ConvertSettings& s)
        : context_(context), info_(info), settings_(s) {
        const QVResult result = QVInitImageConversion(
            context.Handle(), static_cast<uint16_t>(info.width), static_cast<uint16_t>(info.height),
            s.outputWidth, 0, s.resolutionScale, mode);
        if (result != QV_RESULT_OK) {
            throw LibraryError("cannot open the conversion: " + ResultInWords(result));
        }
    }
    ~Conversion() { QVTerminateImageConversion(context_.Handle()); }
    Conversion(const Conversion&) = delete;
    Conversion& operator=(const Conversion&) = delete;

    // Runs the protocol to the end; returns the number of lines delivered.
    // `side`, when not null, gets each input line beside its output line.
    uint32_t Run(LineReader& reader, LineWriter& writer, LineWriter* side) {
        const int step = LineChannels(info_.kind);
        const size_t stride = size_t{info_.width} * static_cast<size_t>(step);
        std::vector<uint8_t> input(stride);
        std::vector<uint8_t> output(stride, 0);
        std::vector<uint8_t> pair(side != nullptr ? 2 * stride : 0);
        PendingLines pending;
        const bool hasAlpha = HasAlpha(info_.kind);
        const bool keepLines = hasAlpha || side != nullptr;
        reader.ReadLine(input.data());
        if (keepLines) {
            pending.Keep(input);
        }
        uint32_t presented = 1;
        uint32_t delivered = 0;
        const uint64_t workLines = context_.Record().workLines;
        const uint64_t limit = kCallsPerLine * (info_.height + workLines) + kSpareCalls;
        for (uint64_t calls = 0;; ++calls) {
            if (calls > limit) {
                throw LibraryError("the conversion did not complete");
            }
            const uint16_t code = QVCorrection2(
                context_.Handle(), input.data(), output.data(), static_cast<uint16_t>(info_.width),
                static_cast<int16_t>(step), QV_PIXEL_RGB, static_cast<int16_t>(Hue()),
                static_cast<int16_t>(settings_.sharpen.value_or(0)));
            if ((code & QV_STEP_FAILED) != 0) {
                throw LibraryError("the conversion failed at output line " +
                                   std::to_string(delivered) + ": " + StepCodeInWords(code));
            }
            if ((code & QV_STEP_OUTPUT) != 0) {
                if (delivered == info_.height) {
                    throw LibraryError("the conversion delivered more lines than the picture has");
                }
                const std::vector<uint8_t>* before = keepLines ? pending.Line(delivered) : nullptr;
                if (before == nullptr && keepLines) {
                    throw LibraryError("an output line came before its input line");
                }
                if (hasAlpha) {
                    for (size_t x = 3; x < stride; x += 4) {
                        output[x] = (*before)[x];
                    }
                }
                writer.WriteLine(output.data());
                if (side != nullptr) {
                    std::memcpy(pair.data(), before->data(), stride);
                    std::memcpy(pair.data() + stride, output.data(), stride);
                    side->WriteLine(pair.data());
                }
                ++delivered;
            }
            if ((code & QV_STEP_LAST) != 0) {
                return delivered;
            }
            if ((code & QV_STEP_TAKEN) != 0 && presented < info_.height) {
                reader.ReadLine(input.data());
                if (keepLines) {
                    pending.Keep(input);
                }
                ++presented;
            }
        }
    }

  private:
    int Hue() const { return settings_.toneHue.value_or(-1); }

    Context& context_;
    const ImageInfo& info_;
    const ConvertSettings& settings_;
};

// Re-encodes the picture as it is (nothing was asked of the library, or the
// analysis removed everything that was).
void CopyLines(LineReader& reader, LineWriter& writer, LineWriter* side, const ImageInfo& info) {
    const size_t stride = size_t{info.width} * static_cast<size_t>(LineChannels(info.kind));
    std::vector<uint8_t> pair(2 * stride);
    for (uint32_t y = 0; y < info.height; ++y) {
        reader.ReadLine(pair.data());
        writer.WriteLine(pair.data());
        if (side != nullptr) {
            std::memcpy(pair.data() + stride, pair.data(), stride);
            side->WriteLine(pair.data());
        }
    }
}

// An output picture: the temporary file and the encoder writing into it.
struct PictureOutput {
    PictureOutput(const std::string& path, uint32_t width, const ImageInfo& info, ColourKind kind,
                  const WriteOptions& options, std::vector<std::string>& notices)
        : file(path) {
        const FileFormat format = FormatFromPath(path);
        writer = WriteBehind(OpenWriter(file.File(), format, width, info.height, info.kind,
                                        StorableKind(format, path, kind), info.metadata, options,
                                        notices),
                             size_t{width} * static_cast<size_t>(LineChannels(info.kind)));
    }
    void Finish() {
        writer->Finish();
        file.Commit();
    }
    OutputFile file;
    std::unique_ptr<LineWriter> writer;
};

}  // namespace

TaskOutcome ConvertPicture(const InputFile& input, const std::string& output,
                           const ConvertSettings& settings) {
    TaskOutcome outcome;
    auto reader = OpenInput(input);
    ImageInfo info = reader->Info();
    CheckPictureSize(info);
    outcome.notices = info.notices;
    const uint16_t requested = ConversionMode(settings);

    Context context;
    std::string analysisNote;
    if ((requested & (QV_MODE_CORRECT | QV_MODE_BYTE_TABLE)) != 0) {
        // The statistics pass: the file is decoded once more for the conversion.
        std::vector<uint8_t> line(size_t{info.width} *
                                  static_cast<size_t>(LineChannels(info.kind)));
        for (uint32_t y = 0; y < info.height; ++y) {
            reader->ReadLine(line.data());
            AddStatistics(context, line.data(), info, nullptr);
        }
        reader = OpenInput(input);
        AnalysisSettings analysis = settings.analysis;
        analysis.colour = settings.correct;
        const AnalysisOutcome derived = RunAnalysis(context, analysis, info.metadata);
        analysisNote = ExplainAnalysis(context.Record(), derived);
    }

    // A grey picture stays grey unless it is toned in colour.
    ImageInfo written = info;
    if (IsGrey(info.kind) && settings.toneHue && *settings.toneHue >= 0) {
        written.kind = HasAlpha(info.kind) ? ColourKind::Rgba : ColourKind::Rgb;
    }
    PictureOutput out(output, info.width, info, written.kind, settings.write, outcome.notices);
    std::unique_ptr<PictureOutput> side;
    if (!settings.sideBySide.empty()) {
        side = std::make_unique<PictureOutput>(settings.sideBySide, 2 * info.width, info,
                                               written.kind, settings.write, outcome.notices);
    }
    LineWriter* sideWriter = side ? side->writer.get() : nullptr;

    std::string did;
    if (requested == 0) {
        CopyLines(*reader, *out.writer, sideWriter, info);
        did = "re-encoded unchanged (no conversion step asked for)";
    } else {
        // The conversion keeps only what the analysis allowed; when that is
        // nothing, QVInitImageConversion refuses and the picture is copied.
        const QVResult probe = QVInitImageConversion(
            context.Handle(), static_cast<uint16_t>(info.width), static_cast<uint16_t>(info.height),
            settings.outputWidth, 0, settings.resolutionScale, requested);
        const uint16_t effective = context.Record().mode;
        QVTerminateImageConversion(context.Handle());
        if (probe == QV_RESULT_INVALID && effective == 0) {
            CopyLines(*reader, *out.writer, sideWriter, info);
            did = "written unchanged: nothing of " + ModeInWords(requested) + " is possible";
        } else {
            Conversion conversion(context, requested, info, settings);
            const uint32_t lines = conversion.Run(*reader, *out.writer, sideWriter);
            if (lines != info.height) {
                throw LibraryError("the conversion delivered " + std::to_string(lines) + " of " +
                                   std::to_string(info.height) + " lines");
            }
            did = ModeInWords(context.Record().mode);
            if (effective != requested) {
                did +=
                    " (without " + ModeInWords(static_cast<uint16_t>(requested & ~effective)) + ")";
            }
        }
    }
    out.Finish();
    if (side) {
        side->Finish();
    }
    outcome.ok = true;
    outcome.report = input.name + " -> " + output + ": " + did +
                     (analysisNote.empty() ? "" : "; " + analysisNote) + "\n";
    if (side) {
        outcome.report += input.name + " -> " + settings.sideBySide + ": before | after\n";
    }
    return outcome;
}

}  // namespace voved::tool
