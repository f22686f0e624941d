// letterforge._letterforge: the compiled half of the Python package. The package's
// __init__.py checks and converts the caller's arguments and documents them; this module
// hands them to the engine and the image code and gives back pages, arrays and bytes.
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "cutframe/crop.h"
#include "letterforge/batch/command_line.h"
#include "letterforge/driver/block_flags.h"
#include "letterforge/driver/cleanup_planning.h"
#include "letterforge/driver/version.h"
#include "letterforge/inputs/payloads.h"
#include "letterforge/raster/image_files.h"
#include "letterforge/typeset/installed_fonts.h"
#include "platform/cores.h"
#include "python/chapters.h"
#include "python/image_sources.h"
#include "python/manifest_jobs.h"
#include "python/native_render.h"
#include "python/page_arrays.h"

namespace {

namespace py = pybind11;
using namespace letterforge;
using namespace letterforge::python_module;

using PayloadArgument = std::tuple<bool, std::string, std::string>;  // is a file, value, name
using OptionArguments = std::vector<std::pair<std::string, OptionValue>>;
// A manifest line: its number, text and folder, and the options that apply where it sets none.
using JobArgument = std::tuple<std::int64_t, py::bytes, py::bytes, OptionArguments>;

JobLine jobLine(const JobArgument& argument) {
  return JobLine{.number = std::get<0>(argument),
                 .text = std::get<1>(argument).cast<std::string>(),
                 .folder = std::get<2>(argument).cast<std::string>(),
                 .defaults = jobOptionsOf(std::get<3>(argument))};
}

PayloadInput payloadInput(const PayloadArgument& argument) {
  return PayloadInput{.isFile = std::get<0>(argument),
                      .value = std::get<1>(argument),
                      .name = std::get<2>(argument)};
}

std::span<const std::uint8_t> bytesOf(const py::handle& bytes) {
  char* data = nullptr;
  py::ssize_t size = 0;
  PyBytes_AsStringAndSize(bytes.ptr(), &data, &size);
  return {reinterpret_cast<const std::uint8_t*>(data), static_cast<std::size_t>(size)};
}

// A path, the bytes of an image file, or an array of pixels.
PageImageSource pageImageSource(const py::object& image, const std::string& name) {
  if (py::isinstance<py::str>(image)) return ImageFile{image.cast<std::string>()};
  if (py::isinstance<py::bytes>(image)) {
    const auto bytes = bytesOf(image);
    return EncodedImage{.bytes = {bytes.begin(), bytes.end()}, .name = name};
  }
  return imageFromArray(image.cast<py::array>());
}

// The path, or the bytes, of an image file given as a str or as bytes.
std::pair<std::string, std::optional<std::span<const std::uint8_t>>> fileSource(
    const py::object& source) {
  if (py::isinstance<py::bytes>(source)) return {std::string(), bytesOf(source)};
  return {source.cast<std::string>(), std::nullopt};
}

py::object optionalNumber(const std::optional<double>& value) {
  return value ? py::object(py::float_(*value)) : py::object(py::none());
}

py::dict blockDict(const BlockOutcome& block) {
  const BlockCleanup& cleanup = block.cleanup;
  const bool fellBack = cleanup.action == CleanupAction::kFallback;
  py::dict d;
  d["id"] = block.id;
  d["item"] = block.item;
  d["cleanup"] = cleanupActionWord(cleanup.action);
  d["coverage"] = optionalNumber(cleanup.coverage);
  d["confidence"] = optionalNumber(cleanup.confidence);
  d["fallback_reason"] = fellBack ? py::object(py::str(cleanup.fallbackReason)) : py::none();
  d["fallback_cleanup"] =
      fellBack ? py::object(py::str(cleanupActionWord(cleanup.fallbackAction))) : py::none();
  d["drawn"] = block.typeset.drawn;
  d["font_size"] = block.typeset.drawn ? py::object(py::float_(block.typeset.size)) : py::none();
  d["overflowed"] = block.typeset.overflowed;
  d["unknown_characters"] = block.typeset.unknownCharacters;
  py::list flags;
  for (const std::string& word : flagWords(block.flags)) flags.append(word);
  d["flags"] = flags;
  return d;
}

const platform::PageBitmap& bitmapOf(const RenderedPage& page, bool debug) {
  const auto& bitmap = debug ? page.debug : page.page;
  if (!bitmap) {
    throw CallFailure{.errorClass = "LetterforgeError", .message = "no debug image was asked for"};
  }
  return *bitmap;
}

py::bytes bytesObject(const std::vector<std::uint8_t>& bytes) {
  return py::bytes(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// Raises a CallFailure as the package's exception of its class.
void translateFailures(std::exception_ptr thrown) {
  try {
    if (thrown) std::rethrow_exception(thrown);
  } catch (const CallFailure& failure) {
    try {
      const py::object exception = py::module_::import("letterforge._errors")
                                       .attr("exception_for")(failure.status, failure.errorClass,
                                                              failure.message, failure.report,
                                                              failure.missingFile);
      PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(exception.ptr())), exception.ptr());
    } catch (py::error_already_set& error) {
      error.restore();
    }
  }
}

}  // namespace

