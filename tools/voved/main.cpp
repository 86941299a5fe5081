// voved: corrects photos with the Voved32 library.
//
//   voved correct [IN...] [-o OUT | -d DIR]   one-shot correction
//   voved analyse [IN...] [--json] [--plot F] what the analysis derived
//   voved convert IN OUT [--sharpen L ...]    streaming conversion
//   voved tone-table compile DESC.json OUT.bin | dump IN.bin
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>

#include <CLI/CLI.hpp>

#include "cleanup.h"
#include "command_line.h"
#include "guard.h"
#include "jobs.h"
#include "output.h"
#include "report.h"
#include "tone_table.h"

namespace voved::tool {

extern const unsigned char kSamplePhoto[];
extern const size_t kSamplePhotoSize;

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr const char* kSampleName = "chelsea.jpg";
constexpr uint64_t kDefaultMaxMemory = 256u << 20;

// Named tones. Each hue is that of a reference colour measured with the
// library's own colour differences, hue = atan2(R - Y, B - Y) in degrees with
// Y = (5R + 9G + 2B) / 16: sepia from a sepia print brown (112, 66, 20) gives
// 144, rounded toward the orange of a warm print to 146; gold from gold
// toning (212, 175, 55), 160; selenium from a purple-brown selenium print
// (96, 70, 82), 79; cyanotype from Prussian blue (18, 58, 110), 330; green
// from (0, 128, 0), 225.
const std::map<std::string, int> kNamedTones = {
    {"sepia", 146}, {"gold", 160}, {"selenium", 79}, {"cyanotype", 330}, {"green", 225},
};

constexpr const char* kToneHelp =
    "tone the picture to one hue: degrees 0..359 or a name (sepia 146, gold 160, "
    "selenium 79, cyanotype 330, green 225). The hue turns from blue (0) through "
    "magenta (45), red (114), orange (146), yellow (171), green (225) and cyan (295) "
    "back to blue";
constexpr const char* kSharpenHelp =
    "sharpen: -1 is the strongest, 0 the usual, 1, 2 and 3 ever gentler. A HIGHER "
    "number is GENTLER";

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::vector<uint8_t> ReadStandardInput() {
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(std::cin)),
                                std::istreambuf_iterator<char>());
}

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
    if (IsStandardStream(path)) {
        return ReadStandardInput();
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw ToneTableError("cannot open " + path);
    }
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
}

int CompileToneTable(const std::string& source, const std::string& target, bool quiet) {
    try {
        GuardSettings once;
        once.inPlaceOffered = false;
        GuardOutputs({source}, {{target, "the compiled table"}}, once);
        const std::vector<uint8_t> text = ReadWholeFile(source);
        const std::vector<uint8_t> table =
            EncodeToneTable(ToneTableFromJson(std::string(text.begin(), text.end())));
        OutputFile out(target);
        if (std::fwrite(table.data(), 1, table.size(), out.File()) != table.size()) {
            throw ImageError("cannot write " + target);
        }
        out.Commit();
        if (quiet) {
            return 0;
        }
        std::fprintf(IsStandardStream(target) ? stderr : stdout, "%s: %zu bytes, checksum %u\n",
                     target.c_str(), table.size(), static_cast<unsigned>(table.back()));
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "voved: %s: %s\n", source.c_str(), error.what());
        return kExitFailure;
    }
}

int DumpToneTable(const std::string& source) {
    try {
        // Either form is shown: a JSON description as the table it compiles to.
        const ToneTableDesc desc = DecodeToneTable(ToneTableBytes(ReadWholeFile(source)));
        std::fputs(ToneTableToJson(desc).c_str(), stdout);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "voved: %s: %s\n", source.c_str(), error.what());
        return kExitFailure;
    }
}

