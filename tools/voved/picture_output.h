// An output picture of a job: the temporary file and the encoder writing
// into it, or a copy of the input's bytes when the picture is left alone.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "image.h"
#include "jobs.h"
#include "output.h"

namespace voved::tool {

struct PictureOutput {
    // Writes a picture of info.width x info.height in lines of info.kind,
    // storing what `kind` needs, encoded on a thread of its own; with
    // `copyOf`, that input's bytes instead (then `writer` stays null).
    // `linesStay`: every line written stays as it is until Finish returns, so
    // the encoder takes it from where it lies instead of a copy.
    PictureOutput(const std::string& path, const ImageInfo& info, ColourKind kind,
                  const WriteOptions& options, const OutputSettings& settings,
                  std::vector<std::string>& notices, const InputFile* copyOf = nullptr,
                  bool linesStay = false);

    // The before | after picture of `info` (see side_by_side.h): its writer
    // takes pair lines in the input's order.
    static std::unique_ptr<PictureOutput> SideBySide(const std::string& path, const ImageInfo& info,
                                                     ColourKind kind, const WriteOptions& options,
                                                     const OutputSettings& settings,
                                                     std::vector<std::string>& notices);

    void WriteLine(const uint8_t* line) {
        if (writer) {
            writer->WriteLine(line);
        }
    }
    void Finish();

    OutputFile file;
    std::unique_ptr<LineWriter> writer;
};

}  // namespace voved::tool
