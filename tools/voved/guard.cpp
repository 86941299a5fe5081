#include "guard.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>

#include "output.h"

namespace voved::tool {

namespace {

struct Identity {
    bool exists = false;
    bool regular = false;
    dev_t device = 0;
    ino_t inode = 0;
    std::string resolved;

    bool operator==(const Identity& other) const {
        if (exists && other.exists) {
            return device == other.device && inode == other.inode;
        }
        return resolved == other.resolved;
    }
};

std::string Resolved(const std::string& path) {
    char buffer[PATH_MAX];
    if (realpath(path.c_str(), buffer) != nullptr) {
        return buffer;
    }
    // A file still to be made: resolve its directory.
    const size_t slash = path.find_last_of('/');
    const std::string directory = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (realpath(directory.c_str(), buffer) != nullptr) {
        return std::string(buffer) + "/" + name;
    }
    return path;
}

Identity IdentityOf(const std::string& path) {
    Identity identity;
    struct stat info {};
    if (stat(path.c_str(), &info) == 0) {
        identity.exists = true;
        identity.regular = S_ISREG(info.st_mode);
        identity.device = info.st_dev;
        identity.inode = info.st_ino;
    }
    identity.resolved = Resolved(path);
    return identity;
}

}  // namespace

void GuardOutputs(const std::vector<std::string>& inputs, const std::vector<PlannedOutput>& outputs,
                  const GuardSettings& settings) {
    std::vector<Identity> inputIds;
    for (const auto& input : inputs) {
        inputIds.push_back(IsStandardStream(input) ? Identity{} : IdentityOf(input));
    }
    std::vector<Identity> taken;
    const PlannedOutput* standardOutput = nullptr;
    for (const auto& out : outputs) {
        const std::string named = out.role + " " + out.path;
        if (IsStandardStream(out.path)) {
            if (standardOutput != nullptr) {
                throw OutputRefused(out.role + " and " + standardOutput->role +
                                    " cannot both go to standard output");
            }
            standardOutput = &out;
            continue;
        }
        const Identity id = IdentityOf(out.path);
        for (size_t i = 0; i < inputs.size(); ++i) {
            if (IsStandardStream(inputs[i]) || !(id == inputIds[i])) {
                continue;
            }
            if (!out.mayReplace.empty() && IdentityOf(out.mayReplace) == id) {
                continue;
            }
            throw OutputRefused(named + " is an input (" + inputs[i] + "); give another name" +
                                (settings.inPlaceOffered ? ", or --in-place to replace it" : ""));
        }
        for (size_t j = 0; j < taken.size(); ++j) {
            if (taken[j] == id) {
                throw OutputRefused(named + " is already written by this command; give each "
                                            "output its own name");
            }
        }
        if (out.derived && id.regular && !settings.overwrite) {
            throw OutputRefused(named + " exists; remove it, choose another -d, or give "
                                        "--overwrite to replace it");
        }
        taken.push_back(id);
    }
}

}  // namespace voved::tool
