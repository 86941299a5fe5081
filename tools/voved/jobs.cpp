// What the jobs share: opening inputs, the context, the statistics pass and
// the analysis with its explanation in words.
#include "jobs.h"

#include <mutex>

#include "exif.h"
#include "pipeline.h"
#include "words.h"

namespace voved::tool {

namespace {

constexpr uint32_t kMaxLibraryExtent = 0xFFFF;
// The mask QVCalculate leaves when it found no usable black or white point.
constexpr uint16_t kMaskNoLevels = 0x1FFF;
constexpr int kNoScene = 5000;
constexpr size_t kCopyChunk = 64 * 1024;

}  // namespace

std::unique_ptr<LineReader> OpenInput(const InputFile& input) {
    if (input.memory != nullptr) {
        return ReadAhead(OpenReader(std::make_unique<MemorySource>(input.memory, input.size)));
    }
    return ReadAhead(OpenReader(std::make_unique<FileSource>(input.path)));
}

void CopyInput(const InputFile& input, std::FILE* file) {
    std::unique_ptr<ByteSource> source;
    if (input.memory != nullptr) {
        source = std::make_unique<MemorySource>(input.memory, input.size);
    } else {
        source = std::make_unique<FileSource>(input.path);
    }
    std::vector<uint8_t> buffer(kCopyChunk);
    for (size_t got; (got = source->Read(buffer.data(), buffer.size())) != 0;) {
        if (std::fwrite(buffer.data(), 1, got, file) != got) {
            throw ImageError("cannot write the copy of the input");
        }
    }
}

std::string UnchangedInWords(bool copied, const std::string& formatName) {
    if (copied) {
        return "written unchanged (a copy of the input)";
    }
    return std::string("written unchanged (re-encoded as ") +
           FormatName(FormatFromPath(formatName)) + ")";
}

Context::Context() {
    const QVResult result = QVAlloc(&handle_);
    if (result != QV_RESULT_OK) {
        throw LibraryError("cannot start a correction: " + ResultInWords(result));
    }
}

Context::~Context() {
    QVFree(&handle_);
}

void CheckPictureSize(const ImageInfo& info) {
    if (info.width == 0 || info.height == 0) {
        throw ImageError("the picture is empty");
    }
    if (info.width > kMaxLibraryExtent) {
        throw ImageError("the picture is " + std::to_string(info.width) +
                         " pixels wide; the library takes lines of at most 65535 pixels");
    }
    if (info.height > kMaxLibraryExtent) {
        throw ImageError("the picture has " + std::to_string(info.height) +
                         " lines; the library takes at most 65535");
    }
}

void AddStatistics(Context& context, const uint8_t* line, const ImageInfo& info,
                   LuminanceHistogram* histogram) {
    const int step = LineChannels(info.kind);
    const QVResult result = QVHistogram(context.Handle(), line, static_cast<uint16_t>(info.width),
                                        static_cast<int16_t>(step), QV_PIXEL_RGB, 0);
    if (result != QV_RESULT_OK) {
        throw LibraryError("the statistics failed: " + ResultInWords(result));
    }
    if (histogram != nullptr) {
        for (uint32_t x = 0; x < info.width; ++x, line += step) {
            ++(*histogram)[GreyOf(line[0], line[1], line[2])];
        }
    }
}

namespace {

// With a camera model, QVCalculate keeps the plug-in's entry in one
// process-wide variable; analyses of several pictures at once take turns.
std::mutex pluginTurn;

int Calculate(Context& context, uint16_t mode, const void* table, const std::string& camera) {
    const QVResult extension =
        QVExtension(context.Handle(), mode, table, camera.empty() ? nullptr : camera.c_str(), 0);
    if (extension != QV_RESULT_OK) {
        throw LibraryError("cannot configure the correction: " + ResultInWords(extension));
    }
    std::unique_lock<std::mutex> turn(pluginTurn, std::defer_lock);
    if (!camera.empty()) {
        turn.lock();
    }
    const int result = QVCalculate(context.Handle(), 0);
    if (turn.owns_lock()) {
        turn.unlock();
    }
    if (result == QV_RESULT_NO_MEMORY || result == QV_RESULT_INVALID ||
        result == QV_RESULT_NOT_DERIVED) {
        throw LibraryError("the analysis failed: " + ResultInWords(result));
    }
    return result;
}

// A tone step that chose an entry without a usable segment reports success
// but builds nothing: the fresh context's table, the identity, stays.
bool ToneTableUnbuilt(const QVContext& record) {
    for (int level = 0; level < 256; ++level) {
        if (record.toneTable[level] != level) {
            return false;
        }
    }
    return true;
}

}  // namespace

AnalysisOutcome RunAnalysis(Context& context, const AnalysisSettings& settings,
                            const Metadata& metadata) {
    AnalysisOutcome outcome;
    outcome.camera = settings.camera ? *settings.camera : CameraModelFromExif(metadata.exif);
    outcome.requestedMode = static_cast<uint16_t>((settings.colour ? QV_MODE_CORRECT : 0u) |
                                                  (settings.toneTable ? QV_MODE_BYTE_TABLE : 0u));
    const void* table = settings.toneTable ? settings.toneTable->data() : nullptr;
    outcome.result = Calculate(context, outcome.requestedMode, table, outcome.camera);
    const QVContext& record = context.Record();
    if ((record.mode & QV_MODE_BYTE_TABLE) != 0 && ToneTableUnbuilt(record)) {
        // Derive again without the table (the statistics are still there).
        outcome.tableLeftOut = true;
        const auto mode = static_cast<uint16_t>(outcome.requestedMode & ~QV_MODE_BYTE_TABLE);
        outcome.result = Calculate(context, mode, nullptr, outcome.camera);
    }
    return outcome;
}

std::string ExplainAnalysis(const QVContext& record, const AnalysisOutcome& outcome) {
    std::string why;
    auto add = [&why](const std::string& text) { why += (why.empty() ? "" : "; ") + text; };
    const bool colourAsked = (outcome.requestedMode & QV_MODE_CORRECT) != 0;
    const bool tableAsked = (outcome.requestedMode & QV_MODE_BYTE_TABLE) != 0;
    const bool colourDone = outcome.result == QV_RESULT_OK && colourAsked;
    if (colourAsked && !colourDone) {
        if (record.sceneCode == kNoScene && record.correctionMask == kMaskNoLevels) {
            add("no usable black or white point: too few pixels of a settled colour at the "
                "darkest or brightest levels, or fewer than 60 levels between them");
        } else if (record.sceneCode == kNoScene) {
            add("the camera-properties plug-in ruled out a colour correction for '" +
                outcome.camera + "'");
        } else {
            add("scene class " + std::to_string(record.sceneCode) + ": " +
                SceneClassMeaning(record.sceneCode));
        }
    }
    if (tableAsked && (outcome.tableLeftOut || (record.mode & QV_MODE_BYTE_TABLE) == 0)) {
        add("the tone table does not fit this picture (no zone for its highlights, or no "
            "curve for its tones)");
    }
    return why;
}

}  // namespace voved::tool