std::vector<InputFile> Inputs(const std::vector<std::string>& paths) {
    std::vector<InputFile> inputs;
    if (paths.empty()) {
        InputFile sample;
        sample.name = kSampleName;
        sample.memory = kSamplePhoto;
        sample.size = kSamplePhotoSize;
        inputs.push_back(sample);
    }
    for (const auto& path : paths) {
        InputFile input;
        input.name = path;
        if (IsStandardStream(path)) {
            input.owned = std::make_shared<const std::vector<uint8_t>>(ReadStandardInput());
            input.memory = input.owned->data();
            input.size = input.owned->size();
        } else {
            input.path = path;
        }
        inputs.push_back(input);
    }
    return inputs;
}

void CheckStandardInput(const std::vector<std::string>& paths) {
    if (std::count_if(paths.begin(), paths.end(), IsStandardStream) > 1) {
        throw CLI::ValidationError("standard input (-) can be read only once");
    }
}

std::vector<std::string> Names(const std::vector<InputFile>& inputs) {
    std::vector<std::string> names;
    for (const auto& input : inputs) {
        names.push_back(input.name);
    }
    return names;
}

// Options of the analysis shared by the three picture commands.
struct AnalysisOptions {
    std::string toneTable;
    std::string camera;
    bool noColour = false;

    void AddTo(CLI::App* command) {
        command
            ->add_option("--tone-table", toneTable,
                         "tone parameter table (binary, or its JSON form) to build a tone "
                         "table from")
            ->type_name("FILE");
        command
            ->add_option("--camera", camera,
                         "camera model for the camera-properties plug-in (default: the "
                         "model in the picture's EXIF data)")
            ->type_name("MODEL");
    }

    AnalysisSettings Settings() const {
        AnalysisSettings settings;
        settings.colour = !noColour;
        if (!toneTable.empty()) {
            try {
                settings.toneTable =
                    std::make_shared<const std::vector<uint8_t>>(LoadToneTableFile(toneTable));
            } catch (const ToneTableError& error) {
                throw Failure(toneTable + ": " + error.what());
            }
        }
        if (!camera.empty()) {
            settings.camera = camera;
        }
        return settings;
    }
};

struct OutputOptions {
    std::string output;
    std::string directory;
    std::string format;
    bool inPlace = false;
    bool overwrite = false;
    bool keepTimes = false;
};

// The output path of each input.
// With -d, a picture found in a subfolder (-r) goes to the same subfolder.
std::vector<std::string> OutputPaths(const std::vector<InputFile>& inputs, const OutputOptions& o,
                                     const char* suffix,
                                     const std::vector<std::string>& subfolders) {
    std::vector<std::string> outputs;
    for (size_t i = 0; i < inputs.size(); ++i) {
        const InputFile& input = inputs[i];
        const std::string base = input.path.empty() ? input.name : input.path;
        const std::string sub = i < subfolders.size() ? subfolders[i] : "";
        const std::string directory =
            o.directory.empty() || sub.empty() ? o.directory : JoinPath(o.directory, sub);
        if (o.inPlace) {
            outputs.push_back(input.path);
        } else if (!o.output.empty()) {
            outputs.push_back(o.output);
        } else {
            outputs.push_back(
                DerivedOutputPath(base, directory, o.directory.empty() ? suffix : "", o.format));
        }
    }
    return outputs;
}

// Every output of a correction, checked before any work.
void GuardCorrection(const std::vector<std::string>& paths, const std::vector<std::string>& outputs,
                     const OutputOptions& o, const std::string& sideBySide) {
    std::vector<PlannedOutput> planned;
    for (size_t i = 0; i < outputs.size(); ++i) {
        PlannedOutput out{outputs[i], "the output"};
        out.derived = o.output.empty() && !o.inPlace;
        out.mayReplace = o.inPlace ? outputs[i] : "";
        planned.push_back(out);
    }
    if (!sideBySide.empty()) {
        planned.push_back({sideBySide, "the side-by-side picture"});
    }
    GuardOutputs(paths, planned, {o.overwrite});
}

