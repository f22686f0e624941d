#pragma once

// The render engine as the Python module calls it: one engine per thread, the GIL released
// while a page renders or is encoded, and every failure thrown as a CallFailure that the
// module turns into the package's exception. Called with the GIL held.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "letterforge/driver/job_options.h"
#include "letterforge/driver/render_engine.h"
#include "letterforge/raster/image_files.h"
#include "python/call_failure.h"
#include "platform/page_bitmap.h"

namespace letterforge::python_module {

// The options of a job, set by name in the order given. Throws CallFailure (OptionError).
JobOptions jobOptionsOf(const std::vector<std::pair<std::string, OptionValue>>& values);

// Where a payload comes from: a file, or JSON text with the name that begins its failures.
struct PayloadInput {
  bool isFile = false;
  std::string value{};
  std::string name{};
};

// A rendered page as Python holds it: the bitmaps stay until they are encoded or copied out.
struct RenderedPage {
  std::optional<platform::PageBitmap> page{};
  std::optional<platform::PageBitmap> debug{};  // when asked for
  std::optional<EncodedLayers> layers{};        // when asked for
  std::vector<std::string> report{};            // the report lines, in order
  std::vector<BlockOutcome> blocks{};
  std::vector<std::string> warnings{};  // what is likely wrong with the inputs although it rendered
  JobOptions options{};  // the format and quality chosen for saving
  std::uint64_t engine = 0;  // the engine that drew it (engineSerial)
};

// How Python lets a page go: the bitmaps' memory goes back to the engine that drew them when
// the page is dropped on that engine's thread, so that a thread rendering page after page
// reuses one page's memory as letterforge-batch does, rather than fresh memory that the
// kernel must clear first (5 to 9 ms of a 45 ms page on this machine); freed
// otherwise. Called with the GIL held.
struct PageRelease {
  void operator()(RenderedPage* page) const;
};

// This thread's engine: each Python thread that renders gets its own, made for its first page
// and kept until the thread ends or lets it go.
std::optional<RenderEngine>& threadEngine();

// A number that names this thread's engine among every engine of the process; 0 when the
// thread holds none.
std::uint64_t engineSerial();

// Lets this thread's engine go, with its fonts, caches and page memory; the next page on the
// thread makes a new one. False when the thread held none.
bool releaseThreadEngine();

// Renders one page on this thread's engine, with the GIL released. Throws CallFailure with
// the engine's status class and message, also when the debug image or the layers were asked
// for and cannot be made.
RenderedPage renderPage(PageImageSource image, const PayloadInput& ocr,
                        const PayloadInput& translations, const JobOptions& options, bool debug,
                        bool layers);

// Writes the four layer files under `prefix`, all or none. Throws CallFailure on failure.
void saveLayers(const EncodedLayers& layers, const std::string& prefix);

// The encoding of `options` with a format word and quality given instead of the options'
// own. Throws CallFailure (OptionError) for a format that is not png, jpeg or webp.
ImageEncoding encodingOf(JobOptions options, const std::optional<std::string>& format,
                         const std::optional<double>& quality);

// The bitmap encoded, with the GIL released. Throws CallFailure (write failure class) naming
// the image `name`.
std::vector<std::uint8_t> encodeBitmap(const platform::PageBitmap& bitmap,
                                       const ImageEncoding& encoding, const std::string& name);

// How an image saved at `path` is encoded, as letterforge-batch encodes its files: the page
// in the format option, else by the extension; the debug image by the extension alone; both
// at the quality option; PNG without an extension. Throws CallFailure (OptionError) for an
// extension that names no format written here, unless a format option chooses the page's.
ImageEncoding savedEncoding(const JobOptions& options, const std::string& path, bool debug);

// Writes the layers under `layers` (when not empty; all four or none), the page to `output`,
// then, when `debug` is not empty, the debug image, as the programs write their files. Throws
// CallFailure: OptionError for an extension refused, the write failure class otherwise.
void saveFiles(const RenderedPage& page, const std::string& output, const std::string& debug,
               const std::string& layers);

// Stores the encoded bitmap at path as the programs store their outputs: whole or not at all.
// Throws CallFailure on failure.
void saveBitmap(const platform::PageBitmap& bitmap, const ImageEncoding& encoding,
                const std::string& path);

}  // namespace letterforge::python_module