PYBIND11_MODULE(_letterforge, m) {
  m.doc() = "The compiled half of the letterforge package; call it through letterforge.";
  m.attr("version") = kVersion;
  m.attr("max_image_side") = platform::kMaxImageSide;
  m.attr("max_image_pixels") = platform::kMaxImagePixels;
  m.attr("max_payload_nesting") = kMaxPayloadNesting;
  m.attr("max_jobs") = kMaxJobs;
  py::register_exception_translator(translateFailures);

  m.def("option_descriptions", [] {
    std::vector<std::tuple<std::string, std::string, std::string>> rows;
    for (const OptionDescription& d : jobOptionDescriptions()) {
      rows.emplace_back(d.name, d.type, d.help);
    }
    return rows;
  }, "(name, type, help) of every render option.");

  m.def("check_image_array", [](const py::array& array) {
    if (auto problem = arrayProblem(array)) {
      throw CallFailure{.errorClass = "ImageError", .message = *problem};
    }
  }, "Raises ImageError unless the array can be a page image.");

  m.def("release_engine", &releaseThreadEngine,
        "Lets the calling thread's engine go; False when the thread held none.");

  m.def("usable_cores", &platform::usableCores,
        "The cores this process counts as its own when sharing out a page's work.");
  m.def("limit_cores", &platform::limitCores,
        "Counts at most `cores` cores as this process's own when sharing out a page's work (0:"
        " every core it may run on).", py::arg("cores"));

  m.def("check_options", [](const OptionArguments& options) { jobOptionsOf(options); },
        "Raises OptionError unless every (name, value) is a render option and its value fits.");

  m.def("check_file_names", [](const OptionArguments& options, const std::string& output,
                               const std::string& debug) {
    const JobOptions jobOptions = jobOptionsOf(options);
    if (!output.empty()) savedEncoding(jobOptions, output, false);
    if (!debug.empty()) savedEncoding(jobOptions, debug, true);
  }, "Raises OptionError unless the page can be saved at `output` and the debug image at `debug`"
     " (empty: not saved) in formats their names or the options choose.",
     py::arg("options"), py::arg("output"), py::arg("debug"));

  py::class_<RenderedPage, std::unique_ptr<RenderedPage, PageRelease>>(
      m, "Page", "A rendered page and its debug image, kept as bitmaps.")
      .def_property_readonly("width", [](const RenderedPage& p) { return p.page->width(); })
      .def_property_readonly("height", [](const RenderedPage& p) { return p.page->height(); })
      .def_property_readonly("has_debug", [](const RenderedPage& p) { return p.debug.has_value(); })
      .def_property_readonly("report", [](const RenderedPage& p) { return p.report; })
      .def_property_readonly("warnings", [](const RenderedPage& p) { return p.warnings; })
      .def_property_readonly("blocks", [](const RenderedPage& p) {
        py::list blocks;
        for (const BlockOutcome& block : p.blocks) blocks.append(blockDict(block));
        return blocks;
      })
      .def("array", [](const RenderedPage& p, bool debug) {
        return arrayFromBitmap(bitmapOf(p, debug));
      }, py::arg("debug"))
      .def("encode", [](const RenderedPage& p, bool debug, const std::optional<std::string>& format,
                        const std::optional<double>& quality) {
        const auto encoding = encodingOf(p.options, format, quality);
        return bytesObject(encodeBitmap(bitmapOf(p, debug), encoding,
                                        debug ? "the debug image" : "the page"));
      }, py::arg("debug"), py::arg("format"), py::arg("quality"))
      .def("save", [](const RenderedPage& p, bool debug, const std::string& path) {
        saveBitmap(bitmapOf(p, debug), savedEncoding(p.options, path, debug), path);
      }, py::arg("debug"), py::arg("path"))
      .def_property_readonly("has_layers", [](const RenderedPage& p) { return p.layers.has_value(); })
      .def("layer", [](const RenderedPage& p, const std::string& name) -> py::object {
        if (!p.layers) return py::none();
        const EncodedLayers& l = *p.layers;
        const std::vector<std::uint8_t>* bytes = name == "cleaned" ? &l.cleaned
                                                 : name == "text"  ? &l.text
                                                 : name == "mask"  ? &l.mask
                                                                   : &l.psd;
        return bytesObject(*bytes);
      }, py::arg("name"))
      .def("save_layers", [](const RenderedPage& p, const std::string& prefix) {
        if (!p.layers) throw CallFailure{.errorClass = "LetterforgeError", .message = "no layers were asked for"};
        saveLayers(*p.layers, prefix);
      }, py::arg("prefix"))
      .def("save_files", [](const RenderedPage& p, const std::string& output,
                            const std::string& debug, const std::string& layers) {
        if (!debug.empty()) bitmapOf(p, true);
        saveFiles(p, output, debug, layers);
      }, "The layers under `layers` and the page at `output`, then the debug image at `debug`"
         " (empty: none), as the programs write them.",
         py::arg("output"), py::arg("debug"), py::arg("layers"));

  m.def("render", [](const py::object& image, const std::string& imageName,
                     const PayloadArgument& ocr, const PayloadArgument& translations,
                     const OptionArguments& options, bool debug, bool layers) {
    // Options first: a mistyped name is reported before any file is read.
    const JobOptions jobOptions = jobOptionsOf(options);
    return renderPage(pageImageSource(image, imageName), payloadInput(ocr),
                      payloadInput(translations), jobOptions, debug, layers);
  }, py::arg("image"), py::arg("image_name"), py::arg("ocr"), py::arg("translations"),
     py::arg("options"), py::arg("debug"), py::arg("layers"));

  m.def("manifest_jobs", [](const std::string& path) {
    std::vector<std::tuple<std::int64_t, py::bytes, py::bytes>> jobs;
    for (const JobLine& job : manifestJobLines(path)) {
      jobs.emplace_back(job.number, py::bytes(job.text), py::bytes(job.folder));
    }
    return jobs;
  }, "(line number, text, folder) of each line of a manifest that is not blank.", py::arg("path"));

  m.def("check_jobs", [](const std::vector<JobArgument>& jobs, const std::string& manifest) {
    std::vector<JobLine> lines;
    for (const JobArgument& job : jobs) lines.push_back(jobLine(job));
    const CheckedJobs checked = checkJobs(lines, manifest);
    return std::pair{checked.resultLines, checked.sharedFileFault};
  }, "(the result line of each job before it runs, the fault of files the jobs share or None);"
     " `manifest` (empty: none) is the file the jobs were read from.",
     py::arg("jobs"), py::arg("manifest") = std::string());

  m.def("run_job", [](const JobArgument& job) { return runJob(jobLine(job)); },
        "Renders a job and writes its files as letterforge-batch does; its result line.",
        py::arg("job"));

  const auto chapterArguments = [](const py::dict& given) {
    return ChapterArguments{
        .source = given["source"].cast<std::string>(), .payloads = given["payloads"].cast<std::string>(),
        .outputFolder = given["output_dir"].cast<std::string>(),
        .outputCbz = given["output_cbz"].cast<std::string>(),
        .defaults = jobOptionsOf(given["options"].cast<OptionArguments>()),
        .workers = given["workers"].cast<int>(), .skipExisting = given["skip_existing"].cast<bool>(),
        .resume = given["resume"].cast<std::string>()};
  };
  m.def("check_chapter", [chapterArguments](const py::dict& arguments) {
    return checkChapterLines(chapterArguments(arguments));
  }, "The --dry-run lines of a manifest or chapter.", py::arg("arguments"));
  m.def("render_chapter", [chapterArguments](const py::dict& arguments) {
    const ChapterRun run = renderChapterLines(chapterArguments(arguments));
    return std::tuple{run.resultLines, run.archiveMessage, run.archiveWritten, run.interruption};
  }, "(result lines, what became of the archive, whether it was written, the exception that "
     "stopped the run or None) of a manifest or chapter rendered as letterforge-batch renders "
     "it.", py::arg("arguments"));

  m.def("decode_image", [](const py::object& source, const std::string& name) {
    const auto [path, bytes] = fileSource(source);
    return arrayFromImage(decodeSource(path, bytes, name));
  }, py::arg("source"), py::arg("name"));

  m.def("image_size", [](const std::string& path) -> std::tuple<std::int64_t, std::int64_t> {
    const auto size = pageImageSize(path);
    if (!size) throw CallFailure{.errorClass = "ImageError", .message = "Could not open image: " + path};
    return {size->width, size->height};
  }, "(width, height) of an image file, read from its header and first pixels.", py::arg("path"));

  m.def("fonts", [] {
    std::vector<std::tuple<std::string, std::vector<std::string>, std::vector<std::string>>> rows;
    for (const FontFamily& family : installedFontFamilies()) {
      rows.emplace_back(family.name, family.styles, family.scripts);
    }
    return rows;
  }, "(family, styles, scripts) of every installed font family, in name order.");

  m.def("crop_file", [](const py::object& source, const std::string& name, double x, double y,
                        double w, double h, double paddingRatio) {
    const auto [path, bytes] = fileSource(source);
    return arrayFromImage(cropSource(path, bytes, name, x, y, w, h, paddingRatio));
  }, py::arg("source"), py::arg("name"), py::arg("x"), py::arg("y"), py::arg("w"), py::arg("h"),
     py::arg("padding_ratio"));

  m.def("crop_region", [](double x, double y, double w, double h, double paddingRatio,
                          std::int64_t width, std::int64_t height)
            -> std::optional<std::tuple<std::int64_t, std::int64_t, std::int64_t, std::int64_t>> {
    const cutframe::CropRequest request{
        .x = x, .y = y, .w = w, .h = h, .paddingRatio = paddingRatio};
    const auto region = cutframe::pixelsInImage(cutframe::paddedCropRect(request, width, height),
                                                width, height);
    if (!region) return std::nullopt;
    return std::tuple{region->x, region->y, region->width, region->height};
  }, "(x, y, width, height) of the padded crop of an image of that size; None outside it.",
     py::arg("x"), py::arg("y"), py::arg("w"), py::arg("h"), py::arg("padding_ratio"),
     py::arg("width"), py::arg("height"));
}