void CheckOutputOptions(const OutputOptions& o, size_t inputCount, bool sampleOnly) {
    if (!o.output.empty() && inputCount > 1) {
        throw CLI::ValidationError("-o names one output file; use -d DIR for several inputs");
    }
    if (o.inPlace && (!o.output.empty() || !o.directory.empty())) {
        throw CLI::ValidationError("--in-place writes over each input; it takes no -o or -d");
    }
    if (o.inPlace && sampleOnly) {
        throw CLI::ValidationError("--in-place needs input files");
    }
    if (o.keepTimes && !o.inPlace) {
        throw CLI::ValidationError("--keep-times goes with --in-place");
    }
}

// The names a batch's outputs derive from must be files.
void CheckDerivedNames(const std::vector<std::string>& paths, const OutputOptions& o) {
    if (o.output.empty() && std::any_of(paths.begin(), paths.end(), IsStandardStream)) {
        throw CLI::ValidationError("a picture from standard input needs -o (- for standard "
                                   "output)");
    }
    if (o.inPlace && std::any_of(paths.begin(), paths.end(), IsStandardStream)) {
        throw CLI::ValidationError("--in-place needs input files, not standard input");
    }
}

std::optional<ChromaSampling> Sampling(const std::string& name) {
    return name.empty() ? std::nullopt : std::optional<ChromaSampling>(ParseSampling(name));
}

constexpr const char* kSamplingHelp =
    "JPEG chroma subsampling: 444, 422 or 420 (default: the input JPEG's, else 420)";

// How much the batch says besides its results.
struct Talk {
    bool quiet = false;
    bool verbose = false;
    bool recursive = false;

    void AddTo(CLI::App* command) {
        command->add_flag("-q,--quiet", quiet, "say nothing but errors");
        command->add_flag("-v,--verbose", verbose,
                          "also say how long each picture took, and always sum up");
    }
    void Apply(BatchSettings& batch) const {
        batch.quiet = quiet;
        batch.verbose = verbose;
        batch.summary = (batch.summary || verbose) && !quiet;
    }
};

// The inputs with folders expanded (-r); the subfolder of each below the
// folder it came from, for -d.
std::vector<std::string> ExpandInputs(const std::vector<std::string>& given, bool recursive,
                                      std::vector<std::string>* subfolders = nullptr) {
    std::vector<std::string> paths;
    try {
        for (const auto& input : ExpandFolders(given, recursive)) {
            paths.push_back(input.path);
            if (subfolders != nullptr) {
                subfolders->push_back(input.subfolder);
            }
        }
    } catch (const std::runtime_error& error) {
        throw Failure(error.what());
    }
    if (paths.empty() && !given.empty()) {
        throw Failure("no pictures (.jpg, .jpeg, .png, .ppm, .pgm, .pnm) in the folders given");
    }
    return paths;
}

