// The analysis of one picture, reported without correcting anything.
#include "jobs.h"
#include "output.h"
#include "report.h"

namespace voved::tool {

TaskOutcome AnalysePicture(const InputFile& input, const AnalyseSettings& settings,
                           AnalysisReport& report) {
    TaskOutcome outcome;
    auto reader = OpenInput(input);
    const ImageInfo info = reader->Info();
    CheckPictureSize(info);
    outcome.notices = info.notices;
    Context context;
    std::vector<uint8_t> line(size_t{info.width} * static_cast<size_t>(LineChannels(info.kind)));
    for (uint32_t y = 0; y < info.height; ++y) {
        reader->ReadLine(line.data());
        AddStatistics(context, line.data(), info, &report.histogram);
    }
    reader.reset();
    const AnalysisOutcome analysis = RunAnalysis(context, settings.analysis, info.metadata);
    report.file = input.name;
    report.width = info.width;
    report.height = info.height;
    FillReport(report, context.Record(), analysis);
    if (!settings.plot.empty()) {
        const std::string svg = ReportSvg(report);
        OutputFile plot(settings.plot);
        if (std::fwrite(svg.data(), 1, svg.size(), plot.File()) != svg.size()) {
            throw ImageError("cannot write " + settings.plot);
        }
        plot.Commit();
    }
    outcome.ok = true;
    if (!settings.json) {
        outcome.report = ReportText(report);
    }
    return outcome;
}

}  // namespace voved::tool
