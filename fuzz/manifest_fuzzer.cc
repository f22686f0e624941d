// The manifest of letterforge-batch: the input read as a whole manifest, every entry checked,
// and its result line written as a page that failed on it would be reported.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "letterforge/batch/json_lines.h"
#include "letterforge/batch/manifest.h"
#include "letterforge/batch/page_run.h"
#include "letterforge/batch/result_line.h"

namespace {

using namespace letterforge;

void checkJob(const PageJob& job) {
  // A job that stands names its four files, each read from the manifest's folder.
  for (const std::string* path : {&job.image, &job.ocr, &job.translation, &job.output}) {
    FUZZ_CHECK(!path->empty());
    FUZZ_CHECK(path->starts_with("ch/") || path->starts_with("/"));
  }
  const RenderSettings settings = jobSettings(job.options);
  const TypesetOptions& t = settings.typeset;
  FUZZ_CHECK(t.baseFontSize >= 6.0);
  FUZZ_CHECK(!std::isnan(t.maxFontSize));
  FUZZ_CHECK(t.fontScale >= 0.5 && t.fontScale <= 2.0);
  FUZZ_CHECK(t.lineSpacing >= 0.8 && t.lineSpacing <= 2.0);
  FUZZ_CHECK(t.strokeWidth >= 0.0 && t.strokeWidth <= 40.0);
  if (job.options.quality) FUZZ_CHECK(*job.options.quality >= 1 && *job.options.quality <= 100);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto entries = readManifest(text, "ch", JobOptions{});
  std::int64_t previous = 0;
  for (const ManifestEntry& entry : entries) {
    FUZZ_CHECK(entry.job.line > previous);
    previous = entry.job.line;
    if (entry.failure.empty()) checkJob(entry.job);
    // Whatever the line held, its report is one JSON object on one line.
    const std::string line = resultLine(unreadableLineReport(entry));
    FUZZ_CHECK(line.find('\n') == std::string::npos);
    std::string failure;
    FUZZ_CHECK(parseJsonObjectLine(line, failure).has_value());
  }
  return 0;
}
