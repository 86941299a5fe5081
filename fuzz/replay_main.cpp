// Runs fuzz inputs without libFuzzer: every argument is a file, or a
// directory whose files are run in name order. A finding aborts the run as
// it would under the fuzzer; the exit status is 0 when every input ran and
// 1 when an argument could not be read.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

namespace fs = std::filesystem;

bool RunFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "cannot read %s\n", path.string().c_str());
        return false;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(file)),
                                  std::istreambuf_iterator<char>());
    std::printf("running %s (%zu bytes)\n", path.string().c_str(), bytes.size());
    std::fflush(stdout);
    // A copy of exactly the input's size, as the fuzzer hands it over.
    std::vector<uint8_t> input(bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput(input.empty() ? nullptr : input.data(), input.size());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    bool readable = true;
    int inputs = 0;
    for (int i = 1; i < argc; ++i) {
        const fs::path path(argv[i]);
        std::error_code error;
        if (fs::is_directory(path, error)) {
            std::vector<fs::path> files;
            for (const fs::directory_entry& entry : fs::directory_iterator(path)) {
                if (entry.is_regular_file()) {
                    files.push_back(entry.path());
                }
            }
            std::sort(files.begin(), files.end());
            for (const fs::path& file : files) {
                readable = RunFile(file) && readable;
                ++inputs;
            }
        } else {
            readable = RunFile(path) && readable;
            ++inputs;
        }
    }
    std::printf("%d input(s) ran without a finding\n", inputs);
    return readable ? 0 : 1;
}
