#include "output.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "image.h"

namespace voved::tool {

namespace {

constexpr mode_t kFileMode = 0666;

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

mode_t CurrentUmask() {
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}

}  // namespace

OutputFile::OutputFile(const std::string& path) : path_(path) {
    const std::string directory = DirectoryOf(path);
    struct stat info {};
    if (stat(directory.c_str(), &info) != 0) {
        throw ImageError("cannot write to " + directory + ": " + std::strerror(errno));
    }
    if (!S_ISDIR(info.st_mode)) {
        throw ImageError("cannot write to " + directory + ": not a directory");
    }
    struct stat target {};
    if (stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) {
        throw ImageError("cannot write " + path + ": it is a directory");
    }
    std::string pattern = directory + "/." + BaseName(path) + ".voved-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0) {
        throw ImageError("cannot write to " + directory + ": " + std::strerror(errno));
    }
    temporary_ = name.data();
    file_ = fdopen(fd, "wb");
    if (file_ == nullptr) {
        close(fd);
        unlink(temporary_.c_str());
        throw ImageError("cannot write to " + directory + ": " + std::strerror(errno));
    }
}

OutputFile::~OutputFile() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
    if (!committed_) {
        unlink(temporary_.c_str());
    }
}

void OutputFile::Commit() {
    const bool flushed = std::fflush(file_) == 0 && fsync(fileno(file_)) == 0;
    const int error = errno;
    fchmod(fileno(file_), kFileMode & ~CurrentUmask());
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!flushed || !closed) {
        throw ImageError("cannot write " + path_ + ": " + std::strerror(error));
    }
    if (std::rename(temporary_.c_str(), path_.c_str()) != 0) {
        throw ImageError("cannot write " + path_ + ": " + std::strerror(errno));
    }
    committed_ = true;
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

std::string DerivedOutputPath(const std::string& input, const std::string& directory,
                              const std::string& suffix, const std::string& extension) {
    std::string base = BaseName(input);
    std::string stem = base;
    std::string ext;
    const size_t dot = base.find_last_of('.');
    if (dot != std::string::npos && dot > 0) {
        stem = base.substr(0, dot);
        ext = base.substr(dot);
    }
    if (!extension.empty()) {
        ext = "." + extension;
    }
    if (!directory.empty()) {
        return directory + "/" + stem + ext;
    }
    const std::string dir = DirectoryOf(input);
    return (dir == "." && input.find('/') == std::string::npos ? "" : dir + "/") + stem + suffix +
           ext;
}

}  // namespace voved::tool
