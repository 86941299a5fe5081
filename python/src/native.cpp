// voved32._native: the library's jobs on NumPy buffers for the voved32 Python
// package. Each job runs with the GIL released, on a context of its own, so
// threads working on separate pictures run at once. The analysis and its
// words are the tool's (tools/voved), so the package and `voved` agree.
//
// The Python layer hands over C-contiguous uint8 buffers of H x W x 3 (RGB)
// or H x W x 4 (RGBA) pixels and checks shapes and sizes beforehand; the
// checks here only keep a wrong call from reading outside a buffer.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "jobs.h"
#include "report.h"
#include "tone_table.h"
#include "voved32.h"
#include "words.h"

namespace py = pybind11;

namespace voved::python {

namespace {

using tool::AnalysisOutcome;
using tool::AnalysisReport;
using tool::AnalysisSettings;
using tool::Context;
using Buffer = py::array_t<uint8_t, py::array::c_style>;

constexpr int kRgbChannels = 3;
constexpr int kRgbaChannels = 4;
constexpr size_t kMaxExtent = 0xFFFF;

// A library failure with its result code; becomes voved32.VovedError.
struct LibraryFailure {
    int code;
    std::string message;
};

// A picture in a caller's buffer: `height` lines of `width` pixels of
// `channels` bytes, without gaps.
struct Picture {
    uint8_t* data = nullptr;
    uint32_t width = 0;
    uint32_t height = 0;
    int channels = kRgbChannels;

