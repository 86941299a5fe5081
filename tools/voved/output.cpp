#include "output.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "cleanup.h"
#include "image.h"

namespace voved::tool {

namespace {

constexpr mode_t kFileMode = 0666;
constexpr mode_t kDirectoryMode = 0777;
constexpr mode_t kPermissionBits = 07777;

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

// The file a symbolic link finally points to; the path itself otherwise.
std::string LinkTarget(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
        return path;
    }
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) != nullptr) {
        return resolved;
    }
    // A dangling link: write the file it names.
    const ssize_t length = readlink(path.c_str(), resolved, sizeof resolved - 1);
    if (length <= 0) {
        return path;
    }
    const std::string target(resolved, static_cast<size_t>(length));
    return target[0] == '/' ? target : DirectoryOf(path) + "/" + target;
}

std::string Reason(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

void SyncDirectory(const std::string& directory) {
    const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

}  // namespace

bool IsStandardStream(const std::string& path) {
    return path == kStandardStream;
}

OutputFile::OutputFile(const std::string& path, const OutputSettings& settings)
    : path_(path), settings_(settings) {
    if (IsStandardStream(path)) {
        file_ = stdout;
        return;
    }
    target_ = LinkTarget(path);
    const std::string directory = DirectoryOf(target_);
    struct stat info {};
    if (stat(directory.c_str(), &info) != 0) {
        throw ImageError(Reason("cannot write to " + directory));
    }
    if (!S_ISDIR(info.st_mode)) {
        throw ImageError("cannot write to " + directory + ": not a directory");
    }
    if (stat(target_.c_str(), &replaced_) == 0) {
        if (S_ISDIR(replaced_.st_mode)) {
            throw ImageError("cannot write " + path + ": it is a directory");
        }
        replaces_ = S_ISREG(replaced_.st_mode);
    }
    std::string pattern = directory + "/." + BaseName(target_) + ".voved-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0) {
        throw ImageError(Reason("cannot write to " + directory));
    }
    temporary_ = name.data();
    slot_ = RegisterTemporary(temporary_);
    file_ = fdopen(fd, "wb");
    if (file_ == nullptr) {
        const std::string why = Reason("cannot write to " + directory);
        close(fd);
        unlink(temporary_.c_str());
        ForgetTemporary(slot_);
        throw ImageError(why);
    }
}

OutputFile::~OutputFile() {
    if (temporary_.empty()) {
        return;
    }
    if (file_ != nullptr) {
        std::fclose(file_);
    }
    if (!committed_) {
        unlink(temporary_.c_str());
    }
    ForgetTemporary(slot_);
}

void OutputFile::SetAttributes() {
    const int fd = fileno(file_);
    if (!replaces_) {
        fchmod(fd, kFileMode & ~CurrentUmask());
        return;
    }
    // Owner first: changing it may clear the set-id bits that fchmod sets.
    // Only the superuser may give a file away; others keep it as theirs.
    if (fchown(fd, replaced_.st_uid, replaced_.st_gid) != 0) {
        (void)fchown(fd, static_cast<uid_t>(-1), replaced_.st_gid);
    }
    fchmod(fd, replaced_.st_mode & kPermissionBits);
    if (settings_.keepTimes) {
        const struct timespec times[2] = {replaced_.st_atim, replaced_.st_mtim};
        futimens(fd, times);
    }
}

void OutputFile::Commit() {
    if (temporary_.empty()) {
        if (std::fflush(file_) != 0) {
            throw ImageError(Reason("cannot write to standard output"));
        }
        committed_ = true;
        return;
    }
    const bool flushed = std::fflush(file_) == 0 && fsync(fileno(file_)) == 0;
    const int error = errno;
    SetAttributes();
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!flushed || !closed) {
        throw ImageError("cannot write " + path_ + ": " + std::strerror(error));
    }
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
        throw ImageError(Reason("cannot write " + path_));
    }
    committed_ = true;
    SyncDirectory(DirectoryOf(target_));
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

std::string JoinPath(const std::string& directory, const std::string& name) {
    return directory.empty() || directory.back() == '/' ? directory + name : directory + "/" + name;
}

void MakeDirectories(const std::string& directory) {
    std::string path;
    size_t from = 0;
    while (from <= directory.size()) {
        size_t slash = directory.find('/', from);
        if (slash == std::string::npos) {
            slash = directory.size();
        }
        path = directory.substr(0, slash);
        from = slash + 1;
        if (path.empty() || path == "." || path == "..") {
            continue;
        }
        if (mkdir(path.c_str(), kDirectoryMode) != 0 && errno != EEXIST) {
            throw ImageError(Reason("cannot create the directory " + path));
        }
    }
    struct stat info {};
    if (stat(directory.c_str(), &info) != 0) {
        throw ImageError(Reason("cannot use the directory " + directory));
    }
    if (!S_ISDIR(info.st_mode)) {
        throw ImageError("cannot use the directory " + directory + ": not a directory");
    }
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
        return JoinPath(directory, stem + ext);
    }
    const std::string dir = DirectoryOf(input);
    return (dir == "." && input.find('/') == std::string::npos ? "" : dir + "/") + stem + suffix +
           ext;
}

}  // namespace voved::tool
