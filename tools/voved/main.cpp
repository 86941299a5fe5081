// voved: corrects photos with the Voved32 library.
//
//   voved correct IN... [-o OUT | -d DIR]     one-shot correction
//   voved analyse IN... [--json] [--plot F]   what the analysis derived
//   voved convert IN OUT [--sharpen L ...]    streaming conversion
//   voved tone-table compile DESC.json OUT.bin | dump IN.bin
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>

#include <CLI/CLI.hpp>

#include "image.h"
#include "output.h"
#include "tone_table.h"

namespace voved::tool {

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw ToneTableError("cannot open " + path);
    }
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
}

int CompileToneTable(const std::string& source, const std::string& target) {
    try {
        const std::vector<uint8_t> text = ReadWholeFile(source);
        const std::vector<uint8_t> table =
            EncodeToneTable(ToneTableFromJson(std::string(text.begin(), text.end())));
        OutputFile out(target);
        if (std::fwrite(table.data(), 1, table.size(), out.File()) != table.size()) {
            throw ImageError("cannot write " + target);
        }
        out.Commit();
        std::printf("%s: %zu bytes, checksum %u\n", target.c_str(), table.size(),
                    static_cast<unsigned>(table.back()));
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "voved: %s: %s\n", source.c_str(), error.what());
        return kExitFailure;
    }
}

int DumpToneTable(const std::string& source) {
    try {
        const ToneTableDesc desc = DecodeToneTable(ReadWholeFile(source));
        std::fputs(ToneTableToJson(desc).c_str(), stdout);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "voved: %s: %s\n", source.c_str(), error.what());
        return kExitFailure;
    }
}

}  // namespace

int Main(int argc, char** argv) {
    CLI::App app{"voved: automatic photo correction with the Voved32 library"};
    app.require_subcommand(1);

    auto* table = app.add_subcommand("tone-table", "Author and inspect tone parameter tables");
    table->require_subcommand(1);
    std::string tableSource;
    std::string tableTarget;
    auto* compile = table->add_subcommand(
        "compile", "Compile a JSON description (docs/tone-table.md) into a binary table");
    compile->add_option("DESC.json", tableSource, "JSON description")->required();
    compile->add_option("OUT.bin", tableTarget, "binary table to write")->required();
    auto* dump = table->add_subcommand("dump", "Check a binary table and print it as JSON");
    dump->add_option("IN.bin", tableSource, "binary table")->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int status = app.exit(error);
        return status == 0 ? 0 : kExitUsage;
    }
    if (compile->parsed()) {
        return CompileToneTable(tableSource, tableTarget);
    }
    if (dump->parsed()) {
        return DumpToneTable(tableSource);
    }
    return kExitUsage;
}

}  // namespace voved::tool

int main(int argc, char** argv) {
    return voved::tool::Main(argc, argv);
}
