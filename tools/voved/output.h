// Output files: written under a temporary name in the target directory,
// flushed to the disk and renamed into place only when complete, so a
// failure or an interrupt never leaves a half-written file, nor a temporary
// one, behind. "-" writes to standard output instead.
#pragma once

#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

namespace voved::tool {

// The name that stands for standard input or output.
constexpr const char* kStandardStream = "-";
bool IsStandardStream(const std::string& path);

struct OutputSettings {
    bool keepTimes = false;  // give a replaced file its access and change times back
};

class OutputFile {
  public:
    // Creates the temporary file next to `path` (next to the file a symbolic
    // link points to: the link stays a link); throws ImageError when the
    // directory cannot take it.
    explicit OutputFile(const std::string& path, const OutputSettings& settings = {});
    ~OutputFile();  // removes the temporary file unless committed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    std::FILE* File() { return file_; }
    // Flushes, closes and renames the file into place; a file it replaces
    // keeps its mode and, where permitted, its owner. Throws ImageError.
    void Commit();

  private:
    void SetAttributes();

    std::string path_;  // as given (for messages)
    std::string target_;
    std::string temporary_;
    std::FILE* file_ = nullptr;
    int slot_ = -1;
    bool committed_ = false;
    bool replaces_ = false;
    struct stat replaced_ {};
    OutputSettings settings_;
};

// True when both names refer to the same existing file.
bool SameFile(const std::string& a, const std::string& b);

// `directory`/`name`, with one slash between them however `directory` ends.
std::string JoinPath(const std::string& directory, const std::string& name);

// Creates `directory` and its missing parents; throws ImageError with the
// system's reason.
void MakeDirectories(const std::string& directory);

// The output name for `input`: in `directory` when given, else next to the
// input with `suffix` before the extension ("photo.jpg" -> "photo-corrected.jpg").
// `extension` replaces the input's extension when not empty.
std::string DerivedOutputPath(const std::string& input, const std::string& directory,
                              const std::string& suffix, const std::string& extension);

}  // namespace voved::tool
