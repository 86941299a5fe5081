// Output files: written under a temporary name in the target directory and
// renamed into place only when complete, so a failure never leaves a
// half-written picture behind.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace voved::tool {

class OutputFile {
  public:
    // Creates the temporary file next to `path`; throws ImageError when the
    // directory cannot take it.
    explicit OutputFile(const std::string& path);
    ~OutputFile();  // removes the temporary file unless committed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    std::FILE* File() { return file_; }
    // Flushes, closes and renames the file into place; throws ImageError.
    void Commit();

  private:
    std::string path_;
    std::string temporary_;
    std::FILE* file_ = nullptr;
    bool committed_ = false;
};

// True when both names refer to the same existing file.
bool SameFile(const std::string& a, const std::string& b);

// The output name for `input`: in `directory` when given, else next to the
// input with `suffix` before the extension ("photo.jpg" -> "photo-corrected.jpg").
// `extension` replaces the input's extension when not empty.
std::string DerivedOutputPath(const std::string& input, const std::string& directory,
                              const std::string& suffix, const std::string& extension);

}  // namespace voved::tool