    size_t Stride() const { return size_t{width} * static_cast<size_t>(channels); }
    uint8_t* Line(uint32_t y) const { return data + Stride() * y; }
    tool::ImageInfo Info() const {
        tool::ImageInfo info;
        info.width = width;
        info.height = height;
        info.kind = channels == kRgbaChannels ? tool::ColourKind::Rgba : tool::ColourKind::Rgb;
        return info;
    }
};

Picture CheckedPicture(const py::buffer_info& info, bool writable) {
    if (info.ndim != 3 || (info.shape[2] != kRgbChannels && info.shape[2] != kRgbaChannels)) {
        throw py::value_error("expected an H x W x 3 or H x W x 4 uint8 buffer");
    }
    if (info.shape[0] < 1 || info.shape[1] < 1 || static_cast<size_t>(info.shape[0]) > kMaxExtent ||
        static_cast<size_t>(info.shape[1]) > kMaxExtent) {
        throw py::value_error("a picture takes 1 to 65535 lines of 1 to 65535 pixels");
    }
    if (writable && info.readonly) {
        throw py::value_error("the output buffer is read-only");
    }
    Picture picture;
    picture.data = static_cast<uint8_t*>(info.ptr);
    picture.height = static_cast<uint32_t>(info.shape[0]);
    picture.width = static_cast<uint32_t>(info.shape[1]);
    picture.channels = static_cast<int>(info.shape[2]);
    return picture;
}

AnalysisSettings Settings(bool colour, const std::optional<py::bytes>& toneTable,
                          const std::string& camera) {
    AnalysisSettings settings;
    settings.colour = colour;
    settings.camera = camera;  // set, even when empty: the caller read the EXIF block
    if (toneTable) {
        const std::string bytes = *toneTable;
        settings.toneTable =
            std::make_shared<const std::vector<uint8_t>>(bytes.begin(), bytes.end());
    }
    return settings;
}

// The tool's analysis helpers report a failed call in words only; the code
// is the one whose words end the message.
LibraryFailure FailureOf(const tool::LibraryError& error) {
    const std::string message = error.what();
    for (int code : {QV_RESULT_NO_MEMORY, QV_RESULT_INVALID, QV_RESULT_NOT_DERIVED}) {
        const std::string words = tool::ResultInWords(code);
        if (message.size() >= words.size() &&
            message.compare(message.size() - words.size(), words.size(), words) == 0) {
            return {code, message};
        }
    }
    return {QV_RESULT_INVALID, message};
}

// The statistics over every line and the analysis, as `voved analyse` runs
// them; the context keeps the derived parameters.
struct Analysed {
    AnalysisOutcome outcome;
    AnalysisReport report;
};

Analysed Analyse(Context& context, const Picture& picture, const AnalysisSettings& settings) {
    Analysed analysed;
    const tool::ImageInfo info = picture.Info();
    for (uint32_t y = 0; y < picture.height; ++y) {
        tool::AddStatistics(context, picture.Line(y), info, &analysed.report.histogram);
    }
    analysed.outcome = tool::RunAnalysis(context, settings, info.metadata);
    analysed.report.width = picture.width;
    analysed.report.height = picture.height;
    tool::FillReport(analysed.report, context.Record(), analysed.outcome);
    return analysed;
}

// The one-shot correction of `voved correct`: QVCorrection line by line in
// place; the alpha bytes of an RGBA line are put back, since the tone table
// maps every byte of a 4-byte pixel.
void CorrectLines(Context& context, const Picture& picture) {
    std::vector<uint8_t> alpha(picture.channels == kRgbaChannels ? picture.width : 0);
    for (uint32_t y = 0; y < picture.height; ++y) {
        uint8_t* line = picture.Line(y);
        for (size_t x = 0; x < alpha.size(); ++x) {
            alpha[x] = line[kRgbaChannels * x + 3];
        }
        const QVResult result =
            QVCorrection(context.Handle(), line, line, static_cast<uint16_t>(picture.width),
                         static_cast<uint16_t>(picture.height),
                         static_cast<int16_t>(picture.channels), QV_PIXEL_RGB);
        if (result != QV_RESULT_OK) {
            throw LibraryFailure{result, "the correction failed: " + tool::ResultInWords(result)};
        }
        for (size_t x = 0; x < alpha.size(); ++x) {
            line[kRgbaChannels * x + 3] = alpha[x];
        }
    }
}

bool Applicable(const Context& context, const AnalysisOutcome& outcome) {
    return (outcome.result == QV_RESULT_OK || outcome.result == QV_RESULT_TONE_ONLY) &&
           (context.Record().flags & QV_FLAG_DERIVED) != 0;
}

template <size_t N>
py::list ListOf(const std::array<int, N>& values) {
    py::list list;
    for (int v : values) {
        list.append(v);
    }
    return list;
}

py::object CastOf(const std::optional<tool::CastReport>& cast) {
    if (!cast) {
        return py::none();
    }
    return py::make_tuple(cast->ry, cast->by);
}

// The report as plain Python values; voved32.Analysis is built from it.
py::dict ReportDict(const AnalysisReport& r, bool applied) {
    py::dict d;
    d["width"] = r.width;
    d["height"] = r.height;
    d["camera"] = r.camera;
    d["result"] = r.result;
    d["result_meaning"] = tool::ResultInWords(r.result);
    d["explanation"] = r.explanation;
    d["black_level"] = r.blackLevel ? py::cast(*r.blackLevel) : py::none();
    d["white_level"] = r.whiteLevel ? py::cast(*r.whiteLevel) : py::none();
    d["shadow_cast"] = CastOf(r.shadowCast);
    d["white_colour"] = CastOf(r.whiteColour);
    d["saturation_gain"] = r.saturationGain;
    d["scene_class"] = r.sceneCode;
    d["scene_meaning"] = tool::SceneClassMeaning(r.sceneCode);
    d["correction_type"] = r.correctionType;
    d["correction_meaning"] = tool::CorrectionTypeMeaning(r.correctionType);
    d["colour_matrix"] = r.matrix ? py::object(ListOf(*r.matrix)) : py::none();
    d["tone_curve"] = r.toneCurve ? py::object(ListOf(*r.toneCurve)) : py::none();
    d["highlight_level"] = r.highlightLevel;
    d["tone_table"] = r.toneTable ? py::object(ListOf(*r.toneTable)) : py::none();
    py::list histogram;
    for (uint64_t count : r.histogram) {
        histogram.append(count);
    }
    d["luminance_histogram"] = histogram;
    d["applied"] = applied;
    return d;
}

py::dict AnalyseBuffer(const Buffer& pixels, bool colour, const std::optional<py::bytes>& table,
                       const std::string& camera) {
    const Picture picture = CheckedPicture(pixels.request(), false);
    const AnalysisSettings settings = Settings(colour, table, camera);
    Analysed analysed;
    {
        py::gil_scoped_release unlocked;
        Context context;
        analysed = Analyse(context, picture, settings);
    }
    return ReportDict(analysed.report, false);
}

// Corrects `pixels` into `out` (the same shape; may be the same buffer).
py::dict CorrectBuffer(const Buffer& pixels, Buffer& out, bool colour,
                       const std::optional<py::bytes>& table, const std::string& camera) {
    const Picture source = CheckedPicture(pixels.request(), false);
    const Picture target = CheckedPicture(out.request(true), true);
    if (source.width != target.width || source.height != target.height ||
        source.channels != target.channels) {
        throw py::value_error("the output buffer must have the shape of the picture");
    }
    const AnalysisSettings settings = Settings(colour, table, camera);
    Analysed analysed;
    bool applied = false;
    {
        py::gil_scoped_release unlocked;
        Context context;
        analysed = Analyse(context, source, settings);
        if (target.data != source.data) {
            std::memcpy(target.data, source.data, source.Stride() * source.height);
        }
        applied = Applicable(context, analysed.outcome);
        if (applied) {
            CorrectLines(context, target);
        }
    }
    return ReportDict(analysed.report, applied);
}

// A streaming conversion on a context of its own: statistics (when the mode
// corrects or applies a tone table), analysis, then one QVCorrection2 step
// at a time; voved32.Conversion drives the step protocol. Calls on one
// context must not overlap: each takes the context's lock, after letting go
// of the GIL (so the lock is never awaited while holding the GIL by a thread
// that another needs).
class StreamContext {
  public:
    StreamContext(uint32_t width, uint32_t height, int channels)
        : width_(width), height_(height), channels_(channels) {
        if (width < 1 || height < 1 || width > kMaxExtent || height > kMaxExtent) {
            throw py::value_error("a picture takes 1 to 65535 lines of 1 to 65535 pixels");
        }
        if (channels != kRgbChannels && channels != kRgbaChannels) {
            throw py::value_error("lines take 3 (RGB) or 4 (RGBA) bytes a pixel");
        }
    }
    ~StreamContext() {
        if (open_) {
            QVTerminateImageConversion(context_.Handle());
        }
    }
    StreamContext(const StreamContext&) = delete;
    StreamContext& operator=(const StreamContext&) = delete;