int RunCorrect(const std::vector<std::string>& given, const OutputOptions& out,
               const AnalysisOptions& analysisOptions, const std::string& sideBySide, int quality,
               const std::string& subsampling, uint64_t maxMemory, unsigned jobs,
               const Talk& talk) {
    std::vector<std::string> subfolders;
    const std::vector<std::string> paths = ExpandInputs(given, talk.recursive, &subfolders);
    CheckStandardInput(paths);
    CheckOutputOptions(out, std::max<size_t>(paths.size(), 1), paths.empty());
    CheckDerivedNames(paths, out);
    if (!sideBySide.empty() && paths.size() > 1) {
        throw CLI::ValidationError("--side-by-side takes one input");
    }
    CorrectSettings settings;
    settings.analysis = analysisOptions.Settings();
    if (!settings.analysis.colour && !settings.analysis.toneTable) {
        throw CLI::ValidationError("--no-colour without --tone-table leaves nothing to do");
    }
    settings.sideBySide = sideBySide;
    settings.maxMemory = maxMemory;
    settings.write.quality = quality;
    settings.write.format = out.format;
    settings.write.sampling = Sampling(subsampling);
    settings.file.keepTimes = out.keepTimes;
    std::vector<InputFile> named(paths.size());
    for (size_t i = 0; i < paths.size(); ++i) {
        named[i].name = named[i].path = paths[i];
    }
    const auto outputs =
        OutputPaths(paths.empty() ? Inputs({}) : named, out, "-corrected", subfolders);
    GuardCorrection(paths, outputs, out, sideBySide);
    if (!out.directory.empty()) {
        try {
            MakeDirectories(out.directory);
            for (const auto& sub : subfolders) {
                if (!sub.empty()) {
                    MakeDirectories(JoinPath(out.directory, sub));
                }
            }
        } catch (const ImageError& error) {
            throw Failure(error.what());
        }
    }
    const std::vector<InputFile> inputs = Inputs(paths);
    BatchSettings batch;
    batch.jobs = jobs;
    batch.verb = "corrected";
    talk.Apply(batch);
    batch.reportsToStderr = std::any_of(outputs.begin(), outputs.end(), IsStandardStream) ||
                            IsStandardStream(sideBySide);
    return RunBatch(Names(inputs), batch,
                    [&](size_t i) { return CorrectPicture(inputs[i], outputs[i], settings); });
}

std::string FormatOfPlot(const std::string& path) {
    const size_t dot = path.find_last_of('.');
    std::string ext = dot == std::string::npos ? "" : path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return IsStandardStream(path) ? "svg" : ext;
}

int RunAnalyse(const std::vector<std::string>& given, const AnalysisOptions& analysisOptions,
               bool json, const std::string& plot, unsigned jobs, const Talk& talk) {
    const std::vector<std::string> paths = ExpandInputs(given, talk.recursive);
    if (!plot.empty() && FormatOfPlot(plot) != "svg") {
        throw CLI::ValidationError("--plot writes SVG: give a name ending in .svg");
    }
    CheckStandardInput(paths);
    if (!plot.empty() && paths.size() > 1) {
        throw CLI::ValidationError("--plot takes one input");
    }
    if (!plot.empty()) {
        GuardSettings once;
        once.inPlaceOffered = false;
        GuardOutputs(paths, {{plot, "the plot"}}, once);
    }
    const std::vector<InputFile> inputs = Inputs(paths);
    AnalyseSettings settings;
    settings.analysis = analysisOptions.Settings();
    settings.json = json;
    settings.plot = plot;
    std::vector<AnalysisReport> reports(inputs.size());
    std::vector<std::string> errors(inputs.size());
    BatchSettings batch;
    batch.jobs = jobs;
    batch.verb = "analysed";
    batch.summary = inputs.size() > 1;
    batch.reportIsResult = true;
    batch.reportsToStderr = IsStandardStream(plot);
    talk.Apply(batch);
    const int status = RunBatch(Names(inputs), batch, [&](size_t i) {
        try {
            return AnalysePicture(inputs[i], settings, reports[i]);
        } catch (const std::exception& error) {
            errors[i] = error.what();
            throw;
        }
    });
    if (json) {
        // JSON Lines: one object a picture, however many there are.
        for (size_t i = 0; i < inputs.size(); ++i) {
            const nlohmann::ordered_json line =
                errors[i].empty()
                    ? ReportJson(reports[i])
                    : nlohmann::ordered_json{{"file", inputs[i].name}, {"error", errors[i]}};
            std::cout << line.dump() << "\n";
        }
    }
    return status;
}

std::optional<int> ParseTone(const std::string& tone) {
    if (tone.empty()) {
        return std::nullopt;
    }
    const auto named = kNamedTones.find(tone);
    if (named != kNamedTones.end()) {
        return named->second;
    }
    try {
        size_t used = 0;
        const int hue = std::stoi(tone, &used);
        if (used == tone.size() && hue >= 0 && hue < 360) {
            return hue;
        }
    } catch (const std::exception&) {
    }
    throw CLI::ValidationError("--tone takes a hue 0..359 or one of sepia, gold, selenium, "
                               "cyanotype, green");
}

