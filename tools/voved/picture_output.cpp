#include "picture_output.h"

#include "pipeline.h"
#include "side_by_side.h"

namespace voved::tool {

PictureOutput::PictureOutput(const std::string& path, const ImageInfo& info, ColourKind kind,
                             const WriteOptions& options, const OutputSettings& settings,
                             std::vector<std::string>& notices, const InputFile* copyOf,
                             bool linesStay)
    : file(path, settings) {
    if (copyOf != nullptr) {
        CopyInput(*copyOf, file.File());
        return;
    }
    const std::string name = FormatNameOf(path, options, info);
    const FileFormat format = FormatFromPath(name);
    writer =
        WriteBehind(OpenWriter(file.File(), format, info.width, info.height, info.kind,
                               StorableKind(format, name, kind), info.metadata, options, notices),
                    size_t{info.width} * static_cast<size_t>(LineChannels(info.kind)), linesStay);
}

std::unique_ptr<PictureOutput> PictureOutput::SideBySide(const std::string& path,
                                                         const ImageInfo& info, ColourKind kind,
                                                         const WriteOptions& options,
                                                         const OutputSettings& settings,
                                                         std::vector<std::string>& notices) {
    auto pair =
        std::make_unique<PictureOutput>(path, PairInfo(info), kind, options, settings, notices);
    pair->writer = UprightPairs(std::move(pair->writer), info);
    return pair;
}

void PictureOutput::Finish() {
    if (writer) {
        writer->Finish();
    }
    file.Commit();
}

}  // namespace voved::tool