    void AddStatistics(const Buffer& lines) {
        const Picture picture = Lines(lines);
        py::gil_scoped_release unlocked;
        const std::lock_guard<std::mutex> turn(busy_);
        const tool::ImageInfo info = picture.Info();
        for (uint32_t y = 0; y < picture.height; ++y) {
            tool::AddStatistics(context_, picture.Line(y), info, &report_.histogram);
        }
    }

    py::dict Analyse(bool colour, const std::optional<py::bytes>& table,
                     const std::string& camera) {
        const AnalysisSettings settings = Settings(colour, table, camera);
        {
            py::gil_scoped_release unlocked;
            const std::lock_guard<std::mutex> turn(busy_);
            const AnalysisOutcome outcome = tool::RunAnalysis(context_, settings, {});
            report_.width = width_;
            report_.height = height_;
            tool::FillReport(report_, context_.Record(), outcome);
        }
        return ReportDict(report_, false);
    }

    // Opens the conversion; returns the mode in force, 0 when nothing of
    // `mode` is possible (then nothing is open).
    int Open(int outputWidth, int resolutionScale, int mode) {
        py::gil_scoped_release unlocked;
        const std::lock_guard<std::mutex> turn(busy_);
        if (open_) {
            throw LibraryFailure{QV_RESULT_INVALID, "the conversion is open already"};
        }
        const auto open = [&] {
            return QVInitImageConversion(
                context_.Handle(), static_cast<uint16_t>(width_), static_cast<uint16_t>(height_),
                static_cast<uint16_t>(outputWidth), 0, static_cast<int16_t>(resolutionScale),
                static_cast<uint16_t>(mode));
        };
        // A probe first, as `voved convert` does: the library narrows the mode
        // to what the analysis allowed and refuses when nothing is left.
        const QVResult probe = open();
        const uint16_t effective = context_.Record().mode;
        QVTerminateImageConversion(context_.Handle());
        if (probe == QV_RESULT_INVALID && effective == 0) {
            return 0;
        }
        const QVResult result = open();
        if (result != QV_RESULT_OK) {
            throw LibraryFailure{result,
                                 "cannot open the conversion: " + tool::ResultInWords(result)};
        }
        open_ = true;
        return context_.Record().mode;
    }

    int WorkLines() const { return context_.Record().workLines; }

    // One QVCorrection2 call: `source` the line presented, `destination`
    // the line an output is delivered into. Returns the step code.
    int Step(const Buffer& source, Buffer& destination, int toneHue, int sharpenLevel) {
        const Picture in = Lines(source);
        const Picture out = Lines(destination, true);
        if (in.height != 1 || out.height != 1) {
            throw py::value_error("a step takes one line in and one line out");
        }
        py::gil_scoped_release unlocked;
        const std::lock_guard<std::mutex> turn(busy_);
        if (!open_) {
            return QV_STEP_FAILED;
        }
        return QVCorrection2(context_.Handle(), in.data, out.data, static_cast<uint16_t>(width_),
                             static_cast<int16_t>(channels_), QV_PIXEL_RGB,
                             static_cast<int16_t>(toneHue), static_cast<int16_t>(sharpenLevel));
    }