struct ConvertOptions {
    std::string input;
    std::string output;
    int sharpen = 0;
    bool sharpenGiven = false;
    int outputWidth = 0;
    int resolutionScale = 0;
    std::string tone;
    bool grey = false;
    bool denoise = false;
    bool correct = false;
    bool inPlace = false;
    bool keepTimes = false;
    int quality = 92;
    std::string format;
    std::string subsampling;
    std::string sideBySide;
};

int RunConvert(const ConvertOptions& o, const AnalysisOptions& analysisOptions, const Talk& talk) {
    std::error_code error;
    if (std::filesystem::is_directory(o.input, error)) {
        throw Failure(o.input + " is a folder: convert takes one picture (correct -r takes "
                                "folders)");
    }
    if ((o.outputWidth == 0) != (o.resolutionScale == 0)) {
        throw CLI::ValidationError("--output-width and --resolution-scale go together");
    }
    if (o.outputWidth != 0 && !o.sharpenGiven) {
        throw CLI::ValidationError("the working size only applies with --sharpen");
    }
    // One conversion sharpens or tones (with or without --correct), or
    // filters noise (with --correct and a tone table), or corrects and
    // applies a tone table: the other steps would be dropped.
    const bool shapes = o.sharpenGiven || !o.tone.empty() || o.grey;
    if (shapes && o.denoise) {
        throw CLI::ValidationError("--denoise cannot go with --sharpen, --tone or --grey in one "
                                   "conversion: convert twice, --denoise first");
    }
    if (shapes && !analysisOptions.toneTable.empty()) {
        throw CLI::ValidationError("--tone-table cannot go with --sharpen, --tone or --grey in one "
                                   "conversion: convert twice, --tone-table first");
    }
    if (o.outputWidth != 0 && o.correct) {
        throw CLI::ValidationError("--correct works at the picture's own size: it takes no "
                                   "--output-width");
    }
    ConvertSettings settings;
    if (o.sharpenGiven) {
        settings.sharpen = o.sharpen;
    }
    settings.outputWidth = static_cast<uint16_t>(o.outputWidth);
    settings.resolutionScale = static_cast<int16_t>(o.resolutionScale);
    settings.toneHue = o.grey ? std::optional<int>(-1) : ParseTone(o.tone);
    settings.denoise = o.denoise;
    settings.correct = o.correct;
    settings.analysis = analysisOptions.Settings();
    settings.write.quality = o.quality;
    settings.write.format = o.format;
    settings.write.sampling = Sampling(o.subsampling);
    settings.sideBySide = o.sideBySide;
    settings.file.keepTimes = o.keepTimes;
    if (o.keepTimes && !o.inPlace) {
        throw CLI::ValidationError("--keep-times goes with --in-place");
    }
    PlannedOutput result{o.output, "the output"};
    result.mayReplace = o.inPlace ? o.input : "";
    std::vector<PlannedOutput> planned = {result};
    if (!o.sideBySide.empty()) {
        planned.push_back({o.sideBySide, "the side-by-side picture"});
    }
    GuardOutputs({o.input}, planned);
    const std::vector<InputFile> inputs = Inputs({o.input});
    BatchSettings batch;
    batch.jobs = 1;
    batch.verb = "converted";
    batch.summary = false;
    talk.Apply(batch);
    batch.reportsToStderr = IsStandardStream(o.output) || IsStandardStream(o.sideBySide);
    return RunBatch(Names(inputs), batch,
                    [&](size_t) { return ConvertPicture(inputs[0], o.output, settings); });
}

}  // namespace

