// The one-shot correction of one picture: statistics over every line,
// analysis, then QVCorrection line by line while the output is encoded.
// A picture that would take more than the memory limit decoded is read
// twice (statistics, then correction) instead of being held whole.
#include <cstring>
#include <memory>

#include "jobs.h"
#include "output.h"
#include "page_warmer.h"
#include "picture_output.h"
#include "pipeline.h"
#include "shared_statistics.h"
#include "words.h"

namespace voved::tool {

namespace {

// Where the lines of the correction pass come from: the picture held whole,
// or a second decoding of the file.
class LineSupply {
  public:
    LineSupply(std::unique_ptr<uint8_t[]> pixels, size_t stride, const InputFile& input)
        : pixels_(std::move(pixels)), stride_(stride) {
        if (pixels_ == nullptr) {
            reader_ = OpenInput(input);
            line_.resize(stride);
        }
    }
    uint8_t* Line(uint32_t y) {
        if (reader_ == nullptr) {
            return pixels_.get() + stride_ * y;
        }
        reader_->ReadLine(line_.data());
        return line_.data();
    }

  private:
    std::unique_ptr<uint8_t[]> pixels_;
    size_t stride_;
    std::unique_ptr<LineReader> reader_;
    std::vector<uint8_t> line_;
};

// Ends the decoder's thread before the buffer it decodes into and the
// statistics it shares go, also when the job stops early.
struct StopDecoder {
    std::unique_ptr<LineReader>& reader;
    std::unique_ptr<SharedStatistics>& shared;
    ~StopDecoder() {
        if (shared) {
            shared->Abandon();
        }
        reader.reset();
    }
};

std::string Describe(const QVContext& record, const AnalysisOutcome& analysis,
                     const std::string& unchanged) {
    const std::string why = ExplainAnalysis(record, analysis);
    const std::string scene =
        "scene " + std::to_string(record.sceneCode) + ": " + SceneClassMeaning(record.sceneCode);
    const bool table = (record.mode & QV_MODE_BYTE_TABLE) != 0 && !analysis.tableLeftOut;
    switch (analysis.result) {
    case QV_RESULT_OK:
        if ((analysis.requestedMode & QV_MODE_CORRECT) == 0) {
            return "tone table applied";
        }
        return std::string(table ? "colour corrected and tone table applied" : "colour corrected") +
               " (" + scene + ")" + (why.empty() ? "" : "; " + why);
    case QV_RESULT_TONE_ONLY:
        return "tone table applied, colours unchanged: " + why;
    default:
        return unchanged + ": " + (why.empty() ? ResultInWords(analysis.result) : why);
    }
}

}  // namespace

TaskOutcome CorrectPicture(const InputFile& input, const std::string& output,
                           const CorrectSettings& settings) {
    TaskOutcome outcome;
    auto reader = OpenInput(input);
    const ImageInfo info = reader->Info();
    CheckPictureSize(info);
    outcome.notices = info.notices;
    const int step = LineChannels(info.kind);
    const size_t stride = size_t{info.width} * static_cast<size_t>(step);
    const bool whole = uint64_t{stride} * info.height <= settings.maxMemory;

    Context context;
    // Left uninitialised: the decoder writes every line before it is read,
    // and the pages are faulted in beside it.
    std::unique_ptr<uint8_t[]> pixels(whole ? new uint8_t[stride * info.height] : nullptr);
    PageWarmer warmer(pixels.get(), stride * info.height, PipelineThreads());
    std::vector<uint8_t> line(whole ? 0 : stride);
    std::unique_ptr<SharedStatistics> shared;
    if (whole) {
        shared = std::make_unique<SharedStatistics>(info, pixels.get(), stride);
    }
    const StopDecoder stop{reader, shared};
    if (whole && !DecodeInto(*reader, pixels.get(), [&] { shared->HelpFromBottom(); })) {
        shared.reset();  // decoding on this thread: no second thread to share with
    }
    for (uint32_t y = 0; y < info.height; ++y) {
        uint8_t* target = whole ? pixels.get() + stride * y : line.data();
        reader->ReadLine(target);
        if (shared) {
            shared->JobLine(context, y);
        } else {
            AddStatistics(context, target, info, nullptr);
        }
    }
    reader.reset();
    warmer.Join();  // long done: it only stays ahead of the decoder
    if (shared) {
        shared->MergeInto(context);
    }
    const AnalysisOutcome analysis = RunAnalysis(context, settings.analysis, info.metadata);
    const QVContext& record = context.Record();
    const bool apply =
        (analysis.result == QV_RESULT_OK || analysis.result == QV_RESULT_TONE_ONLY) &&
        (record.flags & QV_FLAG_DERIVED) != 0;

    // A picture left alone in its own format is the input, byte for byte.
    const std::string formatName = FormatNameOf(output, settings.write, info);
    const bool copy = !apply && KeepsFormat(info, formatName);
    if (copy && settings.sideBySide.empty()) {
        outcome.notices.clear();  // what decoding lost is not in the copy
    }
    LineSupply supply(std::move(pixels), stride, input);
    // Lines of a picture held whole stay where they lie until the encoder is done.
    PictureOutput out(output, info, info.kind, settings.write, settings.file, outcome.notices,
                      copy ? &input : nullptr, whole);
    std::unique_ptr<PictureOutput> side;
    std::vector<uint8_t> pair;
    if (!settings.sideBySide.empty()) {
        side = PictureOutput::SideBySide(settings.sideBySide, info, info.kind, settings.write,
                                         settings.file, outcome.notices);
        pair.resize(2 * stride);
    }
    std::vector<uint8_t> alpha(HasAlpha(info.kind) ? info.width : 0);
    for (uint32_t y = 0; y < (out.writer || side ? info.height : 0); ++y) {
        uint8_t* pixelsOfLine = supply.Line(y);
        if (side) {
            std::memcpy(pair.data(), pixelsOfLine, stride);
        }
        for (uint32_t x = 0; x < alpha.size(); ++x) {
            alpha[x] = pixelsOfLine[4 * x + 3];
        }
        if (apply) {
            const QVResult result = QVCorrection(
                context.Handle(), pixelsOfLine, pixelsOfLine, static_cast<uint16_t>(info.width),
                static_cast<uint16_t>(info.height), static_cast<int16_t>(step), QV_PIXEL_RGB);
            if (result != QV_RESULT_OK) {
                throw LibraryError("the correction failed: " + ResultInWords(result));
            }
        }
        // The tone table maps every byte of a 4-byte pixel; alpha stays as it was.
        for (uint32_t x = 0; x < alpha.size(); ++x) {
            pixelsOfLine[4 * x + 3] = alpha[x];
        }
        out.WriteLine(pixelsOfLine);
        if (side) {
            std::memcpy(pair.data() + stride, pixelsOfLine, stride);
            side->writer->WriteLine(pair.data());
        }
    }
    out.Finish();
    if (side) {
        side->Finish();
    }
    outcome.ok = true;
    outcome.unchanged = !apply;
    outcome.report = input.name + " -> " + output + ": " +
                     Describe(record, analysis, UnchangedInWords(copy, formatName)) + "\n";
    if (side) {
        outcome.report += input.name + " -> " + settings.sideBySide + ": before | after\n";
    }
    return outcome;
}

}  // namespace voved::tool