    void Close() {
        py::gil_scoped_release unlocked;
        const std::lock_guard<std::mutex> turn(busy_);
        if (open_) {
            QVTerminateImageConversion(context_.Handle());
            open_ = false;
        }
    }

  private:
    Picture Lines(const Buffer& lines, bool writable = false) const {
        const Picture picture = CheckedPicture(lines.request(writable), writable);
        if (picture.width != width_ || picture.channels != channels_) {
            throw py::value_error("lines must have the picture's width and channels");
        }
        return picture;
    }

    uint32_t width_;
    uint32_t height_;
    int channels_;
    Context context_;
    AnalysisReport report_;
    bool open_ = false;
    std::mutex busy_;
};

py::bytes ToneTableFromJson(const std::string& text) {
    const std::vector<uint8_t> bytes = tool::EncodeToneTable(tool::ToneTableFromJson(text));
    return py::bytes(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

std::string ToneTableToJson(const py::bytes& table) {
    const std::string bytes = table;
    return tool::ToneTableToJson(tool::DecodeToneTable({bytes.begin(), bytes.end()}));
}

void CheckToneTable(const py::bytes& table) {
    const std::string bytes = table;
    tool::DecodeToneTable({bytes.begin(), bytes.end()});
}

}  // namespace

}  // namespace voved::python

PYBIND11_MODULE(_native, m) {
    using namespace voved::python;
    using voved::tool::LibraryError;
    m.doc() = "The compiled core of voved32 (internal; use the voved32 package).";

    // Raised with the arguments (code, message).
    static py::exception<LibraryFailure> libraryError(m, "LibraryFailure");
    static const auto raise = [](const LibraryFailure& failure) {
        PyErr_SetObject(libraryError.ptr(), py::make_tuple(failure.code, failure.message).ptr());
    };
    py::register_exception_translator([](std::exception_ptr error) {
        try {
            if (error) {
                std::rethrow_exception(error);
            }
        } catch (const LibraryFailure& failure) {
            raise(failure);
        } catch (const LibraryError& failure) {
            raise(FailureOf(failure));
        } catch (const voved::tool::ToneTableError& failure) {
            PyErr_SetString(PyExc_ValueError, failure.what());
        }
    });

    m.def("analyse", &AnalyseBuffer, py::arg("pixels"), py::arg("colour"), py::arg("tone_table"),
          py::arg("camera"));
    m.def("correct", &CorrectBuffer, py::arg("pixels"), py::arg("out"), py::arg("colour"),
          py::arg("tone_table"), py::arg("camera"));
    py::class_<StreamContext>(m, "StreamContext")
        .def(py::init<uint32_t, uint32_t, int>())
        .def("add_statistics", &StreamContext::AddStatistics)
        .def("analyse", &StreamContext::Analyse)
        .def("open", &StreamContext::Open)
        .def("work_lines", &StreamContext::WorkLines)
        .def("step", &StreamContext::Step)
        .def("close", &StreamContext::Close);
    m.def("tone_table_from_json", &ToneTableFromJson);
    m.def("tone_table_to_json", &ToneTableToJson);
    m.def("check_tone_table", &CheckToneTable);
    m.def("result_meaning", &voved::tool::ResultInWords);
    m.def("step_meaning",
          [](int code) { return voved::tool::StepCodeInWords(static_cast<uint16_t>(code)); });
    m.attr("MODE_SHARPEN") = QV_MODE_SHARPEN;
    m.attr("MODE_TONE") = QV_MODE_TONE;
    m.attr("MODE_BYTE_TABLE") = QV_MODE_BYTE_TABLE;
    m.attr("MODE_DENOISE") = QV_MODE_DENOISE;
    m.attr("MODE_CORRECT") = QV_MODE_CORRECT;
    m.attr("STEP_TAKEN") = QV_STEP_TAKEN;
    m.attr("STEP_OUTPUT") = QV_STEP_OUTPUT;
    m.attr("STEP_LAST") = QV_STEP_LAST;
    m.attr("STEP_FAILED") = QV_STEP_FAILED;
}
