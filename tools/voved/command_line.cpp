#include "command_line.h"

#include <sys/utsname.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <stdexcept>

#include <jpeglib.h>
#include <png.h>

namespace voved::tool {

namespace {

namespace fs = std::filesystem;

// Edits (insert, delete, replace) at most this many letters count as a typo.
constexpr size_t kTypoEdits = 2;

size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

bool IsPictureName(const fs::path& path) {
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == ".jpg" || ext == ".jpeg" || ext == ".png" || ext == ".ppm" || ext == ".pgm" ||
           ext == ".pnm";
}

}  // namespace

std::string VersionText() {
    struct utsname system {};
    uname(&system);
    return std::string("voved ") + VOVED_VERSION + "\n" + "Voved32 library " + VOVED_VERSION +
           " (the tool is built with the library of its release)\n" + "libjpeg " +
           std::to_string(JPEG_LIB_VERSION) + ", libpng " + png_get_libpng_ver(nullptr) + "\n" +
           system.sysname + " " + system.release + " " + system.machine;
}

std::string UnknownCommand(const std::string& word, const std::vector<std::string>& commands) {
    if (std::find(commands.begin(), commands.end(), word) != commands.end()) {
        return "";
    }
    std::string nearest;
    size_t best = kTypoEdits + 1;
    std::string all;
    for (const auto& command : commands) {
        all += (all.empty() ? "" : ", ") + command;
        const size_t distance = EditDistance(word, command);
        if (distance < best) {
            best = distance;
            nearest = command;
        }
    }
    return "unknown command '" + word + "'" +
           (nearest.empty() ? "" : " (did you mean '" + nearest + "'?)") + "; the commands are " +
           all;
}

std::vector<ExpandedInput> ExpandFolders(const std::vector<std::string>& paths, bool recursive) {
    std::vector<ExpandedInput> inputs;
    for (const auto& path : paths) {
        std::error_code error;
        if (!fs::is_directory(path, error)) {
            inputs.push_back({path, ""});
            continue;
        }
        if (!recursive) {
            throw std::runtime_error(path + " is a folder: give -r to work on the pictures in "
                                            "it and below it");
        }
        std::vector<ExpandedInput> found;
        for (auto it = fs::recursive_directory_iterator(path, error);
             !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
            if (it->is_regular_file() && IsPictureName(it->path())) {
                const fs::path relative = fs::relative(it->path().parent_path(), path);
                found.push_back(
                    {it->path().string(), relative == "." ? std::string() : relative.string()});
            }
        }
        if (error) {
            throw std::runtime_error("cannot read the folder " + path + ": " + error.message());
        }
        std::sort(found.begin(), found.end(),
                  [](const ExpandedInput& a, const ExpandedInput& b) { return a.path < b.path; });
        inputs.insert(inputs.end(), found.begin(), found.end());
    }
    return inputs;
}

}  // namespace voved::tool
