// The command line's habits shared by every command: the version text, a
// clear word for an unknown command, and folders given as inputs.
#pragma once

#include <string>
#include <vector>

namespace voved::tool {

// What `voved --version` prints: the tool's and the library's versions and
// the platform, one per line (without the last line's end).
std::string VersionText();

// The message for `word` given where a command is expected, with the
// nearest of `commands` when one is close; "" when `word` is a command.
std::string UnknownCommand(const std::string& word, const std::vector<std::string>& commands);

// An input given as a folder, and where its pictures come from.
struct ExpandedInput {
    std::string path;
    std::string subfolder;  // below the folder given ("" for a file given as it is)
};

// The inputs with every folder replaced, when `recursive`, by the pictures
// (.jpg, .jpeg, .png, .ppm, .pgm, .pnm) in it and below it, in name order.
// Throws std::runtime_error for a folder without `recursive`.
std::vector<ExpandedInput> ExpandFolders(const std::vector<std::string>& paths, bool recursive);

}  // namespace voved::tool