int Main(int argc, char** argv) {
    CLI::App app{"voved: automatic photo correction with the Voved32 library.\n"
                 "Without input files, correct and analyse work on the bundled sample photo."};
    app.name("voved");
    app.require_subcommand(1);
    app.fallthrough();
    app.set_help_all_flag("--help-all", "help for every command");
    app.set_version_flag("--version", VersionText(), "print the versions and the platform");
    Talk talk;
    talk.AddTo(&app);

    unsigned jobs = 0;
    int quality = 92;
    AnalysisOptions analysisOptions;

    // correct
    auto* correct = app.add_subcommand("correct", "Correct photos: exposure, colour cast, "
                                                  "saturation (and a tone table on request)");
    std::vector<std::string> correctInputs;
    OutputOptions out;
    std::string sideBySide;
    uint64_t maxMemory = kDefaultMaxMemory;
    correct->add_option("IN", correctInputs, "pictures to correct (JPEG, PNG, PPM/PGM)");
    auto* outputOption =
        correct->add_option("-o,--output", out.output, "output file (- for standard output)")
            ->type_name("FILE");
    correct
        ->add_option("-d,--directory", out.directory,
                     "write the outputs into DIR (made, with its parents, if missing)")
        ->type_name("DIR")
        ->excludes(outputOption);
    correct
        ->add_option("--format", out.format,
                     "output format for -d, default names or - (standard output)")
        ->check(CLI::IsMember({"jpg", "png", "ppm", "pgm"}));
    correct->add_flag("--in-place", out.inPlace,
                      "replace each input with its correction (a symbolic link stays a link; "
                      "mode and owner are kept)");
    correct->add_flag("--keep-times", out.keepTimes,
                      "with --in-place: keep each file's modification time");
    correct->add_flag("--overwrite", out.overwrite,
                      "let default names and -d replace existing files");
    analysisOptions.AddTo(correct);
    correct->add_flag("--no-colour", analysisOptions.noColour,
                      "no colour correction: apply the tone table only");
    correct->add_option("--side-by-side", sideBySide, "also write before | after into FILE")
        ->type_name("FILE");
    correct->add_option("--quality", quality, "JPEG quality")->check(CLI::Range(1, 100));
    std::string subsampling;
    correct->add_option("--subsampling", subsampling, kSamplingHelp)
        ->check(CLI::IsMember({"444", "422", "420"}));
    correct
        ->add_option("--max-memory", maxMemory,
                     "decode twice instead of holding a larger picture (default 256MiB)")
        ->transform(CLI::AsSizeValue(false));
    correct->add_option("-j,--jobs", jobs, "pictures worked on at once (default: cores)");
    correct->add_flag("-r,--recursive", talk.recursive,
                      "work on the pictures in folders given as IN, and below them (with -d, "
                      "in the same subfolders)");

    // analyse
    auto* analyse = app.add_subcommand("analyse", "Show what the analysis derives from photos");
    analyse->alias("analyze");
    std::vector<std::string> analyseInputs;
    bool json = false;
    std::string plot;
    analyse->add_option("IN", analyseInputs, "pictures to analyse");
    analyse->add_flag("--json", json, "print JSON Lines instead of text: one object a picture");
    analyse
        ->add_option("--plot", plot,
                     "write the luminance histogram and the tone curve into FILE.svg")
        ->type_name("FILE.svg");
    AnalysisOptions analyseAnalysis;
    analyseAnalysis.AddTo(analyse);
    analyse->add_flag("--no-colour", analyseAnalysis.noColour, "ask for the tone table only");
    analyse->add_option("-j,--jobs", jobs, "pictures worked on at once (default: cores)");
    analyse->add_flag("-r,--recursive", talk.recursive,
                      "analyse the pictures in folders given as IN, and below them");

    // convert
    auto* convert = app.add_subcommand(
        "convert", "Streaming conversion: sharpen, tone, denoise, correct, line by line");
    ConvertOptions conv;
    AnalysisOptions convertAnalysis;
    convert->add_option("IN", conv.input, "input picture")->required();
    convert->add_option("OUT", conv.output, "output picture (format from the extension)")
        ->required();
    convert->add_option("--sharpen", conv.sharpen, kSharpenHelp)->check(CLI::Range(-1, 3));
    convert
        ->add_option("--output-width", conv.outputWidth,
                     "shown width W (in inches, say) for the working size: with "
                     "--resolution-scale S, picture width x S / W is the resolution, and "
                     "sharpening runs at a size where it is 300..700")
        ->check(CLI::Range(1, 65535));
    convert
        ->add_option("--resolution-scale", conv.resolutionScale,
                     "units of W per inch (1 for inches); see --output-width")
        ->check(CLI::Range(1, 32767));
    auto* toneOption = convert->add_option("--tone", conv.tone, kToneHelp);
    convert->add_flag("--grey", conv.grey, "make the picture grey")->excludes(toneOption);
    convert->add_flag("--denoise", conv.denoise, "filter colour noise over neighbouring lines");
    convert->add_flag("--correct", conv.correct,
                      "colour-correct too (reads the picture twice: statistics first)");
    convertAnalysis.AddTo(convert);
    convert
        ->add_option("--side-by-side", conv.sideBySide,
                     "also write before | after into FILE (to compare sharpening levels)")
        ->type_name("FILE");
    convert->add_flag("--in-place", conv.inPlace,
                      "allow OUT to be IN (a symbolic link stays a link; mode and owner are "
                      "kept)");
    convert->add_flag("--keep-times", conv.keepTimes,
                      "with --in-place: keep the file's modification time");
    convert->add_option("--quality", conv.quality, "JPEG quality")->check(CLI::Range(1, 100));
    convert->add_option("--subsampling", conv.subsampling, kSamplingHelp)
        ->check(CLI::IsMember({"444", "422", "420"}));
    convert
        ->add_option("--format", conv.format,
                     "output format when OUT is - (standard output; default: the input's)")
        ->check(CLI::IsMember({"jpg", "png", "ppm", "pgm"}));

    // tone-table
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

    std::vector<std::string> commands;
    for (auto* command : app.get_subcommands({})) {
        commands.push_back(command->get_name());
        talk.AddTo(command);  // listed in each command's help too
    }
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word.empty() || word[0] == '-') {
            continue;
        }
        const std::string unknown = UnknownCommand(word, commands);
        if (!unknown.empty()) {
            std::fprintf(stderr, "voved: %s\n", unknown.c_str());
            return kExitUsage;
        }
        break;
    }
    try {
        app.parse(argc, argv);
        conv.sharpenGiven = convert->count("--sharpen") > 0;
        if (correct->parsed()) {
            return RunCorrect(correctInputs, out, analysisOptions, sideBySide, quality, subsampling,
                              maxMemory, jobs, talk);
        }
        if (analyse->parsed()) {
            return RunAnalyse(analyseInputs, analyseAnalysis, json, plot, jobs, talk);
        }
        if (convert->parsed()) {
            return RunConvert(conv, convertAnalysis, talk);
        }
    } catch (const CLI::ParseError& error) {
        const int status = app.exit(error);
        return status == 0 ? 0 : kExitUsage;
    } catch (const Failure& error) {
        std::fprintf(stderr, "voved: %s\n", error.what());
        return kExitFailure;
    } catch (const OutputRefused& error) {
        std::fprintf(stderr, "voved: %s\n", error.what());
        return kExitFailure;
    }
    if (compile->parsed()) {
        return CompileToneTable(tableSource, tableTarget, talk.quiet);
    }
    if (dump->parsed()) {
        return DumpToneTable(tableSource);
    }
    return kExitUsage;
}

}  // namespace voved::tool

int main(int argc, char** argv) {
    voved::tool::RemoveTemporariesOnSignals();
    return voved::tool::Main(argc, argv);
}
