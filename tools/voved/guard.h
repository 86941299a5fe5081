// The output guard: before any work, every output a command will write is
// checked against its inputs and its other outputs, by the file each name
// resolves to (device and inode when it exists, the resolved path when it
// does not), never by the spelling of the names.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace voved::tool {

class OutputRefused : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct PlannedOutput {
    PlannedOutput(std::string path_, std::string role_)
        : path(std::move(path_)), role(std::move(role_)) {}
    std::string path;
    std::string role;        // "the output", "the side-by-side picture", ...
    bool derived = false;    // a name the tool made up (-d, default names)
    std::string mayReplace;  // the input this output replaces (--in-place)
};

struct GuardSettings {
    bool overwrite = false;      // derived names may replace existing files
    bool inPlaceOffered = true;  // the command has --in-place
};

// Throws OutputRefused, naming the output and the reason, when an output
// is an input (other than its own with --in-place), is also another output,
// or is a derived name that would replace an existing file. "-" is
// standard input or output: one output at most may take it.
void GuardOutputs(const std::vector<std::string>& inputs, const std::vector<PlannedOutput>& outputs,
                  const GuardSettings& settings = {});

}  // namespace voved::tool
